#include "commands.h"

#include "component/korvane.h"
#include "io/byte_source.h"
#ifdef KESTRUM_NO_QT
#include "render/image_decoder.h"
#else
#include "qt_draw_object.h"
#include "qt_image_decoder.h"
#include "qt_map.h"
#include "qt_text_measurer.h"
#endif

#include <cstdio>
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

Exit codes: 0 every object can be drawn, 1 usage error or unreadable file,
2 objects were left out or the file is damaged.
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
    map.CheckLogPath = logPath;
    int removed = 0;
    map.CheckObjectPainter = [&](const TQEVMapObjectMem& o) {
        try {
            map.PaintForCheck(o);
        } catch (...) {
            ++removed;
            throw;
        }
    };
    MapReadResult result;
    try {
        FileSource probe(path);
        result = map.LoadFromFile(path, true);
    } catch (const FileError& e) {
        std::fprintf(stderr, "kestrum check: %s\n", e.what());
        return kUsage;
    }
    std::printf("%s: %d objects drawn, %d left out", path.c_str(), map.Objects().count(), removed);
    if (removed) std::printf(" (see %s)", logPath.c_str());
    std::printf("\n");
    if (result.damage) {
        std::fprintf(stderr, "%s: damaged at byte %llu: %s\n", path.c_str(),
                     static_cast<unsigned long long>(result.damage->offset), result.damage->message.c_str());
        return kDamaged;
    }
    return removed ? kDamaged : kOk;
}

} // namespace kestrum::app
