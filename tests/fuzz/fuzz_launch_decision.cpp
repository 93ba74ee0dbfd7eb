// Tovinel fuzzing: the whole run, launcher_entry and launch_decision, against a platform whose every
// answer comes from the input. Input: u16 tail length, the tail, then the answers in call order.
#include <cstring>
#include <memory>

#include "fuzz_model.h"
#include "fuzz_platform.h"
#include "startup.h"

namespace {

// Walks the recorded calls, expecting each in turn as the launch rules order them.
struct call_walk {
    const std::vector<fuzz_call>& calls;
    size_t next;
};

const fuzz_call& expect_call(call_walk* walk, fuzz_call_kind kind, const char* what)
{
    if (walk->next == walk->calls.size() || walk->calls[walk->next].kind != kind)
        fuzz_fail(what);
    return walk->calls[walk->next++];
}

void expect_end(call_walk* walk, const char* what)
{
    if (walk->next != walk->calls.size())
        fuzz_fail(what);
}

std::string expect_text(call_walk* walk, const std::string& config_path, const char* name,
                        unsigned capacity)
{
    std::string what = std::string("profile read of ") + name + " (" + std::to_string(capacity) +
                       " bytes) expected next";
    const fuzz_call& call = expect_call(walk, CALL_TEXT, what.c_str());
    if (call.name != name || call.capacity != capacity)
        fuzz_fail(what.c_str());
    if (call.config_path != config_path)
        fuzz_fail("profile read from another path than the folder and Tovinel.ini");
    return answered_text(call);
}

bool is_blank(char value)
{
    return value == ' ' || value == '\t';
}

// `name` with ".exe" added when its last name, found character by character, has no extension.
std::string with_extension(const std::string& name)
{
    size_t name_at = 0;
    for (size_t i = 0; i < name.size(); i += platform_is_lead_byte(static_cast<unsigned char>(name[i])) && i + 1 < name.size() ? 2 : 1) {
        if (name[i] == '\\')
            name_at = i + 1;
    }
    return name.find('.', name_at) == std::string::npos ? name + ".exe" : name;
}

// The split of a start handed to the shell, restated: the file lookups it should make, in order, as
// the platform answered them, then the shell start with the program and parameters they give.
void expect_shell_start(call_walk* walk, const std::string& command)
{
    std::string program;
    size_t parameters_at = 0;
    if (!command.empty() && command[0] == '"') {
        size_t end = 1;
        while (end < command.size() && command[end] != '"')
            end += platform_is_lead_byte(static_cast<unsigned char>(command[end])) && end + 1 < command.size() ? 2 : 1;
        program = with_extension(command.substr(1, end - 1));
        // A quoted name that does not fit with its .exe is not split, and nothing is handed over.
        if (program.size() > 259)
            return;
        parameters_at = end < command.size() ? end + 1 : end;
        if (parameters_at < command.size() && is_blank(command[parameters_at]))
            ++parameters_at;
    } else {
        bool found = false;
        for (size_t blank = 0; blank < command.size() && !found; ++blank) {
            if (!is_blank(command[blank]))
                continue;
            std::string part = with_extension(command.substr(0, blank));
            if (part.size() > 259)
                continue;
            const fuzz_call& exists = expect_call(walk, CALL_EXISTS, "a part of the command line was not looked for");
            if (exists.name != part)
                fuzz_fail("another file looked for than the part of the command line up to a blank");
            if (exists.ok) {
                program = part;
                parameters_at = blank + 1;
                found = true;
            }
        }
        if (!found) {
            size_t first_blank = command.find_first_of(" \t");
            program = command.substr(0, first_blank);
            parameters_at = first_blank == std::string::npos ? command.size() : first_blank + 1;
        }
    }
    const fuzz_call& shell = expect_call(walk, CALL_SHELL, "a start needing elevation was not handed to the shell");
    if (shell.name != program)
        fuzz_fail("the shell got another program than the split gives");
    if (shell.title != command.substr(parameters_at))
        fuzz_fail("the shell got other parameters than the split gives");
}

// The start the composition rules give, if the whole fits in 259 bytes; nothing otherwise. Only a
// start that needs elevation is handed on, to the shell; no other failure gets a second try.
void expect_composed(call_walk* walk, const std::string& program, const std::string& tail)
{
    std::string command = program + " " + tail;
    if (command.size() > 259)
        return;
    const fuzz_call& start = expect_call(walk, CALL_START, "a composed command line that fits was not started");
    if (start.name != command)
        fuzz_fail("started command line differs from the composition rules");
    if (start.returned == start_needs_elevation)
        expect_shell_start(walk, command);
}

void check_installed_branch(call_walk* walk, const std::string& config_path, const fuzz_call& open,
                            const std::string& tail)
{
    const fuzz_call& start = expect_call(walk, CALL_INT, "installed: Start not read next");
    if (start.name != "Application/Start" || start.default_value != 0 || start.config_path != config_path)
        fuzz_fail("installed: Start read with other arguments");
    if (start.returned != 0) {
        const fuzz_call& query = expect_call(walk, CALL_QUERY, "installed, Start nonzero: no query");
        if (query.handle != open.handle || query.capacity != 260)
            fuzz_fail("query on another key or with another capacity than 260");
        if (query.ok && query.returned <= query.capacity) {
            std::string data = query.written.substr(0, query.returned);
            std::string text = data.substr(0, data.find('\0'));
            // Data filling the whole buffer without a NUL leave no room for a terminator.
            if (text.size() < query.capacity)
                expect_composed(walk, text, tail);
        }
    }
    const fuzz_call& close = expect_call(walk, CALL_CLOSE, "installed: the key is not closed last");
    if (close.handle != open.handle)
        fuzz_fail("another key closed than the one opened");
    expect_end(walk, "installed: calls after the key was closed");
}

void check_setup_branch(call_walk* walk, const std::string& config_path, const std::string& folder,
                        const std::string& tail)
{
    std::string window_class = expect_text(walk, config_path, "Setup/WindowClass", 80);
    std::string window_title = expect_text(walk, config_path, "Setup/WindowTitle", 80);
    if (!window_class.empty() || !window_title.empty()) {
        const fuzz_call& window = expect_call(walk, CALL_WINDOW, "window named but not looked for");
        if (window.name != window_class || window.title_null != window_title.empty() ||
            window.title != window_title)
            fuzz_fail("window looked for with other class or title than read");
        if (window.ok) {
            expect_end(walk, "setup window open, yet more calls");
            return;
        }
    }
    std::string run = expect_text(walk, config_path, "Setup/Run", 260);
    if (!run.empty())
        expect_composed(walk, (run[0] == '\\' ? root_of(folder) : folder) + run, tail);
    expect_end(walk, "setup: calls after the start or after an empty Run");
}

void check_run(const std::string& tail)
{
    call_walk walk{fuzz_platform_calls(), 0};
    const fuzz_call& module = expect_call(&walk, CALL_MODULE, "module name not asked first");
    bool trusted = false;
    std::string folder = expected_folder(module, &trusted);
    if (!trusted) {
        expect_end(&walk, "untrusted folder, yet more calls");
        return;
    }
    std::string config_path = folder + "Tovinel.ini";
    std::string key_path = expect_text(&walk, config_path, "Application/RegKey", 260);
    if (!key_path.empty()) {
        const fuzz_call& open = expect_call(&walk, CALL_OPEN, "RegKey set but not opened");
        if (open.name != key_path)
            fuzz_fail("another key opened than RegKey names");
        if (open.ok) {
            check_installed_branch(&walk, config_path, open, tail);
            return;
        }
    }
    check_setup_branch(&walk, config_path, folder, tail);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_input input{data, size, 0};
    std::string tail = fuzz_bytes(&input, fuzz_u16(&input) % 400);
    tail = tail.substr(0, tail.find('\0'));
    std::unique_ptr<char[]> tail_bytes(new char[tail.size() + 1]);
    memcpy(tail_bytes.get(), tail.c_str(), tail.size() + 1);

    fuzz_platform_start(&input);
    memset(launcher_folder, 'Z', sizeof launcher_folder);
    int instance = 0;
    if (launcher_entry(&instance, nullptr, tail_bytes.get(), 1) != 0)
        fuzz_fail("exit code other than 0");
    if (launcher_instance != &instance)
        fuzz_fail("instance not recorded");
    check_run(tail);
    fuzz_platform_check_keys_closed();
    return 0;
}
