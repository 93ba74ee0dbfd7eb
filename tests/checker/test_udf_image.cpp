// Tovinel tests: the UDF reader on images make_udf_images.py makes in the build folder, real, damaged
// and hostile, in one table: a row an image, what opens, its revision, what Windows finds and reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "check_tool_run.h"
#include "media/udf_image.h"

namespace {

const std::string images = UDF_TEST_DIR;
const std::string beyond_ascii = u8"Caf\u00e9 \u30bd\u30d5\u30c8 \U0001F600.txt";
const std::string deep_folder = [] {
    std::string path = "d";
    for (int depth = 2; depth <= 65; ++depth)
        path += "\\d";
    return path;
}();

std::string file_text(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

class UdfImage : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string command = std::string(PYTHON) + " " + MAKE_UDF_IMAGES + " '" + images + "' '" + CHECK_MEDIA +
                              "/driver_setup'";
        ASSERT_EQ(0, system(("mkdir -p '" + images + "' && " + command).c_str())) << command;
    }
};

struct read_case {
    const char* path;
    size_t max_bytes;
    std::string expected;        // the bytes read; "!phrase": the read fails, and its reason holds the phrase
};

struct udf_case {
    const char* image;           // in images/
    bool present;                // udf_image_present
    bool opens;
    const char* problem;         // a phrase of the refusal, or of the damage ("" when the tree is whole)
    unsigned revision = 0;
    unsigned min_read_revision = 0;
    // Paths found (looked up as written and in capitals), as "PATH" or "QUERY|PATH"; a trailing
    // backslash marks a folder.
    std::vector<std::string> found = {};
    std::vector<std::string> missing = {};
    std::vector<read_case> reads = {};
    std::vector<std::string> root = {};   // the root's names in order; unchecked when empty
    long entry_count = -1;                // unchecked when -1
    const char* volume_id = nullptr;
};

