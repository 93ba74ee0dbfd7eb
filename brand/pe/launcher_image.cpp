// Tovinel brand, the PE image: the launcher's layout, read with every offset checked, and the file
// rebuilt around a new .rsrc section. Only .rsrc's size and .reloc's place change.
#include "pe/launcher_image.h"

#include "base/bytes.h"
#include "base/text.h"

namespace {

const uint32_t pe_at = 0x68;  // behind the 40-byte DOS stub tools/steps/fit_headers.py writes
const uint32_t optional_at = pe_at + 24;
const uint32_t optional_size = 224;  // PE32 with 16 data directories
const uint32_t table_at = optional_at + optional_size;
const uint32_t section_header_size = 40;
const char* const section_names[] = {".text", ".idata", ".rsrc", ".reloc"};

enum directory { directory_resource = 2, directory_certificate = 4, directory_relocation = 5, directory_debug = 6 };

uint32_t directory_at(uint32_t index)
{
    return optional_at + 96 + 8 * index;
}

uint32_t round_up(uint32_t value, uint32_t page)
{
    return (value + page - 1) / page * page;
}

bool fail(std::string* why, const std::string& reason)
{
    *why = reason;
    return false;
}

bool read_sections(const std::string& file, launcher_image* image, std::string* why)
{
    uint32_t expected_raw = file_page, next_address = section_page;
    for (uint32_t i = 0; i < 4; ++i) {
        pe_section section;
        section.header_at = table_at + i * section_header_size;
        section.name = file.substr(section.header_at, 8);
        section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
        section.virtual_size = read_u32(file, section.header_at + 8);
        section.virtual_address = read_u32(file, section.header_at + 12);
        section.raw_size = read_u32(file, section.header_at + 16);
        section.raw_offset = read_u32(file, section.header_at + 20);
        if (section.name != section_names[i])
            return fail(why, "its sections are not .text, .idata, .rsrc and .reloc");
        if (section.raw_offset != expected_raw || section.raw_size % file_page != 0 ||
            uint64_t(section.raw_offset) + section.raw_size > file.size())
            return fail(why, "the file data of " + section.name + " does not follow the section before it in pages of 512 bytes");
        if (section.virtual_address < next_address || section.virtual_address % section_page != 0 ||
            section.virtual_size == 0)
            return fail(why, section.name + " does not follow the section before it in the image");
        expected_raw += section.raw_size;
        next_address = round_up(section.virtual_address + section.virtual_size, section_page);
        image->sections.push_back(section);
    }
    return true;
}

// The certificate table, when there is one, must be all that follows the sections; it is left out.
bool read_signature(const std::string& file, launcher_image* image, std::string* why)
{
    uint32_t end = image->sections.back().raw_offset + image->sections.back().raw_size;
    uint32_t offset = read_u32(file, directory_at(directory_certificate));
    uint32_t size = read_u32(file, directory_at(directory_certificate) + 4);
    if (offset == 0 && size == 0) {
        if (file.size() != end)
            return fail(why, std::to_string(file.size() - end) + " bytes follow its sections");
        return true;
    }
    if (offset != round_up(end, 8) || uint64_t(offset) + size != file.size() || size < 8)
        return fail(why, "its certificate table is not all that follows its sections");
    image->signature_size = size;
    image->bytes = file.substr(0, end);
    return true;
}

// The resource and relocation tables open their sections, and no other table lies in either: those
// two sections are the ones rewritten and moved.
bool read_directories(const launcher_image& image, std::string* why)
{
    const std::string& file = image.bytes;
    const pe_section& rsrc = image.sections[section_rsrc];
    const pe_section& reloc = image.sections[section_reloc];
    if (read_u32(file, directory_at(directory_resource)) != rsrc.virtual_address ||
        read_u32(file, directory_at(directory_resource) + 4) > rsrc.virtual_size)
        return fail(why, "its resource table does not open its .rsrc section");
    if (read_u32(file, directory_at(directory_relocation)) != reloc.virtual_address ||
        read_u32(file, directory_at(directory_relocation) + 4) > reloc.virtual_size)
        return fail(why, "its relocation table does not open its .reloc section");
    if (read_u32(file, directory_at(directory_debug)) || read_u32(file, directory_at(directory_debug) + 4))
        return fail(why, "it holds debug data, which names file offsets");
    for (uint32_t index = 0; index < 16; ++index) {
        uint32_t address = read_u32(file, directory_at(index)), size = read_u32(file, directory_at(index) + 4);
        bool own = index == directory_resource || index == directory_relocation || index == directory_certificate;
        if (!own && size != 0 && address + uint64_t(size) > rsrc.virtual_address)
            return fail(why, "data directory " + std::to_string(index) + " lies in .rsrc or .reloc");
    }
    return true;
}

bool is_launcher_record(const version_block& version)
{
    const version_block* original = version_string(version, u"OriginalFilename");
    const version_block* internal = version_string(version, u"InternalName");
    const version_block* product = version_string(version, u"ProductName");
    std::u16string file = original ? version_string_text(*original) : u"";
    for (char16_t& unit : file)
        if (unit >= u'A' && unit <= u'Z')
            unit = static_cast<char16_t>(unit - u'A' + u'a');
    return file == u"tovinel.exe" || (internal && version_string_text(*internal) == u"Tovinel") ||
           (product && version_string_text(*product) == u"Tovinel");
}

bool read_resources(launcher_image* image, std::string* why)
{
    const pe_section& rsrc = image->sections[section_rsrc];
    std::string reason;
    if (!read_resource_tree(loaded_section(*image, rsrc), rsrc.virtual_address, &image->resources, &reason))
        return fail(why, "its resources cannot be read: " + reason);
    const resource_data* version = find_resource(image->resources, resource_type_version, 1);
    if (!version)
        return fail(why, "it has no version record");
    if (!read_version_record(version->bytes, &image->version, &reason))
        return fail(why, "its version record cannot be read: " + reason);
    if (!is_launcher_record(image->version))
        return fail(why, "its version record names no Tovinel (OriginalFilename tovinel.exe, or InternalName or "
                         "ProductName Tovinel)");
    for (const char16_t* key : {u"CompanyName", u"FileDescription", u"LegalCopyright", u"ProductName"})
        if (!version_string(image->version, key))
            return fail(why, "its version record has no " + utf8_from_utf16(key));
    // The group as windres writes it from tovinel.ico: 32x32 (image 1, 744 bytes), then 16x16
    // (image 2, 296 bytes), each 16 colours, 1 plane, 4 bits per pixel.
    static const unsigned char group[] = {0, 0, 1, 0, 2, 0,
                                          32, 32, 16, 0, 1, 0, 4, 0, 0xE8, 2, 0, 0, 1, 0,
                                          16, 16, 16, 0, 1, 0, 4, 0, 0x28, 1, 0, 0, 2, 0};
    const resource_data* found = find_resource(image->resources, resource_type_icon_group, 102);
    const resource_data* large = find_resource(image->resources, resource_type_icon, 1);
    const resource_data* small = find_resource(image->resources, resource_type_icon, 2);
    if (!found || found->bytes != std::string(reinterpret_cast<const char*>(group), sizeof group) || !large ||
        large->bytes.size() != 744 || !small || small->bytes.size() != 296)
        return fail(why, "its icon group 102 is not the launcher's (images 1, 32x32, and 2, 16x16, of 16 colours)");
    return true;
}

}  // namespace

