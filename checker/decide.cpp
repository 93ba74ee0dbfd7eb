// Tovinel check: the launcher's decision, played through the native seam on a simulated machine.
// The reasons are read back from what the seam saw, so they cannot drift from the launcher's code.
#include "check.h"

#include <cstring>
#include <strings.h>

#include "config.h"
#include "simulated_machine.h"
#include "startup.h"

namespace {

std::string medium_root(const check_options& options)
{
    return std::string(1, options.drive) + ":\\";
}

void describe_medium(const check_options& options, const std::string& root, simulated_machine* machine)
{
    *machine = simulated_machine{};
    machine->medium_root = root.c_str();
    machine->medium_dir = options.medium_dir.c_str();
}

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

std::string window_words(const std::string& window_class, bool any_title, const std::string& title)
{
    std::string words = "a window of class " + quoted(window_class);
    if (!any_title)
        words += " titled " + quoted(title);
    return words;
}

// The setup command the launcher composes, even when it does not fit: for telling its length.
std::string composed_setup_command(const std::string& folder, const std::string& run, const std::string& tail)
{
    // A drive-letter folder: a root-relative Run counts from "D:".
    std::string base = run.compare(0, 1, "\\") == 0 ? folder.substr(0, 2) : folder;
    return base + run + " " + tail;
}

// The reason for starting nothing when the composed `command` (made of `parts`) exceeds 259 bytes.
void explain_too_long(const char* parts, const std::string& command, check_decision* decision)
{
    decision->command_too_long = true;
    decision->command_length = static_cast<unsigned>(command.size());
    decision->reasons.push_back(std::string("The command line (") + parts + ") would be " +
                                std::to_string(command.size()) +
                                " bytes, more than 259: the launcher starts nothing rather than a cut command.");
}

void explain_application(const check_options& options, const simulated_machine& machine,
                         check_decision* decision)
{
    decision->reasons.push_back("RegKey " + quoted(machine.key_tried) +
                                " opens below HKEY_LOCAL_MACHINE: the product counts as installed.");
    if (!machine.value_queried) {
        decision->reasons.push_back("Start is 0, absent or not a number: the launcher starts nothing.");
        return;
    }
    if (!machine.value_found) {
        if (!options.has_default_value)
            decision->reasons.push_back("The key has no default value: the launcher starts nothing.");
        else
            decision->reasons.push_back("The key's default value is " +
                                        std::to_string(options.default_value.size()) +
                                        " bytes, more than the 259 the launcher reads: it starts nothing.");
        return;
    }
    if (machine.start_count == 0) {
        explain_too_long("the default value, a blank and the tail", options.default_value + " " + options.tail,
                         decision);
        return;
    }
    decision->reasons.push_back("Start is nonzero: the launcher starts the key's default value with its tail.");
}

void explain_setup(const check_options& options, const simulated_machine& machine, const std::string& run,
                   check_decision* decision)
{
    if (!machine.key_open_tried)
        decision->reasons.push_back("RegKey is empty or absent: the product never counts as installed.");
    else if (options.installed)
        decision->reasons.push_back("RegKey " + quoted(machine.key_tried) +
                                    " does not open below HKEY_LOCAL_MACHINE, although the product is installed:"
                                    " the launcher takes it as not installed.");
    else
        decision->reasons.push_back("RegKey " + quoted(machine.key_tried) +
                                    " does not open: the product counts as not installed.");
    if (machine.window_looked_up) {
        std::string window = window_words(machine.looked_up_class, machine.looked_up_any_title,
                                          machine.looked_up_title);
        if (machine.window_found) {
            decision->reasons.push_back("A" + window.substr(1) +
                                        " is open: setup is already running, the launcher starts nothing.");
            return;
        }
        decision->reasons.push_back("No " + window.substr(2) + " is open.");
    } else {
        decision->reasons.push_back("No WindowClass or WindowTitle: the launcher looks for no setup window.");
    }
    if (run.empty()) {
        decision->reasons.push_back("Run is empty or absent: the launcher starts nothing.");
        return;
    }
    if (machine.start_count == 0) {
        explain_too_long("the launcher's folder, Run, a blank and the tail",
                         composed_setup_command(check_launcher_folder(options), run, options.tail), decision);
        return;
    }
    decision->reasons.push_back("Run is " + quoted(run) + ": the launcher starts it from " +
                                (run[0] == '\\' ? "the medium's root" : "its folder") + " with its tail.");
}

}  // namespace

