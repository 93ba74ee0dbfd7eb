// Tovinel brand, the icon: the preview picture, and the PNG writer it needs, written here rather than
// taken from libpng or Windows' encoder: one writer gives both builds the same file, from no library.
#include "icon/icon_preview.h"

#include <algorithm>
#include <cstdint>

namespace {

const uint32_t zoom = 8;
const uint32_t margin = 16;
const unsigned char checker[2][3] = {{0xDC, 0xE3, 0xEE}, {0xF3, 0xF6, 0xFA}};
const unsigned char backgrounds[3][3] = {{0xFF, 0xFF, 0xFF}, {0x00, 0x80, 0x80}, {0x20, 0x20, 0x20}};

struct canvas {
    uint32_t width, height;
    std::vector<unsigned char> rgb;

    void set(uint32_t x, uint32_t y, const unsigned char colour[3])
    {
        std::copy(colour, colour + 3, &rgb[(size_t(y) * width + x) * 3]);
    }

    void draw(const icon_pixels& image, uint32_t left, uint32_t top, uint32_t scale)
    {
        for (uint32_t y = 0; y < image.size * scale; ++y)
            for (uint32_t x = 0; x < image.size * scale; ++x) {
                int index = image.indexes[size_t(y / scale) * image.size + x / scale];
                if (index != transparent_pixel)
                    set(left + x, top + y, standard_palette[index]);
            }
    }
};

struct bit_writer {
    std::string bytes;
    uint32_t pending = 0, count = 0;

    void put(uint32_t value, uint32_t bits)  // least significant bit first
    {
        pending |= value << count;
        count += bits;
        for (; count >= 8; count -= 8, pending >>= 8)
            bytes += static_cast<char>(pending & 0xFF);
    }

    void put_code(uint32_t code, uint32_t bits)  // Huffman codes go most significant bit first
    {
        uint32_t reversed = 0;
        for (uint32_t i = 0; i < bits; ++i)
            reversed |= ((code >> i) & 1) << (bits - 1 - i);
        put(reversed, bits);
    }

    void put_literal_or_length(uint32_t symbol)  // the fixed Huffman code of deflate
    {
        if (symbol < 144)
            put_code(0x30 + symbol, 8);
        else if (symbol < 256)
            put_code(0x190 + symbol - 144, 9);
        else if (symbol < 280)
            put_code(symbol - 256, 7);
        else
            put_code(0xC0 + symbol - 280, 8);
    }
};

// The deflate symbol of a length (3-258) or a distance (1-32768): its code, extra bits and their value.
struct deflate_symbol {
    uint32_t code, extra_bits, extra;
};

deflate_symbol length_symbol(uint32_t length)
{
    static const uint32_t base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint32_t extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    uint32_t code = 28;
    while (base[code] > length)
        --code;
    return {257 + code, extra[code], length - base[code]};
}

deflate_symbol distance_symbol(uint32_t distance)
{
    static const uint32_t base[] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    uint32_t code = 29;
    while (base[code] > distance)
        --code;
    uint32_t extra_bits = code < 4 ? 0 : code / 2 - 1;
    return {code, extra_bits, distance - base[code]};
}

// `data` as a zlib stream: one block of fixed Huffman codes, enough for a flat picture whose rows are
// filtered by their left neighbour (Sub), which packs to a few kilobytes. The matches tried: the byte
// before (a flat run, after the Sub filter) and the same place a row above (`row` bytes back), the
// longer one taken.
std::string zlib_stream(const std::string& data, size_t row)
{
    bit_writer out;
    out.bytes = "\x78\x01";
    out.put(1, 1);  // the last block
    out.put(1, 2);  // fixed Huffman codes
    for (size_t at = 0; at < data.size();) {
        size_t best = 0, best_distance = 0;
        for (size_t distance : {size_t(1), row}) {
            size_t length = 0;
            if (distance > 32768)  // the farthest a deflate match reaches
                continue;
            while (at >= distance && length < 258 && at + length < data.size() &&
                   data[at + length] == data[at + length - distance])
                ++length;
            if (length > best) {
                best = length;
                best_distance = distance;
            }
        }
        if (best < 3) {
            out.put_literal_or_length(static_cast<unsigned char>(data[at++]));
            continue;
        }
        deflate_symbol length = length_symbol(static_cast<uint32_t>(best));
        deflate_symbol distance = distance_symbol(static_cast<uint32_t>(best_distance));
        out.put_literal_or_length(length.code);
        out.put(length.extra, length.extra_bits);
        out.put_code(distance.code, 5);
        out.put(distance.extra, distance.extra_bits);
        at += best;
    }
    out.put_literal_or_length(256);
    out.put(0, 7);  // to the byte's end
    uint32_t a = 1, b = 0;
    for (char byte : data) {
        a = (a + static_cast<unsigned char>(byte)) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t adler = b << 16 | a;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.bytes += static_cast<char>((adler >> shift) & 0xFF);
    return out.bytes;
}

uint32_t crc32(const std::string& data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (char byte : data) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::string big_endian(uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>((value >> 16) & 0xFF),
            static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

std::string chunk(const std::string& kind, const std::string& data)
{
    return big_endian(static_cast<uint32_t>(data.size())) + kind + data + big_endian(crc32(kind + data));
}

std::string png_file(const canvas& picture)
{
    std::string rows;
    for (uint32_t y = 0; y < picture.height; ++y) {
        rows += '\1';  // Sub: each byte less the one a pixel to its left
        for (uint32_t x = 0; x < picture.width * 3; ++x) {
            unsigned char left = x >= 3 ? picture.rgb[size_t(y) * picture.width * 3 + x - 3] : 0;
            rows += static_cast<char>(picture.rgb[size_t(y) * picture.width * 3 + x] - left);
        }
    }
    std::string header = big_endian(picture.width) + big_endian(picture.height) + std::string("\x08\x02\0\0\0", 5);
    std::string pixels = zlib_stream(rows, size_t(picture.width) * 3 + 1);
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", pixels) + chunk("IEND", "");
}

}  // namespace

std::string icon_preview_png(const std::vector<icon_pixels>& images)
{
    uint32_t width = margin, tallest = 0;
    for (const icon_pixels& image : images) {
        width += image.size * zoom + margin;
        tallest = std::max(tallest, image.size);
    }
    uint32_t enlarged_height = 2 * margin + tallest * zoom, band_top = enlarged_height + margin / 2;
    canvas picture{width, band_top + tallest + 2 * margin, {}};
    picture.rgb.resize(size_t(picture.width) * picture.height * 3);
    for (uint32_t y = 0; y < picture.height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            picture.set(x, y, y < enlarged_height ? checker[(x / zoom + y / zoom) % 2] : checker[1]);
    uint32_t left = margin;
    for (const icon_pixels& image : images) {
        picture.draw(image, left, margin, zoom);
        left += image.size * zoom + margin;
    }
    left = margin;
    for (const auto& background : backgrounds) {
        uint32_t tile = margin;
        for (const icon_pixels& image : images)
            tile += image.size + margin;
        for (uint32_t y = band_top; y < picture.height; ++y)
            for (uint32_t x = left; x < std::min(left + tile, width); ++x)
                picture.set(x, y, background);
        uint32_t x = left + margin;
        for (const icon_pixels& image : images) {
            picture.draw(image, x, band_top + margin, 1);
            x += image.size + margin;
        }
        left += tile + margin / 2;
    }
    return png_file(picture);
}
