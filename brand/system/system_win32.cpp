// Tovinel brand, the system seam on Windows: files by their wide names, replaced through a temporary
// file and MoveFileExW; the console gets UTF-16, a file or a pipe the UTF-8 bytes.
#include <windows.h>

#include "base/text.h"
#include "system/system.h"

namespace {

std::wstring wide(const std::string& utf8)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], units);
    return out;
}

std::string reason(const std::string& path)
{
    wchar_t* text = nullptr;
    DWORD error = GetLastError();
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string units;
    for (const wchar_t* at = text; at && *at && *at != L'\r' && *at != L'\n'; ++at)
        units += static_cast<char16_t>(*at);
    LocalFree(text);
    return path + ": " + (units.empty() ? "error " + std::to_string(error) : utf8_from_utf16(units));
}

}  // namespace

bool system_read_file(const std::string& path, uint64_t limit, std::string* bytes, std::string* why)
{
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = reason(path);
        return false;
    }
    bytes->clear();
    char buffer[65536];
    DWORD got = 0;
    bool failed = false;
    while (bytes->size() <= limit) {
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            *why = reason(path);
            failed = true;
            break;
        }
        if (got == 0)
            break;
        bytes->append(buffer, got);
    }
    CloseHandle(file);
    if (!failed && bytes->size() > limit)
        *why = path + ": more than " + std::to_string(limit) + " bytes";
    return !failed && bytes->size() <= limit;
}

bool system_replace_files(const std::vector<output_file>& files, std::string* why)
{
    std::vector<std::wstring> temporaries;
    bool written = true;
    for (const output_file& file : files) {
        std::wstring path = wide(file.path);
        size_t slash = path.find_last_of(L"\\/:");
        std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
        wchar_t temporary[MAX_PATH + 16];
        // GetTempFileNameW makes the (empty) file, so that no other writer takes its name.
        if (GetTempFileNameW(folder.c_str(), L"tvb", 0, temporary) == 0) {
            *why = "a file beside " + reason(file.path);
            written = false;
            break;
        }
        temporaries.push_back(temporary);
        HANDLE handle = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        bool ok = handle != INVALID_HANDLE_VALUE &&
                  WriteFile(handle, file.bytes.data(), static_cast<DWORD>(file.bytes.size()), &done, nullptr) &&
                  done == file.bytes.size() && FlushFileBuffers(handle);
        if (!ok)
            *why = reason(file.path);
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        if (!ok) {
            written = false;
            break;
        }
    }
    for (size_t i = 0; written && i < files.size(); ++i) {
        if (!MoveFileExW(temporaries[i].c_str(), wide(files[i].path).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            *why = reason(files[i].path);
            written = false;
        } else {
            temporaries[i].clear();
        }
    }
    for (const std::wstring& temporary : temporaries)
        if (!temporary.empty())
            DeleteFileW(temporary.c_str());
    return written;
}

void system_write(FILE* stream, const std::string& text)
{
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || !GetConsoleMode(handle, &mode)) {
        fwrite(text.data(), 1, text.size(), stream);
        fflush(stream);
        return;
    }
    std::wstring units = wide(text);
    // Older consoles take a limited amount per call.
    for (size_t at = 0; at < units.size();) {
        DWORD written = 0;
        DWORD piece = static_cast<DWORD>(std::min<size_t>(units.size() - at, 8192));
        if (!WriteConsoleW(handle, units.data() + at, piece, &written, nullptr) || written == 0)
            return;
        at += written;
    }
}

std::vector<std::string> system_arguments(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        std::u16string units;
        for (const wchar_t* at = argv[i]; *at; ++at)
            units += static_cast<char16_t>(*at);
        arguments.push_back(utf8_from_utf16(units));
    }
    return arguments;
}
