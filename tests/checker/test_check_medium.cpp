// Tovinel tests: the medium held by a host folder, answering the checker's four questions for each
// kind of name a USB stick copied to disk can hold: files, folders, links, FIFOs and worse.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/medium.h"

namespace {

namespace fs = std::filesystem;

class FolderMedium : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tovinel-medium-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root = pattern;
        std::ofstream(root / "Tovinel.ini", std::ios::binary) << "[Setup]\r\nRun=SETUP.EXE\r\n";
        fs::create_directory(root / "Disc 1");
        std::ofstream(root / "Disc 1" / "setup.exe", std::ios::binary) << "MZ";
        ASSERT_EQ(0, mkfifo((root / "pipe").c_str(), 0600));
        fs::create_symlink("Tovinel.ini", root / "to-ini");
        fs::create_symlink("Disc 1", root / "to-disc");
        fs::create_symlink("gone", root / "to-gone");
        fs::create_symlink("loop", root / "loop");
        fs::create_symlink("/dev/null", root / "to-device");
        medium = medium_in_folder(root.string());
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
    std::unique_ptr<medium_access> medium;
};

TEST_F(FolderMedium, TellsEachKindOfNameAndReadsOnlyRegularFiles)
{
    const std::string ini = "[Setup]\r\nRun=SETUP.EXE\r\n";
    struct {
        const char* path;
        medium_kind kind;
        const char* why;      // the reason kind_of gives, and read_start's when it differs
        const char* read_why;
        const char* bytes;    // what read_start gives with a limit of 7, or null when it fails
    } const cases[] = {
        {"", medium_kind::folder, "", "it is a folder", nullptr},
        {"Tovinel.ini", medium_kind::file, "", "", "[Setup]"},
        {"to-ini", medium_kind::file, "", "", "[Setup]"},
        {"Disc 1", medium_kind::folder, "", "it is a folder", nullptr},
        {"to-disc", medium_kind::folder, "", "it is a folder", nullptr},
        {"Disc 1/setup.exe", medium_kind::file, "", "", "MZ"},
        {"absent.ini", medium_kind::missing, "", "it does not exist", nullptr},
        {"Tovinel.ini/below", medium_kind::missing, "", "it does not exist", nullptr},
        {"pipe", medium_kind::other, "a FIFO, not a regular file", "a FIFO, not a regular file", nullptr},
        {"to-device", medium_kind::other, "a device, not a regular file", "a device, not a regular file", nullptr},
        {"to-gone", medium_kind::unreadable, "a link to gone, which does not exist",
         "a link to gone, which does not exist", nullptr},
        {"loop", medium_kind::unreadable, "a link to loop (Too many levels of symbolic links)",
         "a link to loop (Too many levels of symbolic links)", nullptr},
        // A link loop on the way to the name: the host cannot even look.
        {"loop/x", medium_kind::unreadable, "Too many levels of symbolic links",
         "Too many levels of symbolic links", nullptr},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(c.kind, medium->kind_of(c.path, &why)) << c.path;
        EXPECT_EQ(c.why, why) << c.path;
        EXPECT_EQ(c.kind, medium->kind_of(c.path, nullptr)) << c.path;

        std::string bytes = "stale";
        unsigned long long size = 99;
        why.clear();
        bool read = medium->read_start(c.path, 7, &bytes, &size, &why);
        EXPECT_EQ(c.bytes != nullptr, read) << c.path;
        EXPECT_EQ(c.bytes != nullptr ? c.bytes : "", bytes) << c.path;
        EXPECT_EQ(c.read_why, why) << c.path;
        if (!read) {
            EXPECT_EQ(0u, size) << c.path;
        }
        EXPECT_EQ(read, medium->read_start(c.path, 7, &bytes, &size, nullptr)) << c.path;
    }
    std::string bytes;
    unsigned long long size = 0;
    ASSERT_TRUE(medium->read_start("Tovinel.ini", 1000, &bytes, &size, nullptr));
    EXPECT_EQ(ini, bytes);
    EXPECT_EQ(ini.size(), size);
    // The size is the file's whole size, whatever the limit.
    ASSERT_TRUE(medium->read_start("Tovinel.ini", 0, &bytes, &size, nullptr));
    EXPECT_EQ("", bytes);
    EXPECT_EQ(ini.size(), size);
}

TEST_F(FolderMedium, ReadsPastItsPieceSizeUpToTheLimit)
{
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); i += 1000)
        big[i] = static_cast<char>('a' + i / 1000 % 26);
    std::ofstream(root / "big.bin", std::ios::binary) << big;
    const size_t limits[] = {65535, 65536, 65537, 131073, 199999, 200000, 200001, 1u << 20};
    for (size_t limit : limits) {
        std::string bytes;
        unsigned long long size = 0;
        ASSERT_TRUE(medium->read_start("big.bin", limit, &bytes, &size, nullptr)) << limit;
        EXPECT_EQ(big.substr(0, limit), bytes) << limit;
        EXPECT_EQ(big.size(), size) << limit;
    }
}

TEST_F(FolderMedium, ListsAFolderAndStopsWhenAsked)
{
    struct listing {
        std::vector<std::string> names;
        std::vector<medium_kind> kinds;
    };
    auto list = [&](const std::string& folder, size_t stop_after, std::string* why, listing* seen) {
        return medium->each_entry(
            folder,
            [&](const medium_entry& entry) {
                seen->names.push_back(entry.name);
                seen->kinds.push_back(entry.kind);
                return seen->names.size() < stop_after;
            },
            why);
    };
    listing disc;
    std::string why;
    EXPECT_TRUE(list("Disc 1", 100, &why, &disc));
    EXPECT_EQ(std::vector<std::string>{"setup.exe"}, disc.names);
    EXPECT_EQ(std::vector<medium_kind>{medium_kind::file}, disc.kinds);

    listing root_listing;
    EXPECT_TRUE(list("", 100, &why, &root_listing));
    EXPECT_EQ(8u, root_listing.names.size());
    listing first_two;
    EXPECT_TRUE(list("", 2, &why, &first_two));
    EXPECT_EQ(2u, first_two.names.size());

    const struct {
        const char* folder;
        const char* why;
    } unlistable[] = {
        {"absent", "No such file or directory"},
        {"Tovinel.ini", "Not a directory"},
        {"to-gone", "No such file or directory"},
    };
    for (const auto& u : unlistable) {
        listing none;
        why.clear();
        EXPECT_FALSE(list(u.folder, 100, &why, &none)) << u.folder;
        EXPECT_EQ(u.why, why) << u.folder;
        EXPECT_TRUE(none.names.empty()) << u.folder;
        EXPECT_FALSE(list(u.folder, 100, nullptr, &none)) << u.folder;
    }
}

TEST_F(FolderMedium, NamesAPathAsThisMachineDoes)
{
    EXPECT_EQ(root.string(), medium->where(""));
    EXPECT_EQ((root / "Disc 1" / "setup.exe").string(), medium->where("Disc 1/setup.exe"));
    EXPECT_EQ("", medium->why_missing("absent.ini"));
}

}  // namespace
