// Tovinel brand, the PE image: the resource directory read with every offset checked against the
// section, and written in windres's layout, so that an unchanged tree gives the same bytes again.
#include "pe/resource_tree.h"

#include <set>

#include "base/bytes.h"

namespace {

const uint32_t subdirectory_bit = 0x80000000u;

struct tree_reader {
    const std::string& section;
    uint32_t section_rva;
    std::set<uint32_t> visited;
    std::string* why;

    bool fail(const std::string& reason)
    {
        *why = reason;
        return false;
    }

    bool inside(uint64_t offset, uint64_t length, const char* what)
    {
        if (offset + length <= section.size())
            return true;
        return fail(std::string(what) + " at resource offset " + hex(offset) + " lies outside the .rsrc section");
    }

    bool key(uint32_t field, resource_key* out)
    {
        out->is_text = (field & subdirectory_bit) != 0;
        out->id = field;
        if (!out->is_text)
            return true;
        uint32_t at = field & ~subdirectory_bit;
        if (!inside(at, 2, "a resource name"))
            return false;
        uint32_t length = read_u16(section, at);
        if (!inside(at + 2, 2ull * length, "a resource name"))
            return false;
        out->id = 0;
        for (uint32_t i = 0; i < length; ++i)
            out->text += static_cast<char16_t>(read_u16(section, at + 2 + 2 * i));
        return true;
    }

    // The entries of the directory at `offset`: (key field, target field) pairs.
    bool directory(uint32_t offset, std::string* header, std::vector<std::pair<uint32_t, uint32_t>>* entries)
    {
        if (!visited.insert(offset).second)
            return fail("the resource directory at offset " + hex(offset) + " is reached twice: a loop");
        if (!inside(offset, 16, "a resource directory"))
            return false;
        *header = section.substr(offset, 12);
        uint32_t count = read_u16(section, offset + 12) + read_u16(section, offset + 14);
        if (!inside(offset + 16, 8ull * count, "a resource directory's entries"))
            return false;
        for (uint32_t i = 0; i < count; ++i)
            entries->emplace_back(read_u32(section, offset + 16 + 8 * i), read_u32(section, offset + 20 + 8 * i));
        return true;
    }

    bool subdirectory(uint32_t target, uint32_t level, uint32_t* offset)
    {
        if ((target & subdirectory_bit) == 0)
            return fail("a resource data entry at level " + std::to_string(level) + ", not under a language");
        *offset = target & ~subdirectory_bit;
        return true;
    }

    bool data(uint32_t target, resource_data* out)
    {
        if (target & subdirectory_bit)
            return fail("the resource tree is deeper than type, name and language");
        if (!visited.insert(target).second)
            return fail("the resource data entry at offset " + hex(target) + " is reached twice");
        if (!inside(target, 16, "a resource data entry"))
            return false;
        uint32_t rva = read_u32(section, target), size = read_u32(section, target + 4);
        if (rva < section_rva || !inside(uint64_t(rva) - section_rva, size, "resource data"))
            return false;
        out->bytes = section.substr(rva - section_rva, size);
        out->codepage = read_u32(section, target + 8);
        out->reserved = read_u32(section, target + 12);
        return true;
    }
};

uint32_t directory_size(size_t entries)
{
    return static_cast<uint32_t>(16 + 8 * entries);
}

uint32_t align8(uint32_t value)
{
    return (value + 7) & ~7u;
}

void put_directory(std::string* out, uint32_t at, const std::string& header, size_t named, size_t numbered)
{
    out->replace(at, 12, header.size() == 12 ? header : std::string(12, '\0'));
    write_u16(out, at + 12, static_cast<uint32_t>(named));
    write_u16(out, at + 14, static_cast<uint32_t>(numbered));
}

template <typename Entry>
size_t named_count(const std::vector<Entry>& entries)
{
    size_t count = 0;
    for (const Entry& entry : entries)
        count += entry.key.is_text ? 1 : 0;
    return count;
}

}  // namespace

bool read_resource_tree(const std::string& section, uint32_t section_rva, resource_tree* tree, std::string* why)
{
    tree_reader reader{section, section_rva, {}, why};
    std::vector<std::pair<uint32_t, uint32_t>> types;
    if (!reader.directory(0, &tree->header, &types))
        return false;
    for (const auto& type_entry : types) {
        resource_type type;
        uint32_t names_at = 0;
        std::vector<std::pair<uint32_t, uint32_t>> names;
        if (!reader.key(type_entry.first, &type.key) || !reader.subdirectory(type_entry.second, 1, &names_at) ||
            !reader.directory(names_at, &type.header, &names))
            return false;
        for (const auto& name_entry : names) {
            resource_name name;
            uint32_t languages_at = 0;
            std::vector<std::pair<uint32_t, uint32_t>> languages;
            if (!reader.key(name_entry.first, &name.key) || !reader.subdirectory(name_entry.second, 2, &languages_at) ||
                !reader.directory(languages_at, &name.header, &languages))
                return false;
            for (const auto& language_entry : languages) {
                resource_data data;
                data.language = language_entry.first;
                if (language_entry.first & subdirectory_bit)
                    return reader.fail("a resource language given by name");
                if (!reader.data(language_entry.second, &data))
                    return false;
                name.languages.push_back(data);
            }
            type.names.push_back(name);
        }
        tree->types.push_back(type);
    }
    return true;
}

