#pragma once
// The command table and dispatch that every build of the tool shares; each build brings its
// own table (the Qt-free build has fewer commands).

#include "commands.h"

#include <cstdio>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::app {

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(Args);
};

inline void printUsage(std::FILE* to, std::span<const Command> commands) {
    std::fprintf(to, "usage: kestrum COMMAND [OPTIONS] FILE\n\nCommands:\n");
    for (const Command& c : commands)
        std::fprintf(to, "  %-15.*s %.*s\n", int(c.name.size()), c.name.data(), int(c.summary.size()),
                     c.summary.data());
    std::fprintf(to, "\nRun 'kestrum COMMAND --help' for a command's options.\n"
                     "Exit codes: 0 done, 1 usage error, or a file that cannot be read or is no map,\n"
                     "2 damaged file (what could be read is used). See also: man kestrum\n");
}

// `args` without the program's own name.
inline int dispatch(std::span<const Command> commands, std::vector<std::string_view> args) {
    if (args.empty()) {
        printUsage(stderr, commands);
        return kUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(stdout, commands);
        return kOk;
    }
    if (args[0] == "--version") {
        std::printf("kestrum 0.1\n");
        return kOk;
    }
    for (const Command& c : commands) {
        if (c.name != args[0]) continue;
        try {
            return c.run(Args(args).subspan(1));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kestrum %s: %s\n", std::string(c.name).c_str(), e.what());
            return kUsage;
        }
    }
    std::fprintf(stderr, "kestrum: unknown command '%s'\n\n", std::string(args[0]).c_str());
    printUsage(stderr, commands);
    return kUsage;
}

} // namespace kestrum::app
