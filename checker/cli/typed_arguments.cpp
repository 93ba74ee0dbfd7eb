// Tovinel check: the C runtime's splitting of a Windows command line, kept where it matters: the
// quotes a publisher types around --installed's value are that value's own.
#include "cli/typed_arguments.h"

namespace {

const std::wstring installed_option = L"--installed";

bool blank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// One argument from `line` at *at: as the runtime gives it, and with the quotes typed after
// `value_from` characters of it (the start of a value) kept.
void split_one(const std::wstring& line, size_t* at, size_t value_from, std::wstring* parsed, std::wstring* typed)
{
    bool quoted = false;
    bool quote_opened_in_value = false;
    while (*at < line.size() && (quoted || !blank(line[*at]))) {
        size_t backslashes = 0;
        while (*at + backslashes < line.size() && line[*at + backslashes] == L'\\')
            ++backslashes;
        if (*at + backslashes >= line.size() || line[*at + backslashes] != L'"') {
            // Backslashes before anything but a quote are themselves.
            size_t count = backslashes == 0 ? 1 : backslashes;
            parsed->append(line, *at, count);
            typed->append(line, *at, count);
            *at += count;
            continue;
        }
        parsed->append(backslashes / 2, L'\\');
        typed->append(backslashes / 2, L'\\');
        *at += backslashes + 1;
        if (backslashes % 2 == 1) {
            parsed->push_back(L'"');
            typed->push_back(L'"');
            continue;
        }
        if (quoted && *at < line.size() && line[*at] == L'"') {
            // "" inside quotes: a literal quote, and still inside them.
            parsed->push_back(L'"');
            typed->push_back(L'"');
            ++*at;
            continue;
        }
        bool in_value = parsed->size() >= value_from;
        if (!quoted && in_value)
            quote_opened_in_value = true;
        if (quote_opened_in_value)
            typed->push_back(L'"');
        if (quoted)
            quote_opened_in_value = false;
        quoted = !quoted;
    }
}

}  // namespace

std::vector<std::wstring> typed_arguments(const std::wstring& command_line)
{
    std::vector<std::wstring> arguments;
    size_t at = 0;
    // The program's name: to its closing quote, or to the first blank.
    std::wstring program;
    if (at < command_line.size() && command_line[at] == L'"') {
        size_t close = command_line.find(L'"', 1);
        program = command_line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
        at = close == std::wstring::npos ? command_line.size() : close + 1;
    }
    while (at < command_line.size() && !blank(command_line[at]))
        program.push_back(command_line[at++]);
    arguments.push_back(program);
    bool value_next = false;
    for (;;) {
        while (at < command_line.size() && blank(command_line[at]))
            ++at;
        if (at >= command_line.size())
            break;
        std::wstring parsed;
        std::wstring typed;
        // A value begins after "--installed=", or with the argument after a lone "--installed"; the
        // typed text is taken only there, so one split serves every argument.
        size_t value_from = value_next ? 0 : installed_option.size() + 1;
        split_one(command_line, &at, value_from, &parsed, &typed);
        bool inline_value = parsed.compare(0, installed_option.size() + 1, installed_option + L"=") == 0;
        // A value with quotes of its own was typed with them escaped: it is as the runtime gives it.
        if ((value_next || inline_value) && parsed.find(L'"', value_from) == std::wstring::npos)
            parsed = typed;
        value_next = parsed == installed_option;
        arguments.push_back(parsed);
    }
    return arguments;
}
