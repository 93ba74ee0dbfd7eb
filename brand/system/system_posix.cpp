// Tovinel brand, the system seam on Linux: files by their UTF-8 paths, replaced through a temporary
// file and rename(2); the console takes UTF-8 as it is.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "system/system.h"

namespace {

std::string reason(const std::string& path)
{
    return path + ": " + strerror(errno);
}

bool write_all(int fd, const std::string& bytes)
{
    for (size_t at = 0; at < bytes.size();) {
        ssize_t written = write(fd, bytes.data() + at, bytes.size() - at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += static_cast<size_t>(written);
    }
    return fsync(fd) == 0;
}

}  // namespace

bool system_read_file(const std::string& path, uint64_t limit, std::string* bytes, std::string* why)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *why = reason(path);
        return false;
    }
    bytes->clear();
    char buffer[65536];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0 && bytes->size() <= limit)
        bytes->append(buffer, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed || bytes->size() > limit) {
        *why = failed ? reason(path) : path + ": more than " + std::to_string(limit) + " bytes";
        return false;
    }
    return true;
}

bool system_replace_files(const std::vector<output_file>& files, std::string* why)
{
    std::vector<std::string> temporaries;
    bool written = true;
    for (const output_file& file : files) {
        size_t slash = file.path.rfind('/');
        std::string temporary = (slash == std::string::npos ? "./" : file.path.substr(0, slash + 1)) + ".tovinel-brand-XXXXXX";
        int fd = mkstemp(&temporary[0]);
        if (fd < 0) {
            *why = "a file beside " + reason(file.path);
            written = false;
            break;
        }
        temporaries.push_back(temporary);
        bool ok = write_all(fd, file.bytes) && fchmod(fd, file.program ? 0755 : 0644) == 0;
        if (close(fd) != 0 || !ok) {
            *why = reason(file.path);
            written = false;
            break;
        }
    }
    for (size_t i = 0; written && i < files.size(); ++i) {
        if (rename(temporaries[i].c_str(), files[i].path.c_str()) != 0) {
            *why = reason(files[i].path);
            written = false;
        } else {
            temporaries[i].clear();
        }
    }
    for (const std::string& temporary : temporaries)
        if (!temporary.empty())
            unlink(temporary.c_str());
    return written;
}

void system_write(FILE* stream, const std::string& text)
{
    fwrite(text.data(), 1, text.size(), stream);
    fflush(stream);
}
