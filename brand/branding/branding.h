// Tovinel brand, the branding: a built tovinel.exe given a publisher's icon and texts, read back and
// compared with the input before anything is written. What the command line asks for, in bytes.
#pragma once

#include <cstdint>
#include <string>

// The texts a publisher sets: the option that gives each and the version record's key.
struct brand_text {
    const char* option;
    const char16_t* key;
};
const brand_text brand_texts[] = {{"--company", u"CompanyName"},
                                  {"--product", u"ProductName"},
                                  {"--description", u"FileDescription"},
                                  {"--copyright", u"LegalCopyright"}};
const size_t brand_text_count = sizeof brand_texts / sizeof brand_texts[0];

struct brand_request {
    std::string input_name;  // the paths as given, for the report and the messages
    std::string output_name;
    std::string preview_name;
    std::string input;  // the launcher's bytes
    std::string icon_name;  // "" without --icon
    std::string icon;
    bool text_given[brand_text_count] = {};
    std::string texts[brand_text_count];  // UTF-8
    uint64_t budget = 512;                // bytes the file may grow by
    bool strip_signature = false;
};

struct brand_result {
    std::string output;   // the branded file
    std::string preview;  // the icon's preview PNG, "" without an icon
    std::string report;   // for people: what changed, the comparison section by section, the sizes
};

// Brands request.input: the icon (images 1 and 2 of group 102) drawn from request.icon, the texts
// given set in the version record, everything else as it was. The result is read back and compared
// with the input section by section: code, data, imports and relocations byte for byte, code and data
// at their addresses, the headers but for the fields that place .rsrc and .reloc and the checksum.
// False with `why`, one line, when the input is no launcher or signed (without strip_signature), a
// text or the icon cannot be used, the file would grow past the budget, or the comparison fails.
bool brand_launcher(const brand_request& request, brand_result* result, std::string* why);
