// Tovinel tests: prints what the UDF reader lists of an image (udf_list [-v] IMAGE; exit code 2 when
// refused), for tools/dev/bench_images.py, while tovinel-check reads no UDF yet, and by hand.
#include <cstdio>
#include <cstring>
#include <string>

#include "media/udf_image.h"

int main(int argc, char** argv)
{
    bool each = argc == 3 && strcmp(argv[1], "-v") == 0;
    if (argc != 2 && !each) {
        fprintf(stderr, "usage: udf_list [-v] IMAGE\n");
        return 2;
    }
    udf_image image;
    std::string error;
    if (!udf_image_open(argv[argc - 1], &image, &error)) {
        printf("refused: %s\n", error.c_str());
        return 2;
    }
    printf("UDF %x.%02x (minimum read revision %x.%02x), volume '%s', %zu entries%s%s\n", image.revision >> 8,
           image.revision & 0xFF, image.min_read_revision >> 8, image.min_read_revision & 0xFF,
           image.volume_id.c_str(), image.entries.size(), image.damage.empty() ? "" : "; ", image.damage.c_str());
    for (size_t i = 0; each && i < image.entries.size(); ++i) {
        const udf_entry& entry = image.entries[i];
        printf("%s %12llu %s%s\n", entry.is_folder ? "folder" : "file  ", static_cast<unsigned long long>(entry.size),
               entry.path.c_str(), entry.beyond_end ? " (past the end)" : "");
    }
    return 0;
}
