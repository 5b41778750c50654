#include "commands.h"
#include "map_loading.h"

#include "io/byte_source.h"
#include "io/file_open.h"
#include "component/korvane_import.h"
#include "io/map_writer.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace kestrum::app {

namespace {

constexpr const char* kHelp = R"(usage: kestrum convert IN OUT.map

Reads a map (.mp, .mif with its .mid, or .map of any version) and writes what was
read as a version-14 .map file. OUT is replaced only when the new file is complete.

Exit codes: 0 converted, 1 usage error, or an input that cannot be read or is no
map (nothing is written), or an output that cannot be written,
2 the input is damaged (what could be read is written; the damage goes to standard error).
)";

} // namespace

int convertCommand(Args args) {
    std::string in, out;
    for (std::string_view a : args) {
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        }
        if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "kestrum convert: unknown option '%s'\n%s", std::string(a).c_str(), kHelp);
            return kUsage;
        }
        if (in.empty()) in = a;
        else if (out.empty()) out = a;
        else return std::fputs("kestrum convert: IN and OUT only\n", stderr), kUsage;
    }
    if (in.empty() || out.empty()) {
        std::fputs(kHelp, stderr);
        return kUsage;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(pathFromUtf8(in), pathFromUtf8(out), ec)) {
        std::fputs("kestrum convert: OUT must not be IN\n", stderr);
        return kUsage;
    }
    TKorvane map;
    LoadOutcome outcome;
    try {
        outcome = loadAnyMap(map, in, LoadPurpose::Inspect);
        MapDocument& doc = map.Document();
        doc.header = map.Header();
        doc.header.Version = kCurrentMapVersion;
        doc.header.ObjectCount = map.Objects().count();
        // A .map file has no code page of its own: its readers take Windows-1251.
        if (const CodePage cp = doc.codePage; cp != CodePage::Cp1251)
            if (const int lossy = polish::recodeMap(map, CodePage::Cp1251))
                std::fprintf(stderr, "kestrum convert: %s: the map's text is in code page %d; %d texts lost letters Windows-1251 lacks\n",
                             out.c_str(), static_cast<int>(cp), lossy);
        writeMapFile(out, doc);
    } catch (const FileError& e) {
        std::fprintf(stderr, "kestrum convert: %s\n", e.what());
        return kUsage;
    }
    std::printf("%s: %s written\n", out.c_str(), counted(map.Objects().count(), "object", "objects").c_str());
    return reportOutcome(outcome);
}

} // namespace kestrum::app
