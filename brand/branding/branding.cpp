// Tovinel brand, the branding: the new resources built from the input's, the file rebuilt around
// them, then read back as a launcher and held against the input before the caller writes a byte.
#include "branding/branding.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/text.h"
#include "icon/icon_draw.h"
#include "icon/icon_preview.h"
#include "icon/icon_source.h"
#include "pe/launcher_image.h"

namespace {

const uint32_t launcher_sizes[] = {32, 16};  // images 1 and 2 of the icon group, in its order

bool fail(std::string* why, const std::string& reason)
{
    *why = reason;
    return false;
}

std::string padded(std::string text, size_t width)
{
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

std::string quoted(const std::u16string& text)
{
    return "'" + utf8_from_utf16(text) + "'";
}

uint32_t pages(uint64_t bytes)
{
    return static_cast<uint32_t>((bytes + file_page - 1) / file_page);
}

// The launcher's two icon images drawn from the icon file, and a line for the report.
bool draw_icons(const brand_request& request, icon_pixels drawn[2], std::string* said, std::string* why)
{
    icon_source source;
    std::string reason;
    if (!read_icon_source(request.icon, &source, &reason))
        return fail(why, request.icon_name + ": " + reason);
    *said += "  icon             " + request.icon_name + " (" + source.kind + "): ";
    for (size_t i = 0; i < 2; ++i) {
        const rgba_image& from = icon_source_image(source, launcher_sizes[i]);
        drawn[i] = draw_icon(from, launcher_sizes[i]);
        std::string size = std::to_string(launcher_sizes[i]);
        if (icon_is_invisible(drawn[i]))
            return fail(why, request.icon_name + ": the " + size + "x" + size +
                                 " image would be fully transparent (no pixel at least half opaque): the icon would be invisible");
        *said += (i ? ", " : "") + size + "x" + size + " from " + std::to_string(from.width) + "x" + std::to_string(from.height);
    }
    *said += ", 16 colours\n";
    return true;
}

// The input's resources with the icon and the texts of the request, and the report's lines for them.
bool branded_resources(const brand_request& request, const launcher_image& input, resource_tree* tree,
                       icon_pixels drawn[2], std::string* said, std::string* why)
{
    *tree = input.resources;
    version_block version = input.version;
    for (size_t i = 0; i < brand_text_count; ++i) {
        if (!request.text_given[i])
            continue;
        std::string reason = version_text_refusal(brand_texts[i].option, utf8_from_utf16(brand_texts[i].key),
                                                  request.texts[i]);
        if (!reason.empty())
            return fail(why, reason);
        std::u16string text;
        utf16_from_utf8(request.texts[i], &text, &reason);  // UTF-8, as version_text_refusal found
        version_block* string = version_string(&version, brand_texts[i].key);
        std::u16string old = version_string_text(*string);
        *said += "  " + padded(utf8_from_utf16(brand_texts[i].key), 17) + quoted(text) +
                 (old == text ? " (as it was)\n" : " (was " + quoted(old) + ")\n");
        set_version_string_text(string, text);
    }
    std::string reason;
    if (!version_record_bytes(version, &find_resource(tree, resource_type_version, 1)->bytes, &reason))
        return fail(why, reason);
    if (request.icon_name.empty())
        return true;
    if (!draw_icons(request, drawn, said, why))
        return false;
    for (uint32_t id = 1; id <= 2; ++id)
        find_resource(tree, resource_type_icon, id)->bytes = icon_bitmap(drawn[id - 1]);
    return true;
}

// The version record of `after` with the four texts of `before` put back: equal to `before`'s when
// nothing else of it changed.
bool only_texts_changed(const version_block& before, version_block after)
{
    for (const brand_text& text : brand_texts)
        set_version_string_text(version_string(&after, text.key), version_string_text(*version_string(before, text.key)));
    std::string a, b, reason;
    return version_record_bytes(before, &a, &reason) && version_record_bytes(after, &b, &reason) && a == b;
}

// Reads `output` back and holds it against `input` and the resources meant for it: section by
// section, header byte by header byte. The lines of the comparison go to `said`.
bool compare(const launcher_image& input, const std::string& output, const resource_tree& meant, std::string* said,
             std::string* why)
{
    launcher_image after;
    std::string reason;
    if (!read_launcher_image(output, &after, &reason))
        return fail(why, "the branded file does not read back as a launcher (" + reason + "): a fault of tovinel-brand");
    std::vector<bool> rewritten(file_page, false);
    for (const auto& field : rewritten_header_fields(input))
        for (uint32_t at = field.first; at < field.first + field.second; ++at)
            rewritten[at] = true;
    for (uint32_t at = 0; at < file_page; ++at)
        if (!rewritten[at] && input.bytes[at] != output[at])
            return fail(why, "the branded file's header byte at " + hex(at) + " differs: a fault of tovinel-brand");
    if (read_u32(output, checksum_at) != pe_checksum(output))
        return fail(why, "the branded file's checksum is wrong: a fault of tovinel-brand");
    const pe_section& rsrc = after.sections[section_rsrc];
    if (resource_section_bytes(after.resources, rsrc.virtual_address) != resource_section_bytes(meant, rsrc.virtual_address) ||
        !only_texts_changed(input.version, after.version))
        return fail(why, "the branded file's resources read back differently: a fault of tovinel-brand");
    for (size_t i = 0; i < after.sections.size(); ++i) {
        const pe_section &old = input.sections[i], &now = after.sections[i];
        std::string line = "  " + padded(now.name, 7) + " RVA " + hex(now.virtual_address);
        if (now.virtual_address != old.virtual_address)
            line += " (was " + hex(old.virtual_address) + ")";
        line += "  " + std::to_string(old.virtual_size);
        if (i == section_rsrc) {
            if (now.virtual_size != old.virtual_size)
                line += " -> " + std::to_string(now.virtual_size);
            *said += line + " bytes  rewritten: the resource directory, icon and version record\n";
            continue;
        }
        if (loaded_section(input, old) != loaded_section(after, now) || now.virtual_size != old.virtual_size ||
            (i != section_reloc && now.virtual_address != old.virtual_address))
            return fail(why, "the branded file's " + now.name + " section differs from the input's: a fault of tovinel-brand");
        bool moved = now.raw_offset != old.raw_offset || now.virtual_address != old.virtual_address;
        *said += line + (moved ? " bytes  moved to file offset " + hex(now.raw_offset) + " (was " + hex(old.raw_offset) +
                                     "), its bytes identical\n"
                               : " bytes  identical\n");
    }
    return true;
}

}  // namespace

bool brand_launcher(const brand_request& request, brand_result* result, std::string* why)
{
    launcher_image input;
    std::string reason;
    if (!read_launcher_image(request.input, &input, &reason))
        return fail(why, request.input_name + " is not a Tovinel launcher: " + reason);
    if (input.signature_size && !request.strip_signature)
        return fail(why, request.input_name + " is signed, and branding would break its signature: sign after "
                                              "branding, or pass --strip-signature");
    std::string said = "tovinel-brand: " + request.input_name + " -> " + request.output_name + "\n";
    resource_tree tree;
    icon_pixels drawn[2];
    if (!branded_resources(request, input, &tree, drawn, &said, why))
        return false;

    const pe_section& rsrc = input.sections[section_rsrc];
    std::string resources = resource_section_bytes(tree, rsrc.virtual_address);
    uint32_t allowed = pages(rsrc.raw_size) + static_cast<uint32_t>(std::min<uint64_t>(request.budget, 1u << 30) / file_page);
    if (pages(resources.size()) > allowed) {
        uint32_t growth = (pages(resources.size()) - pages(rsrc.raw_size)) * file_page;
        return fail(why, "the branded resources take " + std::to_string(resources.size()) + " bytes (" +
                             std::to_string(rsrc.virtual_size) + " in " + request.input_name + "): the file would grow by " +
                             std::to_string(growth) + " bytes, more than the budget of " + std::to_string(request.budget) +
                             ". Shorten the texts by at least " +
                             std::to_string(resources.size() - uint64_t(allowed) * file_page) +
                             " bytes (2 per character), or pass --budget " + std::to_string(growth));
    }
    result->output = launcher_with_resources(input, resources);
    said += request.output_name == request.input_name
                ? "Read back and compared with what " + request.input_name + " was:\n"
                : "Read back from " + request.output_name + " and compared with " + request.input_name + ":\n";
    if (!compare(input, result->output, tree, &said, why))
        return false;
    said += "  headers  the same but for .rsrc's size, .reloc's place, the checksum" +
            std::string(input.signature_size ? " and the certificate table, removed\n" : "\n");

    size_t before = input.bytes.size(), after = result->output.size();
    std::string compared = after == before  ? "as many as "
                           : after > before ? std::to_string(after - before) + " more than "
                                            : std::to_string(before - after) + " fewer than ";
    said += request.output_name + ": " + std::to_string(after) + " bytes, " + compared + request.input_name + (input.signature_size ? " without its signature" : "") + " (budget " +
            std::to_string(request.budget) + ")\n";
    if (!request.icon_name.empty()) {
        result->preview = icon_preview_png({drawn[0], drawn[1]});
        said += "Icon preview: " + request.preview_name +
                " (32x32 and 16x16 enlarged 8 times, and at their size on white, teal and dark grey)\n";
    }
    result->report = said;
    return true;
}
