// Tovinel check: program facts from the MZ, NE and PE headers and from the PE resources (the
// version record and the manifest). Every offset read from the file is checked against its bytes.
#include "formats/program.h"

#include "formats/encoding.h"

#include <cstdint>
#include <utility>

namespace {

struct bytes_view {
    const std::string& bytes;

    bool has(uint64_t offset, uint64_t length) const
    {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    }
    uint32_t u16(uint64_t offset) const
    {
        if (!has(offset, 2))
            return 0;
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[static_cast<size_t>(offset)]) |
                                     static_cast<unsigned char>(bytes[static_cast<size_t>(offset + 1)]) << 8);
    }
    uint32_t u32(uint64_t offset) const { return u16(offset) | u16(offset + 2) << 16; }
};

struct pe_section {
    uint32_t virtual_address;
    uint32_t raw_size;
    uint32_t raw_offset;
};

const uint32_t resource_type_version = 16;
const uint32_t resource_type_manifest = 24;

class pe_image {
public:
    pe_image(const bytes_view& view, uint64_t sections_at, unsigned count) : view_(view)
    {
        sections_at_ = sections_at;
        count_ = count;
    }

    // The file offset of the relative virtual address `rva`, with `length` bytes there; false when
    // no section holds them within the bytes read.
    bool offset_of(uint32_t rva, uint32_t length, uint64_t* offset) const
    {
        for (unsigned i = 0; i < count_ && i < 96; ++i) {
            uint64_t at = sections_at_ + 40ull * i;
            // Only the bytes a section has in the file can hold what is read; its zero-filled rest
            // holds no resource, so the raw size alone bounds it.
            pe_section section{view_.u32(at + 12), view_.u32(at + 16), view_.u32(at + 20)};
            if (rva < section.virtual_address || rva - section.virtual_address >= section.raw_size)
                continue;
            uint64_t inside = rva - section.virtual_address;
            if (inside + length > section.raw_size)
                return false;
            *offset = section.raw_offset + inside;
            return view_.has(*offset, length);
        }
        return false;
    }

private:
    const bytes_view& view_;
    uint64_t sections_at_;
    unsigned count_;
};

// The first entry of a resource directory at `directory` (file offset) that matches `id` (any
// when id is 0): its offset field, which counts from the resource root.
bool resource_entry(const bytes_view& view, uint64_t directory, uint32_t id, uint32_t* target)
{
    // A directory cut by the end of the bytes finds nothing: u16 reads 0 past them, and an entry
    // past them is refused below.
    uint32_t entries = view.u16(directory + 12) + view.u16(directory + 14);
    for (uint32_t i = 0; i < entries && i < 4096; ++i) {
        uint64_t entry = directory + 16 + 8ull * i;
        if (!view.has(entry, 8))
            return false;
        uint32_t name = view.u32(entry);
        if (id != 0 && name != id)
            continue;
        *target = view.u32(entry + 4);
        return true;
    }
    return false;
}

// The bytes of the first resource of `type`, or "" when there is none within the bytes read.
std::string resource_bytes(const bytes_view& view, const pe_image& image, uint32_t table_rva, uint32_t type)
{
    uint64_t root = 0;
    if (table_rva == 0 || !image.offset_of(table_rva, 16, &root))
        return "";
    uint64_t directory = root;
    uint32_t target = 0;
    // Type, then name, then language: three levels of directories, then the data entry.
    for (uint32_t level = 0; level < 3; ++level) {
        if (!resource_entry(view, directory, level == 0 ? type : 0, &target))
            return "";
        bool is_directory = (target & 0x80000000u) != 0;
        if (is_directory != (level < 2))
            return "";
        directory = root + (target & 0x7FFFFFFFu);
    }
    uint64_t data_entry = directory;
    if (!view.has(data_entry, 16))
        return "";
    uint32_t data_rva = view.u32(data_entry);
    uint32_t size = view.u32(data_entry + 4);
    uint64_t at = 0;
    if (size > (1u << 20) || !image.offset_of(data_rva, size, &at))
        return "";
    return view.bytes.substr(static_cast<size_t>(at), size);
}

