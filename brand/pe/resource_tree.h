// Tovinel brand, the PE image: the resource directory of a .rsrc section (type, name, language, then
// the data), read strictly and written again in the layout windres gives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A type or a name: a number, or a string of UTF-16 units.
struct resource_key {
    bool is_text = false;
    uint32_t id = 0;
    std::u16string text;
};

// One resource in one language: its data and the code page its data entry names.
struct resource_data {
    uint32_t language = 0;
    uint32_t codepage = 0;
    uint32_t reserved = 0;
    std::string bytes;
};

struct resource_name {
    resource_key key;
    std::string header;  // the directory's first 12 bytes (characteristics, time stamp, version)
    std::vector<resource_data> languages;
};

struct resource_type {
    resource_key key;
    std::string header;
    std::vector<resource_name> names;
};

struct resource_tree {
    std::string header;
    std::vector<resource_type> types;
};

// Reads the resource directory at the start of `section` (the .rsrc section as loaded, which begins
// at the relative virtual address `section_rva`). False with `why` for anything it cannot read with
// certainty: offsets leaving the section, loops, a tree of another depth than type, name, language.
bool read_resource_tree(const std::string& section, uint32_t section_rva, resource_tree* tree, std::string* why);

// The section bytes of `tree` at `section_rva`, as windres lays them out: the directories (the root,
// then each type's, each followed by its names'), the data entries, the names' strings, then the
// data, each at an 8-byte boundary. Without padding at the end.
std::string resource_section_bytes(const resource_tree& tree, uint32_t section_rva);

// The first language of the resource `type`/`id` (numbers), or null.
resource_data* find_resource(resource_tree* tree, uint32_t type, uint32_t id);
const resource_data* find_resource(const resource_tree& tree, uint32_t type, uint32_t id);

const uint32_t resource_type_icon = 3;
const uint32_t resource_type_icon_group = 14;
const uint32_t resource_type_version = 16;
