// Tovinel check, command line and reports: the report as one JSON object, for pipelines
// (--format=json). Its form is docs/tovinel-check.schema.json; json_report_version changes whenever
// that form does.
#pragma once

#include <string>
#include <vector>

#include "check/check.h"

const unsigned json_report_version = 3;

// `text` (UTF-8, possibly not well-formed) as a JSON string literal, quotes included: control bytes
// escaped, each byte that begins no well-formed UTF-8 character replaced by U+FFFD.
std::string json_string(const std::string& text);

// A finding's message for people, the Windows it concerns first when that is not every one the
// check plays: "Windows 95, NT 4: Run names ...".
std::string finding_message(const check_finding& finding, platform_set universe);

// The report of a check of the medium in options.medium_dir (`description`: what it is, an image's
// kind included), with `machine` as the text output's "Machine:" line and `exit_code` as the tool
// returns it. UTF-8, ending in a line break.
std::string json_report(const check_options& options, const std::string& description, const check_report& report,
                        const std::string& machine, int exit_code);

// The reports of one medium checked in several code pages (`reports`: json_report's text for each of
// `codepages`, in that order) as one object, with the worst exit code.
std::string json_reports(const std::vector<unsigned>& codepages, const std::vector<std::string>& reports, int exit_code);
