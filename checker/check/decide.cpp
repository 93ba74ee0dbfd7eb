// Tovinel check: the launcher's decision, played through the native seam on a simulated machine.
// The reasons are read back from what the seam saw, so they cannot drift from the launcher's code.
#include <string>

#include "check/decide.h"
#include "config.h"
#include "formats/encoding.h"
#include "ini_reader.h"
#include "simulated_machine.h"
#include "startup.h"

namespace {

std::string window_words(const check_context& context, const std::string& window_class, bool any_title,
                         const std::string& title)
{
    std::string words = "a window of class " + quoted(context, window_class);
    if (!any_title)
        words += " titled " + quoted(context, title);
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

void explain_application(const check_context& context, const simulated_machine& machine, check_decision* decision)
{
    const check_options& options = context.options;
    decision->reasons.push_back("RegKey " + quoted(context, machine.key_tried) +
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
        explain_too_long("the default value, a blank and the tail", options.default_value + " " + decision->tail,
                         decision);
        return;
    }
    decision->reasons.push_back("Start is nonzero: the launcher starts the key's default value with its tail.");
}

void explain_setup(const check_context& context, const simulated_machine& machine, const std::string& run,
                   check_decision* decision)
{
    if (!machine.key_open_tried)
        decision->reasons.push_back("RegKey is empty or absent: the product never counts as installed.");
    else if (context.options.installed)
        decision->reasons.push_back("RegKey " + quoted(context, machine.key_tried) +
                                    " does not open below HKEY_LOCAL_MACHINE, although the product is installed:"
                                    " the launcher takes it as not installed.");
    else
        decision->reasons.push_back("RegKey " + quoted(context, machine.key_tried) +
                                    " does not open: the product counts as not installed.");
    if (machine.window_looked_up) {
        std::string window =
            window_words(context, machine.looked_up_class, machine.looked_up_any_title, machine.looked_up_title);
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
                         composed_setup_command(context.launcher_folder, run, decision->tail), decision);
        return;
    }
    decision->reasons.push_back("Run is " + quoted(context, run) + ": the launcher starts it from " +
                                (run[0] == '\\' ? "the medium's root" : "its folder") + " with its tail.");
}

// A value of the configuration as the launcher reads it, cut to `capacity` - 1 bytes.
std::string launcher_value(const std::string& text, const char* section, const char* key, unsigned capacity)
{
    std::string buffer(capacity, '\0');
    unsigned length = ini_read_text(text.data(), static_cast<unsigned long>(text.size()), section, key, &buffer[0], capacity);
    return buffer.substr(0, length);
}

// The medium's answer to the launcher's question whether a file exists.
bool medium_file_exists(const void* context, const char* windows_path)
{
    const check_context& checked = *static_cast<const check_context*>(context);
    std::string medium_path;
    return check_resolve(checked, windows_path, &medium_path, nullptr) &&
           checked.medium.kind_of(medium_path, nullptr) == medium_kind::file;
}

// Whether the setup program started needs administrator rights, and why; "" when it does not.
std::string elevation_reason(check_context& context, const std::string& command)
{
    program_search search = check_find_program(context, command);
    if (!search.found)
        return "";
    program_file program = check_program(context, search.medium_path);
    std::string name = search.windows_path.substr(codepage_name_start(context.options.codepage, search.windows_path));
    if (!program.read ||
        !program_needs_elevation(program.facts, codepage_to_utf8(context.options.codepage, name, nullptr)))
        return "";
    if (!program.facts.execution_level.empty())
        return "its manifest asks for " + quoted_utf8(program.facts.execution_level);
    return "Windows takes a 32-bit program without a manifest and with an installer word in its name or version"
           " record for an installer";
}

}  // namespace

check_decision check_play(check_context& context)
{
    const check_options& options = context.options;
    check_decision decision;
    decision.known = true;
    decision.launcher_path = context.launcher_folder + context.launcher_name;
    decision.config_path = context.launcher_folder + config_file_name;
    decision.tail = context.tail;
    const std::string& text = context.config.text();

    // No medium folder: the seam reads nothing of the host, and finds files through the medium.
    simulated_machine machine{};
    machine.module_path = decision.launcher_path.c_str();
    // The text was read here, bounded; the seam reads no host file. A missing file reads as absent.
    machine.config_path = context.config.present ? decision.config_path.c_str() : nullptr;
    machine.config_text = text.data();
    machine.config_length = context.config.present ? static_cast<unsigned long>(text.size()) : 0;
    bool lead_bytes[256] = {};
    for (unsigned byte = 0; byte < 256; ++byte)
        lead_bytes[byte] = codepage_is_lead_byte(options.codepage, static_cast<unsigned char>(byte));
    machine.lead_bytes = lead_bytes;

    // The product's setup created the key that the publisher meant, whole and below
    // HKEY_LOCAL_MACHINE: never the cut, commented or misspelt text the launcher may ask for.
    std::string whole_key = context.config.present ? check_whole_value(text, section_application, key_reg_key) : "";
    std::string installed_key = check_installed_key(whole_key);
    if (options.installed) {
        machine.installed_key = installed_key.c_str();
        machine.has_default_value = options.has_default_value;
        machine.default_value = options.default_value.c_str();
    }
    if (options.window_open) {
        machine.window_class = options.window_class.c_str();
        machine.window_title = options.window_title.c_str();
    }

    machine.file_exists = medium_file_exists;
    machine.file_exists_context = &context;
    simulated_machine_use(&machine);
    launcher_entry(&machine, nullptr, decision.tail.c_str(), 1);
    simulated_machine_use(nullptr);
    // On Windows Vista and later a setup that needs administrator rights fails to start: play the
    // run again as Windows answers it then, for the hand-over to the shell.
    std::string elevation = machine.key_opened || machine.start_count == 0
                                ? ""
                                : elevation_reason(context, machine.started_command);
    if (!elevation.empty()) {
        machine.starts_need_elevation = true;
        simulated_machine_use(&machine);
        launcher_entry(&machine, nullptr, decision.tail.c_str(), 1);
        simulated_machine_use(nullptr);
        decision.elevated = machine.shell_start_count != 0;
        decision.shell_program = machine.shell_program;
        decision.shell_parameters = machine.shell_parameters;
    }

    check_explain(context, machine, &decision);
    if (decision.elevated)
        decision.reasons.push_back("On Windows Vista and later the setup program needs administrator rights (" +
                                   elevation +
                                   "): WinExec fails, and the launcher hands the same start to the shell, which asks"
                                   " the user for consent.");
    return decision;
}

void check_explain(const check_context& context, const simulated_machine& machine, check_decision* result)
{
    check_decision& decision = *result;
    const std::string& text = context.config.text();
    decision.started = machine.start_count != 0;
    decision.command = machine.started_command;
    if (machine.profile_reads == 0) {
        decision.reasons.push_back("The launcher's path " + quoted(context, decision.launcher_path) +
                                   " leaves no room for its configuration's name: it reads and starts nothing.");
        return;
    }
    decision.branch = machine.key_opened ? branch_application : branch_setup;
    std::string run = context.config.present ? launcher_value(text, section_setup, key_run, path_capacity) : "";
    if (decision.branch == branch_application)
        explain_application(context, machine, &decision);
    else
        explain_setup(context, machine, run, &decision);
}
