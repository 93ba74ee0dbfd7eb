// Tovinel brand, the PE image: the version record's blocks. A block whose bytes run past its value
// holds children; a String or a Var ends with its value.
#include "pe/version_record.h"

#include "base/bytes.h"
#include "base/text.h"

namespace {

size_t align4(size_t offset)
{
    return (offset + 3) & ~static_cast<size_t>(3);
}

bool read_block(const std::string& bytes, size_t at, size_t end, unsigned depth, version_block* block,
                size_t* block_end, std::string* why)
{
    if (depth > 4 || at + 6 > end || read_u16(bytes, at) < 6 || at + read_u16(bytes, at) > end) {
        *why = "the version record's block at " + hex(at) + " does not fit inside its parent";
        return false;
    }
    *block_end = at + read_u16(bytes, at);
    block->value_length = read_u16(bytes, at + 2);
    block->type = read_u16(bytes, at + 4);
    size_t key_at = at + 6;
    for (;; key_at += 2) {
        if (key_at + 2 > *block_end) {
            *why = "a key of the version record has no end";
            return false;
        }
        uint32_t unit = read_u16(bytes, key_at);
        if (unit == 0)
            break;
        block->key += static_cast<char16_t>(unit);
    }
    size_t value_at = align4(key_at + 2);
    size_t value_size = block->type == 1 ? size_t(2) * block->value_length : block->value_length;
    if (value_at + value_size > *block_end) {
        *why = "the value of '" + utf8_from_utf16(block->key) +
               "' in the version record runs past its block";
        return false;
    }
    block->value = bytes.substr(value_at, value_size);
    for (size_t child_at = align4(value_at + value_size); child_at < *block_end;) {
        version_block child;
        size_t child_end = 0;
        if (!read_block(bytes, child_at, *block_end, depth + 1, &child, &child_end, why))
            return false;
        block->children.push_back(child);
        child_at = align4(child_end);
    }
    return true;
}

void pad4(std::string* out)
{
    out->resize(align4(out->size()), '\0');
}

bool write_block(const version_block& block, std::string* out, std::string* why)
{
    size_t start = out->size();
    out->append(6, '\0');
    for (char16_t unit : block.key)
        out->append({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
    out->append(2, '\0');
    pad4(out);
    *out += block.value;
    for (const version_block& child : block.children) {
        pad4(out);
        if (!write_block(child, out, why))
            return false;
    }
    size_t length = out->size() - start;
    if (length > 0xFFFF || block.value_length > 0xFFFF) {
        *why = "the version record's '" + utf8_from_utf16(block.key) + "' would take " +
               std::to_string(length) + " bytes; its 16-bit lengths hold at most 65535";
        return false;
    }
    write_u16(out, start, static_cast<uint32_t>(length));
    write_u16(out, start + 2, block.value_length);
    write_u16(out, start + 4, block.type);
    return true;
}

}  // namespace

bool read_version_record(const std::string& bytes, version_block* root, std::string* why)
{
    size_t end = 0;
    return read_block(bytes, 0, bytes.size(), 0, root, &end, why);
}

bool version_record_bytes(const version_block& root, std::string* bytes, std::string* why)
{
    bytes->clear();
    return write_block(root, bytes, why);
}

const version_block* version_string(const version_block& root, const std::u16string& key)
{
    for (const version_block& info : root.children) {
        if (info.key != u"StringFileInfo" || info.children.empty())
            continue;
        for (const version_block& string : info.children[0].children)
            if (string.key == key)
                return &string;
    }
    return nullptr;
}

version_block* version_string(version_block* root, const std::u16string& key)
{
    return const_cast<version_block*>(version_string(static_cast<const version_block&>(*root), key));
}

std::u16string version_string_text(const version_block& string)
{
    std::u16string text;
    for (size_t at = 0; at + 1 < string.value.size(); at += 2) {
        char16_t unit = static_cast<char16_t>(read_u16(string.value, at));
        if (unit == 0)
            break;
        text += unit;
    }
    return text;
}

void set_version_string_text(version_block* string, const std::u16string& text)
{
    string->value.clear();
    for (char16_t unit : text)
        string->value.append({static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)});
    string->value.append(2, '\0');
    string->type = 1;
    string->value_length = static_cast<uint32_t>(text.size() + 1);
}
