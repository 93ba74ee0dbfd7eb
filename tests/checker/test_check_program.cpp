// Tovinel tests: what the checker reads from a program's headers and resources, on images built
// here byte by byte: kinds of program, version texts, manifests, and cut or odd resource trees.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "formats/program.h"

namespace {

// `bytes` little-endian bytes of `value`; past its eighth, zeros.
void put(std::string& out, uint64_t value, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i)
        out += static_cast<char>(i < 8 ? value >> 8 * i : 0);
}

void pad4(std::string& out, size_t from = 0)
{
    while ((out.size() + from) % 4 != 0)
        out += '\0';
}

std::string utf16z(const std::u16string& text)
{
    std::string out;
    for (char16_t unit : text)
        put(out, unit, 2);
    put(out, 0, 2);
    return out;
}

// One block of a version record: length, value length, type, key, value, children; the key, the
// value and each child start on a 4-byte boundary of the record (the header is 6 bytes).
std::string version_block(const std::u16string& key, const std::string& value, unsigned value_length, bool text,
                          const std::vector<std::string>& children)
{
    std::string body = utf16z(key);
    pad4(body, 6);
    body += value;
    pad4(body, 6);
    for (const std::string& child : children) {
        body += child;
        pad4(body, 6);
    }
    std::string block;
    put(block, 6 + body.size(), 2);
    put(block, value_length, 2);
    put(block, text ? 1 : 0, 2);
    return block + body;
}

using strings = std::vector<std::pair<std::u16string, std::u16string>>;

// The fixed part of a version record: 52 bytes.
std::string version_fixed()
{
    std::string fixed;
    for (uint32_t field : {0xFEEF04BDu, 0x10000u, 0x10000u, 0u, 0x10000u, 0u, 0x3Fu, 0u, 0x40004u, 1u, 0u, 0u, 0u})
        put(fixed, field, 4);
    return fixed;
}

// The StringFileInfo block (or one of another name) of one string table; each text ends with a
// NUL unless `unterminated`: then, of an even length, the last one ends the block.
std::string string_info(const strings& texts, const std::u16string& table = u"040904b0",
                        const std::u16string& info = u"StringFileInfo", bool unterminated = false)
{
    std::vector<std::string> entries;
    for (const auto& text : texts)
        entries.push_back(unterminated ? version_block(text.first, utf16z(text.second).substr(0, 2 * text.second.size()),
                                                       text.second.size(), true, {})
                                       : version_block(text.first, utf16z(text.second), text.second.size() + 1, true, {}));
    std::string table_block = version_block(table, "", 0, true, entries);
    return version_block(info, "", 0, true, {table_block});
}

std::string version_record(const strings& texts, const std::u16string& table = u"040904b0",
                           const std::u16string& info = u"StringFileInfo", bool unterminated = false)
{
    return version_block(u"VS_VERSION_INFO", version_fixed(), 52, false, {string_info(texts, table, info, unterminated)});
}

std::string manifest(const std::string& element)
{
    return "<?xml version=\"1.0\"?><assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
           "<trustInfo><security><requestedPrivileges>" +
           element + "</requestedPrivileges></security></trustInfo></assembly>";
}

struct resource {
    uint32_t type;
    std::string data;
};

void directory_header(std::string& out, unsigned named, unsigned ids)
{
    put(out, 0, 12);
    put(out, named, 2);
    put(out, ids, 2);
}

// A directory of one entry: its name or id, and its target (0x80000000 set: another directory).
void one_entry_directory(std::string& out, uint32_t name, uint32_t target)
{
    directory_header(out, 0, 1);
    put(out, name, 4);
    put(out, target, 4);
}

