// Tovinel brand, the PE image: the version record (VS_VERSIONINFO), a tree of blocks each with a key,
// a value and children; read, its strings changed, and written again as windres writes it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct version_block {
    std::u16string key;
    uint32_t type = 0;          // 1: the value is text
    uint32_t value_length = 0;  // as stored: UTF-16 units for text (with its NUL), bytes otherwise
    std::string value;
    std::vector<version_block> children;
};

// Reads the version record `bytes`. False with `why` when a block's lengths leave the record or its
// parent, or a key has no end.
bool read_version_record(const std::string& bytes, version_block* root, std::string* why);

// The bytes of the record `root`: each block's length ends with its last child, children at 4-byte
// boundaries, as windres writes them. False with `why` when a length passes 65535, the most its
// 16-bit fields hold.
bool version_record_bytes(const version_block& root, std::string* bytes, std::string* why);

// The String `key` of the record's first string table, or null when it has none.
version_block* version_string(version_block* root, const std::u16string& key);
const version_block* version_string(const version_block& root, const std::u16string& key);

// The text of a String, without its terminating NUL.
std::u16string version_string_text(const version_block& string);

// Sets the text of a String (its value, NUL-terminated, and the value length in units).
void set_version_string_text(version_block* string, const std::u16string& text);
