// Tovinel brand, the system seam on Linux: PNG files decoded by libpng, with the transformations that
// give RGBA8 from every colour type and depth, and no gamma correction (as Windows' decoder gives).
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "system/system.h"

namespace {

struct memory_reader {
    const std::string* bytes;
    size_t at;
};

void read_from_memory(png_structp png, png_bytep out, size_t length)
{
    auto* reader = static_cast<memory_reader*>(png_get_io_ptr(png));
    if (length > reader->bytes->size() - reader->at)
        png_error(png, "the file ends before its image does");
    memcpy(out, reader->bytes->data() + reader->at, length);
    reader->at += length;
}

[[noreturn]] void on_error(png_structp png, png_const_charp message)
{
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp)
{
}

// Everything this function changes after setjmp lives in the caller's frame (`reader`, `rows`,
// `image`): libpng's longjmp skips no destructor of ours and leaves no local of ours undefined.
bool decode(png_structp png, png_infop info, memory_reader* reader, std::vector<png_bytep>* rows, rgba_image* image)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, reader, read_from_memory);
    png_set_user_limits(png, 8192, 8192);
    png_read_info(png, info);
    png_set_expand(png);      // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_strip_16(png);    // 16 bits to their high byte
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);  // opaque where the file has no alpha
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image->width = png_get_image_width(png, info);
    image->height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != size_t(image->width) * 4)
        png_error(png, "an unexpected row layout after conversion to RGBA");
    image->pixels.assign(size_t(image->width) * image->height * 4, 0);
    for (uint32_t y = 0; y < image->height; ++y)
        rows->push_back(&image->pixels[size_t(y) * image->width * 4]);
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

bool system_decode_png(const std::string& bytes, rgba_image* image, std::string* why)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, why, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        *why = "libpng could not start";
        return false;
    }
    memory_reader reader{&bytes, 0};
    std::vector<png_bytep> rows;
    bool decoded = decode(png, info, &reader, &rows, image);
    png_destroy_read_struct(&png, &info, nullptr);
    return decoded;
}
