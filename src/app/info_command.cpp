#include "commands.h"
#include "map_json.h"
#include "map_loading.h"

#include "component/korvane.h"
#include "io/byte_source.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>

namespace kestrum::app {

namespace {

constexpr const char* kHelp = R"(usage: kestrum info [--json] FILE

Reads a map and prints what was read.

  --json      print everything as JSON (header, dictionaries, extent, objects)
  -h, --help  show this help

Without --json a short summary: header fields, dictionary sizes, objects by kind,
extent and load time. Map text is printed as UTF-8.

Exit codes: 0 read completely, 1 usage error, or a file that cannot be read or
is no map, 2 the file is damaged (what was read is printed; the damage goes to
standard error).
)";

void countKinds(const TQevMapList& list, std::map<std::string, int>& counts, int& nested, bool inGroup) {
    for (const TQEVMapObjectMem& o : list) {
        const std::string name = o.Kind < kKindCount ? std::string(kindName(o.Kind)) : "kind " + std::to_string(o.Kind);
        ++counts[name];
        if (inGroup) ++nested;
        if (const TQevMapList* kids = o.children()) countKinds(*kids, counts, nested, true);
    }
}

// The header as read: setting up the view from a damaged one changes its view fields.
MapHeader storedHeader(const TKorvane& map) {
    MapHeader h = map.Header();
    if (const TKorvane::StoredView& v = map.LastStoredView(); v.loaded) {
        h.Scale = v.Scale;
        h.XWind = v.XWind;
        h.YWind = v.YWind;
    }
    return h;
}

void printSummary(const std::string& path, const TKorvane& map, double ms) {
    const MapDocument& doc = map.Document();
    const MapHeader h = storedHeader(map);
    const CodePage cp = doc.codePage;
    std::printf("%s\n", path.c_str());
    std::printf("  version        %d\n", h.Version);
    std::printf("  name           %s\n", toUtf8(cp, h.NameMap.view()).c_str());
    std::printf("  created by     %s\n", toUtf8(cp, h.CreatedBy.view()).c_str());
    std::printf("  code page      %d", static_cast<int>(cp));
    if (const auto& src = doc.textSource)
        std::printf(" (the file declares %s; its text is %s)",
                    src->declaredCodePage ? std::to_string(src->declaredCodePage).c_str() : "none",
                    src->foundEncoding.c_str());
    std::printf("\n");
    std::printf("  scale          1:%d (view %.6g%% at %.9g, %.9g)\n", h.Mashtab, h.Scale, double{h.XWind},
                double{h.YWind});
    std::printf("  objects        %d (next ID %d)\n", doc.objects.count(), h.NextID);
    std::map<std::string, int> counts;
    int nested = 0;
    countKinds(doc.objects, counts, nested, false);
    for (const auto& [name, n] : counts) std::printf("    %-12s %d\n", name.c_str(), n);
    if (nested) std::printf(nested == 1 ? "    (%d of them inside a group)\n" : "    (%d of them inside groups)\n", nested);
    std::printf("  streets        %d (next code %d)\n", doc.streets.count(), h.NextStreetCode);
    std::printf("  towns          %d (next code %d)\n", doc.towns.count(), h.NextTownCode);
    const TMapRect& e = doc.extent;
    std::printf("  extent         %.9g, %.9g .. %.9g, %.9g\n", double{e.MinX}, double{e.MinY}, double{e.MaxX},
                double{e.MaxY});
    std::printf("  load time      %.1f ms\n", ms);
}

} // namespace

int infoCommand(Args args) {
    bool json = false;
    std::string path;
    for (std::string_view a : args) {
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        }
        if (a == "--json") {
            json = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "kestrum info: unknown option '%s'\n%s", std::string(a).c_str(), kHelp);
            return kUsage;
        } else if (path.empty()) {
            path = a;
        } else {
            std::fprintf(stderr, "kestrum info: one file at a time\n");
            return kUsage;
        }
    }
    if (path.empty()) {
        std::fputs(kHelp, stderr);
        return kUsage;
    }

    TKorvane map;
    LoadOutcome outcome;
    const auto t0 = std::chrono::steady_clock::now();
    try {
        outcome = loadAnyMap(map, path, LoadPurpose::Inspect);
    } catch (const FileError& e) {
        std::fprintf(stderr, "kestrum info: %s\n", e.what());
        return kUsage;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

    if (json)
        writeMapJson(std::cout, map.Document(), storedHeader(map));
    else
        printSummary(path, map, ms);
    std::cout.flush();

    return reportOutcome(outcome);
}

} // namespace kestrum::app
