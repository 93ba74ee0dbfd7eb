// Tovinel fuzzing: the launcher's rules restated from the platform's recorded answers.
// std::string throughout, unlike the launcher's fixed buffers, so the two share no code or bugs.
#include "fuzz_model.h"

std::string answered_text(const fuzz_call& text_read)
{
    size_t count = text_read.returned < text_read.capacity ? text_read.returned : text_read.capacity - 1;
    std::string text = text_read.written.substr(0, count);
    return text.substr(0, text.find('\0'));
}

std::string expected_folder(const fuzz_call& module_name, bool* trusted)
{
    if (module_name.returned >= module_name.capacity) {
        *trusted = false;
        return "";
    }
    std::string path = module_name.written.substr(0, module_name.returned);
    path = path.substr(0, path.find('\0'));
    // Character by character, with the lead bytes the fuzz platform was set to: a lead byte with a
    // byte after it makes one character with that byte.
    size_t folder_end = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\')
            folder_end = i + 1;
        if (platform_is_lead_byte(static_cast<unsigned char>(path[i])) && i + 1 < path.size())
            ++i;
    }
    std::string folder = folder_end == 0 ? path : path.substr(0, folder_end);
    *trusted = folder.size() + std::string("Tovinel.ini").size() < 260;
    return folder;
}

std::string root_of(const std::string& folder)
{
    if (folder.compare(0, 2, "\\\\") == 0) {
        size_t cut = std::string::npos;
        unsigned seen = 0;
        for (size_t i = 0; i < folder.size() && seen < 4; ++i) {
            if (folder[i] == '\\' && ++seen >= 3)
                cut = i;
            if (platform_is_lead_byte(static_cast<unsigned char>(folder[i])) && i + 1 < folder.size())
                ++i;
        }
        return folder.substr(0, cut);
    }
    return folder.size() > 2 ? folder.substr(0, 2) : folder;
}
