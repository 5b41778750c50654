// kestrum: the command-line face of the map viewer.

#include "commands.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(kestrum::app::Args);
};

constexpr Command kCommands[] = {
    {"info", "print a map's header, dictionaries and objects", kestrum::app::infoCommand},
    {"render", "draw a map into a PNG or JPEG picture", kestrum::app::renderCommand},
    {"view", "open a map in the viewer window", kestrum::app::viewCommand},
    {"check", "draw every object once and log those that cannot be drawn", kestrum::app::checkCommand},
    {"convert", "write a .mp, .mif or older .map as a version-14 .map", kestrum::app::convertCommand},
    {"iconlib", "pack bitmaps into an icon library file, or list one", kestrum::app::iconlibCommand},
    {"install-plugin", "register the lister plug-in in Double Commander's configuration",
     kestrum::app::installPluginCommand},
};

void usage(std::FILE* to) {
    std::fprintf(to, "usage: kestrum COMMAND [OPTIONS] FILE\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  %-15.*s %.*s\n", int(c.name.size()), c.name.data(), int(c.summary.size()),
                     c.summary.data());
    std::fprintf(to, "\nRun 'kestrum COMMAND --help' for a command's options.\n"
                     "Exit codes: 0 done, 1 usage error, or a file that cannot be read or is no map,\n"
                     "2 damaged file (what could be read is used). See also: man kestrum\n");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
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
