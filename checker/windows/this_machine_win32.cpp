// Tovinel check: --this-machine on Windows: the launcher's decision played with this machine's own
// reads, and the facts behind it, for support. Reads only: nothing is started, written or elevated.
#include <windows.h>

#include <filesystem>
#include <string>

#include "check/decide.h"
#include "config.h"
#include "formats/encoding.h"
#include "formats/ini_scan.h"
#include "startup.h"
#include "windows/this_machine.h"

namespace {

std::string system_message(LONG code)
{
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = length != 0 ? std::wstring(text, length) : L"";
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ' || wide.back() == L'.'))
        wide.pop_back();
    std::string words = "error " + std::to_string(code);
    if (!wide.empty())
        words += " (" + std::filesystem::path(wide).u8string() + ")";
    return words;
}

const char* type_name(DWORD type)
{
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_QWORD: return "REG_QWORD";
    case REG_NONE: return "REG_NONE";
    default: return "a type of number";
    }
}

// 32-bit only, as the launcher: so it sees the registry view the launcher sees, and the other view is
// always the 64-bit one.
static_assert(sizeof(void*) == 4, "tovinel-check.exe reads this machine as the 32-bit launcher does");

bool windows_is_64_bit()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
}

// The registry view that this program sees by default, which is the launcher's when it is 32-bit.
const char* own_view()
{
    return windows_is_64_bit() ? "32-bit" : "only";
}

// The medium's root as the launcher would name it: a full Windows path in the ANSI code page, with a
// trailing backslash.
std::string medium_root(const std::string& medium_dir)
{
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(medium_dir), error);
    std::string root = utf8_to_codepage(GetACP(), (error ? std::filesystem::u8path(medium_dir) : full).u8string(), nullptr);
    if (root.empty() || root.back() != '\\')
        root += '\\';
    return root;
}

// A key that a 64-bit setup wrote where the launcher never looks: a finding on the RegKey line, with
// what the publisher can change.
void other_view_finding(check_context& context, const std::string& key)
{
    bool below_software = ascii_lower(key.substr(0, 9)) == "software\\";
    std::string seen_as =
        below_software ? " (which 64-bit tools such as regedit show as " +
                             quoted(context, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\" + key.substr(9)) + ")"
                       : "";
    check_add(context, rank_config, config_file_name,
              ini_line_of(context.config.text(), section_application, key_reg_key), "regkey-other-view",
              "RegKey " + quoted(context, key) +
                  " opens on this machine in the 64-bit registry view only, where a 64-bit setup writes it; the"
                  " launcher, a 32-bit program, reads the 32-bit view" + seen_as +
                  ", so the product counts as not installed. Have the setup write the key in the 32-bit view as"
                  " well (a 64-bit setup does so with KEY_WOW64_32KEY, Inno Setup with the root HKLM32, NSIS"
                  " after SetRegView 32, an MSI package in a 32-bit component), or name in RegKey a key it"
                  " writes there.");
}

// The facts of the key the launcher asked for, in both registry views; the default value's type,
// size and text (up to its first NUL) in *value.
void registry_facts(check_context& context, const simulated_machine& record, check_decision* decision,
                    check_options* seen)
{
    std::string key = quoted(context, record.key_tried);
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, record.key_tried, 0, KEY_READ, &opened);
    std::string view = own_view();
    std::string where = "HKEY_LOCAL_MACHINE\\" + key.substr(1, key.size() - 2);
    if (result != ERROR_SUCCESS) {
        decision->facts.push_back("Registry: '" + where + "' does not open in the " + view + " view: " +
                                  system_message(result) + ".");
    } else {
        seen->installed = true;
        DWORD type = 0;
        DWORD size = 0;
        LONG query = RegQueryValueExA(opened, "", nullptr, &type, nullptr, &size);
        if (query != ERROR_SUCCESS) {
            decision->facts.push_back("Registry: '" + where + "' opens in the " + view +
                                      " view; its default value cannot be read: " + system_message(query) + ".");
        } else {
            std::string data(size, '\0');
            DWORD got = size;
            if (size != 0 && RegQueryValueExA(opened, "", nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &got) ==
                                 ERROR_SUCCESS)
                data.resize(got);
            seen->has_default_value = true;
            seen->default_value = data.substr(0, data.find('\0'));
            decision->facts.push_back("Registry: '" + where + "' opens in the " + view + " view; its default value is " +
                                      type_name(type) + ", " + std::to_string(size) + " bytes" +
                                      (type == REG_SZ || type == REG_EXPAND_SZ ? ": " + quoted(context, seen->default_value)
                                                                               : "") +
                                      ".");
        }
        RegCloseKey(opened);
    }
    if (!windows_is_64_bit())
        return;
    // The 64-bit view: where a 64-bit setup writes, and the launcher never looks.
    HKEY other_key = nullptr;
    LONG other_result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, record.key_tried, 0, KEY_READ | KEY_WOW64_64KEY, &other_key);
    if (other_result == ERROR_SUCCESS)
        RegCloseKey(other_key);
    decision->facts.push_back(std::string("Registry: in the 64-bit view it ") +
                              (other_result == ERROR_SUCCESS ? "opens"
                               : result == ERROR_SUCCESS     ? "does not open"
                                                             : "does not open either") +
                              ".");
    if (result != ERROR_SUCCESS && other_result == ERROR_SUCCESS) {
        decision->reasons.push_back("The key is there in the 64-bit registry view only: a 64-bit setup wrote it,"
                                    " and the launcher, a 32-bit program, does not look there.");
        other_view_finding(context, record.key_tried);
    }
}