bool read_launcher_image(const std::string& file, launcher_image* image, std::string* why)
{
    *image = launcher_image();
    if (file.size() < file_page || file.compare(0, 2, "MZ") != 0)
        return fail(why, "it is no Windows program");
    if (read_u32(file, 0x3C) != pe_at || file.compare(pe_at, 4, std::string("PE\0\0", 4)) != 0)
        return fail(why, "its PE header is not at 0x68, where the launcher's one page of headers has it");
    if (read_u16(file, pe_at + 4) != 0x14C || read_u16(file, pe_at + 6) != 4 ||
        read_u16(file, pe_at + 20) != optional_size || read_u16(file, optional_at) != 0x10B ||
        read_u32(file, optional_at + 92) != 16)
        return fail(why, "it is not a 32-bit x86 program of four sections with 16 data directories");
    if (read_u32(file, optional_at + 32) != section_page || read_u32(file, optional_at + 36) != file_page ||
        read_u32(file, optional_at + 60) != file_page)
        return fail(why, "its headers do not fill one page of 512 bytes, or its sections are not aligned as the launcher's");
    image->bytes = file;
    return read_sections(file, image, why) && read_signature(file, image, why) && read_directories(*image, why) &&
           read_resources(image, why);
}

std::string loaded_section(const launcher_image& image, const pe_section& section)
{
    std::string bytes = image.bytes.substr(section.raw_offset, std::min(section.raw_size, section.virtual_size));
    bytes.resize(section.virtual_size, '\0');
    return bytes;
}