const udf_case cases[] = {
    // genisoimage -udf, no Joliet: UDF holds the long names the ISO 9660 names cut to 8.3.
    {"genisoimage_bridge.iso", true, true, "", 0x0102, 0x0102,
     {"Setup Program Long Name.exe", "Driver Setup\\", "Driver Setup\\setup.exe", "Tovinel.ini",
      "Installation notes for every version of Windows, from 95 up to 11.txt",
      "driver setup\\.\\\\SETUP.EXE|Driver Setup\\setup.exe", "..\\..\\tovinel.ini|Tovinel.ini"},
     {"SETUP_PR.EXE", "DRIVER_S", "", "Driver Setup\\setup.exe\\x"},
     {{"Setup Program Long Name.exe", 100, "MZ long name\n"}, {"Setup Program Long Name.exe", 5, "MZ lo"},
      {"Tovinel.ini", 0, ""}, {"Driver Setup", 10, "!it is a folder"}},
     {"Driver Setup", "Installation notes for every version of Windows, from 95 up to 11.txt",
      "Setup Program Long Name.exe", "Tovinel.ini", "autorun.inf", "tovinel.exe"}},
    // mkudffs: empty volumes of each revision it writes for a hard disk's layout, its minimum read
    // revision the same.
    {"mkudffs_1.02.img", true, true, "", 0x0102, 0x0102, {}, {"Tovinel.ini"}, {}, {}, 0, "Rev 1.02"},
    {"mkudffs_1.50.img", true, true, "", 0x0150, 0x0150, {}, {}, {}, {}, 0, "Rev 1.50"},
    {"mkudffs_2.00.img", true, true, "", 0x0200, 0x0200, {}, {}, {}, {}, 0, "Rev 2.00"},
    {"mkudffs_2.01.img", true, true, "", 0x0201, 0x0201, {}, {}, {}, {}, 0, "Rev 2.01"},
    // What libudfread cannot read is refused by its name: a hard disk's 512-byte blocks, ways of
    // recording for discs written in sessions or rewritten.
    {"mkudffs_512.img", true, false, "its UDF volume has blocks of 512 bytes; this check reads those of optical"
     " media, 2048 bytes"},
    {"mkudffs_bdr_2.50.img", true, false, "through a virtual allocation table"},
    {"mkudffs_dvdrw.img", true, false, "through a sparable partition"},
    // pycdlib's bridge, whose UDF and Joliet trees differ; pycdlib calls it UDF 2.60 but declares 1.02.
    {"pycdlib_bridge.iso", true, true, "", 0x0102, 0x0102,
     {"udf only.txt", beyond_ascii, "Loop\\", "Many\\", "DRIVER SETUP\\SETUP.EXE|Driver Setup\\setup.exe",
      "Loop\\..\\\\udf only.txt|udf only.txt"},
     {"joliet only.txt", "JOLIET.TXT", "UDFONLY.TXT"},
     {{"udf only.txt", 1 << 20, "only in UDF\n"}, {beyond_ascii.c_str(), 100, "caf\xc3\xa9\n"}},
     {"Driver Setup", "Loop", "Many", "Tovinel.ini", "udf only.txt", beyond_ascii, "last.txt"}, 8, "CDROM"},
    // The same as UDF 2.60 with a metadata partition, as on Blu-ray discs, readable by UDF 2.50.
    {"metadata_2.60.iso", true, true, "", 0x0260, 0x0250, {"Driver Setup\\setup.exe", "Tovinel.ini"}, {},
     {{"Driver Setup\\setup.exe", 2, "MZ"}}, {}, 8},
    // Cut short: before the anchor, before a folder's data, inside the last files' data (last.txt's
    // third block), where what begins before the cut but ends after it cannot be read either.
    {"cut_descriptors.iso", true, false, "no sound anchor volume descriptor at sector 256"},
    {"cut_folders.iso", true, true,
     "the folder 'Driver Setup' cannot be read: it lies past the end of the image, which is cut short", 0x0102,
     0x0102, {"Driver Setup\\", "Tovinel.ini"}, {"Driver Setup\\setup.exe"},
     {{"Tovinel.ini", 10, "!its data lies past the end of the image"}}},
    {"cut_data.iso", true, true, "", 0x0102, 0x0102, {"last.txt"}, {},
     {{"last.txt", 100, "!past the end of the image"}, {beyond_ascii.c_str(), 100, "caf\xc3\xa9\n"}}},
    // A folder that is the root again, and a folder that is another folder again: each listed once.
    {"loop.iso", true, true, "the folder 'Loop' is a loop: it is the root folder, which holds it", 0x0102, 0x0102,
     {"Loop\\", "Tovinel.ini"}, {"Loop\\Tovinel.ini", "Loop\\Loop"}, {}, {}, 8},
    {"second_name.iso", true, true, "the folder 'Loop' is another name of the folder 'Driver Setup'", 0x0102, 0x0102,
     {"Driver Setup\\setup.exe", "Loop\\"}, {"Loop\\setup.exe"}},
    // Descriptors that fail their checks: the volume's tag or CRC (refused), a folder's tag (left out).
    {"bad_volume_tag.iso", true, false, "no sound logical volume descriptor"},
    {"bad_volume_crc.iso", true, false, "no sound logical volume descriptor"},
    {"other_domain.iso", true, false, "its logical volume's domain is '*OSTA XDF Compliant', not '*OSTA UDF Compliant'"},
    {"other_block_size.iso", true, false, "its UDF volume has blocks of 4096 bytes"},
    {"no_nsr.iso", false, false, "it announces no UDF file system"},
    // A folder in two extents, of which libudfread reads the first; one found through an allocation
    // extent, read whole.
    {"folder_in_pieces.iso", true, true, "the folder 'Many' is recorded in pieces, of which libudfread reads the"
     " first", 0x0102, 0x0102, {"Many\\f00010.txt"}, {"Many\\f00099.txt"}},
    {"through_extent.iso", true, true, "", 0x0102, 0x0102, {"Many\\f00099.txt"}, {}, {}, {}, 108},
    {"absurd_through_extent.iso", true, true, "the folder 'Many' cannot be read: the folders need more than 16 MiB",
     0x0102, 0x0102, {"Many\\"}, {"Many\\f00000.txt"}, {}, {}, 8},
    {"bad_folder_tag.iso", true, true, "the folder 'Driver Setup' cannot be read", 0x0102, 0x0102,
     {"Driver Setup\\", "udf only.txt"}, {"Driver Setup\\setup.exe"}},
    // Absurd lengths: a folder of 1 GiB is refused before libudfread allocates it; a file entry of
    // 1 GiB is read as its one block, and the file is there.
    {"absurd_folder.iso", true, true, "the folder 'Driver Setup' cannot be read: the folders need more than 16 MiB",
     0x0102, 0x0102, {"Driver Setup\\", "Tovinel.ini"}, {"Driver Setup\\setup.exe"}},
    {"absurd_entry.iso", true, true, "the volume is damaged: a name's file entry claims 1073739776 bytes, read as"
     " the one block", 0x0102,
     0x0102, {"udf only.txt"}, {}, {{"udf only.txt", 100, "only in UDF\n"}}},
    // A file set area of nothing, which libudfread would search through for 4 GiB: one block.
    {"no_file_set.iso", true, true, "the volume is damaged: its file set area claims 0 bytes, looked through as"
     " 2048", 0x0102, 0x0102, {"Tovinel.ini"}, {}, {}, {}, 8},
    // A descriptor sequence that points at itself, where libudfread 1.1.2 alone loops for ever.
    {"pointer_loop.iso", true, false, "its UDF volume descriptor sequence runs past 64 sectors without a terminator"},
    // Allocation extents that loop stop at the first repeat; the file reads through what came before.
    {"extent_loop.iso", true, true, "the file entry of 'udf only.txt' is damaged: its allocation extents loop", 0x0102,
     0x0102, {"udf only.txt", "last.txt"}, {}, {{"udf only.txt", 100, "only in UDF\n"}}, {}, 8},
    {"long_chain.iso", true, true, "the file entry of 'last.txt' is damaged: its allocation extents run past 64",
     0x0102, 0x0102, {"last.txt"}, {}, {{"last.txt", 4, "the "}}, {}, 8},
    // A file's data that looks like a folder's entry is data, read as it is.
    {"data_like_entry.iso", true, true, "", 0x0102, 0x0102, {"last.txt"}, {}, {{"last.txt", 2, "\x05\x01"}}},
    // 1500 names of a file whose entry chains 64 allocation extents: more blocks than a listing reads.
    {"costly_entries.iso", true, true, "it needs more than 135 MiB of folders and file entries to be listed, more"
     " than this check reads: the listing stops at 'Many\\f01063.txt'", 0x0102, 0x0102,
     {"Many\\f01062.txt", "Driver Setup\\setup.exe"}, {"Many\\f01064.txt", "Tovinel.ini"},
     {{"Many\\f00000.txt", 5, "; Run"}}},
    // Names Windows cannot hold are left out, never read as a path; nor is a second of the same name.
    {"twice.iso", true, true, "the name 'Many' is in its folder twice: the second is left out", 0x0102, 0x0102,
     {"Many\\"}, {"Loop"}, {}, {}, 7},
    {"backslash_name.iso", true, true, "the name 'udf\\only.txt' holds a NUL, a backslash or a slash", 0x0102,
     0x0102, {"Tovinel.ini"}, {"udf\\only.txt", "udf only.txt", "udf"}, {}, {}, 7},
    {"nul_name.iso", true, true, "the name 'udf\\x00only.txt' holds a NUL", 0x0102, 0x0102, {"Tovinel.ini"},
     {"udf only.txt", "udf"}, {}, {}, 7},
    // Bounds: 10000 entries in one folder, 60000 in all, 64 folders deep, and 25 GB of image.
    {"full_folder.iso", true, true, "the folder 'Many' holds more than 10000 entries", 0x0102, 0x0102,
     {"Many\\f09999.txt", "udf only.txt"}, {"Many\\f10000.txt"}, {{"Many\\f00007.txt", 3, "; R"}}, {},
     8 + 10000},
    {"too_many.iso", true, true, "more than 60000 files and folders, more than this check lists: the listing stops"
     " at 'folder59\\f00940.txt'", 0x0102, 0x0102, {"folder59\\f00939.txt"},
     {"folder59\\f00940.txt", "folder60", "Tovinel.ini"}, {}, {}, 60000},
    {"deep.iso", true, true, "lies 64 folders deep", 0x0102, 0x0102, {deep_folder + "\\"},
     {deep_folder + "\\d", deep_folder + "\\d\\note.txt"}, {}, {}, 65},
    {"huge_sparse.iso", true, true, "", 0x0102, 0x0102, {"udf only.txt"}, {}, {{"last.txt", 5, "the l"}}, {}, 8},
    // No UDF at all.
    {"genisoimage_medium/Tovinel.ini", false, false, "it announces no UDF file system"},
    {"genisoimage_medium", false, false, "it is no regular file"},
    {"no such image.iso", false, false, "it cannot be opened: No such file or directory"},
};

