// Tovinel tests: tovinel-check on hostile files where Tovinel.ini, autorun.inf or a program should
// be. Each case bounds the child's CPU time and peak memory as the kernel accounts them (rusage),
// runs under an address-space limit, and checks that nothing unsafe reaches the terminal.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "check_tool_run.h"

namespace {

namespace fs = std::filesystem;

// Generous for a loaded 2-core machine: the worst case takes about a second. A quadratic scan or a
// read of the whole file would exceed both by far. A sanitized build checks neither.
[[maybe_unused]] const double cpu_bound_seconds = 8;
[[maybe_unused]] const long peak_bound_kib = 64 * 1024;
[[maybe_unused]] const unsigned address_limit_mib = 512;

void write(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

void sparse(const fs::path& path, unsigned long long size)
{
    write(path, "");
    fs::resize_file(path, size);
}

// A UNIX socket bound at `path`, left behind as a file of its own kind.
void socket_file(const fs::path& path)
{
    int handle = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(0, bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address)) << path;
    close(handle);
}

std::string noise(size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

// A PE whose offsets point anywhere: the header offset past the end, then resources that loop.
std::string hostile_program()
{
    std::ifstream launcher(std::string(CHECK_PROGRAMS) + "/launcher.exe", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(launcher)), std::istreambuf_iterator<char>());
    // The root resource directory's first entry points back at the root itself, as a directory.
    bytes[0x400 + 16 + 4] = 0;
    bytes[0x400 + 16 + 7] = static_cast<char>(0x80);
    return bytes;
}

struct hostile_case {
    const char* name;
    std::function<void(const fs::path& medium)> make;   // spoils the clean medium
    int exit_code;
    const char* phrase;
    const char* absent = nullptr;   // a phrase the output must not hold
};

const std::string clean_ini = "[Application]\nRegKey=SOFTWARE\\Maker\\Product\nStart=1\n[Setup]\nRun=SETUP.EXE\n";

const hostile_case hostile_cases[] = {
    {"FIFO as Tovinel.ini", [](const fs::path& m) { mkfifo((m / "Tovinel.ini").c_str(), 0600); }, 2,
     "Tovinel.ini': a FIFO, not a regular file", "[ini-"},
    {"socket as Tovinel.ini", [](const fs::path& m) { socket_file(m / "Tovinel.ini"); }, 2,
     "Tovinel.ini': a socket, not a regular file", "[ini-"},
    {"FIFO as autorun.inf", [](const fs::path& m) { mkfifo((m / "autorun.inf").c_str(), 0600); }, 2, "a FIFO",
     "[autorun-"},
    {"FIFO as the launcher", [](const fs::path& m) { mkfifo((m / "tovinel.exe").c_str(), 0600); }, 2, "a FIFO",
     "[launcher-"},
    {"link to /dev/zero as Tovinel.ini",
     [](const fs::path& m) { fs::create_symlink("/dev/zero", m / "Tovinel.ini"); }, 2, "a device, not a regular file"},
    {"link to /dev/zero as the setup program",
     [](const fs::path& m) { fs::create_symlink("/dev/zero", m / "SETUP.EXE"); }, 2, "SETUP.EXE': a device", "[run-"},
    {"link to /dev/null as autorun.inf", [](const fs::path& m) { fs::create_symlink("/dev/null", m / "autorun.inf"); },
     2, "a device"},
    {"broken link as Tovinel.ini",
     [](const fs::path& m) { fs::create_symlink(m / "gone.ini", m / "Tovinel.ini"); }, 2, "which does not exist"},
    {"looping link as Tovinel.ini",
     [](const fs::path& m) {
         fs::create_symlink(m / "loop.ini", m / "Tovinel.ini");
         fs::create_symlink(m / "Tovinel.ini", m / "loop.ini");
     },
     2, "Launcher: 'D:\\tovinel.exe', tail '/auto'"},
    {"folder as Tovinel.ini", [](const fs::path& m) { fs::create_directory(m / "Tovinel.ini"); }, 1, "[ini-folder]"},
    {"300 MB of zeros as Tovinel.ini", [](const fs::path& m) { sparse(m / "Tovinel.ini", 300ull << 20); }, 1,
     "only its first 4 MiB were checked and played"},
    {"300 MB of zeros as autorun.inf", [](const fs::path& m) { sparse(m / "autorun.inf", 300ull << 20); }, 1,
     "[autorun-no-program]"},
    {"300 MB of zeros as the setup program", [](const fs::path& m) { sparse(m / "SETUP.EXE", 300ull << 20); }, 1,
     "[run-not-program]"},
    {"a 4 MB section line", [](const fs::path& m) { write(m / "Tovinel.ini", "[" + std::string(4 << 20, 'A') + "]\n"); },
     1, "[section-unknown]"},
    {"a 4 MB key name",
     [](const fs::path& m) { write(m / "Tovinel.ini", "[Setup]\n" + std::string(4 << 20, 'K') + "=1\nRun=SETUP.EXE\n"); },
     1, "[key-unknown]"},
    {"a 4 MB Run", [](const fs::path& m) { write(m / "Tovinel.ini", "[Setup]\nRun=" + std::string(4 << 20, 'r') + "\n"); },
     1, "Run is at least 1048576 bytes long"},
    {"half a million unknown keys",
     [](const fs::path& m) {
         std::string text = "[Setup]\nRun=SETUP.EXE\n";
         for (int i = 0; i < 500000; ++i)
             text += "k=1\n";
         write(m / "Tovinel.ini", text);
     },
     1, "more, not shown."},
    {"a million line breaks", [](const fs::path& m) { write(m / "Tovinel.ini", clean_ini + std::string(1 << 20, '\r')); },
     0, "No findings."},
    {"4 MB of noise as Tovinel.ini", [](const fs::path& m) { write(m / "Tovinel.ini", noise(4 << 20)); }, 1,
     "Findings:"},
    {"4 MB of noise as autorun.inf", [](const fs::path& m) { write(m / "autorun.inf", noise(4 << 20)); }, 1,
     "Findings:"},
    {"control bytes and broken UTF-8 in names",
     [](const fs::path& m) {
         write(m / "Tovinel.ini", "[\x1b]0;owned\x07\x1b[2J\xff\xfe\xc2\x9b" "31m]\n" + clean_ini + "\x1b[1m=\x9b\n");
     },
     1, "'[\\x1B]'"},
    {"a program whose resources loop", [](const fs::path& m) { write(m / "tovinel.exe", hostile_program()); }, 1,
     "[launcher-not-tovinel]"},
};

void make_clean(const fs::path& medium)
{
    fs::create_directories(medium);
    write(medium / "Tovinel.ini", clean_ini);
    write(medium / "autorun.inf", "[autorun]\nopen=tovinel.exe /auto\n");
    fs::copy_file(fs::path(CHECK_PROGRAMS) / "launcher.exe", medium / "tovinel.exe");
    fs::copy_file(fs::path(CHECK_PROGRAMS) / "setup.exe", medium / "SETUP.EXE");
}

// Tells where the output holds a control byte (other than a line break) or bytes that are not UTF-8.
std::string unsafe_byte(const std::string& output)
{
    for (size_t i = 0; i < output.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(output[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F)
            return "control byte at " + std::to_string(i);
        if (c == 0xC2 && i + 1 < output.size() && static_cast<unsigned char>(output[i + 1]) < 0xA0)
            return "C1 control at " + std::to_string(i);
        if (c >= 0x80) {
            size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
            if (length == 0)
                return "stray byte at " + std::to_string(i);
            for (size_t j = 1; j < length; ++j)
                if (i + j >= output.size() || (static_cast<unsigned char>(output[i + j]) & 0xC0) != 0x80)
                    return "broken UTF-8 at " + std::to_string(i);
            i += length - 1;
        }
    }
    return "";
}

TEST(CheckHostile, SurvivesAnyFileInBoundedTimeAndMemory)
{
    char pattern[] = "/tmp/tovinel-hostile-XXXXXX";
    fs::path scratch = mkdtemp(pattern);
    const bool sanitized = TOVINEL_SANITIZED != 0;
    const unsigned limit = sanitized ? 0 : address_limit_mib;
    printf("%-45s %8s %10s\n", "hostile case", "CPU s", "peak KiB");
    for (const hostile_case& c : hostile_cases) {
        fs::path medium = scratch / "medium";
        fs::remove_all(medium);
        make_clean(medium);
        fs::remove(medium / (std::string(c.name).find("Tovinel.ini") != std::string::npos ? "Tovinel.ini" : "none"));
        for (const char* name : {"Tovinel.ini", "autorun.inf", "tovinel.exe", "SETUP.EXE"}) {
            // Each case replaces the file it names; the others stay clean.
            if (std::string(c.name).find(name) != std::string::npos ||
                (std::string(name) == "tovinel.exe" && std::string(c.name).find("launcher") != std::string::npos) ||
                (std::string(name) == "SETUP.EXE" && std::string(c.name).find("setup program") != std::string::npos))
                fs::remove(medium / name);
        }
        c.make(medium);
        tool_run run = run_check_tool({medium.string()}, limit, 60);
        printf("%-45s %8.2f %10ld\n", c.name, run.cpu_seconds, run.peak_kib);
        EXPECT_FALSE(run.timed_out) << c.name << ": hung";
        EXPECT_EQ(c.exit_code, run.exit_code) << c.name << "\n" << run.output.substr(0, 2000);
        EXPECT_NE(std::string::npos, run.output.find(c.phrase))
            << c.name << ": missing '" << c.phrase << "' in:\n" << run.output.substr(0, 2000);
        EXPECT_EQ("", unsafe_byte(run.output)) << c.name;
        if (c.absent != nullptr) {
            EXPECT_EQ(std::string::npos, run.output.find(c.absent)) << c.name << ":\n" << run.output;
        }
        if (!sanitized) {
            EXPECT_LE(run.cpu_seconds, cpu_bound_seconds) << c.name;
            EXPECT_LE(run.peak_kib, peak_bound_kib) << c.name;
        }
    }
    // A file this machine may not read; root reads anything, so only others can play it.
    if (geteuid() != 0) {
        fs::path medium = scratch / "medium";
        fs::remove_all(medium);
        make_clean(medium);
        chmod((medium / "Tovinel.ini").c_str(), 0);
        tool_run run = run_check_tool({medium.string()}, limit, 60);
        EXPECT_EQ(2, run.exit_code) << run.output;
        EXPECT_NE(std::string::npos, run.output.find("cannot read")) << run.output;
        chmod((medium / "Tovinel.ini").c_str(), 0600);
    }
    fs::remove_all(scratch);
}

}  // namespace