// UTF-16LE text (BMP only; what a version record holds) as UTF-8, up to a NUL unit or `end`.
std::string utf16_text(const bytes_view& view, uint64_t at, uint64_t end, uint64_t* after)
{
    std::string out;
    while (at + 2 <= end) {
        uint32_t unit = view.u16(at);
        at += 2;
        if (unit == 0)
            break;
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | unit >> 6);
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | unit >> 12);
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    *after = at;
    return out;
}

uint64_t aligned4(uint64_t offset)
{
    return (offset + 3) & ~static_cast<uint64_t>(3);
}

// Walks the blocks of a version record (each: length, value length, type, key, padding, value,
// children) and takes the texts it knows. `depth` bounds the nesting of hostile records.
void read_version_block(const bytes_view& view, uint64_t at, uint64_t end, unsigned depth, program_facts* facts)
{
    while (depth < 4 && at + 6 <= end) {
        uint32_t length = view.u16(at);
        if (length < 6 || at + length > end)
            return;
        uint64_t block_end = at + length;
        uint32_t value_length = view.u16(at + 2);
        bool text = view.u16(at + 4) == 1;
        uint64_t after_key = 0;
        std::string key = utf16_text(view, at + 6, block_end, &after_key);
        uint64_t value_at = aligned4(after_key);
        if ((depth == 1 && key == "StringFileInfo") || (depth == 2 && key.size() == 8)) {
            read_version_block(view, value_at, block_end, depth + 1, facts);
        } else if (depth == 3 && text && value_length > 0) {
            uint64_t ignored = 0;
            std::string value = utf16_text(view, value_at, block_end, &ignored);
            if (key == "OriginalFilename")
                facts->original_filename = value;
            else if (key == "ProductName")
                facts->product_name = value;
            else if (key == "FileDescription")
                facts->file_description = value;
            else if (key == "CompanyName")
                facts->company_name = value;
            else if (key == "InternalName")
                facts->internal_name = value;
        } else if (depth == 0 && key == "VS_VERSION_INFO") {
            // The fixed part (value_length bytes), then the children.
            read_version_block(view, aligned4(value_at + value_length), block_end, depth + 1, facts);
        }
        at = aligned4(block_end);
    }
}

// The requestedExecutionLevel's level in a manifest's text, "" when it names none.
std::string execution_level(const std::string& manifest)
{
    size_t element = manifest.find("requestedExecutionLevel");
    if (element == std::string::npos)
        return "";
    size_t level = manifest.find("level", element);
    size_t close = manifest.find('>', element);
    if (level == std::string::npos || level > close)
        return "";
    size_t open_quote = manifest.find_first_of("\"'", level);
    if (open_quote == std::string::npos || open_quote > close)
        return "";
    size_t close_quote = manifest.find(manifest[open_quote], open_quote + 1);
    if (close_quote == std::string::npos)
        return "";
    return manifest.substr(open_quote + 1, close_quote - open_quote - 1);
}

