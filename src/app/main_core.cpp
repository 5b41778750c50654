// kestrum without a toolkit: the commands that read, convert and check maps, for platforms
// where the Qt layer is not built (the Windows build). Output is byte for byte the Linux tool's.

#include "dispatch.h"

#include <string>
#include <vector>

#ifdef _WIN32
#include "io/file_open.h"

#include <fcntl.h>
#include <io.h>
#endif

namespace {

using kestrum::app::Command;

constexpr Command kCommands[] = {
    {"info", "print a map's header, dictionaries and objects", kestrum::app::infoCommand},
    {"check", "draw every object once and log those that cannot be drawn", kestrum::app::checkCommand},
    {"convert", "write a .mp, .mif or older .map as a version-14 .map", kestrum::app::convertCommand},
};

int run(const std::vector<std::string>& argv) {
    return kestrum::app::dispatch(kCommands, std::vector<std::string_view>(argv.begin() + 1, argv.end()));
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
