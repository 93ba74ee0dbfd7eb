// Tovinel brand, the icon: scaling (Lanczos, weighted by alpha) and dithering (Floyd-Steinberg,
// serpentine, flat areas kept flat), the steps tools/steps/make_icon.py took with Pillow before.
#include "icon/icon_draw.h"

#include <algorithm>
#include <cmath>

#include "base/bytes.h"

const unsigned char standard_palette[16][3] = {
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}};

namespace {

const double pi = 3.14159265358979323846;
// Alpha from which a pixel is drawn, in its own colour unmixed: the background an icon lies on is
// unknown, and mixing in any one would fringe the edge on every other.
const unsigned opaque = 128;
// A colour at most this fraction as far from its nearest palette colour as from the next nearest is
// that palette colour, undithered: a flat area in a near-palette colour stays flat.
const double near_share = 0.5;

// sin(pi x) by its Taylor series on [-pi/2, pi/2] (error below 1e-11). Every double here comes from
// +, -, *, / and sqrt, never from a library's sin, whose last bit differs between C libraries: the
// Linux tool and tovinel-brand.exe compute the same bits, and so draw the same icon.
double sin_pi(double x)
{
    double whole = std::floor(x + 0.5), t = pi * (x - whole), t2 = t * t;
    double value = 1 - t2 / 210;
    for (double divisor : {156.0, 110.0, 72.0, 42.0, 20.0, 6.0})  // t - t^3/3! + t^5/5! ... in Horner's form
        value = 1 - t2 / divisor * value;
    value *= t;
    return std::fmod(whole, 2.0) != 0 ? -value : value;
}

double sinc(double x)
{
    return x == 0 ? 1.0 : sin_pi(x) / (pi * x);
}

double lanczos3(double x)
{
    return -3.0 <= x && x < 3.0 ? sinc(x) * sinc(x / 3.0) : 0.0;
}

// One output pixel's share of the input along one axis: the first input pixel and the weights.
struct taps {
    uint32_t first = 0;
    std::vector<double> weights;
};

// Pillow's coefficients for Lanczos: the filter widened by the reduction, centred on each output
// pixel's middle, normalised.
std::vector<taps> axis_taps(uint32_t in, uint32_t out)
{
    double scale = double(in) / out, widen = std::max(scale, 1.0), support = 3.0 * widen;
    std::vector<taps> all(out);
    for (uint32_t i = 0; i < out; ++i) {
        double center = (i + 0.5) * scale;
        auto first = static_cast<int64_t>(center - support + 0.5), last = static_cast<int64_t>(center + support + 0.5);
        first = std::max<int64_t>(first, 0);
        last = std::min<int64_t>(last, in);
        double total = 0;
        for (int64_t x = first; x < last; ++x) {
            all[i].weights.push_back(lanczos3((double(x) - center + 0.5) / widen));
            total += all[i].weights.back();
        }
        for (double& weight : all[i].weights)
            weight = total != 0 ? weight / total : weight;
        all[i].first = static_cast<uint32_t>(first);
    }
    return all;
}

unsigned char to_byte(double value)
{
    return static_cast<unsigned char>(std::min(255.0, std::max(0.0, std::floor(value + 0.5))));
}

// `source` scaled to width x height. Colours are weighted by their alpha (premultiplied), so that
// the colour under a transparent pixel never bleeds into its neighbours.
rgba_image scaled(const rgba_image& source, uint32_t width, uint32_t height)
{
    std::vector<taps> across = axis_taps(source.width, width), down = axis_taps(source.height, height);
    std::vector<double> rows(size_t(source.height) * width * 4), line(size_t(source.width) * 4);
    for (uint32_t y = 0; y < source.height; ++y) {
        const unsigned char* pixel = &source.pixels[size_t(y) * source.width * 4];
        for (uint32_t x = 0; x < source.width * 4; x += 4) {
            double alpha = pixel[x + 3];
            line[x] = pixel[x] * alpha;
            line[x + 1] = pixel[x + 1] * alpha;
            line[x + 2] = pixel[x + 2] * alpha;
            line[x + 3] = alpha;
        }
        for (uint32_t x = 0; x < width; ++x) {
            double* sum = &rows[(size_t(y) * width + x) * 4];
            for (size_t k = 0; k < across[x].weights.size(); ++k)
                for (size_t c = 0; c < 4; ++c)
                    sum[c] += across[x].weights[k] * line[(across[x].first + k) * 4 + c];
        }
    }
    rgba_image out;
    out.width = width;
    out.height = height;
    out.pixels.resize(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (size_t k = 0; k < down[y].weights.size(); ++k)
                for (size_t c = 0; c < 4; ++c)
                    sum[c] += down[y].weights[k] * rows[((down[y].first + k) * width + x) * 4 + c];
            unsigned char* pixel = &out.pixels[(size_t(y) * width + x) * 4];
            for (size_t c = 0; c < 3; ++c)
                pixel[c] = sum[3] > 0 ? to_byte(sum[c] / sum[3]) : 0;
            pixel[3] = to_byte(sum[3]);
        }
    }
    return out;
}

