// Tovinel fuzzing: the launcher's rules restated from the platform's recorded answers.
// Written apart from the launcher code, so that a target compares two derivations of each result.
#pragma once

#include <string>

#include "fuzz_platform.h"

// The text a profile read leaves the launcher: the count capped at capacity - 1, then up to a NUL.
std::string answered_text(const fuzz_call& text_read);

// The launcher folder from the module-name answer: the path as far as the returned count and its
// first NUL, up to and including its last backslash, or whole without one. A backslash that is the
// second byte of a double-byte character (lead bytes as set with fuzz_platform_set_lead_bytes) does not
// count. *trusted is false when
// the path was cut (count >= capacity; the folder is then empty) or when the folder leaves no room
// for "Tovinel.ini" in 260 bytes.
std::string expected_folder(const fuzz_call& module_name, bool* trusted);

// The folder a Run starting with a backslash counts from: "\\server\share" for a folder starting with
// two backslashes (up to its fourth backslash, or its third when it has only three; unchanged with
// fewer; a 0x5C trail byte is no backslash), else the first two bytes ("D:") of a folder longer than
// two bytes.
std::string root_of(const std::string& folder);
