// Tovinel tests: ISO images of a sample medium, made with xorriso in the build folder, read as Windows
// will read them: one table of names looked up in each kind of image, then damaged and hostile files.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "check_tool_run.h"
#include "media/iso_image.h"
#include "media/udf_image.h"
#include "media/medium.h"

namespace {

const std::string medium = std::string(CHECK_MEDIA) + "/driver_setup";
const std::string images = ISO_TEST_DIR;
const std::string long_name = "Installation notes for every version of Windows, from 95 up to 11.txt";
const std::string twin_name = "Installation notes for every version of Windows, from 95 up to 11, part";

std::string image_path(const char* name)
{
    return images + "/" + name + ".iso";
}

std::string file_text(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

const std::string xorriso_mkisofs = std::string(XORRISO) + " -as mkisofs";

// The shell command that makes `image` of `folder` with `tool`, an mkisofs (xorriso's or
// genisoimage), and its `options` ("-J -R").
std::string image_command(const std::string& options, const std::string& folder, const std::string& image,
                          const std::string& tool = xorriso_mkisofs)
{
    return tool + " -quiet " + options + " -o '" + image + "' '" + folder + "'";
}

// Makes `image` of `folder` with xorriso's mkisofs `options`; tells whether it did.
bool made_image(const std::string& options, const std::string& folder, const std::string& image)
{
    return system((image_command(options, folder, image) + " 2>/dev/null").c_str()) == 0;
}

// A fresh copy of the medium folder `from`, named `name` among the images: a medium of its own.
std::string medium_copy(const std::string& from, const char* name)
{
    std::string to = images + "/" + name;
    std::filesystem::remove_all(to);
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    return to;
}

// The kinds of image a publisher makes: xorriso's mkisofs options for each.
struct image_kind {
    const char* name;
    const char* options;
};
const image_kind image_kinds[] = {
    {"joliet_rock_ridge", "-J -R"},
    {"joliet_only", "-J --norock"},
    {"iso9660_only", "--norock"},            // ISO 9660 level 1: 8.3 names in capitals
    {"iso9660_level2", "-iso-level 2 --norock"},   // names of up to 31 characters
    {"rock_ridge_only", "-R"},               // right on Linux, 8.3 names on Windows
};

// The sample media, each a folder of tests/checker/check_media.
std::vector<std::string> sample_media()
{
    std::vector<std::string> names;
    DIR* media = opendir(CHECK_MEDIA);
    while (struct dirent* entry = media != nullptr ? readdir(media) : nullptr)
        if (entry->d_name[0] != '.')
            names.push_back(entry->d_name);
    if (media != nullptr)
        closedir(media);
    std::sort(names.begin(), names.end());
    return names;
}

std::string medium_image_path(const std::string& name)
{
    return images + "/medium_" + name + ".iso";
}

class IsoImage : public ::testing::Test {
protected:
    // Every image at once: xorriso spends most of its time waiting, not working.
    static void SetUpTestSuite()
    {
        mkdir(images.c_str(), 0755);
        std::string script;
        // What the tool says is shown only when it fails.
        auto make = [&](const std::string& options, const std::string& image, const std::string& folder,
                        const std::string& tool = xorriso_mkisofs) {
            script += "{ " + image_command(options, folder, image, tool) + " 2>'" + image + ".log' || { echo failed: " +
                      image + "; cat '" + image + ".log'; }; } & ";
        };
        const std::string clean = std::string(CHECK_MEDIA) + "/clean";
        for (const image_kind& kind : image_kinds)
            make(kind.options, image_path(kind.name), medium);
        for (const std::string& name : sample_media())
            make("-J -R", medium_image_path(name), std::string(CHECK_MEDIA) + "/" + name);
        make("-J -R -udf", image_path("joliet_udf"), medium, GENISOIMAGE);
        // Nine folders deep: ISO 9660 holds eight levels, so genisoimage moves the ninth to RR_MOVED,
        // where only Rock Ridge readers put it back.
        std::string deep = images + "/deep_medium";
        for (const char* name : {"", "/a", "/b", "/c", "/d", "/e", "/f", "/g", "/h", "/i"})
            mkdir((deep += name).c_str(), 0755);
        write_file(deep + "/note.txt", "deep\n");
        make("-R", image_path("deep_rock_ridge"), images + "/deep_medium", GENISOIMAGE);
        // Two long names alike in their first 64 characters, and their files alike in size: Joliet
        // holds two other names, and nothing tells which is which.
        std::string twins = images + "/twins_medium";
        mkdir(twins.c_str(), 0755);
        write_file(twins + "/" + twin_name + " one.txt", "same\n");
        write_file(twins + "/" + twin_name + " two.txt", "same\n");
        make("-J -R", image_path("twins_joliet"), twins);
        // Names that only the ISO 9660 view can judge: a full path as Run, autorun.inf's program
        // unquoted with a blank, its icon from the root.
        std::string edits = medium_copy(medium, "edits_medium");
        write_file(edits + "/Tovinel.ini", "[Setup]\r\nRun=C:\\Setup\\SETUP.EXE\r\n");
        write_file(edits + "/autorun.inf", "[autorun]\r\nopen=Driver Setup\\setup.exe /x\r\n"
                                           "icon=\\Driver Setup\\setup.exe,0\r\n");
        make("-R", image_path("edits_rock_ridge"), edits);
        // A network path as Run, whose names are no ISO 9660 names: a full path, so only run-full-path.
        std::string unc = medium_copy(edits, "unc_medium");
        write_file(unc + "/Tovinel.ini", "[Setup]\r\nRun=\\\\server\\share\\Setup Program.exe\r\n");
        make("-R", image_path("unc_rock_ridge"), unc);
        // autorun.inf's program quoted: its name as a whole, not its part before the blank, is judged.
        std::string quoted_program = medium_copy(clean, "quoted_medium");
        std::filesystem::create_directory(quoted_program + "/Long-Name Folder");
        std::filesystem::copy(quoted_program + "/tovinel.exe", quoted_program + "/Long-Name Folder/tovinel.exe");
        write_file(quoted_program + "/autorun.inf", "[autorun]\r\nopen=\"Long-Name Folder\\tovinel.exe\" /auto\r\n");
        make("-R", image_path("quoted_rock_ridge"), quoted_program);
        // ISO 9660 level 2, made so by one long name: a missing name of 31 bytes could be one of its
        // names, one of 32 could not.
        std::string level2 = medium_copy(clean, "level2_medium");
        write_file(level2 + "/LONG_NAME_FILE.TXT", "x");
        write_file(level2 + "/Tovinel.ini", "[Setup]\r\nRun=ABCDEFGHIJKLMNOPQRSTUVWXYZ1.EXE\r\n");
        write_file(level2 + "/autorun.inf", "[autorun]\r\nopen=tovinel.exe\r\nicon=ABCDEFGHIJKLMNOPQRSTUVWXYZ12.ICO\r\n");
        make("-iso-level 2 --norock", image_path("level2_names"), level2);
        // Two names that differ only in letter case, which Joliet keeps as written.
        std::string cases = images + "/cases_medium";
        mkdir(cases.c_str(), 0755);
        write_file(cases + "/a.txt", "1\n");
        write_file(cases + "/A.TXT", "22\n");
        make("-J -R", image_path("cases_joliet"), cases);
        // Tovinel.ini a second name of A.INI's data: genisoimage writes the data once, and libarchive
        // lists the later name as a link to the earlier, without a size of its own.
        std::string linked = medium_copy(clean, "linked_medium");
        std::filesystem::create_hard_link(linked + "/Tovinel.ini", linked + "/A.INI");
        make("-J -R", image_path("linked_joliet"), linked, GENISOIMAGE);
        script += "wait";
        FILE* run = popen(script.c_str(), "r");
        ASSERT_NE(nullptr, run);
        char line[512];
        while (fgets(line, sizeof line, run) != nullptr)
            ADD_FAILURE() << line;
        ASSERT_EQ(0, pclose(run));
    }
};

// A name looked up on one kind of image.
struct lookup_case {
    const char* image;
    const char* windows_path;        // looked up as Windows does, letter case ignored
    const char* found;               // the entry's path as Windows shows it; null: not there
    bool is_folder;
    const char* rock_ridge_path;     // "" when Linux shows the same path
};

const lookup_case lookup_cases[] = {
    // With Joliet, Windows sees the names as written, letter case ignored.
    {"joliet_rock_ridge", "Driver Setup\\setup.exe", "Driver Setup\\setup.exe", false, ""},
    {"joliet_rock_ridge", "DRIVER SETUP\\.\\SETUP.EXE", "Driver Setup\\setup.exe", false, ""},
    {"joliet_rock_ridge", "Driver Setup", "Driver Setup", true, ""},
    {"joliet_rock_ridge", "tovinel.ini", "Tovinel.ini", false, ""},
    {"joliet_rock_ridge", "AUTORUN.INF", "autorun.inf", false, ""},
    {"joliet_only", "Driver Setup\\Other\\..\\setup.exe", "Driver Setup\\setup.exe", false, ""},
    // Names alike but for letter case: the exact one, else the first listed, as Windows opens it.
    {"cases_joliet", "a.txt", "a.txt", false, ""},
    {"cases_joliet", "A.TXT", "A.TXT", false, ""},
    {"cases_joliet", "A.txt", "A.TXT", false, ""},
    // Joliet holds 64 characters of a name: Linux shows the whole name, Windows the cut one.
    {"joliet_rock_ridge", "Installation notes for every version of Windows, from 95 up t.txt",
     "Installation notes for every version of Windows, from 95 up t.txt", false,
     "Installation notes for every version of Windows, from 95 up to 11.txt"},
    {"joliet_rock_ridge", long_name.c_str(), nullptr, false, ""},
    // Without Joliet, Windows sees 8.3 names in capitals, with or without Rock Ridge.
    {"iso9660_only", "Driver Setup\\setup.exe", nullptr, false, ""},
    {"iso9660_only", "driver_s\\setup.exe", "DRIVER_S\\SETUP.EXE", false, ""},
    {"iso9660_only", "Tovinel.ini", "TOVINEL.INI", false, ""},
    {"iso9660_only", "autorun.inf", "AUTORUN.INF", false, ""},
    {"rock_ridge_only", "Driver Setup\\setup.exe", nullptr, false, ""},
    {"rock_ridge_only", "DRIVER_S\\SETUP.EXE", "DRIVER_S\\SETUP.EXE", false, "Driver Setup\\setup.exe"},
    {"rock_ridge_only", "DRIVER_S", "DRIVER_S", true, "Driver Setup"},
    {"rock_ridge_only", "INSTALLA.TXT", "INSTALLA.TXT", false, long_name.c_str()},
    // Never above the root; the root itself has no entry.
    {"joliet_rock_ridge", "..\\..\\Tovinel.ini", "Tovinel.ini", false, ""},
    {"joliet_rock_ridge", "", nullptr, false, ""},
};

TEST_F(IsoImage, FindsEachNameAsWindowsSeesIt)
{
    for (const lookup_case& c : lookup_cases) {
        iso_image image;
        std::string error;
        ASSERT_TRUE(iso_image_open(image_path(c.image), &image, &error)) << c.image << ": " << error;
        const iso_entry* entry = iso_image_find(image, c.windows_path);
        std::string where = std::string(c.image) + ": " + c.windows_path;
        if (c.found == nullptr) {
            EXPECT_EQ(nullptr, entry) << where << " found as " << entry->path;
            continue;
        }
        ASSERT_NE(nullptr, entry) << where;
        EXPECT_EQ(c.found, entry->path) << where;
        EXPECT_EQ(c.is_folder, entry->is_folder) << where;
        EXPECT_EQ(c.rock_ridge_path, entry->rock_ridge_path) << where;
    }
}

// Joliet names beyond ASCII arrive as UTF-8 whatever the process's locale (a test runs in "C").
TEST_F(IsoImage, ReadsJolietNamesBeyondAsciiAsUtf8)
{
    const std::string folder = images + "/names_beyond_ascii";
    const std::string name = "Gr\xC3\xB6\xC3\x9F" "e caf\xC3\xA9.txt";   // "Größe café.txt"
    mkdir(folder.c_str(), 0755);
    write_file(folder + "/" + name, "x");
    std::string image_file = images + "/names_beyond_ascii.iso";
    ASSERT_TRUE(made_image("-J -R", folder, image_file));
    iso_image image;
    std::string error;
    ASSERT_TRUE(iso_image_open(image_file, &image, &error)) << error;
    ASSERT_EQ(1u, image.entries.size());
    EXPECT_EQ(name, image.entries[0].path);
    EXPECT_NE(nullptr, iso_image_find(image, name));
}

// Files of one size in a folder whose name Joliet cuts: each still pairs with its Rock Ridge name,
// by its own name within the folder.
TEST_F(IsoImage, PairsFilesInAFolderWhoseNameJolietCuts)
{
    const std::string folder_name = "A folder whose name is longer than the sixty-four characters of Joliet";
    const std::string source = images + "/long_folder";
    mkdir(source.c_str(), 0755);
    mkdir((source + "/" + folder_name).c_str(), 0755);
    write_file(source + "/" + folder_name + "/one.txt", "1");
    write_file(source + "/" + folder_name + "/two.txt", "2");
    write_file(source + "/" + folder_name + "/ZIP.TXT", "zz");
    const std::string image_file = images + "/long_folder.iso";
    ASSERT_TRUE(made_image("-J -R", source, image_file));
    iso_image image;
    std::string error;
    ASSERT_TRUE(iso_image_open(image_file, &image, &error)) << error;
    // The folder is the image's first entry: its explanation too names what Windows shows.
    EXPECT_EQ(0, iso_image_find_rock_ridge(image, folder_name));
    EXPECT_EQ(0u, iso_image_explain_missing(image, folder_name)
                      .find("Windows reads this image's Joliet names, where " + folder_name + " is " +
                            folder_name.substr(0, 64) + " (Joliet holds 64 characters"));
    for (const char* name : {"one.txt", "two.txt"}) {
        long index = iso_image_find_rock_ridge(image, folder_name + "/" + name);
        ASSERT_GE(index, 0) << name;
        EXPECT_EQ(folder_name.substr(0, 64) + "\\" + name, image.entries[static_cast<size_t>(index)].path);
        // Files of one byte read whole.
        std::string bytes;
        EXPECT_TRUE(iso_image_read(image, image.entries[static_cast<size_t>(index)], 100, &bytes, &error)) << error;
        EXPECT_EQ(name == std::string("one.txt") ? "1" : "2", bytes) << name;
    }    // Found in any letter case, up to Z.
    const iso_entry* zip = iso_image_find(image, folder_name.substr(0, 64) + "\\zip.txt");
    ASSERT_NE(nullptr, zip);
    EXPECT_EQ(folder_name.substr(0, 64) + "\\ZIP.TXT", zip->path);
}

// Which names Windows reads, and what Linux shows besides.
struct kind_case {
    const char* image;
    bool joliet;
    bool rock_ridge;
    const char* rock_ridge_path;    // looked up in the Rock Ridge names ...
    const char* windows_path;       // ... is this entry for Windows; null: no such Rock Ridge name
};

const kind_case kind_cases[] = {
    {"joliet_rock_ridge", true, true, "Driver Setup/setup.exe", "Driver Setup\\setup.exe"},
    {"joliet_rock_ridge", true, true, long_name.c_str(),
     "Installation notes for every version of Windows, from 95 up t.txt"},
    {"joliet_only", true, false, "Driver Setup/setup.exe", nullptr},
    {"iso9660_only", false, false, "Driver Setup/setup.exe", nullptr},
    {"rock_ridge_only", false, true, "driver setup\\SETUP.exe", "DRIVER_S\\SETUP.EXE"},
    {"rock_ridge_only", false, true, "Tovinel.ini", "TOVINEL.INI"},
};

TEST_F(IsoImage, TellsWhichNamesWindowsReadsAndWhatLinuxShows)
{
    for (const kind_case& c : kind_cases) {
        iso_image image;
        std::string error;
        ASSERT_TRUE(iso_image_open(image_path(c.image), &image, &error)) << c.image << ": " << error;
        EXPECT_EQ(c.joliet, image.joliet) << c.image;
        EXPECT_EQ(c.rock_ridge, image.rock_ridge) << c.image;
        EXPECT_FALSE(udf_image_present(image_path(c.image))) << c.image;
        long index = iso_image_find_rock_ridge(image, c.rock_ridge_path);
        if (c.windows_path == nullptr) {
            EXPECT_EQ(-2, index) << c.image << ": " << c.rock_ridge_path;
            continue;
        }
        ASSERT_GE(index, 0) << c.image << ": " << c.rock_ridge_path;
        EXPECT_EQ(c.windows_path, image.entries[static_cast<size_t>(index)].path) << c.image;
    }
}

TEST_F(IsoImage, ListsFoldersAndReadsFilesWithinTheLimitAsked)
{
    iso_image image;
    std::string error;
    ASSERT_TRUE(iso_image_open(image_path("rock_ridge_only"), &image, &error)) << error;
    std::vector<std::string> root;
    for (const iso_entry* entry : iso_image_list(image, ""))
        root.push_back(entry->path);
    std::sort(root.begin(), root.end());
    const std::vector<std::string> expected = {"AUTORUN.INF", "DRIVER_S", "INSTALLA.TXT", "TOVINEL.EXE", "TOVINEL.INI"};
    EXPECT_EQ(expected, root);
    ASSERT_EQ(1u, iso_image_list(image, "driver_s").size());
    EXPECT_EQ("DRIVER_S\\SETUP.EXE", iso_image_list(image, "driver_s")[0]->path);

    const std::string ini = file_text(medium + "/Tovinel.ini");
    const iso_entry* entry = iso_image_find(image, "Tovinel.ini");
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(ini.size(), entry->size);
    const struct {
        size_t max_bytes;
        std::string expected;
    } reads[] = {{1 << 20, ini}, {ini.size(), ini}, {10, ini.substr(0, 10)}, {0, ""}};
    for (const auto& read : reads) {
        std::string bytes = "left over";
        EXPECT_TRUE(iso_image_read(image, *entry, read.max_bytes, &bytes, &error)) << read.max_bytes << ": " << error;
        EXPECT_EQ(read.expected, bytes) << "at most " << read.max_bytes;
    }
    std::string bytes;
    EXPECT_FALSE(iso_image_read(image, *iso_image_find(image, "DRIVER_S"), 100, &bytes, &error));
    EXPECT_NE(std::string::npos, error.find("is a folder")) << error;
    const iso_entry stranger = *entry;  // the same facts, but no entry of this image
    EXPECT_FALSE(iso_image_read(image, stranger, 100, &bytes, &error));
    EXPECT_NE(std::string::npos, error.find("not one of this image's")) << error;
}

// An image replaced by another between its listing and a read: the read refuses rather than hand
// over another file's bytes.
TEST_F(IsoImage, RefusesToReadAnImageThatChanged)
{
    const std::string path = images + "/changing.iso";
    write_file(path, file_text(image_path("joliet_rock_ridge")));
    iso_image image;
    std::string error;
    ASSERT_TRUE(iso_image_open(path, &image, &error)) << error;
    const iso_entry* entry = iso_image_find(image, "Driver Setup\\setup.exe");
    ASSERT_NE(nullptr, entry);
    std::string bytes;
    ASSERT_TRUE(iso_image_read(image, *entry, 100, &bytes, &error)) << error;
    write_file(path, file_text(image_path("iso9660_only")));
    EXPECT_FALSE(iso_image_read(image, *entry, 100, &bytes, &error));
    EXPECT_EQ("", bytes);
    EXPECT_NE(std::string::npos, error.find("changed")) << error;
}

// Why Windows will not find what Linux shows: the words a finding adds, "" when there is nothing to add.
struct missing_case {
    const char* image;
    const char* windows_path;
    const char* explanation;    // a phrase of the explanation; "" for none
};

const missing_case missing_cases[] = {
    {"rock_ridge_only", "Driver Setup\\setup.exe",
     "no Joliet names, so Windows reads its ISO 9660 names, where Driver Setup\\setup.exe is DRIVER_S\\SETUP.EXE; "
     "Linux shows Driver Setup\\setup.exe because it reads the Rock Ridge names"},
    {"iso9660_only", "Driver Setup\\setup.exe", "8.3 at most: Driver Setup\\setup.exe cannot be one of them"},
    {"iso9660_only", "Tovinel.ini", ""},          // there
    {"iso9660_only", "SETUP2.EXE", ""},           // could be an ISO 9660 name: simply not there
    // Names that cannot be ISO 9660 names of this image (8.3 at most, as all of its names are), and
    // names at the edges of what can.
    {"iso9660_only", "SETUP.HTML", "8.3 at most: SETUP.HTML cannot be one of them"},
    {"iso9660_only", "ABCDEFGHI.EXE", "8.3 at most: ABCDEFGHI.EXE cannot be one of them"},
    {"iso9660_only", "A.B.C", "cannot be one of them"},
    {"iso9660_only", ".EXE", "cannot be one of them"},
    {"iso9660_only", "DISC1\\SET-UP.EXE", "cannot be one of them"},
    {"iso9660_only", "A@.EXE", "cannot be one of them"},
    {"iso9660_only", "A[.EXE", "cannot be one of them"},
    {"iso9660_only", "A`.EXE", "cannot be one of them"},
    {"iso9660_only", "A{.EXE", "cannot be one of them"},
    {"iso9660_only", "A:.EXE", "cannot be one of them"},
    {"iso9660_only", "ABCDEFGH.EXE", ""},
    {"iso9660_only", "AZaz_09.Zz", ""},
    {"iso9660_only", "DISC1\\SETUP", ""},
    {"joliet_rock_ridge", long_name.c_str(),
     "Joliet names, where Installation notes for every version of Windows, from 95 up to 11.txt is "
     "Installation notes for every version of Windows, from 95 up t.txt"},
    {"joliet_rock_ridge", "Driver Setup\\setup.exe", ""},
    {"joliet_only", "Driver Setup\\install.exe", ""},
};

TEST_F(IsoImage, ExplainsWhyWindowsWillNotFindWhatLinuxShows)
{
    for (const missing_case& c : missing_cases) {
        iso_image image;
        std::string error;
        ASSERT_TRUE(iso_image_open(image_path(c.image), &image, &error)) << c.image << ": " << error;
        std::string explanation = iso_image_explain_missing(image, c.windows_path);
        std::string where = std::string(c.image) + ": " + c.windows_path;
        if (c.explanation[0] == '\0')
            EXPECT_EQ("", explanation) << where;
        else
            EXPECT_NE(std::string::npos, explanation.find(c.explanation)) << where << ": " << explanation;
    }
}

// A file that is no image, or no longer a whole one, comes back as a reason; so does one made to
// exhaust the reader.
struct damaged_case {
    const char* name;
    std::string (*make)();          // writes the file, returns its path
    const char* reason;
};

std::string whole_image()
{
    return file_text(image_path("joliet_rock_ridge"));
}

std::string made(const char* name, const std::string& bytes)
{
    std::string path = images + "/" + name;
    write_file(path, bytes);
    return path;
}

// The little-endian 32-bit number at `at`.
uint32_t little32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (int byte = 3; byte >= 0; --byte)
        value = value << 8 | static_cast<unsigned char>(bytes[at + byte]);
    return value;
}

// Writes `value` at `at` in both byte orders, little-endian first, as ISO 9660 keeps its numbers.
void put_both_orders(std::string* bytes, size_t at, uint32_t value)
{
    for (int byte = 0; byte < 4; ++byte) {
        (*bytes)[at + byte] = static_cast<char>(value >> (8 * byte));
        (*bytes)[at + 4 + byte] = static_cast<char>(value >> (8 * (3 - byte)));
    }
}

// The primary volume descriptor's root folder record: its size, and the volume's size in sectors.
void claim_sizes(std::string* image, uint32_t root_size, uint32_t volume_sectors)
{
    const size_t descriptor = 16 * 2048;
    put_both_orders(image, descriptor + 156 + 10, root_size);
    put_both_orders(image, descriptor + 80, volume_sectors);
}

// An image whose root folder lists `files` files, all of the same data.
// The new root folder goes past the end of an image without Joliet, and the volume descriptor
// points at it.
std::string many_files_image(uint32_t files, const char* name)
{
    std::string image = file_text(image_path("iso9660_only"));
    const size_t descriptor = 16 * 2048;
    // A file's record in the old root folder, to copy under new names.
    std::string file_record;
    for (size_t at = little32(image, descriptor + 156 + 2) * size_t{2048}; image[at] != 0; at += static_cast<unsigned char>(image[at]))
        if (image.compare(at + 33, 13, "TOVINEL.INI;1") == 0)
            file_record = image.substr(at, static_cast<unsigned char>(image[at]));
    EXPECT_FALSE(file_record.empty());
    const uint32_t per_sector = 2048 / 46;
    const uint32_t sectors = (files + 2 + per_sector - 1) / per_sector;
    const uint32_t root_at = static_cast<uint32_t>(image.size() / 2048);
    std::string self = image.substr(descriptor + 156, 34);  // the root's own record, for "." and ".."
    put_both_orders(&self, 2, root_at);
    put_both_orders(&self, 10, sectors * 2048);
    std::string folder;
    for (uint32_t i = 0; i < files + 2; ++i) {
        std::string record = self;
        if (i == 1)
            record[33] = 1;
        if (i >= 2) {
            char file_name[24];
            snprintf(file_name, sizeof file_name, "F%05u.TXT;1", i - 2);
            record = file_record.substr(0, 32) + static_cast<char>(12) + file_name + std::string(1, '\0');
            record[0] = static_cast<char>(record.size());
        }
        if (folder.size() % 2048 + record.size() > 2048)
            folder.resize((folder.size() / 2048 + 1) * 2048, '\0');
        folder += record;
    }
    folder.resize(size_t{sectors} * 2048, '\0');
    image += folder;
    put_both_orders(&image, descriptor + 156 + 2, root_at);
    claim_sizes(&image, sectors * 2048, root_at + sectors);
    return made(name, image);
}

const damaged_case damaged_cases[] = {
    {"text file", [] { return made("notes.txt", "[autorun]\nopen=tovinel.exe\n"); }, "is no ISO 9660 image"},
    {"empty file", [] { return made("empty.iso", ""); }, "is no ISO 9660 image"},
    {"cut inside the descriptors", [] { return made("cut_early.iso", whole_image().substr(0, 36000)); },
     "is no ISO 9660 image"},
    {"cut inside the folders", [] { return made("cut_folders.iso", whole_image().substr(0, 50000)); },
     "cannot be read as an ISO 9660 image"},
    {"folder", [] { return images; }, "is no regular file"},
    {"device", [] { return std::string("/dev/zero"); }, "is no regular file"},
    {"missing", [] { return images + "/no_such.iso"; }, "cannot be read"},
    {"root folder claimed to be 18 MiB of zeros",
     [] {
         std::string image = whole_image();
         const size_t with_zeros = image.size() + (20u << 20);
         claim_sizes(&image, 18u << 20, static_cast<uint32_t>(with_zeros / 2048));
         std::string path = made("huge_root.iso", image);
         EXPECT_EQ(0, truncate(path.c_str(), static_cast<off_t>(with_zeros)));  // zeros, never written
         return path;
     },
     "more than 16 MiB of folder data"},
};

TEST_F(IsoImage, GivesAReasonForWhatIsNoWholeImage)
{
    for (const damaged_case& c : damaged_cases) {
        std::string path = c.make();
        iso_image image;
        std::string error;
        EXPECT_FALSE(iso_image_open(path, &image, &error)) << c.name;
        EXPECT_NE(std::string::npos, error.find(c.reason)) << c.name << ": " << error;
    }
}

// As many entries as a listing keeps (the root folder's own one among them), and not one more.
TEST_F(IsoImage, ListsAsManyEntriesAsItKeeps)
{
    iso_image image;
    std::string error;
    ASSERT_TRUE(iso_image_open(many_files_image(59999, "most_files.iso"), &image, &error)) << error;
    EXPECT_EQ(59999u, image.entries.size());
    EXPECT_FALSE(iso_image_open(many_files_image(60000, "one_too_many.iso"), &image, &error));
    EXPECT_NE(std::string::npos, error.find("holds more than 60000 files and folders")) << error;
}

// Joliet is told by the escape sequence of its volume descriptor, one for each of its three levels.
TEST_F(IsoImage, TellsJolietByTheEscapeSequenceOfEachLevel)
{
    const std::string whole = file_text(image_path("joliet_only"));
    size_t joliet_at = 0;
    for (size_t at = 16 * 2048; at + 2048 <= whole.size() && joliet_at == 0; at += 2048)
        if (whole[at] == 2 && whole.compare(at + 1, 5, "CD001") == 0)
            joliet_at = at;
    ASSERT_NE(0u, joliet_at);
    const struct {
        char level;
        bool joliet;
    } cases[] = {{'@', true}, {'C', true}, {'E', true}, {'D', false}};
    for (const auto& c : cases) {
        std::string image = whole;
        image[joliet_at + 90] = c.level;
        iso_image opened;
        std::string error;
        ASSERT_TRUE(iso_image_open(made("escape.iso", image), &opened, &error)) << c.level << ": " << error;
        EXPECT_EQ(c.joliet, opened.joliet) << "%/" << c.level;
    }
}

// A UDF file system is told by the recognition sequence right after the ISO 9660 descriptors:
// BEA01, then NSR02 or NSR03, then TEA01. The image genisoimage makes has one; each case writes
// another over it.
TEST_F(IsoImage, TellsAUdfFileSystemByItsRecognitionSequence)
{
    const std::string whole = file_text(image_path("joliet_udf"));
    ASSERT_EQ(0, whole.compare(19 * 2048 + 1, 5, "BEA01")) << "the sequence follows the terminator";
    const struct {
        std::vector<const char*> sequence;
        bool udf;
    } cases[] = {
        {{"BEA01", "NSR02", "TEA01"}, true},
        {{"BEA01", "NSR03", "TEA01"}, true},
        {{"BEA01", "TEA01", "TEA01"}, false},
        {{"BEA01", "XXX01", "NSR02"}, false},
    };
    for (const auto& c : cases) {
        std::string image = whole;
        for (size_t i = 0; i < c.sequence.size(); ++i)
            image.replace((19 + i) * 2048 + 1, 5, c.sequence[i]);
        iso_image opened;
        std::string error;
        ASSERT_TRUE(iso_image_open(made("udf.iso", image), &opened, &error)) << c.sequence[1] << ": " << error;
        EXPECT_EQ(c.udf, udf_image_present(made("udf.iso", image))) << c.sequence[1];
        EXPECT_TRUE(opened.joliet) << c.sequence[1];
    }
    // A Joliet descriptor past the terminator is no part of the set: only the one before it counts.
    std::string late = whole;
    late.replace(19 * 2048, 2048, whole, 17 * 2048, 2048);
    late[17 * 2048 + 90] = 'X';
    iso_image opened;
    std::string error;
    ASSERT_TRUE(iso_image_open(made("late_joliet.iso", late), &opened, &error)) << error;
    EXPECT_FALSE(opened.joliet);
    // The check reads the UDF file system for the Windows that read it, the Joliet names for the others.
    tool_run run = run_check_tool({image_path("joliet_udf")});
    for (const char* phrase : {"(a UDF bridge image: UDF 1.02, and Joliet names)",
                               "  Windows 95, NT 4: Joliet names, [autorun]: starts 'D:\\tovinel.exe' at once\n"
                               "  Windows 98, Me, 2000, XP: UDF, [autorun]: starts 'D:\\tovinel.exe' at once\n"})
        EXPECT_NE(std::string::npos, run.output.find(phrase)) << phrase << " in:\n" << run.output;
}

// Points the root folder's record named `name` at the root folder itself: a loop of folders.
void loop_folder(std::string* image, const std::string& name)
{
    const size_t root_record = 16 * 2048 + 156;
    size_t at = little32(*image, root_record + 2) * size_t{2048};
    size_t end = at + little32(*image, root_record + 10);
    while (at < end && (*image)[at] != 0) {
        size_t length = static_cast<unsigned char>((*image)[at]);
        if (image->compare(at + 33, name.size(), name) == 0)
            image->replace(at + 2, 16, *image, root_record + 2, 16);   // extent and size, both byte orders
        at += length;
    }
}

// Images made to exhaust the reader: tovinel-check gives up with a reason, within bounds of time
// and memory, under a limit of address space.
struct hostile_image_case {
    const char* name;
    std::string (*make)();
    const char* phrase;
};

std::string looping_image()
{
    std::string image = file_text(image_path("iso9660_only"));
    loop_folder(&image, "DRIVER_S");
    return made("loop.iso", image);
}

std::string zeros_for_root()
{
    std::string image = whole_image();
    const size_t size = image.size() + (20u << 20);
    claim_sizes(&image, 18u << 20, static_cast<uint32_t>(size / 2048));
    std::string path = made("huge_root_tool.iso", image);
    EXPECT_EQ(0, truncate(path.c_str(), static_cast<off_t>(size)));
    return path;
}

std::string root_past_the_end()
{
    std::string image = whole_image();
    claim_sizes(&image, 3u << 30, 0x7fffffffu);
    return made("claims.iso", image);
}

std::string noise_after_descriptors()
{
    std::string image = whole_image().substr(0, 20 * 2048);
    for (size_t i = 0; i < (4u << 20); ++i)
        image += static_cast<char>(i * 2654435761u >> 24);
    return made("noise.iso", image);
}

const hostile_image_case hostile_image_cases[] = {
    {"folder loop", looping_image, "contains loop"},
    {"root folder of 18 MiB zeros", zeros_for_root, "more than 16 MiB of folder data"},
    {"root folder claimed past the end", root_past_the_end, "cannot be read as an ISO 9660 image"},
    {"noise after the descriptors", noise_after_descriptors, "ISO 9660 image"},
};

TEST_F(IsoImage, CheckToolGivesUpOnHostileImagesWithinBounds)
{
    for (const hostile_image_case& c : hostile_image_cases) {
        std::string path = c.make();
#if TOVINEL_SANITIZED
        tool_run run = run_check_tool({path}, 0, 60);
#else
        tool_run run = run_check_tool({path}, 512, 60);
#endif
        printf("%-40s %6.2f s CPU %8ld KiB peak\n", c.name, run.cpu_seconds, run.peak_kib);
        EXPECT_FALSE(run.timed_out) << c.name;
        EXPECT_EQ(2, run.exit_code) << c.name << "\n" << run.output;
        EXPECT_NE(std::string::npos, run.output.find(c.phrase))
            << c.name << ": no '" << c.phrase << "' in\n" << run.output;
#if !TOVINEL_SANITIZED
        EXPECT_LE(run.cpu_seconds, 8) << c.name;
        EXPECT_LE(run.peak_kib, 64 * 1024) << c.name;
#endif
    }
}

// An image cut inside a file's data still lists; the cut files cannot be read, the others can.
TEST_F(IsoImage, ReadsWhatACutImageStillHolds)
{
    std::string whole = whole_image();
    size_t notes = whole.find(file_text(medium + "/" + long_name));
    ASSERT_NE(std::string::npos, notes);
    std::string path = made("cut_data.iso", whole.substr(0, notes + 4));
    iso_image image;
    std::string error;
    ASSERT_TRUE(iso_image_open(path, &image, &error)) << error;
    unsigned readable = 0;
    unsigned cut = 0;
    for (const iso_entry& entry : image.entries) {
        if (entry.is_folder)
            continue;
        std::string bytes;
        error.clear();
        if (iso_image_read(image, entry, 1 << 20, &bytes, &error)) {
            ++readable;
            continue;
        }
        ++cut;
        // The volume still claims its whole size, so libarchive lists every file and fails to read
        // the data of those the cut goes through or starts before (in its own words).
        EXPECT_EQ("its data cannot be read: Truncated input file", error) << entry.path;
    }
    EXPECT_GT(readable, 0u);
    EXPECT_GT(cut, 0u);
    // The tool says what it could not read, the launcher and Tovinel.ini among it, and judges nothing.
    // Named from its own folder: a long shown text is cut, and the whole path's length is the checkout's.
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(images);
    tool_run run = run_check_tool({"cut_data.iso"});
    std::filesystem::current_path(previous);
    EXPECT_EQ(2, run.exit_code) << run.output;
    for (const char* name : {"tovinel.exe", "Tovinel.ini"})
        EXPECT_NE(std::string::npos, run.output.find(std::string("tovinel-check: cannot read 'cut_data.iso: ") + name +
                                                     "': its data cannot be read: Truncated input file"))
            << name << "\n" << run.output;
    EXPECT_NE(std::string::npos, run.output.find("Decision: unknown: this machine cannot read the configuration"));
    // What could not be read is not judged: no finding says the launcher is no program.
    EXPECT_NE(std::string::npos, run.output.find("No findings.\n")) << run.output;
}

// Pairs of names Joliet cuts are guessed by kind and size only where at most 64 are left in a
// folder: in a larger one a guess is too likely wrong.
TEST_F(IsoImage, GuessesPairsInAFolderOfAtMost64CutNames)
{
    for (unsigned files : {64u, 65u}) {
        const std::string source = images + "/cut_names_" + std::to_string(files);
        mkdir(source.c_str(), 0755);
        const std::string stem(70, 'n');
        for (unsigned i = 0; i < files; ++i)
            write_file(source + "/" + stem + std::to_string(1000 + i) + ".txt", std::string(i + 1, 'x'));
        const std::string image_file = source + ".iso";
        ASSERT_TRUE(made_image("-J -R", source, image_file));
        iso_image image;
        std::string error;
        ASSERT_TRUE(iso_image_open(image_file, &image, &error)) << error;
        unsigned paired = 0;
        for (unsigned i = 0; i < files; ++i) {
            long index = iso_image_find_rock_ridge(image, stem + std::to_string(1000 + i) + ".txt");
            ASSERT_NE(-2, index) << files << " " << i;
            if (index >= 0) {
                ++paired;
                EXPECT_EQ(i + 1, image.entries[static_cast<size_t>(index)].size) << files << " " << i;
            }
        }
        EXPECT_EQ(files <= 64 ? files : 0, paired) << files;
    }
}

// Two folders whose names Joliet cuts alike cannot be told apart, and neither can what they hold,
// though a file in each could be paired by its own name and size alone.
TEST_F(IsoImage, LeavesUnpairedWhatFoldersItCannotTellApartHold)
{
    const std::string source = images + "/twin_folders";
    const std::string stem(70, 'L');
    mkdir(source.c_str(), 0755);
    for (const char* end : {"1", "2"}) {
        mkdir((source + "/" + stem + end).c_str(), 0755);
        write_file(source + "/" + stem + end + "/a.txt", end);
    }
    write_file(source + "/b.txt", "b");
    const std::string image_file = source + ".iso";
    ASSERT_TRUE(made_image("-J -R", source, image_file));
    iso_image image;
    std::string error;
    ASSERT_TRUE(iso_image_open(image_file, &image, &error)) << error;
    for (const char* end : {"1", "2"}) {
        EXPECT_EQ(-1, iso_image_find_rock_ridge(image, stem + end)) << end;
        EXPECT_EQ(-1, iso_image_find_rock_ridge(image, stem + end + "/a.txt")) << end;
    }
    EXPECT_GE(iso_image_find_rock_ridge(image, "b.txt"), 0);
}

// A Run longer than the launcher reads, through Linux names of 200 bytes: the explanation of what
// Windows sees instead is shown up to 1000 bytes, and its whole length told.
TEST_F(IsoImage, ShowsALongExplanationUpTo1000Bytes)
{
    const std::string source = images + "/long_run";
    const std::string first(200, 'd');
    const std::string second(200, 'e');
    std::filesystem::create_directories(source + "/" + first + "/" + second);
    write_file(source + "/" + first + "/" + second + "/setup.exe", file_text(medium + "/tovinel.exe"));
    write_file(source + "/tovinel.exe", file_text(medium + "/tovinel.exe"));
    write_file(source + "/autorun.inf", "[autorun]\r\nopen=tovinel.exe\r\n");
    write_file(source + "/Tovinel.ini", "[Setup]\r\nRun=" + first + "\\" + second + "\\setup.exe\r\n");
    const std::string image_file = source + ".iso";
    ASSERT_TRUE(made_image("-R", source, image_file));
    tool_run run = run_check_tool({image_file});
    const std::string marker = "which Windows will not find: the setup program will not start. ";
    size_t line = run.output.find("Tovinel.ini:2: Run names ");
    ASSERT_NE(std::string::npos, line) << run.output;
    size_t from = run.output.find(marker, line);
    size_t to = run.output.find("... (", from);
    ASSERT_NE(std::string::npos, to) << run.output;
    EXPECT_EQ(1000u, to - from - marker.size()) << run.output.substr(line, 1200);
    EXPECT_EQ(0u, run.output.compare(from + marker.size(), 42, "This image has no Joliet names, so Windows"));
    EXPECT_EQ(0u, run.output.compare(to, 17, "... (1093 bytes) ")) << run.output.substr(to, 40);
}

// Changes the record of the Joliet root folder whose name begins with `name` (its ";1" aside) by
// `change`, given the record's offset; false when there is none.
bool change_joliet_record(std::string* image, const std::u16string& name, const std::function<void(size_t)>& change)
{
    std::string utf16be;
    for (char16_t c : name)
        utf16be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    bool changed = false;
    for (size_t descriptor = 16 * 2048; (*image)[descriptor] != '\xFF'; descriptor += 2048) {
        if ((*image)[descriptor] != 2)
            continue;
        size_t root = little32(*image, descriptor + 156 + 2) * size_t{2048};
        for (size_t at = root; (*image)[at] != 0; at += static_cast<unsigned char>((*image)[at]))
            if (image->compare(at + 33, utf16be.size(), utf16be) == 0) {
                change(at);
                changed = true;
            }
    }
    return changed;
}

// A Joliet record that gives Tovinel.ini another size than its Rock Ridge record: the same name in
// the same folder is then no proof of the same file, and nothing else tells; the name stays
// unpaired, and the listing ends.
TEST_F(IsoImage, LeavesUnpairedANameWhoseSizeDiffersByView)
{
    std::string image = whole_image();
    ASSERT_TRUE(change_joliet_record(&image, u"Tovinel.ini", [&](size_t at) {
        put_both_orders(&image, at + 10, little32(image, at + 10) - 1);
    }));
    iso_image opened;
    std::string error;
    ASSERT_TRUE(iso_image_open(made("joliet_size_differs.iso", image), &opened, &error)) << error;
    const iso_entry* ini = iso_image_find(opened, "Tovinel.ini");
    ASSERT_NE(nullptr, ini);
    EXPECT_EQ(file_text(medium + "/Tovinel.ini").size() - 1, ini->size);
    EXPECT_EQ(-1, iso_image_find_rock_ridge(opened, "Tovinel.ini"));
    EXPECT_GE(iso_image_find_rock_ridge(opened, "autorun.inf"), 0);
}

// A Joliet name with a lone surrogate, which no charset holds: libarchive gives no name, and the
// entry is left out; the others list and pair as before.
TEST_F(IsoImage, LeavesOutAJolietNameThatCannotBeConverted)
{
    std::string image = whole_image();
    ASSERT_TRUE(change_joliet_record(&image, u"Tovinel.ini", [&](size_t at) {
        image[at + 33] = '\xD8';
        image[at + 34] = '\0';
    }));
    iso_image opened;
    std::string error;
    ASSERT_TRUE(iso_image_open(made("joliet_lone_surrogate.iso", image), &opened, &error)) << error;
    EXPECT_EQ(nullptr, iso_image_find(opened, "Tovinel.ini"));
    EXPECT_EQ(5u, opened.entries.size());
    const iso_entry* autorun = iso_image_find(opened, "autorun.inf");
    ASSERT_NE(nullptr, autorun);
    EXPECT_FALSE(autorun->beyond_end);
    std::string bytes;
    EXPECT_TRUE(iso_image_read(opened, *autorun, 100, &bytes, &error)) << error;
    EXPECT_EQ(file_text(medium + "/autorun.inf"), bytes);
    EXPECT_EQ(-1, iso_image_find_rock_ridge(opened, "Tovinel.ini"));
}

// The checker's view of an image: its medium paths join names with '/', as for a folder.
TEST_F(IsoImage, AnswersTheCheckerAsAFolderWould)
{
    medium_source source;
    std::string error;
    ASSERT_TRUE(medium_in_image(image_path("rock_ridge_only"), &source, &error)) << error;
    EXPECT_NE(std::string::npos, source.description.find("without Joliet names")) << source.description;
    ASSERT_EQ(1u, source.trees.size());
    EXPECT_EQ(file_system::iso9660, source.trees[0].kind);
    const std::unique_ptr<medium_access>& image = source.trees[0].access;
    const struct {
        const char* path;
        medium_kind kind;
    } kinds[] = {{"", medium_kind::folder},
                 {"DRIVER_S", medium_kind::folder},
                 {"DRIVER_S/SETUP.EXE", medium_kind::file},
                 {"driver_s/setup.exe", medium_kind::file},
                 {"Driver Setup/setup.exe", medium_kind::missing}};
    for (const auto& k : kinds)
        EXPECT_EQ(k.kind, image->kind_of(k.path, nullptr)) << k.path;

    std::vector<std::string> names;
    auto keep = [&](const medium_entry& entry) {
        names.push_back(entry.name);
        return true;
    };
    EXPECT_TRUE(image->each_entry("DRIVER_S", keep, nullptr));
    EXPECT_EQ(std::vector<std::string>{"SETUP.EXE"}, names);
    std::string why;
    EXPECT_FALSE(image->each_entry("TOVINEL.INI", [](const medium_entry&) { return true; }, &why));
    EXPECT_FALSE(why.empty());

    std::string bytes;
    unsigned long long size = 0;
    ASSERT_TRUE(image->read_start("TOVINEL.INI", 10, &bytes, &size, &why)) << why;
    EXPECT_EQ(file_text(medium + "/Tovinel.ini").substr(0, 10), bytes);
    EXPECT_EQ(file_text(medium + "/Tovinel.ini").size(), size);
    EXPECT_FALSE(image->read_start("DRIVER_S", 10, &bytes, &size, &why));
    EXPECT_EQ("it is a folder", why);
    EXPECT_EQ("", bytes);
    EXPECT_FALSE(image->read_start("Driver Setup/setup.exe", 10, &bytes, &size, &why));
    EXPECT_EQ("it does not exist", why);
    EXPECT_EQ(0u, size);
    EXPECT_NE(std::string::npos, image->why_missing("Driver Setup/setup.exe").find("DRIVER_S\\SETUP.EXE"));
    EXPECT_EQ("", image->why_missing("DRIVER_S/SETUP.EXE"));
}

// tovinel-check on images: what it finds, as Windows will see each kind of image.
struct tool_case {
    const char* image;               // a kind of image, or a file made by the test
    int exit_code;
    std::vector<std::string> findings;   // finding_lines(): "FILE[:LINE] ID", all of them
    std::vector<std::string> phrases;
    std::vector<std::string> options = {};
};

const tool_case tool_cases[] = {
    {"joliet_rock_ridge", 1, {"Tovinel.ini:7 run-blank"},
     {"(an ISO image; Windows reads its Joliet names)", "Command:  'D:\\Driver Setup\\setup.exe '"}},
    // What the image's names explain is said once, by image-name: no finding that the name is missing
    // repeats it, and the note on Tovinel.ini's letter case blames the missing Joliet names.
    {"rock_ridge_only", 1, {"autorun.inf:3 image-name", "Tovinel.ini ini-name-case", "Tovinel.ini:7 image-name"},
     {"without Joliet names; Windows reads its ISO 9660 names",
      "Run names 'Driver Setup\\setup.exe', which Windows will not find: the setup program will not start. This"
      " image has no Joliet names",
      "where Driver Setup\\setup.exe is DRIVER_S\\SETUP.EXE", "-J -R",
      "Tovinel.ini: note: Windows sees the file as 'TOVINEL.INI' and finds it all the same (letter case is ignored):"
      " this image has no Joliet names, so Windows reads its ISO 9660 names, where Tovinel.ini is TOVINEL.INI;"}},
    {"iso9660_only", 1, {"autorun.inf:3 image-name", "Tovinel.ini ini-name-case", "Tovinel.ini:7 image-name"},
     {"8.3 at most: Driver Setup\\setup.exe cannot be one of them",
      "autorun.inf:3: icon names 'Driver Setup\\setup.exe', which Windows will not find: Windows shows the drive's"
      " own icon.",
      "Tovinel.ini: note: Windows sees the file as 'TOVINEL.INI' and finds it all the same (letter case is ignored):"
      " this image has no Joliet names, so Windows reads its ISO 9660 names, which are written in capitals."}},
    // Findings about two options come in the options' order, whichever was found first.
    {"rock_ridge_only", 1,
     {"autorun.inf:2 autorun-not-launcher", "autorun.inf:3 image-name", "--folder image-name",
      "--installed installed-empty"},
     {"--folder names 'Driver Setup', which Windows will not find: the launcher and its Tovinel.ini are not found"
      " there. This image has no Joliet names, so Windows reads its ISO 9660 names, where Driver Setup is DRIVER_S;"},
     {"--installed=", "--folder=Driver Setup"}},
    // Windows finds the ninth level under RR_MOVED: the two views differ, and no name is paired.
    {"deep_rock_ridge", 1,
     {"autorun.inf autorun-missing", "--folder image-name"},
     {"This image has no Joliet names, so Windows reads its ISO 9660 names, and Linux shows a\\b\\c\\d\\e\\f\\g\\h\\i"
      " only because it reads the Rock Ridge names, which Windows ignores. Make the image"},
     {"--folder=a\\b\\c\\d\\e\\f\\g\\h\\i"}},
    {"twins_joliet", 1,
     {"autorun.inf autorun-missing", "--folder image-name"},
     {"Linux shows " + twin_name + " two.txt because it reads this image's Rock Ridge names, but the Joliet names"
      " that Windows reads hold no such name."},
     {"--folder=" + twin_name + " two.txt"}},
    {"edits_rock_ridge", 1,
     {"autorun.inf:2 image-name", "autorun.inf:3 image-name", "Tovinel.ini ini-name-case",
      "Tovinel.ini:2 run-full-path"},
     {"autorun.inf:2: open names 'Driver Setup\\setup.exe', which Windows will not find",
      "autorun.inf:3: icon names 'Driver Setup\\setup.exe', which Windows will not find"}},
    {"linked_joliet", 0, {}, {"Command:  'D:\\setup.exe /s '", "No findings."}},
    {"quoted_rock_ridge", 1,
     {"autorun.inf:2 image-name"},
     {"open names 'Long-Name Folder\\tovinel.exe', which Windows will not find: nothing starts when the medium is"
      " inserted. This image has no Joliet names, so Windows reads its ISO 9660 names, where"
      " Long-Name Folder\\tovinel.exe is LONG_NAM\\TOVINEL.EXE;"}},
    {"level2_names", 1,
     {"autorun.inf:3 image-name", "Tovinel.ini ini-name-case", "Tovinel.ini:2 run-missing"},
     {"ABCDEFGHIJKLMNOPQRSTUVWXYZ12.ICO cannot be one of them."}},
    {"unc_rock_ridge", 1,
     {"autorun.inf:2 image-name", "autorun.inf:3 image-name", "Tovinel.ini ini-name-case",
      "Tovinel.ini:2 run-full-path"},
     {"Run is a full path"}},
    {"iso9660_level2", 1,
     {"autorun.inf:3 image-name", "Tovinel.ini ini-name-case", "Tovinel.ini:7 image-name"},
     {"names in capitals, digits and underscores: Driver Setup\\setup.exe cannot be one of them."}},
    {"notes.txt", 2, {}, {"is no ISO 9660 image"}},
};

TEST_F(IsoImage, CheckToolFindsWhatWindowsWillSee)
{
    made("notes.txt", "[autorun]\nopen=tovinel.exe\n");
    for (const tool_case& c : tool_cases) {
        std::string path = std::string(c.image).find('.') == std::string::npos ? image_path(c.image)
                                                                                : images + "/" + c.image;
        std::vector<std::string> arguments = c.options;
        arguments.push_back(path);
        tool_run run = run_check_tool(arguments);
        EXPECT_EQ(c.exit_code, run.exit_code) << c.image << "\n" << run.output;
        EXPECT_EQ(c.findings, finding_lines(run.output)) << c.image << "\n" << run.output;
        for (const std::string& phrase : c.phrases)
            EXPECT_NE(std::string::npos, run.output.find(phrase)) << c.image << ": no '" << phrase << "' in\n"
                                                                   << run.output;
    }
}

// Whatever the tool finds in a folder, it finds in an image of it with Joliet names, and the
// launcher decides the same: every sample medium, made into an image.
TEST_F(IsoImage, AnImageWithJolietChecksAsItsFolder)
{
#if TOVINEL_SANITIZED
    // Forty sanitized runs of the tool add half a minute and no new code path: the tool's reading of
    // an image is played under the sanitizers by the other tests, every medium by the native run.
    GTEST_SKIP() << "played by the native build";
#endif
    std::vector<std::string> names = sample_media();
    ASSERT_GT(names.size(), 10u);
    for (const std::string& name : names) {
        std::string folder = std::string(CHECK_MEDIA) + "/" + name;
        std::string image = medium_image_path(name);
        tool_run on_folder = run_check_tool({folder});
        tool_run on_image = run_check_tool({image});
        EXPECT_EQ(on_folder.exit_code, on_image.exit_code) << name << "\n" << on_image.output;
        EXPECT_EQ(finding_lines(on_folder.output), finding_lines(on_image.output)) << name << "\n" << on_image.output;
        // The decision and its reasons: from the "Launcher:" line up to the findings.
        auto decision = [](const std::string& output) {
            size_t from = std::min(output.find("Launcher:"), output.size());
            size_t to = std::min(output.find("\nFindings", from), output.find("\nNo findings", from));
            return output.substr(from, to - from);
        };
        EXPECT_EQ(decision(on_folder.output), decision(on_image.output)) << name;
    }
}

// The README's image example is the tool's real output on the image the README makes, with the
// lines it leaves out written "...".
TEST_F(IsoImage, PrintsTheReadmeImageExample)
{
    std::ifstream readme(std::string(PROJECT_ROOT) + "/README.md");
    const std::string command = "    $ build/native/checker/tovinel-check build/disc.iso";
    std::vector<std::string> shown;
    bool in_example = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.compare(0, command.size(), command) == 0)
            in_example = true;
        else if (in_example && line.compare(0, 4, "    ") != 0)
            break;
        else if (in_example && line != "    ...")
            shown.push_back(line.substr(4));
    }
    ASSERT_GE(shown.size(), 2u);
    std::string image = images + "/readme_disc.iso";
    ASSERT_TRUE(made_image("-R", medium, image));
    tool_run run = run_check_tool({image});
    for (std::string line : shown) {
        if (line.find("build/disc.iso") != std::string::npos)
            line.replace(line.find("build/disc.iso"), 14, image);
        EXPECT_NE(std::string::npos, run.output.find(line + "\n")) << line << "\nnot in:\n" << run.output;
    }
}

}  // namespace
