// Tovinel tests: runs tovinel-check as a child process, measured by the kernel's accounting of that
// child (rusage), never by a stopwatch around it.
#include "check_tool_run.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

tool_run run_check_tool(const std::vector<std::string>& arguments, unsigned limit_mib, unsigned guard_seconds)
{
    tool_run run;
    std::vector<std::string> full = {TOVINEL_CHECK};
    full.insert(full.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : full)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return run;
    pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], 1);
        dup2(pipe_ends[1], 2);
        close(pipe_ends[0]);
        if (limit_mib != 0) {
            rlimit limit{static_cast<rlim_t>(limit_mib) << 20, static_cast<rlim_t>(limit_mib) << 20};
            setrlimit(RLIMIT_AS, &limit);
        }
        alarm(guard_seconds);   // survives exec: SIGALRM ends a hung child
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, static_cast<size_t>(got));
    close(pipe_ends[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peak_kib = usage.ru_maxrss;
    run.timed_out = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> finding_lines(const std::string& output)
{
    std::vector<std::string> found;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == ' ' || line.back() != ']')
            continue;
        size_t id_start = line.rfind(" [");
        size_t where_end = line.find(": ");
        if (id_start == std::string::npos || where_end == std::string::npos || where_end > id_start)
            continue;
        found.push_back(line.substr(0, where_end) + " " + line.substr(id_start + 2, line.size() - id_start - 3));
    }
    return found;
}
