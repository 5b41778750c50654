// kestrum without a toolkit: the commands that read, convert and check maps, for platforms
// where the Qt layer is not built (the Windows build). Output is byte for byte the Linux tool's.

#include "commands.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#ifdef _WIN32
#include "io/file_open.h"

#include <fcntl.h>
#include <io.h>
#endif

namespace {

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(kestrum::app::Args);
};

constexpr Command kCommands[] = {
    {"info", "print a map's header, dictionaries and objects", kestrum::app::infoCommand},
    {"check", "draw every object once and log those that cannot be drawn", kestrum::app::checkCommand},
    {"convert", "write a .mp, .mif or older .map as a version-14 .map", kestrum::app::convertCommand},
};

void usage(std::FILE* to) {
    std::fprintf(to, "usage: kestrum COMMAND [OPTIONS] FILE\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  %-15.*s %.*s\n", int(c.name.size()), c.name.data(), int(c.summary.size()),
                     c.summary.data());
    std::fprintf(to, "\nRun 'kestrum COMMAND --help' for a command's options.\n"
                     "Exit codes: 0 done, 1 usage error or unreadable file, 2 damaged file (what could be read is used).\n");
}

int run(const std::vector<std::string>& argv) {
    std::vector<std::string_view> args(argv.begin() + 1, argv.end());
    if (args.empty()) {
        usage(stderr);
        return kestrum::app::kUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        usage(stdout);
        return kestrum::app::kOk;
    }
    if (args[0] == "--version") {
        std::printf("kestrum 0.1\n");
        return kestrum::app::kOk;
    }
    for (const Command& c : kCommands) {
        if (c.name != args[0]) continue;
        try {
            return c.run(kestrum::app::Args(args).subspan(1));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kestrum %s: %s\n", std::string(c.name).c_str(), e.what());
            return kestrum::app::kUsage;
        }
    }
    std::fprintf(stderr, "kestrum: unknown command '%s'\n\n", std::string(args[0]).c_str());
    usage(stderr);
    return kestrum::app::kUsage;
}

} // namespace

#ifdef _WIN32
// The wide command line, so that a file name in any script arrives whole (the narrow one is in
// the ANSI code page), turned into the UTF-8 the core takes. Output in binary mode: "\n", not
// "\r\n", as the Linux tool writes it.
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(kestrum::pathToUtf8(std::filesystem::path(std::wstring(argv[i]))));
    return run(args);
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv, argv + argc));
}
#endif