std::string launcher_with_resources(const launcher_image& image, const std::string& resources)
{
    const pe_section& rsrc = image.sections[section_rsrc];
    const pe_section& reloc = image.sections[section_reloc];
    uint32_t resource_size = static_cast<uint32_t>(resources.size());
    uint32_t raw_size = round_up(resource_size, file_page);
    uint32_t reloc_address = std::max(reloc.virtual_address, round_up(rsrc.virtual_address + resource_size, section_page));

    std::string out = image.bytes.substr(0, rsrc.raw_offset);
    out += resources;
    out.resize(rsrc.raw_offset + raw_size, '\0');
    out += image.bytes.substr(reloc.raw_offset, reloc.raw_size);

    write_u32(&out, rsrc.header_at + 8, resource_size);
    write_u32(&out, rsrc.header_at + 16, raw_size);
    write_u32(&out, reloc.header_at + 12, reloc_address);
    write_u32(&out, reloc.header_at + 20, rsrc.raw_offset + raw_size);
    write_u32(&out, directory_at(directory_resource) + 4, resource_size);
    write_u32(&out, directory_at(directory_relocation), reloc_address);
    write_u32(&out, directory_at(directory_certificate), 0);
    write_u32(&out, directory_at(directory_certificate) + 4, 0);
    // SizeOfImage, and SizeOfInitializedData, which counts .rsrc's file pages among others.
    write_u32(&out, optional_at + 56, round_up(reloc_address + reloc.virtual_size, section_page));
    write_u32(&out, optional_at + 8, read_u32(out, optional_at + 8) + raw_size - rsrc.raw_size);
    write_u32(&out, checksum_at, pe_checksum(out));
    return out;
}

std::vector<std::pair<uint32_t, uint32_t>> rewritten_header_fields(const launcher_image& image)
{
    const pe_section& rsrc = image.sections[section_rsrc];
    const pe_section& reloc = image.sections[section_reloc];
    return {{optional_at + 8, 4},  {optional_at + 56, 4},         {checksum_at, 4},
            {directory_at(directory_resource) + 4, 4},            {directory_at(directory_certificate), 8},
            {directory_at(directory_relocation), 4},              {rsrc.header_at + 8, 4},
            {rsrc.header_at + 16, 4},                             {reloc.header_at + 12, 4},
            {reloc.header_at + 20, 4}};
}

uint32_t pe_checksum(const std::string& bytes)
{
    uint64_t sum = 0;
    for (size_t at = 0; at < bytes.size(); at += 2) {
        if (at == checksum_at || at == checksum_at + 2)
            continue;
        sum += at + 1 < bytes.size() ? read_u16(bytes, at) : static_cast<unsigned char>(bytes[at]);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + bytes.size());
}