void read_pe(const bytes_view& view, uint64_t pe_at, program_facts* facts)
{
    facts->kind = program_kind::other_pe;
    uint32_t machine = view.u16(pe_at + 4);
    unsigned section_count = view.u16(pe_at + 6);
    uint32_t optional_size = view.u16(pe_at + 20);
    facts->dll = (view.u16(pe_at + 22) & 0x2000u) != 0;
    uint64_t optional_at = pe_at + 24;
    uint32_t magic = view.u16(optional_at);
    uint64_t directories_at = 0;
    if (magic == 0x10B && machine == 0x14C) {
        facts->kind = program_kind::windows32;
        directories_at = optional_at + 96;
    } else if (magic == 0x20B && (machine == 0x8664 || machine == 0xAA64)) {
        facts->kind = program_kind::windows64;
        directories_at = optional_at + 112;
    } else {
        return;
    }
    uint32_t directory_count = view.u32(directories_at - 4);
    if (directory_count < 3 || !view.has(directories_at, 24))
        return;
    pe_image image(view, optional_at + optional_size, section_count);
    uint32_t resources_rva = view.u32(directories_at + 16);
    std::string version = resource_bytes(view, image, resources_rva, resource_type_version);
    if (!version.empty()) {
        bytes_view version_view{version};
        read_version_block(version_view, 0, version.size(), 0, facts);
    }
    std::string manifest = resource_bytes(view, image, resources_rva, resource_type_manifest);
    if (!manifest.empty())
        facts->execution_level = execution_level(manifest);
    // The certificate table's entry gives a file offset, not an address: it is not loaded.
    if (directory_count < 5 || !view.has(directories_at + 32, 8))
        return;
    uint32_t table_at = view.u32(directories_at + 32);
    uint32_t table_size = view.u32(directories_at + 36);
    // WIN_CERTIFICATE: length, revision, type 2 (PKCS#7 SignedData), then the signature itself.
    uint32_t length = view.u32(table_at);
    if (table_at == 0 || table_size < 8 || length < 8 || length > table_size || !view.has(table_at, length) ||
        view.u16(table_at + 6) != 2)
        return;
    facts->signature = view.bytes.substr(table_at + 8, length - 8);
}

}  // namespace

program_facts program_facts_of(const std::string& bytes)
{
    program_facts facts;
    bytes_view view{bytes};
    if (bytes.size() < 64 || bytes.compare(0, 2, "MZ") != 0)
        return facts;
    facts.kind = program_kind::dos;
    uint64_t header_at = view.u32(0x3C);
    // A DOS program's relocation table sits where a Windows program's header offset would: only a
    // header that is there and says what it is counts.
    if (!view.has(header_at, 64))
        return facts;
    if (bytes.compare(static_cast<size_t>(header_at), 4, std::string("PE\0\0", 4)) == 0)
        read_pe(view, header_at, &facts);
    else if (bytes.compare(static_cast<size_t>(header_at), 2, "NE") == 0)
        facts.kind = program_kind::windows16;
    return facts;
}

bool program_is_launcher(const program_facts& facts)
{
    return facts.kind == program_kind::windows32 && !facts.dll &&
           (ascii_lower(facts.original_filename) == "tovinel.exe" || facts.internal_name == "Tovinel" ||
            facts.product_name == "Tovinel");
}

std::string installer_word(const std::string& name)
{
    std::string lowered = ascii_lower(name);
    for (const char* word : {"setup", "install", "update", "patch", "upgrade"}) {
        if (lowered.find(word) != std::string::npos)
            return word;
    }
    return "";
}

std::string installer_word_field(const program_facts& facts, const std::string& name, std::string* word)
{
    const std::pair<const char*, const std::string&> fields[] = {
        {"file name", name},
        {"CompanyName", facts.company_name},
        {"ProductName", facts.product_name},
        {"FileDescription", facts.file_description},
        {"OriginalFilename", facts.original_filename},
        {"InternalName", facts.internal_name},
    };
    for (const auto& [field, text] : fields) {
        *word = installer_word(text);
        if (!word->empty())
            return field;
    }
    return "";
}

bool program_needs_elevation(const program_facts& facts, const std::string& name)
{
    if (facts.kind != program_kind::windows32 && facts.kind != program_kind::windows64)
        return false;
    if (!facts.execution_level.empty())
        return facts.execution_level == "requireAdministrator" || facts.execution_level == "highestAvailable";
    // The installer guess applies to 32-bit programs only.
    std::string word;
    return facts.kind == program_kind::windows32 && !installer_word_field(facts, name, &word).empty();
}