std::string resource_section_bytes(const resource_tree& tree, uint32_t section_rva)
{
    // Where each directory, data entry and name lies, in the order of the layout.
    uint32_t at = directory_size(tree.types.size());
    std::vector<uint32_t> names_at, languages_at;
    size_t data_count = 0;
    for (const resource_type& type : tree.types) {
        names_at.push_back(at);
        at += directory_size(type.names.size());
        for (const resource_name& name : type.names) {
            languages_at.push_back(at);
            at += directory_size(name.languages.size());
            data_count += name.languages.size();
        }
    }
    uint32_t entries_at = at;
    at += static_cast<uint32_t>(16 * data_count);
    std::vector<const resource_key*> keys;
    for (const resource_type& type : tree.types) {
        keys.push_back(&type.key);
        for (const resource_name& name : type.names)
            keys.push_back(&name.key);
    }
    std::vector<uint32_t> key_at;
    for (const resource_key* key : keys) {
        key_at.push_back(at);
        at += key->is_text ? static_cast<uint32_t>(2 + 2 * key->text.size()) : 0;
    }

    std::string out(at, '\0');
    auto key_field = [&](size_t index) {
        return keys[index]->is_text ? (key_at[index] | subdirectory_bit) : keys[index]->id;
    };
    auto put_key_text = [&](size_t index) {
        if (!keys[index]->is_text)
            return;
        write_u16(&out, key_at[index], static_cast<uint32_t>(keys[index]->text.size()));
        for (size_t i = 0; i < keys[index]->text.size(); ++i)
            write_u16(&out, static_cast<uint32_t>(key_at[index] + 2 + 2 * i), keys[index]->text[i]);
    };
    put_directory(&out, 0, tree.header, named_count(tree.types), tree.types.size() - named_count(tree.types));
    size_t key_index = 0, name_index = 0, entry_index = 0;
    for (size_t t = 0; t < tree.types.size(); ++t) {
        const resource_type& type = tree.types[t];
        write_u32(&out, static_cast<uint32_t>(16 + 8 * t), key_field(key_index));
        write_u32(&out, static_cast<uint32_t>(20 + 8 * t), names_at[t] | subdirectory_bit);
        put_key_text(key_index++);
        put_directory(&out, names_at[t], type.header, named_count(type.names), type.names.size() - named_count(type.names));
        for (size_t n = 0; n < type.names.size(); ++n, ++name_index) {
            const resource_name& name = type.names[n];
            uint32_t languages = languages_at[name_index];
            write_u32(&out, static_cast<uint32_t>(names_at[t] + 16 + 8 * n), key_field(key_index));
            write_u32(&out, static_cast<uint32_t>(names_at[t] + 20 + 8 * n), languages | subdirectory_bit);
            put_key_text(key_index++);
            put_directory(&out, languages, name.header, 0, name.languages.size());
            for (size_t l = 0; l < name.languages.size(); ++l, ++entry_index) {
                const resource_data& data = name.languages[l];
                uint32_t entry = static_cast<uint32_t>(entries_at + 16 * entry_index);
                write_u32(&out, static_cast<uint32_t>(languages + 16 + 8 * l), data.language);
                write_u32(&out, static_cast<uint32_t>(languages + 20 + 8 * l), entry);
                uint32_t data_at = align8(static_cast<uint32_t>(out.size()));
                out.resize(data_at, '\0');
                out += data.bytes;
                write_u32(&out, entry, section_rva + data_at);
                write_u32(&out, entry + 4, static_cast<uint32_t>(data.bytes.size()));
                write_u32(&out, entry + 8, data.codepage);
                write_u32(&out, entry + 12, data.reserved);
            }
        }
    }
    return out;
}

const resource_data* find_resource(const resource_tree& tree, uint32_t type, uint32_t id)
{
    for (const resource_type& each_type : tree.types) {
        if (each_type.key.is_text || each_type.key.id != type)
            continue;
        for (const resource_name& name : each_type.names)
            if (!name.key.is_text && name.key.id == id && !name.languages.empty())
                return &name.languages[0];
    }
    return nullptr;
}

resource_data* find_resource(resource_tree* tree, uint32_t type, uint32_t id)
{
    return const_cast<resource_data*>(find_resource(static_cast<const resource_tree&>(*tree), type, id));
}