size_t check_registry_root_length(const std::string& key)
{
    // The roots a publisher may write by habit in front of a key path.
    static const char* const roots[] = {"HKEY_LOCAL_MACHINE", "HKLM", "HKEY_CURRENT_USER", "HKCU",
                                        "HKEY_CLASSES_ROOT", "HKCR", "HKEY_USERS", "HKU",
                                        "HKEY_CURRENT_CONFIG", "HKCC"};
    size_t first = std::min(key.find('\\'), key.size());
    for (const char* root : roots) {
        if (strlen(root) == first && strncasecmp(key.c_str(), root, first) == 0)
            return first;
    }
    return 0;
}

std::string check_launcher_folder(const check_options& options)
{
    std::string folder = medium_root(options);
    if (!options.folder.empty())
        folder += options.folder + "\\";
    return folder;
}

bool check_host_path(const check_options& options, const std::string& windows_path, std::string* host_path,
                     bool* case_differs)
{
    std::string root = medium_root(options);
    simulated_machine machine;
    describe_medium(options, root, &machine);
    char found[4096];
    bool there = simulated_host_path(&machine, windows_path.c_str(), found, sizeof found, case_differs);
    *host_path = there ? found : "";
    return there;
}

check_decision check_decide(const check_options& options)
{
    check_decision decision;
    std::string root = medium_root(options);
    decision.launcher_path = check_launcher_folder(options) + "tovinel.exe";
    decision.config_path = check_launcher_folder(options) + config_file_name;

    simulated_machine machine;
    describe_medium(options, root, &machine);
    machine.module_path = decision.launcher_path.c_str();
    simulated_machine_use(&machine);

    // The same reads as the launcher, with its buffer sizes, so that a cut value reads as it will.
    char reg_key[path_capacity];
    char run[path_capacity];
    read_text_value(decision.config_path.c_str(), section_application, key_reg_key, reg_key, path_capacity);
    read_text_value(decision.config_path.c_str(), section_setup, key_run, run, path_capacity);

    // The product's setup created the key that the publisher meant, below HKEY_LOCAL_MACHINE: a root
    // name written in front of it is not part of the key.
    std::string installed_key = reg_key;
    size_t root_length = check_registry_root_length(installed_key);
    if (root_length != 0)
        installed_key.erase(0, root_length + 1);  // the root's name and its backslash
    if (options.installed) {
        machine.installed_key = installed_key.c_str();
        machine.has_default_value = options.has_default_value;
        machine.default_value = options.default_value.c_str();
    }
    if (options.window_open) {
        machine.window_class = options.window_class.c_str();
        machine.window_title = options.window_title.c_str();
    }

    simulated_machine_use(&machine);
    launcher_entry(&machine, nullptr, options.tail.c_str(), 1);
    simulated_machine_use(nullptr);

    decision.started = machine.start_count != 0;
    decision.command = machine.started_command;
    if (machine.profile_reads == 0) {
        decision.reasons.push_back("The launcher's path " + quoted(decision.launcher_path) +
                                   " leaves no room for its configuration's name: it reads and starts nothing.");
        return decision;
    }
    decision.branch = machine.key_opened ? branch_application : branch_setup;
    if (decision.branch == branch_application)
        explain_application(options, machine, &decision);
    else
        explain_setup(options, machine, run, &decision);
    return decision;
}
