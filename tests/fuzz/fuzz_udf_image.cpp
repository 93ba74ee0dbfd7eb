// Tovinel fuzzing: the UDF reader on any image in memory opens or refuses with one line, within the
// image (ASan), without loops (the timeout), and what it lists is found by its path and reads as asked.
//
// Layout of an input, so that a small one can make a whole volume (the anchor lies at sector 256):
// records of a 2-byte little-endian sector number (modulo 1024) and up to 2048 bytes of that sector,
// laid into a zeroed image that ends with the last byte a record gives. make_udf_seeds.py writes real
// images this way, each sector that is not all zeros as one record.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/udf_image.h"

namespace {

constexpr size_t sector = 2048;
constexpr size_t record = 2 + sector;
constexpr size_t sectors_most = 1024;

void fail(const char* what, const std::string& detail)
{
    fprintf(stderr, "%s: '%s'\n", what, detail.c_str());
    abort();
}

std::string image_of(const uint8_t* data, size_t size)
{
    std::string image;
    for (size_t at = 0; at + 2 < size; at += record) {
        size_t lba = (size_t{data[at]} | size_t{data[at + 1]} << 8) % sectors_most;
        size_t count = std::min(sector, size - at - 2);
        if (image.size() < lba * sector + count)
            image.resize(lba * sector + count, '\0');
        image.replace(lba * sector, count, reinterpret_cast<const char*>(data + at + 2), count);
    }
    return image;
}

void check_line(const char* what, const std::string& line)
{
    if (line.find('\n') != std::string::npos || line.find('\0') != std::string::npos)
        fail(what, line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = image_of(data, size);
    udf_image image;
    std::string error;
    if (!udf_image_open_memory(bytes, &image, &error)) {
        if (error.empty() || error.back() == '.')
            fail("a refusal without a reason, or with a period", error);
        check_line("a refusal on more than one line", error);
        return 0;
    }
    check_line("damage on more than one line", image.damage);
    if (image.entries.size() > 60000 || image.stored_paths.size() != image.entries.size())
        fail("too many entries, or stored paths not one each", std::to_string(image.entries.size()));
    unsigned reads = 0;
    for (const udf_entry& entry : image.entries) {
        const std::string& path = entry.path;
        if (path.empty() || path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string::npos ||
            path.find_first_of(std::string("/\0", 2)) != std::string::npos)
            fail("a path that is no backslash path", path);
        const udf_entry* found = udf_image_find(image, path);
        if (found == nullptr || found->path.size() != path.size())
            fail("an entry its own path does not find", path);
        if (entry.is_folder || reads++ >= 8)
            continue;
        std::string read;
        if (udf_image_read(image, entry, 4096, &read, &error)) {
            if (read.size() != std::min<uint64_t>(4096, entry.size))
                fail("a read of another length than asked", path);
        } else if (error.empty()) {
            fail("a failed read without a reason", path);
        }
    }
    return 0;
}