void window_facts(const check_context& context, const simulated_machine& record, check_decision* decision)
{
    std::string asked = "FindWindowA(" + quoted(context, record.looked_up_class) + ", " +
                        (record.looked_up_any_title ? std::string("any title") : quoted(context, record.looked_up_title)) +
                        ")";
    if (record.window_found || record.looked_up_any_title || record.looked_up_class[0] == '\0') {
        decision->facts.push_back("Windows: " + asked + (record.window_found ? " finds a window." : " finds none."));
        return;
    }
    // The class alone: a setup window whose title differs (another language, a version in it).
    HWND of_class = FindWindowA(record.looked_up_class, nullptr);
    if (of_class == nullptr) {
        decision->facts.push_back("Windows: " + asked + " finds none, nor a window of that class with any title.");
        return;
    }
    char title[260];
    int length = GetWindowTextA(of_class, title, sizeof title);
    decision->facts.push_back("Windows: " + asked + " finds none; a window of that class is open, titled " +
                              quoted(context, std::string(title, static_cast<size_t>(length > 0 ? length : 0))) +
                              ": WindowTitle must equal the whole title.");
}

std::string profile_fact(const check_context& context, const this_machine_profile_read& read)
{
    std::string what = std::string("[") + read.section + "] " + read.key;
    if (read.is_int)
        return "Tovinel.ini: GetPrivateProfileIntA gives " + what + " = " + std::to_string(read.value) + ".";
    if (read.value == 0)
        return "Tovinel.ini: GetPrivateProfileStringA gives " + what + " empty or absent.";
    return "Tovinel.ini: GetPrivateProfileStringA gives " + what + " = " + quoted(context, read.text) + " (" +
           std::to_string(read.value) + " bytes).";
}

std::string machine_description()
{
    // GetVersionEx reports Windows 8 to programs without a manifest; ntdll's own call does not.
    RTL_OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    typedef LONG(WINAPI * get_version)(RTL_OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    get_version rtl_get_version =
        ntdll != nullptr ? reinterpret_cast<get_version>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                         : nullptr;
    std::string words = "this machine: Windows";
    if (rtl_get_version != nullptr && rtl_get_version(&version) == 0)
        words += " " + std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) +
                 " build " + std::to_string(version.dwBuildNumber);
    words += windows_is_64_bit() ? " (64-bit)" : " (32-bit)";
    return words + ", code page " + std::to_string(GetACP());
}

}  // namespace

check_decision check_play_this_machine(check_context& context)
{
    check_decision decision;
    decision.known = true;
    decision.machine = machine_description();
    // The launcher's real folder: the medium as this machine names it, and the folder below its root.
    std::string folder = medium_root(context.options.medium_dir) + context.launcher_folder.substr(3);
    decision.launcher_path = folder + context.launcher_name;
    decision.config_path = folder + config_file_name;
    decision.tail = context.tail;

    simulated_machine record{};
    record.module_path = decision.launcher_path.c_str();
    this_machine_profile_read reads[8];
    this_machine_use(&record, reads, sizeof reads / sizeof reads[0]);
    launcher_entry(&record, nullptr, decision.tail.c_str(), 1);
    unsigned read_count = this_machine_profile_reads();
    simulated_machine_use(nullptr);

    for (unsigned i = 0; i < read_count; ++i)
        decision.facts.push_back(profile_fact(context, reads[i]));
    // The explanation speaks of the machine as the options describe one: describe this one so.
    check_options seen = context.options;
    std::vector<std::string> registry_reasons;
    if (record.key_open_tried) {
        check_decision registry;
        registry_facts(context, record, &registry, &seen);
        decision.facts.insert(decision.facts.end(), registry.facts.begin(), registry.facts.end());
        registry_reasons = registry.reasons;
    }
    if (record.window_looked_up)
        window_facts(context, record, &decision);
    if (record.start_count != 0)
        decision.facts.push_back("Start: WinExec(" + quoted(context, record.started_command) +
                                 ", SW_SHOW) would be called; tovinel-check starts nothing.");

    check_context seen_context{context.medium, seen, context.report, context.launcher_folder, context.launcher_name,
                               context.launcher_from_autorun, context.tail, context.config, context.autorun,
                               context.bypassing_program, context.names_explained, context.launcher_explained,
                               context.autorun_section, context.platforms};
    check_explain(seen_context, record, &decision);
    decision.reasons.insert(decision.reasons.end(), registry_reasons.begin(), registry_reasons.end());
    return decision;
}
