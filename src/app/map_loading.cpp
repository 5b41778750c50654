#include "map_loading.h"

#include "commands.h"
#include "component/viewer_setup.h"
#include "component/korvane_import.h"
#include "io/byte_source.h"
#include "io/file_open.h"

#include <cstdio>

namespace kestrum::app {

namespace {

std::string where(const ImportProblem& p) { return p.file + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": "; }

void fromImport(LoadOutcome& out, const ImportResult& r) {
    if (r.firstProblem) {
        out.damaged = true;
        out.damage = where(*r.firstProblem) + r.firstProblem->message;
        if (r.problems > 1) out.damage += " (and " + counted(r.problems - 1, "more problem", "more problems") + ")";
    }
    if (r.firstWarning) {
        out.warning = where(*r.firstWarning) + r.firstWarning->message;
        if (r.warnings > 1) out.warning += " (and " + std::to_string(r.warnings - 1) + " more)";
    }
}

} // namespace

MapFormat checkMapFile(const std::string& path) {
    const MapFileKind kind = identifyMapFile(path);
    if (kind.format == MapFormat::Unknown) throw FileError(path + ": " + kind.problem);
    return kind.format;
}

LoadOutcome loadAnyMap(TKorvane& map, const std::string& path, LoadPurpose purpose) {
    LoadOutcome out;
    const MapFormat format = checkMapFile(path);
    if (format == MapFormat::Polish || format == MapFormat::Mif) {
        map.BeginUpdate();
        const ImportResult r =
            format == MapFormat::Polish ? ImportPolishFile(map, path, builtinPolishStyles()) : ImportMIFFile(map, pathFromUtf8(path));
        fromImport(out, r);
        if (purpose == LoadPurpose::View) {
            if (format == MapFormat::Mif) map.Options.mpLineWidthMin(0);
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
        if (r.droppedObjects)
            out.damage += " (" + counted(r.droppedObjects, "damaged object", "damaged objects") + " skipped)";
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
