// Tovinel brand, the PE image: a built tovinel.exe read as the launcher's layout (headers in one page,
// four sections) and written again with other resources, everything else kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe/resource_tree.h"
#include "pe/version_record.h"

const uint32_t file_page = 512;
const uint32_t section_page = 4096;

struct pe_section {
    std::string name;
    uint32_t header_at = 0;  // file offset of its section header
    uint32_t virtual_address = 0;
    uint32_t virtual_size = 0;
    uint32_t raw_offset = 0;
    uint32_t raw_size = 0;
};

struct launcher_image {
    std::string bytes;                 // the file without its certificate table
    std::vector<pe_section> sections;  // .text, .idata, .rsrc, .reloc
    uint32_t signature_size = 0;       // the certificate table's bytes after the sections; 0: unsigned
    resource_tree resources;
    version_block version;
};

enum section_index { section_text, section_idata, section_rsrc, section_reloc };

// Reads `file` as the launcher's layout: the PE header at 0x68, four sections (.text, .idata, .rsrc,
// .reloc) in 512-byte pages right after one page of headers, the resource and relocation tables at
// the start of their sections and no other table in them, no debug data, nothing after the sections
// but a certificate table; a version record that names Tovinel (OriginalFilename tovinel.exe, or
// InternalName or ProductName Tovinel) with the four texts a publisher sets, and the icon group 102
// of images 1 (32x32) and 2 (16x16) of 16 colours. False with `why` otherwise.
bool read_launcher_image(const std::string& file, launcher_image* image, std::string* why);

// A section's bytes as the loader maps them: its file data up to its virtual size, then zeros.
std::string loaded_section(const launcher_image& image, const pe_section& section);

// The file `image` becomes when its .rsrc section holds `resources` (unpadded, as
// resource_section_bytes gives it): the bytes before .rsrc as they are, .rsrc in whole pages, .reloc's
// bytes behind it (at the next free section address when .rsrc grew into its own), no certificate
// table; the headers say so and carry a new checksum.
std::string launcher_with_resources(const launcher_image& image, const std::string& resources);

// The header fields launcher_with_resources may change: (file offset, length) pairs.
std::vector<std::pair<uint32_t, uint32_t>> rewritten_header_fields(const launcher_image& image);

// The PE checksum of `bytes`, the field itself left out.
uint32_t pe_checksum(const std::string& bytes);

// The file offset of the PE checksum.
const uint32_t checksum_at = 0x68 + 24 + 64;