// A resource tree with one name (1) and one language (0x409) per type, as resource compilers
// write it; `named_types` entries named by string come first in the root, as they must. The root
// counts all but the last `uncounted` types, whose entries follow the counted ones all the same.
std::string resource_section(const std::vector<resource>& resources, uint32_t section_rva, unsigned named_types = 0,
                             unsigned uncounted = 0)
{
    size_t count = resources.size();
    size_t names_at = 16 + 8 * (named_types + count);
    size_t languages_at = names_at + 24 * count;
    size_t entries_at = languages_at + 24 * count;
    size_t data_at = entries_at + 16 * count;
    std::string tree;
    directory_header(tree, named_types, count - uncounted);
    for (unsigned i = 0; i < named_types; ++i) {
        put(tree, 0x80000000u, 4);
        put(tree, 0x80000000u, 4);
    }
    for (size_t i = 0; i < count; ++i) {
        put(tree, resources[i].type, 4);
        put(tree, 0x80000000u | (names_at + 24 * i), 4);
    }
    for (size_t i = 0; i < count; ++i)
        one_entry_directory(tree, 1, 0x80000000u | (languages_at + 24 * i));
    for (size_t i = 0; i < count; ++i)
        one_entry_directory(tree, 0x409, entries_at + 16 * i);
    std::string data;
    for (const resource& r : resources) {
        put(tree, section_rva + data_at + data.size(), 4);
        put(tree, r.data.size(), 4);
        put(tree, 0, 8);
        data += r.data;
        pad4(data);
    }
    return tree + data;
}

struct section {
    uint32_t rva;
    std::string bytes;
    uint32_t raw_size = 0;  // the size the section table gives; 0: that of the bytes
};

struct image_layout {
    uint16_t machine = 0x14C;
    uint16_t magic = 0x10B;
    bool dll = false;
    uint32_t directory_count = 16;
    uint32_t resources_rva = 0;
    int declared_sections = -1;  // the section count the header gives; -1: the real one
};