// `source` scaled to fit size x size, its aspect kept, centred on a transparent square. The side
// rounds as Python's round() does, half to even, as make_icon.py did.
rgba_image fitted_square(const rgba_image& source, uint32_t size)
{
    double scale = double(size) / std::max(source.width, source.height);
    auto side = [scale](uint32_t n) { return static_cast<uint32_t>(std::max(1.0, std::nearbyint(n * scale))); };
    rgba_image image = scaled(source, side(source.width), side(source.height));
    rgba_image square;
    square.width = square.height = size;
    square.pixels.assign(size_t(size) * size * 4, 0);
    uint32_t left = (size - image.width) / 2, top = (size - image.height) / 2;
    for (uint32_t y = 0; y < image.height; ++y)
        std::copy_n(&image.pixels[size_t(y) * image.width * 4], size_t(image.width) * 4,
                    &square.pixels[((size_t(top) + y) * size + left) * 4]);
    return square;
}

double distance(const double rgb[3], int index)
{
    double red = rgb[0] - standard_palette[index][0], green = rgb[1] - standard_palette[index][1],
           blue = rgb[2] - standard_palette[index][2];
    return std::sqrt(red * red + green * green + blue * blue);
}

// The nearest palette colour, the first of equals.
int nearest_colour(const double rgb[3])
{
    int best = 0;
    for (int i = 1; i < 16; ++i)
        if (distance(rgb, i) < distance(rgb, best))
            best = i;
    return best;
}

// Floyd-Steinberg error diffusion, each row in turn the other way (no diagonal streaks). A
// transparent pixel uses no error and gives none: the colour hidden under it has no say. A pixel
// whose own colour is near one palette colour takes it and swallows the error it was given.
icon_pixels dithered(const rgba_image& square)
{
    static const struct {
        int ahead, down;
        double share;
    } diffusion[] = {{1, 0, 7.0 / 16}, {-1, 1, 3.0 / 16}, {0, 1, 5.0 / 16}, {1, 1, 1.0 / 16}};
    auto size = static_cast<int>(square.width);
    auto cell = [&](int x, int y) { return static_cast<size_t>(y) * square.width + static_cast<size_t>(x); };
    std::vector<double> work(square.pixels.size());
    for (size_t i = 0; i < work.size(); ++i)
        work[i] = square.pixels[i];
    icon_pixels out;
    out.size = square.width;
    out.indexes.assign(size_t(square.width) * square.width, transparent_pixel);
    for (int y = 0; y < size; ++y) {
        int step = y % 2 == 0 ? 1 : -1;
        for (int k = 0; k < size; ++k) {
            int x = step > 0 ? k : size - 1 - k;
            size_t at = cell(x, y);
            if (square.pixels[at * 4 + 3] < opaque)
                continue;
            double own[3] = {double(square.pixels[at * 4]), double(square.pixels[at * 4 + 1]), double(square.pixels[at * 4 + 2])};
            int first = -1, second = -1;
            for (int i = 0; i < 16; ++i) {
                if (first < 0 || distance(own, i) < distance(own, first)) {
                    second = first;
                    first = i;
                } else if (second < 0 || distance(own, i) < distance(own, second)) {
                    second = i;
                }
            }
            if (distance(own, first) <= near_share * distance(own, second)) {
                out.indexes[at] = first;
                continue;
            }
            // Overshoot is clipped: error no palette colour can give back would only pile up.
            double value[3];
            for (size_t c = 0; c < 3; ++c)
                value[c] = std::min(255.0, std::max(0.0, work[at * 4 + c]));
            int index = nearest_colour(value);
            out.indexes[at] = index;
            for (const auto& spread : diffusion) {
                int nx = x + spread.ahead * step, ny = y + spread.down;
                if (nx < 0 || nx >= size || ny >= size)
                    continue;
                for (size_t c = 0; c < 3; ++c)
                    work[cell(nx, ny) * 4 + c] += (value[c] - standard_palette[index][c]) * spread.share;
            }
        }
    }
    return out;
}

}  // namespace

icon_pixels draw_icon(const rgba_image& source, uint32_t size)
{
    return dithered(fitted_square(source, size));
}

bool icon_is_invisible(const icon_pixels& pixels)
{
    return std::all_of(pixels.indexes.begin(), pixels.indexes.end(), [](int i) { return i == transparent_pixel; });
}

std::string icon_bitmap(const icon_pixels& pixels)
{
    uint32_t size = pixels.size;
    uint32_t colour_stride = (size * 4 + 31) / 32 * 4, mask_stride = (size + 31) / 32 * 4;
    std::string colours(size_t(colour_stride) * size, '\0'), mask(size_t(mask_stride) * size, '\0');
    for (uint32_t y = 0; y < size; ++y) {
        uint32_t row = size - 1 - y;  // bottom row first
        for (uint32_t x = 0; x < size; ++x) {
            int index = pixels.indexes[size_t(y) * size + x];
            if (index == transparent_pixel)
                // Mask bit set and colour 0: the screen shows through unchanged.
                mask[row * mask_stride + x / 8] = static_cast<char>(mask[row * mask_stride + x / 8] | (0x80 >> (x % 8)));
            else
                colours[row * colour_stride + x / 2] =
                    static_cast<char>(colours[row * colour_stride + x / 2] | index << (x % 2 ? 0 : 4));
        }
    }
    std::string out(40, '\0');
    write_u32(&out, 0, 40);
    write_u32(&out, 4, size);
    write_u32(&out, 8, size * 2);
    write_u16(&out, 12, 1);
    write_u16(&out, 14, 4);
    write_u32(&out, 20, static_cast<uint32_t>(colours.size() + mask.size()));
    for (const auto& colour : standard_palette)
        out += {static_cast<char>(colour[2]), static_cast<char>(colour[1]), static_cast<char>(colour[0]), '\0'};
    return out + colours + mask;
}
