// Tovinel check: names that Windows will see otherwise than the medium's files say, on a medium whose
// names differ by system (an ISO image: Rock Ridge names on Linux, Joliet or ISO 9660 on Windows).
#include <cctype>

#include "config.h"
#include "findings/check_context.h"
#include "formats/autorun.h"
#include "formats/encoding.h"
#include "formats/ini_scan.h"

namespace {

// Adds a finding for the first of `paths` that the medium explains, unless Windows finds one of them
// first: then the name is right as Windows sees it. `consequence` tells what follows when Windows does
// not find it; the finding that the name is missing is then left out (check_context::names_explained).
void check_names(check_context& context, unsigned rank, const char* file, unsigned line, const std::string& key,
                 const std::vector<std::string>& paths, const char* consequence)
{
    for (const std::string& path : paths) {
        std::string medium_path;
        if (check_resolve(context, path, &medium_path, nullptr))
            return;
        // Below the drive ("D:\"), as a medium path.
        std::string below = codepage_to_utf8(context.options.codepage, path.substr(3), nullptr);
        for (char& c : below)
            if (c == '\\')
                c = '/';
        std::string why = context.medium.why_missing(below);
        if (!why.empty()) {
            why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
            check_add(context, rank, file, line, "image-name",
                      key + " names " + quoted(context, path.substr(3)) + ", which Windows will not find: " +
                          consequence + ". " + shown(why, 1000));
            context.names_explained.insert(std::string(file) + "\n" + std::to_string(line));
            return;
        }
    }
}

}  // namespace

std::vector<std::string> check_tried_paths(const std::string& base, const std::string& command)
{
    std::vector<std::string> paths;
    std::string start = command.compare(0, 1, "\\") == 0 ? base.substr(0, 2) : base;
    for (size_t blank = command.find(' ');; blank = command.find(' ', blank + 1)) {
        std::string path = start + command.substr(0, blank);
        paths.push_back(path);
        if (path.substr(path.rfind('\\') + 1).find('.') == std::string::npos)
            paths.push_back(path + ".exe");
        if (blank == std::string::npos)
            break;
    }
    return paths;
}

bool check_name_explained(const check_context& context, const std::string& file, unsigned line)
{
    return context.names_explained.count(file + "\n" + std::to_string(line)) != 0;
}

void check_image_findings(check_context& context)
{
    std::string root = context.launcher_folder.substr(0, 3);
    if (context.options.folder_given && context.launcher_folder.size() > root.size())
        check_names(context, rank_option, "--folder", 0, "--folder",
                    {context.launcher_folder.substr(0, context.launcher_folder.size() - 1)},
                    "the launcher and its Tovinel.ini are not found there");
    if (context.config.present) {
        const std::string& text = context.config.meant_text();
        std::string run = check_whole_value(text, section_setup, key_run);
        bool full_path = run.size() >= 2 && (run[1] == ':' || run.compare(0, 2, "\\\\") == 0);
        if (!run.empty() && !full_path && run[0] != '"')
            check_names(context, rank_config, config_file_name, ini_line_of(text, section_setup, key_run), "Run",
                        check_tried_paths(context.launcher_folder, run), "the setup program will not start");
    }
    if (context.autorun.present) {
        autorun_facts facts = autorun_read(context.autorun.meant_text(), context.autorun_section);
        const std::pair<const char*, autorun_value> commands[] = {{"open", facts.open},
                                                                   {"shellexecute", facts.shell_execute}};
        for (const auto& [key, value] : commands) {
            if (value.text.empty())
                continue;
            // A quoted program ends at its quote; an unquoted one is tried at each blank, as for Run.
            autorun_command split = autorun_split(value.text);
            std::string unquoted = split.program + (split.arguments.empty() ? "" : " " + split.arguments);
            check_names(context, rank_autorun, "autorun.inf", value.line, key,
                        value.text[0] == '"' ? std::vector<std::string>{root + split.program}
                                             : check_tried_paths(root, unquoted),
                        "nothing starts when the medium is inserted");
        }
        std::string icon = autorun_icon_file(facts.icon.text);
        while (icon.compare(0, 1, "\\") == 0)
            icon.erase(0, 1);
        if (!icon.empty())
            check_names(context, rank_autorun, "autorun.inf", facts.icon.line, "icon", {root + icon},
                        "Windows shows the drive's own icon");
    }
}
