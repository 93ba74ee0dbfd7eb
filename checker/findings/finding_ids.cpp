// Tovinel check: every finding id the checker can report. Ids never change meaning once published:
// scripts match them (--ignore, the JSON report's "id"), and docs/tovinel-check.schema.json lists them.
#include "findings/report.h"

#include <algorithm>
#include <cstring>

#include "formats/ini_scan.h"

namespace {

const char* const finding_ids[] = {
    "autorun-bypasses-launcher",
    "autorun-icon-missing",
    "autorun-label-long",
    "autorun-missing",
    "autorun-no-program",
    "autorun-not-launcher",
    "autorun-section-unknown",
    "command-too-long",
    "encoding-utf16",
    "encoding-utf16-big-endian",
    "encoding-utf16-unmarked",
    "encoding-utf8",
    "encoding-utf8-mark",
    "folder-blank",
    "hash-comment",
    "image-name",
    "image-not-read",
    "ini-folder",
    "ini-missing",
    "ini-name-case",
    "ini-starts-nothing",
    "ini-too-large",
    "insertion-starts-nothing",
    "installed-empty",
    "installed-not-program",
    "installed-program-missing",
    "installed-program-not-program",
    "installed-too-long",
    "installed-unbalanced-quote",
    "installed-unquoted-blank",
    "installed-variables",
    "key-outside-section",
    "key-repeated",
    "key-unknown",
    "key-wrong-section",
    "launcher-folder-codepage",
    "launcher-installer-name",
    "launcher-installer-record",
    "launcher-missing",
    "launcher-not-program",
    "launcher-not-tovinel",
    "regkey-comment",
    "regkey-cut",
    "regkey-empty-name",
    "regkey-forward-slash",
    "regkey-leading-backslash",
    "regkey-other-view",
    "regkey-root",
    "run-blank",
    "run-cut",
    "run-folder",
    "run-forward-slash",
    "run-full-path",
    "run-missing",
    "run-no-extension",
    "run-not-program",
    "run-not-program-document",
    "run-not-program-msi",
    "run-program-16-bit",
    "run-program-64-bit",
    "run-program-dll",
    "run-program-dos",
    "run-program-other-machine",
    "run-quoted",
    "section-repeated",
    "section-unknown",
    "start-not-number",
    "value-comment",
    "window-class-cut",
    "window-title-cut",
    "window-title-without-class"
};

}  // namespace

bool check_finding_id_known(const std::string& id)
{
    return std::any_of(std::begin(finding_ids), std::end(finding_ids),
                       [&](const char* known) { return id == known; });
}

std::vector<std::string> check_finding_ids_near(const std::string& id)
{
    std::vector<std::string> nearest;
    size_t best = 3;
    for (const char* known : finding_ids) {
        // A length that differs by more than two is more than two edits away, whatever was typed.
        size_t length = strlen(known);
        if (std::max(length, id.size()) - std::min(length, id.size()) >= best)
            continue;
        size_t distance = ini_name_distance(id, known);
        if (distance < best) {
            best = distance;
            nearest.clear();
        }
        if (distance == best)
            nearest.push_back(known);
    }
    return nearest;
}
