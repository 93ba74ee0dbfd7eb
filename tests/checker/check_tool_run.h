// Tovinel tests: runs tovinel-check as a child process and reads what it printed, for the tables
// of test_check_tool.cpp, test_check_findings.cpp and test_check_hostile.cpp.
#pragma once

#include <string>
#include <vector>

// Set in a build under AddressSanitizer, which reserves terabytes of address space: no address-space
// limit, and no memory bounds, fit such a child.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOVINEL_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(TOVINEL_SANITIZED)
#define TOVINEL_SANITIZED 1
#endif
#if !defined(TOVINEL_SANITIZED)
#define TOVINEL_SANITIZED 0
#endif

struct tool_run {
    int exit_code = -1;            // -1: the tool did not exit normally (a signal, a limit)
    std::string output;            // standard output and error together
    double cpu_seconds = 0;        // user and system time of the child
    long peak_kib = 0;             // its largest resident set
    bool timed_out = false;        // killed after the wall-clock guard
};

// Runs the tool with `arguments`; with `limit_mib` != 0 its address space is limited to that.
// A guard of `guard_seconds` of wall-clock time kills a hung child (a FIFO read blocks with no CPU).
tool_run run_check_tool(const std::vector<std::string>& arguments, unsigned limit_mib = 0,
                        unsigned guard_seconds = 60);

// The finding lines of the output, each as "FILE[:LINE] ID" in output order.
std::vector<std::string> finding_lines(const std::string& output);
