// Tovinel check: the command-line tool's ties to Windows: wide arguments, console output as UTF-16,
// and the machine's own ANSI code page.
#include <windows.h>

#include "cli/console.h"
#include "cli/typed_arguments.h"
#include "formats/encoding.h"

namespace {

std::string utf8_of(const wchar_t* wide)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size : 1), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

}  // namespace

void console_write(FILE* stream, const std::string& text)
{
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || GetConsoleMode(handle, &mode) == FALSE) {
        // A file or a pipe: the UTF-8 bytes, which a JSON reader expects.
        fwrite(text.data(), 1, text.size(), stream);
        fflush(stream);
        return;
    }
    fflush(stream);
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (units <= 0)
        return;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
    // Older consoles take a limited amount per call.
    for (size_t at = 0; at < wide.size();) {
        DWORD written = 0;
        DWORD piece = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
        if (WriteConsoleW(handle, wide.data() + at, piece, &written, nullptr) == FALSE || written == 0)
            return;
        at += written;
    }
}

bool console_reads_this_machine()
{
    return true;
}

unsigned console_this_machine_codepage()
{
    return GetACP();
}

std::string console_medium_path(const std::string& typed)
{
    std::string path = typed;
    // "E:\" typed in quotes reaches the program as E:" (a backslash before a quote escapes it), and
    // no Windows name holds a quote.
    if (!path.empty() && path.back() == '"')
        path.back() = '\\';
    if (path.size() == 2 && path[1] == ':')
        path += '\\';
    return path;
}

std::vector<std::string> console_arguments(int argc, wchar_t** argv)
{
    // The command line itself, for --installed's value as typed: the runtime drops the quotes that
    // cmd and Windows PowerShell pass on around a path with blanks, and those are the value's own.
    std::vector<std::wstring> typed = typed_arguments(GetCommandLineW());
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(utf8_of(typed.size() == static_cast<size_t>(argc) ? typed[i].c_str() : argv[i]));
    return arguments;
}
