// Tovinel brand, the icon: PNG files through the system's decoder, .ico files read here, every size
// and offset checked against the bytes.
#include "icon/icon_source.h"

#include <algorithm>

#include "base/bytes.h"

namespace {

const char png_signature[] = "\x89PNG\r\n\x1a\n";

bool fail(std::string* why, const std::string& reason)
{
    *why = reason;
    return false;
}

uint32_t big_endian_u32(const std::string& bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<unsigned char>(bytes[at + 3]);
}

bool size_allowed(uint64_t width, uint64_t height, std::string* why)
{
    if (width == 0 || height == 0)
        return fail(why, "the image has no pixels");
    if (width > image_side_limit || height > image_side_limit)
        return fail(why, "the image is " + std::to_string(width) + "x" + std::to_string(height) +
                             " pixels; tovinel-brand reads images of up to " + std::to_string(image_side_limit) +
                             " pixels a side");
    return true;
}

bool read_png(const std::string& bytes, rgba_image* image, std::string* why)
{
    if (bytes.size() < 33 || bytes.compare(12, 4, "IHDR") != 0)
        return fail(why, "the PNG is cut short before its header");
    if (!size_allowed(big_endian_u32(bytes, 16), big_endian_u32(bytes, 20), why))
        return false;
    std::string reason;
    if (!system_decode_png(bytes, image, &reason))
        return fail(why, "the PNG cannot be decoded: " + reason);
    return true;
}

// A BMP entry of an .ico: a BITMAPINFOHEADER of twice the image's height (the colour rows, then the
// AND mask), an uncompressed colour table and rows, bottom row first.
bool read_bmp_entry(const std::string& data, icon_frame* frame, std::string* why)
{
    if (data.size() < 40)
        return fail(why, "an entry is cut short");
    uint32_t header_size = read_u32(data, 0), bits = read_u16(data, 14), colours_used = read_u32(data, 32);
    auto width = static_cast<int32_t>(read_u32(data, 4)), doubled = static_cast<int32_t>(read_u32(data, 8));
    if (header_size < 40 || header_size > data.size() || width <= 0 || doubled <= 0 || doubled % 2 != 0 ||
        read_u16(data, 12) != 1 || read_u32(data, 16) != 0)
        return fail(why, "an entry is no uncompressed bitmap of one plane with its mask");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        return fail(why, "an entry has " + std::to_string(bits) + " bits per pixel (1, 4, 8, 24 or 32 are read)");
    auto height = static_cast<uint32_t>(doubled / 2);
    if (!size_allowed(static_cast<uint32_t>(width), height, why))
        return false;
    uint64_t palette_count = bits <= 8 ? (colours_used ? colours_used : 1u << bits) : 0;
    uint64_t colours_at = header_size + 4 * palette_count;
    uint64_t colour_stride = (uint64_t(width) * bits + 31) / 32 * 4, mask_stride = (uint64_t(width) + 31) / 32 * 4;
    uint64_t mask_at = colours_at + colour_stride * height;
    if (palette_count > 256 || mask_at + mask_stride * height > data.size())
        return fail(why, "an entry is cut short");
    // Past the check above, every offset lies inside `data`, and so fits size_t.
    auto columns = static_cast<size_t>(width), rows = static_cast<size_t>(height);
    auto colours = static_cast<size_t>(colours_at), masks = static_cast<size_t>(mask_at);
    auto colour_row = static_cast<size_t>(colour_stride), mask_row = static_cast<size_t>(mask_stride);
    bool alpha_channel = false;
    for (size_t y = 0; bits == 32 && y < rows; ++y)
        for (size_t x = 0; x < columns; ++x)
            alpha_channel = alpha_channel || data[colours + y * colour_row + 4 * x + 3] != 0;

    rgba_image& image = frame->image;
    image.width = static_cast<uint32_t>(width);
    image.height = height;
    image.pixels.assign(columns * rows * 4, 0);
    frame->bits = bits;
    auto byte = [&](size_t at) { return static_cast<unsigned char>(data[at]); };
    for (size_t y = 0; y < rows; ++y) {
        size_t row = colours + (rows - 1 - y) * colour_row, mask = masks + (rows - 1 - y) * mask_row;
        for (size_t x = 0; x < columns; ++x) {
            size_t colour = 0;  // offset of blue, green, red
            if (bits <= 8) {
                auto shift = static_cast<unsigned>(8 - bits - (x * bits) % 8);
                unsigned index = (byte(row + x * bits / 8) >> shift) & ((1u << bits) - 1);
                if (index >= palette_count)
                    return fail(why, "an entry names a colour its table lacks");
                colour = header_size + 4 * size_t(index);
            } else {
                colour = row + x * bits / 8;
            }
            unsigned char* pixel = &image.pixels[(y * columns + x) * 4];
            pixel[0] = byte(colour + 2);
            pixel[1] = byte(colour + 1);
            pixel[2] = byte(colour);
            bool masked = (byte(mask + x / 8) & (0x80 >> (x % 8))) != 0;
            pixel[3] = alpha_channel ? byte(colour + 3) : masked ? 0 : 255;
        }
    }
    return true;
}

bool read_ico(const std::string& bytes, icon_source* source, std::string* why)
{
    uint32_t count = read_u16(bytes, 4);
    if (count == 0 || bytes.size() < 6 + 16ull * count)
        return fail(why, "the .ico is cut short in its list of images");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = read_u32(bytes, 6 + 16 * i + 8), offset = read_u32(bytes, 6 + 16 * i + 12);
        if (uint64_t(offset) + size > bytes.size())
            return fail(why, "the .ico is cut short: its image " + std::to_string(i + 1) + " runs past its end");
        std::string data = bytes.substr(offset, size), reason;
        icon_frame frame;
        bool read = data.compare(0, 8, png_signature, 8) == 0 ? read_png(data, &frame.image, &reason)
                                                              : read_bmp_entry(data, &frame, &reason);
        if (!read)
            return fail(why, "image " + std::to_string(i + 1) + " of the .ico: " + reason);
        source->frames.push_back(frame);
    }
    return true;
}

}  // namespace

bool read_icon_source(const std::string& bytes, icon_source* source, std::string* why)
{
    *source = icon_source();
    if (bytes.compare(0, 8, png_signature, 8) == 0) {
        source->kind = "PNG";
        source->frames.emplace_back();
        return read_png(bytes, &source->frames[0].image, why);
    }
    if (bytes.size() >= 6 && bytes.compare(0, 4, std::string("\0\0\1\0", 4)) == 0) {
        source->kind = ".ico";
        return read_ico(bytes, source, why);
    }
    if (bytes.compare(0, 3, "\xFF\xD8\xFF") == 0)
        return fail(why, "it is a JPEG image, whatever its name: save the logo as a PNG (with transparency) or an .ico");
    return fail(why, "it is neither a PNG nor an .ico");
}

const rgba_image& icon_source_image(const icon_source& source, uint32_t size)
{
    const icon_frame* best = &source.frames[0];
    auto exact = [size](const icon_frame& frame) { return frame.image.width == size && frame.image.height == size; };
    auto side = [](const icon_frame& frame) { return std::max(frame.image.width, frame.image.height); };
    for (const icon_frame& frame : source.frames) {
        if (exact(frame) != exact(*best)) {
            if (exact(frame))
                best = &frame;
            continue;
        }
        if (exact(frame) ? frame.bits > best->bits
                         : side(frame) > side(*best) || (side(frame) == side(*best) && frame.bits > best->bits))
            best = &frame;
    }
    return best->image;
}