void check_found(const udf_image& image, const std::string& row)
{
    size_t bar = row.find('|');
    std::string query = row.substr(0, bar);
    std::string path = bar == std::string::npos ? row : row.substr(bar + 1);
    bool folder = !path.empty() && path.back() == '\\';
    if (folder)
        path.pop_back();
    for (const std::string& asked : {query, upper(query)}) {
        const udf_entry* entry = udf_image_find(image, asked);
        ASSERT_NE(nullptr, entry) << asked;
        EXPECT_EQ(path, entry->path) << asked;
        EXPECT_EQ(folder, entry->is_folder) << asked;
    }
}

void check_read(const udf_image& image, const read_case& read)
{
    const udf_entry* entry = udf_image_find(image, read.path);
    ASSERT_NE(nullptr, entry) << read.path;
    std::string bytes = "left over";
    std::string error;
    bool whole = udf_image_read(image, *entry, read.max_bytes, &bytes, &error);
    if (read.expected[0] != '!') {
        EXPECT_TRUE(whole) << read.path << ": " << error;
        EXPECT_EQ(read.expected, bytes) << read.path << " at most " << read.max_bytes;
        return;
    }
    EXPECT_FALSE(whole) << read.path;
    EXPECT_EQ("", bytes) << read.path;
    EXPECT_NE(std::string::npos, error.find(read.expected.substr(1))) << read.path << ": " << error;
}

