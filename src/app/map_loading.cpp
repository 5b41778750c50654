#include "map_loading.h"

#include "commands.h"
#include "component/viewer_setup.h"
#include "import/mif_import.h"
#include "import/polish_import.h"
#include "io/byte_source.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace kestrum::app {

namespace {

std::string upperExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return ext;
}

void fromImport(LoadOutcome& out, const ImportResult& r) {
    if (r.firstProblem) {
        out.damaged = true;
        const ImportProblem& p = *r.firstProblem;
        out.damage = p.file + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": " + p.message;
        if (r.problems > 1) out.damage += " (and " + std::to_string(r.problems - 1) + " more problems)";
    }
    if (r.firstWarning) {
        const ImportProblem& p = *r.firstWarning;
        out.warning = p.file + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": " + p.message;
        if (r.warnings > 1) out.warning += " (and " + std::to_string(r.warnings - 1) + " more)";
    }
}

} // namespace

LoadOutcome loadAnyMap(TKorvane& map, const std::string& path, LoadPurpose purpose) {
    LoadOutcome out;
    FileSource probe(path); // a clear message for files that cannot be read at all
    const std::string ext = upperExtension(path);
    if (ext == ".MP" || ext == ".MIF") {
        map.BeginUpdate();
        const ImportResult r = ext == ".MP" ? ImportPolishFile(map, path, builtinPolishStyles()) : ImportMIFFile(map, path);
        fromImport(out, r);
        if (purpose == LoadPurpose::View) {
            if (ext == ".MIF") map.Options.mpLineWidthMin(0);
            FinishImportForViewing(map);
        } else {
            map.RecomputeExtent();
        }
        map.EndUpdate();
        return out;
    }
    const MapReadResult r = purpose == LoadPurpose::View ? LoadMapForViewing(map, path) : map.LoadFromFile(path);
    if (r.damage) {
        out.damaged = true;
        out.damage = path + ": damaged at byte " + std::to_string(r.damage->offset) + ": " + r.damage->message;
        if (r.droppedObjects) out.damage += " (" + std::to_string(r.droppedObjects) + " damaged objects skipped)";
    }
    if (r.unknownVersion)
        out.warning = path + ": unknown map format version " + std::to_string(*r.unknownVersion) + ": nothing was read";
    return out;
}

int reportOutcome(const LoadOutcome& outcome) {
    if (!outcome.warning.empty()) std::fprintf(stderr, "%s\n", outcome.warning.c_str());
    if (outcome.damaged) {
        std::fprintf(stderr, "%s\n", outcome.damage.c_str());
        return kDamaged;
    }
    return kOk;
}

} // namespace kestrum::app
