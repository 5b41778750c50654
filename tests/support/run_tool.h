#pragma once
// Runs the command-line tool as a user would, with its exit status and everything it printed.

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kestrum::test {

struct ToolRun {
    int status = -1;
    std::string out; // stdout and stderr together
};

// `args` follows the program name as a shell would split it: quote paths. `env` goes before the
// program (variable assignments, or `env -u NAME `), ending in a blank.
inline ToolRun runTool(const std::string& args, const std::string& env = "") {
    ToolRun r;
    // Leak reports of the sanitizers belong to other tests; keep them out of exit codes here.
    const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 " + env + "'" + KESTRUM_TOOL + "' " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) r.out += buf;
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace kestrum::test