TEST_F(UdfImage, ReadsEachImageAsFarAsItIsSound)
{
    for (const udf_case& c : cases) {
        SCOPED_TRACE(c.image);
        std::string path = images + "/" + c.image;
        EXPECT_EQ(c.present, udf_image_present(path));
        udf_image image;
        std::string error;
        bool opened = udf_image_open(path, &image, &error);
        EXPECT_EQ(c.opens, opened) << error;
        if (!opened) {
            EXPECT_NE(std::string::npos, error.find(c.problem)) << error;
            EXPECT_TRUE(!error.empty() && error.back() != '.' && error.find('\n') == std::string::npos) << error;
            continue;
        }
        if (c.problem[0] == '\0') {
            EXPECT_EQ("", image.damage);
        } else {
            EXPECT_NE(std::string::npos, image.damage.find(c.problem)) << image.damage;
        }
        EXPECT_EQ(c.revision, image.revision);
        EXPECT_EQ(c.min_read_revision, image.min_read_revision);
        if (c.volume_id != nullptr) {
            EXPECT_EQ(c.volume_id, image.volume_id);
        }
        if (c.entry_count >= 0) {
            EXPECT_EQ(static_cast<size_t>(c.entry_count), image.entries.size());
        }
        for (const std::string& found : c.found)
            check_found(image, found);
        for (const std::string& missing : c.missing)
            EXPECT_EQ(nullptr, udf_image_find(image, missing)) << missing;
        for (const read_case& read : c.reads)
            check_read(image, read);
        if (!c.root.empty()) {
            std::vector<std::string> root;
            for (const udf_entry* entry : udf_image_list(image, ""))
                root.push_back(entry->path);
            EXPECT_EQ(c.root, root);
        }
        // The same bytes in memory, as the fuzz target gives them, list the same.
        if (image.entries.size() < 100 && c.image != std::string("huge_sparse.iso")) {
            const std::string bytes = file_text(path);
            udf_image in_memory;
            ASSERT_TRUE(udf_image_open_memory(bytes, &in_memory, &error)) << error;
            EXPECT_EQ(image.damage, in_memory.damage);
            ASSERT_EQ(image.entries.size(), in_memory.entries.size());
            for (size_t i = 0; i < image.entries.size(); ++i)
                EXPECT_EQ(image.entries[i].path + " " + std::to_string(image.entries[i].size),
                          in_memory.entries[i].path + " " + std::to_string(in_memory.entries[i].size));
        }
    }
}

// An image replaced by another between its listing and a read: the read refuses rather than hand
// over another file's bytes; and an entry of another image is refused.
TEST_F(UdfImage, RefusesToReadAnImageThatChanged)
{
    const std::string path = images + "/changing.iso";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file_text(images + "/pycdlib_bridge.iso");
    udf_image image;
    std::string error;
    ASSERT_TRUE(udf_image_open(path, &image, &error)) << error;
    const udf_entry* ini = udf_image_find(image, "Tovinel.ini");
    const udf_entry* only = udf_image_find(image, "udf only.txt");
    ASSERT_TRUE(ini != nullptr && only != nullptr);
    std::string bytes;
    const udf_entry stranger = *ini;
    EXPECT_FALSE(udf_image_read(image, stranger, 100, &bytes, &error));
    EXPECT_EQ("the entry is not one of this image's", error);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << file_text(images + "/genisoimage_bridge.iso");
    EXPECT_FALSE(udf_image_read(image, *only, 100, &bytes, &error));
    EXPECT_EQ("it is not found again, or its file entry cannot be read", error);
    EXPECT_FALSE(udf_image_read(image, *ini, 100, &bytes, &error));
    EXPECT_EQ("", bytes);
    EXPECT_EQ("the image changed while it was read", error);  // another Tovinel.ini, of another size
}

