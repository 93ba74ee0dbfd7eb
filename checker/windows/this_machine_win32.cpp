// Tovinel check: --this-machine on Windows: the launcher's decision played with this machine's own
// reads, and the facts behind it, for support. Reads only: nothing is started, written or elevated.
#include <windows.h>

#include <filesystem>
#include <string>

#include "check/decide.h"
#include "config.h"
#include "formats/encoding.h"
#include "formats/ini_scan.h"
#include "insertion/autoplay.h"
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

// The file at `path` (ANSI) on this PC: whether it is there, and its first bytes.
bool file_on_this_pc(const std::string& path, bool* folder, std::string* start)
{
    std::filesystem::path name = std::filesystem::u8path(codepage_to_utf8(GetACP(), path, nullptr));
    DWORD attributes = GetFileAttributesW(name.wstring().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    *folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    HANDLE file = *folder ? INVALID_HANDLE_VALUE
                          : CreateFileW(name.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        start->resize(check_program_limit);
        DWORD got = 0;
        if (!ReadFile(file, &(*start)[0], static_cast<DWORD>(start->size()), &got, nullptr))
            got = 0;
        start->resize(got);
        CloseHandle(file);
    }
    return true;
}

// The program the installed command starts, found on this PC as CreateProcess finds it: a quoted
// name whole; an unquoted one tried at each blank, with .exe added to a name without extension.
// A finding when it is not there, or is no program.
void installed_program_findings(check_context& context, const std::string& command)
{
    std::vector<std::string> tried;
    if (!command.empty() && command[0] == '"') {
        tried.push_back(command.substr(1, command.find('"', 1) - 1));
    } else {
        for (size_t blank = command.find(' ');; blank = command.find(' ', blank + 1)) {
            tried.push_back(command.substr(0, blank));
            if (blank == std::string::npos)
                break;
        }
    }
    for (std::string& path : tried)
        if (path.substr(codepage_name_start(context.options.codepage, path)).find('.') == std::string::npos)
            path += ".exe";
    for (const std::string& path : tried) {
        bool folder = false;
        std::string start;
        if (!file_on_this_pc(path, &folder, &start) || folder)
            continue;
        program_facts facts = program_facts_of(start);
        if (facts.kind == program_kind::not_program || facts.dll)
            check_add(context, rank_option, "registry", 0, "installed-program-not-program",
                      "The installed command starts " + quoted(context, path) +
                          ", which is no Windows program on this PC: WinExec cannot start it, and the launcher starts"
                          " nothing. The product's setup should write its program's path.");
        return;
    }
    check_add(context, rank_option, "registry", 0, "installed-program-missing",
              "The installed command names " + quoted(context, tried.front()) +
                  ", which is not on this PC: the key opens, so the launcher starts that command and nothing starts."
                  " Reinstall the product, or have its setup write the path it installs to.");
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
            // Only where the launcher starts the installed command (Start is nonzero).
            if (record.value_queried && (type == REG_SZ || type == REG_EXPAND_SZ))
                installed_program_findings(context, seen->default_value);
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

// This Windows' version, as ntdll tells it: GetVersionEx reports Windows 8 to programs without a
// manifest. False when it cannot be told.
bool windows_version_of(RTL_OSVERSIONINFOW* version)
{
    version->dwOSVersionInfoSize = sizeof *version;
    typedef LONG(WINAPI * get_version)(RTL_OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    get_version rtl_get_version =
        ntdll != nullptr ? reinterpret_cast<get_version>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                         : nullptr;
    return rtl_get_version != nullptr && rtl_get_version(version) == 0;
}

// The version line of the insertion table that this Windows belongs to.
windows_version version_here()
{
    RTL_OSVERSIONINFOW version{};
    if (!windows_version_of(&version) || version.dwMajorVersion >= 10)
        return version.dwBuildNumber >= 22000 ? windows_version::win11 : windows_version::win10;
    if (version.dwMajorVersion == 6)
        return version.dwMinorVersion == 0 ? windows_version::vista
               : version.dwMinorVersion == 1 ? windows_version::win7 : windows_version::win8;
    return windows_version::xp;
}

// A DWORD (or the first bytes of a REG_BINARY, as Windows 95 wrote NoDriveTypeAutoRun) from `key`
// below `root`; false when it is not there. The 64-bit view on 64-bit Windows: the shell's.
bool policy_value(HKEY root, const wchar_t* key, const wchar_t* name, DWORD* value)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ | (windows_is_64_bit() ? KEY_WOW64_64KEY : 0), &opened) != ERROR_SUCCESS)
        return false;
    BYTE bytes[4] = {};
    DWORD size = sizeof bytes;
    DWORD type = 0;
    bool found = RegQueryValueExW(opened, name, nullptr, &type, bytes, &size) == ERROR_SUCCESS &&
                 (type == REG_DWORD || type == REG_BINARY) && size != 0;
    RegCloseKey(opened);
    *value = static_cast<DWORD>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24);
    return found;
}

