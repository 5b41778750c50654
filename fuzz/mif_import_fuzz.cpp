// Any pair of MIF and MID texts must import without crashing, leaking or hanging, and the
// result must not depend on where the block reads fall. One input carries both files: the MIF,
// then the separator line below, then the MID; without the separator there is no MID.

#include "import/document_sink.h"
#include "import/mif_import.h"
#include "io/byte_source.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string_view>

using namespace kestrum;

namespace {

constexpr std::string_view kSeparator = "\n%%MID%%\n";

struct Run {
    ImportResult result;
    std::size_t points = 0;
};

// Into a bare document, through the sink every import posts to: a text parser is fuzzed without
// a map component around it.
Run importOnce(std::string_view mif, std::optional<std::string_view> mid, std::size_t block) {
    MapDocument doc;
    TDocumentSink sink(doc);
    MemorySource mifSrc({reinterpret_cast<const uint8_t*>(mif.data()), mif.size()});
    std::optional<MemorySource> midSrc;
    if (mid) midSrc.emplace(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(mid->data()), mid->size()));
    MifImportOptions options;
    options.blockBytes = block;
    options.maxLineBytes = 4096;
    Run run;
    run.result = ImportMIF(sink, mifSrc, midSrc ? &*midSrc : nullptr, "fuzz.mif", "fuzz.mid", options);
    if (run.result.objects != doc.objects.count() || doc.header.ObjectCount != doc.objects.count()) {
        std::fprintf(stderr, "%d objects reported, %d in the map\n", run.result.objects, doc.objects.count());
        std::abort();
    }
    for (const TQEVMapObjectMem& o : doc.objects) {
        for (const TMapPoint& p : o.points()) {
            if (!std::isfinite(p.X) || !std::isfinite(p.Y)) {
                std::fprintf(stderr, "a point that is no place\n");
                std::abort();
            }
            ++run.points;
        }
    }
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t sep = all.find(kSeparator);
    const std::string_view mif = all.substr(0, sep);
    std::optional<std::string_view> mid;
    if (sep != std::string_view::npos) mid = all.substr(sep + kSeparator.size());

    const Run whole = importOnce(mif, mid, std::size_t{1} << 20);
    // Tiny blocks put a block boundary inside nearly every line and line end.
    const Run tiny = importOnce(mif, mid, 7);
    const ImportResult& a = whole.result;
    const ImportResult& b = tiny.result;
    if (a.objects != b.objects || a.records != b.records || a.skipped != b.skipped || a.problems != b.problems ||
        a.warnings != b.warnings || whole.points != tiny.points) {
        std::fprintf(stderr, "block size changes the result: %d/%d objects, %d/%d records, %d/%d problems\n",
                     a.objects, b.objects, a.records, b.records, a.problems, b.problems);
        std::abort();
    }
    return 0;
}