// An MZ stub, the PE headers, the section table, then each section's bytes, one after another.
std::string pe_file(const std::vector<section>& sections, const image_layout& layout = {})
{
    bool wide = layout.magic == 0x20B;
    unsigned optional_size = wide ? 240 : 224;
    std::string file(0x80, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    file[0x0C] = file[0x0D] = '\xFF';  // as linkers write the DOS stub's header: not a resource root
    file[0x10] = '\xB8';
    file[0x3C] = '\x80';
    file += std::string("PE\0\0", 4);
    put(file, layout.machine, 2);
    put(file, layout.declared_sections < 0 ? sections.size() : layout.declared_sections, 2);
    put(file, 0, 12);
    put(file, optional_size, 2);
    put(file, 0x0102 | (layout.dll ? 0x2000 : 0), 2);
    std::string optional(optional_size, '\0');
    std::string fields;
    put(fields, layout.magic, 2);
    optional.replace(0, 2, fields);
    fields.clear();
    put(fields, layout.directory_count, 4);
    put(fields, 0, 16);
    put(fields, layout.resources_rva, 4);
    put(fields, 0x1000, 4);
    optional.replace(wide ? 108 : 92, fields.size(), fields);
    file += optional;
    size_t headers_end = file.size() + 40 * sections.size();
    size_t raw_offset = (headers_end + 0x1FF) & ~static_cast<size_t>(0x1FF);
    for (const section& s : sections) {
        std::string entry(".data\0\0\0", 8);
        put(entry, s.bytes.size(), 4);
        put(entry, s.rva, 4);
        put(entry, s.raw_size != 0 ? s.raw_size : s.bytes.size(), 4);
        put(entry, raw_offset, 4);
        put(entry, 0, 12);
        put(entry, 0x40000040, 4);
        file += entry;
        raw_offset += s.bytes.size();
    }
    file.resize((headers_end + 0x1FF) & ~static_cast<size_t>(0x1FF), '\0');
    for (const section& s : sections)
        file += s.bytes;
    return file;
}

// A 32-bit program whose one section, at 0x1000, holds these resources.
std::string program_with(const std::vector<resource>& resources, image_layout layout = {}, unsigned named_types = 0)
{
    layout.resources_rva = 0x1000;
    return pe_file({{0x1000, resource_section(resources, 0x1000, named_types)}}, layout);
}

std::string mz_with_header_at(uint32_t at, const std::string& header, size_t size)
{
    std::string file(size, '\0');
    file[0] = 'M';
    file[1] = 'Z';
    file[0x3C] = static_cast<char>(at);
    file[0x3D] = static_cast<char>(at >> 8);
    if (at + header.size() <= size)
        file.replace(at, header.size(), header);
    return file;
}

const strings launcher_texts = {{u"CompanyName", u"Maker"},
                                {u"FileDescription", u"Tovinel launcher"},
                                {u"OriginalFilename", u"tovinel.exe"},
                                {u"ProductName", u"Tovinel"}};

struct facts_expected {
    program_kind kind;
    bool dll;
    const char* original_filename;
    const char* product_name;
    const char* file_description;
    const char* execution_level;
};

std::string kind_name(program_kind kind)
{
    const char* names[] = {"not_program", "dos", "windows16", "windows32", "windows64", "other_pe"};
    return names[static_cast<int>(kind)];
}

TEST(CheckProgram, FactsComeFromTheHeadersAndResourcesWithinTheBytes)
{
    const program_kind w32 = program_kind::windows32;
    const std::string level_manifest = manifest("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>");

    // Resources in a second section; the first holds a manifest's text where a cut directory's
    // root would wrongly send a reader that took it for a data entry.
    std::string text_section = level_manifest;
    std::string cut_tree;
    put(cut_tree, 0x1000, 4);  // the root's first fields, read as a data entry: rva and size of the text
    put(cut_tree, level_manifest.size(), 4);
    put(cut_tree, 0, 6);
    put(cut_tree, 1, 2);
    put(cut_tree, 24, 4);
    put(cut_tree, 0x80000000u | 24, 4);
    one_entry_directory(cut_tree, 1, 0x80000000u | 48);
    directory_header(cut_tree, 0, 1);  // a language directory of one entry, and the file ends
    image_layout in_second;
    in_second.resources_rva = 0x2000;

    // A tree whose language directory comes last, its one entry ending the file; the data entry
    // it names lies before it.
    std::string last_entry_tree;
    one_entry_directory(last_entry_tree, 24, 0x80000000u | 24);
    one_entry_directory(last_entry_tree, 1, 0x80000000u | 64);
    put(last_entry_tree, 0x1000, 4);  // at 48: the data entry
    put(last_entry_tree, level_manifest.size(), 4);
    put(last_entry_tree, 0, 8);
    one_entry_directory(last_entry_tree, 0x409, 48);  // at 64: the language directory

    // The same, but the data entry comes last, and only its address and size are in the file.
    std::string cut_entry_tree = last_entry_tree.substr(0, 48);
    cut_entry_tree.replace(44, 4, std::string("\x30\0\0\x80", 4));  // the language directory is at 48
    one_entry_directory(cut_entry_tree, 0x409, 72);
    put(cut_entry_tree, 0x1000, 4);
    put(cut_entry_tree, level_manifest.size(), 4);

    // A tree as a resource compiler would never write it, but Windows reads: directories and the data
    // entry at odd offsets.
    std::string odd_tree;
    one_entry_directory(odd_tree, 24, 0x80000000u | 25);
    odd_tree += '\0';
    one_entry_directory(odd_tree, 1, 0x80000000u | 49);  // at 25
    one_entry_directory(odd_tree, 0x409, 73);  // at 49
    put(odd_tree, 0x1000, 4);  // at 73
    put(odd_tree, level_manifest.size(), 4);
    put(odd_tree, 0, 8);

    // A manifest of exactly the most bytes read from a resource, and one of a byte more.
    std::string largest_manifest = level_manifest + std::string((1u << 20) - level_manifest.size(), ' ');

    image_layout at_first;
    at_first.resources_rva = 0x1000;
    const std::string manifest_tree = resource_section({{24, level_manifest}}, 0x1000);
    // Data long enough to reach back over the headers to the manifest's own text, were it read from
    // anywhere but where the resource says.
    const std::string padded_manifest_tree =
        resource_section({{24, level_manifest + std::string(0x2000, ' ')}}, 0x1000);
    std::string version = version_record(launcher_texts);
    // ProductName "Tovinel" without its NUL, in a block whose length stops one byte short of its end.
    std::string odd_text = version_block(u"ProductName", utf16z(u"Tovinel").substr(0, 14), 7, true, {});
    odd_text[0] = static_cast<char>(odd_text[0] - 3);  // past its padding, into the last character
    // `count` small sections, then one that holds the resources.
    auto sections_before = [&version](unsigned count) {
        std::vector<section> sections;
        for (unsigned i = 0; i < count; ++i)
            sections.push_back({0x1000 + 0x100 * i, std::string(16, '\xCC')});
        sections.push_back({0x10000, resource_section({{16, version}}, 0x10000)});
        return sections;
    };
    image_layout at_many;
    at_many.resources_rva = 0x10000;
    std::string manifest_type_only = manifest("<requestedExecutionLevel level='highestAvailable'/>");

    struct {
        const char* name;
        std::string bytes;
        facts_expected expected;
    } const cases[] = {
        {"no MZ", std::string(200, 'x'), {program_kind::not_program, false, "", "", "", ""}},
        {"MZ, but shorter than its header", "MZ" + std::string(61, '\0'), {program_kind::not_program, false, "", "", "", ""}},
        {"MZ and a whole DOS header, no more", "MZ" + std::string(62, '\0'), {program_kind::dos, false, "", "", "", ""}},
        {"a version block of length 0 ends the walk",
         program_with({{16, version_block(u"VS_VERSION_INFO", version_fixed(), 52, false, {std::string(8, '\0')})}}),
         {w32, false, "", "", "", ""}},
        {"DOS: the header offset names its relocations", mz_with_header_at(0x1C, "", 0x80), {program_kind::dos, false, "", "", "", ""}},
        {"DOS: the header offset lies past the end", mz_with_header_at(0x1000, "", 0x80), {program_kind::dos, false, "", "", "", ""}},
        {"DOS: a PE header cut by the end", mz_with_header_at(0x41, "PE", 0x80), {program_kind::dos, false, "", "", "", ""}},
        {"16-bit Windows", mz_with_header_at(0x40, "NE", 0x80), {program_kind::windows16, false, "", "", "", ""}},
        {"32-bit program, its version texts", program_with({{16, version}}),
         {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"32-bit library", program_with({{16, version}}, [] { image_layout l; l.dll = true; return l; }()),
         {w32, true, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"x64", program_with({}, [] { image_layout l; l.machine = 0x8664; l.magic = 0x20B; return l; }()),
         {program_kind::windows64, false, "", "", "", ""}},
        {"ARM64, its manifest", program_with({{24, level_manifest}}, [] { image_layout l; l.machine = 0xAA64; l.magic = 0x20B; return l; }()),
         {program_kind::windows64, false, "", "", "", "requireAdministrator"}},
        {"Itanium", program_with({}, [] { image_layout l; l.machine = 0x200; l.magic = 0x20B; return l; }()),
         {program_kind::other_pe, false, "", "", "", ""}},
        {"x86 with a 64-bit optional header", program_with({}, [] { image_layout l; l.magic = 0x20B; return l; }()),
         {program_kind::other_pe, false, "", "", "", ""}},
        {"x64 with a 32-bit optional header", program_with({}, [] { image_layout l; l.machine = 0x8664; return l; }()),
         {program_kind::other_pe, false, "", "", "", ""}},
        {"texts beyond ASCII, as UTF-8",
         program_with({{16, version_record({{u"ProductName", u"Caf\u00e9 \u007f\u0080\u07ff\u0800\u0fff\uffff"},
                                            {u"FileDescription", u"\u30bd\u30d5\u30c8"}})}}),
         {w32, false, "", "Caf\xc3\xa9 \x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xe0\xbf\xbf\xef\xbf\xbf",
          "\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88", ""}},
        {"an empty block of six bytes before the string tables",
         program_with({{16, version_block(u"VS_VERSION_INFO", version_fixed(), 52, false,
                                          {std::string("\x06\0\0\0\0\0", 6), string_info(launcher_texts)})}}),
         {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"a text whose block ends inside its last character loses that character",
         program_with({{16, version_block(u"VS_VERSION_INFO", version_fixed(), 52, false,
                                          {version_block(u"StringFileInfo", "", 0, true,
                                                         {version_block(u"040904b0", "", 0, true, {odd_text})})})}}),
         {w32, false, "", "Tovine", "", ""}},
        {"a string table not named by language and code page is not read",
         program_with({{16, version_record(launcher_texts, u"0409")}}), {w32, false, "", "", "", ""}},
        {"eight letters outside StringFileInfo are no string table",
         program_with({{16, version_record(launcher_texts, u"040904b0", u"OtherInf")}}), {w32, false, "", "", "", ""}},
        {"fewer than three data directories: no resources",
         program_with({{16, version}}, [] { image_layout l; l.directory_count = 2; return l; }()), {w32, false, "", "", "", ""}},
        {"three data directories hold the resources",
         program_with({{16, version}}, [] { image_layout l; l.directory_count = 3; return l; }()),
         {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"types named by string come before the version",
         program_with({{16, version}}, {}, 256), {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"the manifest and the version, each of its own type",
         program_with({{16, version}, {24, manifest_type_only}}),
         {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", "highestAvailable"}},
        {"resources in the second section",
         pe_file({{0x1000, std::string(0x40, '\xCC')}, {0x2000, resource_section({{16, version}}, 0x2000)}}, in_second),
         {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"a section past the count the header gives is not looked in",
         pe_file({{0x1000, std::string(0x40, '\xCC')}, {0x2000, resource_section({{16, version}}, 0x2000)}},
                 [] { image_layout l; l.resources_rva = 0x2000; l.declared_sections = 1; return l; }()),
         {w32, false, "", "", "", ""}},
        {"a resource tree past its section's bytes",
         pe_file({{0x1000, std::string(0x40, '\xCC')}}, [] { image_layout l; l.resources_rva = 0x1040; return l; }()),
         {w32, false, "", "", "", ""}},
        {"a language directory cut by the end of the file",
         pe_file({{0x1000, text_section}, {0x2000, cut_tree}}, in_second), {w32, false, "", "", "", ""}},
        {"a language entry that ends the file", pe_file({{0x1000, text_section}, {0x2000, last_entry_tree}}, in_second),
         {w32, false, "", "", "", "requireAdministrator"}},
        {"a language entry cut by the end of the file",
         pe_file({{0x1000, text_section}, {0x2000, last_entry_tree.substr(0, last_entry_tree.size() - 1)}}, in_second),
         {w32, false, "", "", "", ""}},
        {"a data entry that ends the file",
         pe_file({{0x1000, text_section}, {0x2000, cut_entry_tree + std::string(8, '\0')}}, in_second),
         {w32, false, "", "", "", "requireAdministrator"}},
        {"a data entry one byte short", pe_file({{0x1000, text_section}, {0x2000, cut_entry_tree + std::string(7, '\0')}}, in_second),
         {w32, false, "", "", "", ""}},
        {"a tree at odd offsets", pe_file({{0x1000, text_section}, {0x2000, odd_tree}}, in_second),
         {w32, false, "", "", "", "requireAdministrator"}},
        {"no resource table: its address is 0, even where a section starts there",
         pe_file({{0, resource_section({{16, version}}, 0)}}), {w32, false, "", "", "", ""}},
        {"a data entry cut by the end of the file", pe_file({{0x1000, text_section}, {0x2000, cut_entry_tree}}, in_second),
         {w32, false, "", "", "", ""}},
        {"a resource of 1 MiB", program_with({{24, largest_manifest}}), {w32, false, "", "", "", "requireAdministrator"}},
        {"a resource of more than 1 MiB is not read", program_with({{24, largest_manifest + " "}}),
         {w32, false, "", "", "", ""}},
        {"entries past the directory's count are not read",
         pe_file({{0x1000, resource_section({{24, manifest_type_only}, {16, version}}, 0x1000, 0, 1)}}, at_first),
         {w32, false, "", "", "", "highestAvailable"}},
        {"the first 4096 entries of a directory are read", program_with({{16, version}}, {}, 4095),
         {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"entries past the first 4096 are not", program_with({{16, version}}, {}, 4096), {w32, false, "", "", "", ""}},
        {"a section that ends where the next begins",
         pe_file({{0x1000, std::string(0x40, '\xCC')}, {0x1040, resource_section({{16, version}}, 0x1040)}},
                 [] { image_layout l; l.resources_rva = 0x1040; return l; }()),
         {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"resource data past its section's size, though the file goes on",
         pe_file({{0x1000, manifest_tree, static_cast<uint32_t>(manifest_tree.size() - 8)}, {0x3000, std::string(0x40, '\xCC')}},
                 at_first),
         {w32, false, "", "", "", ""}},
        {"long resource data past its section's size, though the file goes on",
         pe_file({{0x1000, padded_manifest_tree, static_cast<uint32_t>(padded_manifest_tree.size() - 8)},
                  {0x4000, std::string(0x40, '\xCC')}},
                 at_first),
         {w32, false, "", "", "", ""}},
        {"a section cut by the end of the file",
         pe_file({{0x1000, manifest_tree.substr(0, manifest_tree.size() - 8), static_cast<uint32_t>(manifest_tree.size())}},
                 at_first),
         {w32, false, "", "", "", ""}},
        {"resources in the 96th section", pe_file(sections_before(95), at_many), {w32, false, "tovinel.exe", "Tovinel", "Tovinel launcher", ""}},
        {"sections past the 96th are not looked in", pe_file(sections_before(96), at_many), {w32, false, "", "", "", ""}},
        {"a text that ends its record keeps its last character",
         program_with({{16, version_record({{u"ProductName", u"Tovinel!"}}, u"040904b0", u"StringFileInfo", true)}}),
         {w32, false, "", "Tovinel!", "", ""}},
    };
    for (const auto& c : cases) {
        program_facts facts = program_facts_of(c.bytes);
        EXPECT_EQ(kind_name(c.expected.kind), kind_name(facts.kind)) << c.name;
        EXPECT_EQ(c.expected.dll, facts.dll) << c.name;
        EXPECT_EQ(c.expected.original_filename, facts.original_filename) << c.name;
        EXPECT_EQ(c.expected.product_name, facts.product_name) << c.name;
        EXPECT_EQ(c.expected.file_description, facts.file_description) << c.name;
        EXPECT_EQ(c.expected.execution_level, facts.execution_level) << c.name;
    }
}

// A copy branded with tovinel-brand names its publisher's product, and Tovinel as its internal name.
TEST(CheckProgram, ABrandedLauncherIsKnownByItsInternalName)
{
    program_facts facts = program_facts_of(program_with(
        {{16, version_record({{u"InternalName", u"Tovinel"}, {u"ProductName", u"Sternkarte 2027"}})}}));
    EXPECT_EQ("Tovinel", facts.internal_name);
    EXPECT_TRUE(program_is_launcher(facts));
    facts.internal_name = "tovinel";
    EXPECT_FALSE(program_is_launcher(facts));
}

TEST(CheckProgram, TheExecutionLevelIsTheOneTheElementNames)
{
    struct {
        const char* element;
        const char* level;
    } const cases[] = {
        {"<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>", "asInvoker"},
        {"<requestedExecutionLevel uiAccess='false' level='requireAdministrator'/>", "requireAdministrator"},
        {"<requestedExecutionLevel uiAccess=\"false\"/><x level=\"requireAdministrator\"/>", ""},
        {"<requestedExecutionLevel level=asInvoker/><x a=\"requireAdministrator\"/>", ""},
        {"<requestedExecutionLevel level=\"highestAvailable", ""},
        {"<requestedExecutionLevel level=\"\" uiAccess=\"false\"/>", ""},
        {"<security/>", ""},
    };
    for (const auto& c : cases) {
        program_facts facts = program_facts_of(program_with({{24, manifest(c.element)}}));
        EXPECT_EQ(c.level, facts.execution_level) << c.element;
    }
}

TEST(CheckProgram, TheLauncherAndTheProgramsThatAskForElevation)
{
    auto facts = [](program_kind kind, const char* original, const char* product, const char* description,
                    const char* level, bool dll = false) {
        program_facts f;
        f.kind = kind;
        f.dll = dll;
        f.original_filename = original;
        f.product_name = product;
        f.file_description = description;
        f.execution_level = level;
        return f;
    };
    const program_kind w32 = program_kind::windows32;
    const program_kind w64 = program_kind::windows64;
    struct {
        const char* name;
        program_facts facts;
        const char* file_name;
        bool launcher;
        bool elevation;
    } const cases[] = {
        {"the launcher by its product", facts(w32, "", "Tovinel", "", ""), "autorun.exe", true, false},
        {"the launcher by its file, in any case", facts(w32, "TOVINEL.EXE", "", "", ""), "start.exe", true, false},
        {"a product named otherwise in case", facts(w32, "", "tovinel", "", ""), "start.exe", false, false},
        {"a 64-bit build", facts(w64, "tovinel.exe", "Tovinel", "", ""), "start.exe", false, false},
        {"a library", facts(w32, "tovinel.exe", "Tovinel", "", "", true), "start.exe", false, false},
        {"DOS, named setup", facts(program_kind::dos, "", "", "", ""), "SETUP.EXE", false, false},
        {"32-bit, named setup", facts(w32, "", "", "", ""), "SETUP.EXE", false, true},
        {"32-bit, installer in its original name", facts(w32, "MakerInstall.exe", "", "", ""), "go.exe", false, true},
        {"32-bit, update in its product", facts(w32, "", "Maker Update", "", ""), "go.exe", false, true},
        {"32-bit, patch in its description", facts(w32, "", "", "Maker PATCH", ""), "go.exe", false, true},
        {"32-bit, upgrade in its name", facts(w32, "", "", "", ""), "upgrade2.exe", false, true},
        {"32-bit, no installer word", facts(w32, "app.exe", "Maker", "Maker App", ""), "app.exe", false, false},
        {"a manifest as invoker wins over the name", facts(w32, "", "", "", "asInvoker"), "setup.exe", false, false},
        {"a manifest for the highest rights", facts(w32, "", "", "", "highestAvailable"), "app.exe", false, true},
        {"64-bit, named setup", facts(w64, "", "", "", ""), "setup.exe", false, false},
        {"64-bit, its manifest asks", facts(w64, "", "", "", "requireAdministrator"), "app.exe", false, true},
        {"a 16-bit program's manifest is never read", facts(program_kind::windows16, "", "", "", "requireAdministrator"), "app.exe", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.launcher, program_is_launcher(c.facts)) << c.name;
        EXPECT_EQ(c.elevation, program_needs_elevation(c.facts, c.file_name)) << c.name;
    }
    EXPECT_EQ("install", installer_word("Maker INSTALLER"));
    EXPECT_EQ("", installer_word("Maker"));
}

}  // namespace
