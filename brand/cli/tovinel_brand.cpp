// Tovinel brand: the command-line tool. Brands a built tovinel.exe with a publisher's icon and version
// texts and writes it with the icon's preview; exit 0, 1 (refused: nothing written) or 2 (usage).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "branding/branding.h"
#include "system/system.h"

namespace {

const char usage_text[] =
    "Usage: tovinel-brand [OPTIONS] -o BRANDED.exe tovinel.exe\n"
    "\n"
    "Brands a built tovinel.exe with a publisher's icon and version texts. Only the resources change:\n"
    "the icon's two images (32x32 and 16x16, 16 colours) and the four texts. Code, data, imports and\n"
    "relocations keep their bytes, code and data their addresses; the branded file is read back and\n"
    "compared with tovinel.exe section by section before it is written. An option left out keeps\n"
    "tovinel.exe's own value.\n"
    "\n"
    "  --icon FILE         a PNG of any size (up to 8192x8192) or an .ico: each image scaled from it,\n"
    "                      its aspect kept, and dithered to the standard 16 colours; a pixel is drawn\n"
    "                      where it is at least half opaque. The preview, BRANDED-icon-preview.png,\n"
    "                      is written beside the branded file.\n"
    "  --company TEXT      CompanyName\n"
    "  --product TEXT      ProductName\n"
    "  --description TEXT  FileDescription\n"
    "  --copyright TEXT    LegalCopyright\n"
    "  --budget BYTES      how much larger the file may grow, in whole pages of 512 (default 512)\n"
    "  --strip-signature   brand a signed file, removing its signature (sign again afterwards)\n"
    "  -o, --output FILE   the branded file; it may be tovinel.exe itself\n"
    "  --help, -h          this text\n"
    "  --version           the version\n"
    "Options take --option VALUE or --option=VALUE. Texts are UTF-8, one line each, without setup,\n"
    "install, update, patch or upgrade (any case, inside words too): Windows would take the launcher\n"
    "for an installer and ask for administrator rights on every insertion of the medium.\n"
    "\n"
    "Exit code: 0 when branded, 1 when refused (one line says why; nothing is written), 2 on a usage\n"
    "error.\n"
    "\n"
    "Example:\n"
    "  tovinel-brand --icon logo.png --company \"Nordlicht Software GmbH\" --product \"Sternkarte 2027\" \\\n"
    "      -o disc/tovinel.exe build/win32/tovinel.exe\n";

const uint64_t launcher_read_limit = 64u << 20;
const uint64_t icon_read_limit = 256u << 20;

int usage_error(const std::string& reason)
{
    system_write(stderr, "tovinel-brand: " + reason + " (tovinel-brand --help tells more)\n");
    return 2;
}

int refused(const std::string& reason)
{
    system_write(stderr, "tovinel-brand: " + reason + "; nothing written\n");
    return 1;
}

// BRANDED.exe -> BRANDED-icon-preview.png, in the same folder.
std::string preview_path(const std::string& output)
{
    std::string stem = output;
    size_t name = stem.find_last_of("/\\") == std::string::npos ? 0 : stem.find_last_of("/\\") + 1;
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > name)
        stem.resize(dot);
    return stem + "-icon-preview.png";
}

int brand_main(const std::vector<std::string>& arguments)
{
    brand_request request;
    std::string input, output, budget;
    bool icon_given = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        std::string argument = arguments[i], value;
        if (argument == "--help" || argument == "-h") {
            system_write(stdout, usage_text);
            return 0;
        }
        if (argument == "--version") {
            system_write(stdout, "tovinel-brand " TOVINEL_VERSION "\n");
            return 0;
        }
        if (argument == "--strip-signature") {
            request.strip_signature = true;
            continue;
        }
        if (argument.empty() || argument[0] != '-') {
            if (!input.empty())
                return usage_error("one tovinel.exe at a time, not '" + input + "' and '" + argument + "'");
            input = argument;
            continue;
        }
        size_t equals = argument.find('=');
        bool inline_value = argument.compare(0, 2, "--") == 0 && equals != std::string::npos;
        std::string name = inline_value ? argument.substr(0, equals) : argument;
        std::string* target = name == "-o" || name == "--output" ? &output
                              : name == "--icon"                 ? &request.icon_name
                              : name == "--budget"               ? &budget
                                                                 : nullptr;
        for (size_t t = 0; !target && t < brand_text_count; ++t)
            if (name == brand_texts[t].option) {
                target = &request.texts[t];
                request.text_given[t] = true;
            }
        if (!target)
            return usage_error("unknown option " + name);
        if (!inline_value && i + 1 >= arguments.size())
            return usage_error(name + " needs a value");
        *target = inline_value ? argument.substr(equals + 1) : arguments[++i];
        icon_given = icon_given || name == "--icon";
    }
    if (input.empty() || output.empty())
        return usage_error(input.empty() ? "no tovinel.exe to brand" : "no branded file named (-o BRANDED.exe)");
    if (icon_given && request.icon_name.empty())
        return usage_error("--icon needs a file");
    if (!budget.empty()) {
        if (budget.size() > 9 || budget.find_first_not_of("0123456789") != std::string::npos)
            return usage_error("--budget is a number of bytes, not '" + budget + "'");
        request.budget = std::stoull(budget);
    }

    std::string why;
    request.input_name = input;
    request.output_name = output;
    request.preview_name = preview_path(output);
    if (!system_read_file(input, launcher_read_limit, &request.input, &why) ||
        (!request.icon_name.empty() && !system_read_file(request.icon_name, icon_read_limit, &request.icon, &why)))
        return refused("cannot read " + why);
    brand_result result;
    if (!brand_launcher(request, &result, &why))
        return refused(why);
    // The branded file last: when anything fails before it, it is left as it was.
    std::vector<output_file> files;
    if (!result.preview.empty())
        files.push_back({request.preview_name, result.preview, false});
    files.push_back({output, result.output, true});
    if (!system_replace_files(files, &why)) {
        system_write(stderr, "tovinel-brand: cannot write " + why + "; " + output + " is left as it was\n");
        return 1;
    }
    system_write(stdout, result.report);
    return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    return brand_main(system_arguments(argc, argv));
}
#else
int main(int argc, char** argv)
{
    return brand_main(std::vector<std::string>(argv, argv + argc));
}
#endif