// The default value of `key` below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE, as UTF-8; "" when none.
std::string handler_value(HKEY root, const wchar_t* key)
{
    wchar_t text[128] = {};
    DWORD size = sizeof text - sizeof text[0];
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return "";
    DWORD type = 0;
    bool found = RegQueryValueExW(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                     ERROR_SUCCESS && type == REG_SZ;
    RegCloseKey(opened);
    return found ? std::filesystem::path(std::wstring(text)).u8string() : "";
}

std::string hex_byte(DWORD value)
{
    const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[value >> 4 & 0xF] + digits[value & 0xF];
}

// What happens on this PC when the medium goes in, in one line: the insertion table's default for
// this Windows and drive, unless a policy or the user's AutoPlay settings decide otherwise.
std::string insertion_here(const check_context& context, const std::string& medium_root)
{
    const wchar_t* policies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    const wchar_t* handlers = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers";
    std::string run = "; open the drive and run " + codepage_to_utf8(context.options.codepage, context.launcher_name, nullptr);
    drive_type drive = context.options.drive_kind;
    // A value in HKEY_LOCAL_MACHINE makes Windows ignore the same value in HKEY_CURRENT_USER.
    auto policy = [&](const wchar_t* name, DWORD* value, const char** where) {
        *where = "HKLM";
        if (policy_value(HKEY_LOCAL_MACHINE, policies, name, value))
            return true;
        *where = "HKCU";
        return policy_value(HKEY_CURRENT_USER, policies, name, value);
    };
    const DWORD type_bits[] = {0x20, 0x04, 0x08};   // DRIVE_CDROM, DRIVE_REMOVABLE, DRIVE_FIXED
    DWORD value = 0;
    const char* where = "";
    if (policy(L"NoDriveTypeAutoRun", &value, &where) && (value & type_bits[static_cast<unsigned>(drive)]) != 0)
        return std::string("AutoRun is off for ") + drive_type_id(drive) + " drives by policy (NoDriveTypeAutoRun " +
               hex_byte(value) + " in " + where + "): nothing starts" + run;
    char letter = medium_root.size() >= 2 && medium_root[1] == ':' ? static_cast<char>(medium_root[0] & ~0x20) : 0;
    if (letter >= 'A' && letter <= 'Z' && policy(L"NoDriveAutoRun", &value, &where) && (value >> (letter - 'A') & 1) != 0)
        return std::string("AutoRun is off for drive ") + letter + ": by policy (NoDriveAutoRun in " + where +
               "): nothing starts" + run;
    DWORD no_autorun = 0;
    bool autorun_set = policy(L"NoAutorun", &no_autorun, &where);
    if (autorun_set && no_autorun == 1)
        return std::string("autorun commands are off by policy (NoAutorun 1 in ") + where + "): nothing starts" + run;
    bool run_at_once = autorun_set && no_autorun == 2;
    windows_version version = version_here();
    autorun_behaviour behaviour = autorun_behaviour_of(version, drive, false);
    std::string windows = std::string("Windows ") + version_name(version) + ", " + drive_type_words(drive);
    if (behaviour.outcome == autorun_outcome::nothing)
        return windows + ": nothing starts: " + behaviour.why + run;
    if (behaviour.outcome == autorun_outcome::starts || run_at_once)
        return windows + ": AutoRun starts " + quoted(context, context.launcher_name) + " at once" +
               (run_at_once ? std::string(" (NoAutorun 2 in ") + where + ")" : "");
    if (policy_value(HKEY_CURRENT_USER, handlers, L"DisableAutoplay", &value) && value == 1)
        return "AutoPlay is off for this user: nothing starts" + run;
    std::string chosen = handler_value(HKEY_CURRENT_USER, (std::wstring(handlers) +
                                                           L"\\UserChosenExecuteHandlers\\AutorunINFLegacyArrival").c_str());
    if (chosen.empty())
        chosen = handler_value(HKEY_LOCAL_MACHINE, (std::wstring(handlers) +
                                                    L"\\EventHandlersDefaultSelection\\AutorunINFLegacyArrival").c_str());
    std::string lowered = ascii_lower(chosen);
    if (lowered == "msautorun")
        return windows + ": AutoPlay starts " + quoted(context, context.launcher_name) +
               " at once (the user chose so for software discs)";
    if (lowered == "mstakenoaction")
        return windows + ": nothing starts (the user chose 'Take no action' for software discs)" + run;
    if (lowered == "msopenfolder")
        return windows + ": Explorer opens the drive (the user chose so for software discs)" + run;
    return windows + ": " + behaviour.why + ", offering " + quoted(context, "Run " + context.launcher_name);
}

std::string machine_description()
{
    RTL_OSVERSIONINFOW version{};
    std::string words = "this machine: Windows";
    if (windows_version_of(&version))
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
    std::string root = medium_root(context.options.medium_dir);
    std::string folder = root + context.launcher_folder.substr(3);
    decision.insertion_here = insertion_here(context, root);
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
                               context.autorun_section, context.platforms, context.autorun_program};
    check_explain(seen_context, record, &decision);
    decision.reasons.insert(decision.reasons.end(), registry_reasons.begin(), registry_reasons.end());
    return decision;
}
