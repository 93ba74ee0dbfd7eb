// Tovinel brand, the system seam: the only functions that differ between the Linux tovinel-brand and
// tovinel-brand.exe, chosen at link time: files, the console, the arguments and the PNG decoder.
#pragma once

// Linux: system_posix.cpp and png_libpng.cpp. Windows: system_win32.cpp and png_wic.cpp.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// An image of 8-bit red, green, blue and alpha (not premultiplied), rows from the top.
struct rgba_image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<unsigned char> pixels;  // width * height * 4
};

// Decodes the PNG file `bytes` into `image`: any colour type and depth (palette, grey, 16-bit, with
// or without transparency) as RGBA8, a 16-bit channel by its high byte, gamma and colour profiles
// left out (the palette match is made in the file's own values). The caller has checked that the
// header names at most 8192x8192 pixels. False with `why`, one line, when the file cannot be read to
// its last pixel: cut short, a bad checksum, a chunk out of order.
bool system_decode_png(const std::string& bytes, rgba_image* image, std::string* why);

// Reads the file at `path` (UTF-8) whole into `bytes`. False with `why` when it cannot be opened or
// read, or holds more than `limit` bytes.
bool system_read_file(const std::string& path, uint64_t limit, std::string* bytes, std::string* why);

struct output_file {
    std::string path;  // UTF-8
    std::string bytes;
    bool program;      // executable by all where the system keeps such a mode
};

// Writes each file to a temporary file beside its path, then renames each over its path, in order,
// so that a path that names the input is replaced only once the new bytes are whole. False with `why`
// when a write or a rename fails: the temporary files are removed, and no path after it is touched.
bool system_replace_files(const std::vector<output_file>& files, std::string* why);

// Writes the UTF-8 `text` to `stream` (stdout or stderr): a Windows console gets it as UTF-16.
void system_write(FILE* stream, const std::string& text);

#ifdef _WIN32
// The wide arguments Windows hands to wmain, as UTF-8 (utf8_from_utf16: an unpaired surrogate stays
// visible as such, to be refused where a text is checked).
std::vector<std::string> system_arguments(int argc, wchar_t** argv);
#endif
