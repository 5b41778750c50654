#include "commands.h"
#include "map_loading.h"

#include "component/korvane.h"
#include "io/byte_source.h"
#include "io/file_open.h"
#ifdef KESTRUM_NO_QT
#include "image/image_decoder.h"
#else
#include "qt_draw_object.h"
#include "qt_image_decoder.h"
#include "qt_map.h"
#include "qt_text_measurer.h"
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <string>

namespace kestrum::app {

namespace {

constexpr const char* kHelp = R"(usage: kestrum check FILE [--log PATH]

Reads a map and draws every object once off screen. Objects that cannot be
drawn are written to a log (by default "errors.log" in the current folder,
created anew) and left out. The map file itself is never changed.

  --log PATH   write the log here instead
  -h, --help   show this help

Exit codes: 0 every object can be drawn, 1 usage error, a file that cannot be
read or is no map, or a log that cannot be written, 2 objects were left out or
the file is damaged. No log is left when every object can be drawn.
)";

} // namespace

int checkCommand(Args args) {
    std::string path, logPath = "errors.log";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        }
        if (a == "--log") {
            if (i + 1 >= args.size()) return std::fputs("kestrum check: --log needs a path\n", stderr), kUsage;
            logPath = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "kestrum check: unknown option '%s'\n%s", std::string(a).c_str(), kHelp);
            return kUsage;
        } else if (path.empty()) {
            path = a;
        } else {
            return std::fputs("kestrum check: one file at a time\n", stderr), kUsage;
        }
    }
    if (path.empty()) {
        std::fputs(kHelp, stderr);
        return kUsage;
    }
#ifdef KESTRUM_NO_QT
    // Without a toolkit the core draws into its null back end, bitmaps through its own codec.
    const CoreImageDecoder decoder;
    TKorvane map;
    map.SetImageDecoder(&decoder);
#else
    QtMap qtMap;
    TKorvane& map = qtMap.map;
#endif
    LoadOutcome outcome;
    try {
        outcome = loadAnyMap(map, path, LoadPurpose::Inspect);
    } catch (const FileError& e) {
        std::fprintf(stderr, "kestrum check: %s\n", e.what());
        return kUsage;
    }
    // The log is opened before drawing so that a path that cannot take it fails the check
    // instead of losing the list of objects left out.
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path logName = pathFromUtf8(logPath);
    if (fs::is_directory(logName, ec) || !std::ofstream(logName, std::ios::binary | std::ios::app)) {
        std::fprintf(stderr, "kestrum check: %s: cannot write the log: %s\n", logPath.c_str(),
                     fs::is_directory(logName, ec) ? "is a folder" : std::strerror(errno));
        return kUsage;
    }
    const int removed = map.CheckObjects(logPath);
    if (removed == 0) {
        // Nothing failed: no log, rather than an empty one that reads like a failed run.
        fs::remove(logName, ec);
    } else if (fs::file_size(logName, ec) == 0 || ec) {
        std::fprintf(stderr, "kestrum check: %s: the log could not be written\n", logPath.c_str());
        return kUsage;
    }
    std::printf("%s: %s drawn, %d left out", path.c_str(), counted(map.Objects().count(), "object", "objects").c_str(),
                removed);
    if (removed) std::printf(" (see %s)", logPath.c_str());
    std::printf("\n");
    std::fflush(stdout);
    const int loadCode = reportOutcome(outcome);
    return removed ? kDamaged : loadCode;
}

} // namespace kestrum::app