// The checker on disc images whose file systems Windows versions read otherwise: each finding names
// the Windows that meet it, each insertion group the file system it reads.
TEST_F(UdfImage, TheCheckReadsEachFileSystemForTheWindowsThatReadIt)
{
    struct {
        const char* image;
        std::vector<std::string> findings;   // "FILE[:LINE] ID", in output order
        std::vector<std::string> phrases;
    } const checks[] = {
        // genisoimage -udf without Joliet: the long names are UDF's; Windows 95 and NT 4 read 8.3 names.
        {"genisoimage_bridge.iso",
         {"autorun.inf:3 image-name", "Tovinel.ini ini-name-case", "Tovinel.ini:7 run-blank", "Tovinel.ini:7 image-name"},
         {"(a UDF bridge image: UDF 1.02, and ISO 9660 names without Joliet)",
          "  Windows 95, NT 4: ISO 9660 names, [autorun]: starts 'D:\\tovinel.exe' at once\n"
          "  Windows 98, Me, 2000, XP: UDF, [autorun]: starts 'D:\\tovinel.exe' at once\n",
          "Tovinel.ini:7: Windows 95, NT 4: Run names 'Driver Setup\\setup.exe', which Windows will not find",
          "Tovinel.ini:7: Windows 98, Me, 2000 to 11: Run names 'Driver Setup\\setup.exe', a path with a blank"}},
        // The UDF tree lacks the setup its Joliet tree has.
        {"check_trees_differ.iso",
         {"autorun.inf:3 autorun-icon-missing", "Tovinel.ini:7 run-missing", "Tovinel.ini:7 run-blank"},
         {"Tovinel.ini:7: Windows 98, Me, 2000 to 11: Run names 'Driver', which is not on the medium",
          "Tovinel.ini:7: Windows 95, NT 4: Run names 'Driver Setup\\setup.exe', a path with a blank"}},
        // UDF alone: Windows 95 and NT 4 see an empty disc.
        {"check_udf_only.iso", {"Tovinel.ini:7 run-blank", "image image-not-read"},
         {"(a UDF image: UDF 1.02, no ISO 9660 file system)",
          "  Windows 95, NT 4: nothing starts: they read no file system of this image\n",
          "image: Windows 95, NT 4: These Windows read no file system of this image"}},
        // UDF 2.60 as on a Blu-ray: Windows before Vista read its Joliet names.
        {"check_bluray.iso", {"Tovinel.ini:7 run-blank"},
         {"(a UDF bridge image: UDF 2.60, which readers of 2.50 read, and Joliet names)",
          "  Windows 95 to XP: Joliet names, [autorun]: starts 'D:\\tovinel.exe' at once\n"
          "  Windows Vista, 7: UDF, [autorun]: AutoPlay asks first"}},
    };
    for (const auto& c : checks) {
        tool_run run = run_check_tool({images + "/" + c.image});
        EXPECT_EQ(1, run.exit_code) << c.image << "\n" << run.output;
        EXPECT_EQ(c.findings, finding_lines(run.output)) << c.image << "\n" << run.output;
        for (const std::string& phrase : c.phrases)
            EXPECT_NE(std::string::npos, run.output.find(phrase)) << c.image << ": no '" << phrase << "' in\n"
                                                                   << run.output;
    }
    // In JSON, the finding's Windows and the group's file system.
    tool_run json = run_check_tool({"--format=json", images + "/check_trees_differ.iso"});
    for (const char* phrase : {"\"id\": \"run-missing\", \"file\": \"Tovinel.ini\", \"line\": 7, \"severity\": \"error\", "
                               "\"windows\": [\"98\", \"me\", \"2000\", \"xp\", \"vista\", \"7\", \"8\", \"10\", \"11\"]",
                               "{\"windows\": [\"95\", \"nt4\"], \"drive_type\": \"optical\", \"file_system\": \"joliet\""})
        EXPECT_NE(std::string::npos, json.output.find(phrase)) << phrase << "\n" << json.output;
}

}  // namespace
