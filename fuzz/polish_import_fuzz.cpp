// Any text must import as a Polish-format file without crashing, leaking or hanging, the result
// must not depend on where the block reads fall, and every object made must be one the map can
// draw. The same bytes also go through the style table's parser.

#include "import/document_sink.h"
#include "import/polish_import.h"
#include "import/polish_styles.h"
#include "io/byte_source.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace kestrum;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

struct Run {
    ImportResult result;
    std::size_t points = 0;
};

// Into a bare document, through the sink every import posts to: a text parser is fuzzed without
// a map component around it.
Run importOnce(std::string_view text, std::size_t block) {
    MapDocument doc;
    TDocumentSink sink(doc);
    MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    PolishImportOptions options;
    options.blockBytes = block;
    options.maxLineBytes = 4096;
    Run run;
    run.result = ImportPolish(sink, src, builtinPolishStyles(), "fuzz.mp", options);
    if (run.result.objects != doc.objects.count() || doc.header.ObjectCount != doc.objects.count())
        fail("objects reported and objects in the map differ");
    for (const TQEVMapObjectMem& o : doc.objects) {
        switch (o.Kind) {
        case cText:
            if (!o.text() || o.text()->Text.empty()) fail("a text without text");
            break;
        case cZametka:
            if (!o.note() || o.note()->IconName.empty()) fail("a note without a picture");
            break;
        case cLine:
        case cPolygon:
            if (o.points().empty()) fail("a line or polygon without points");
            break;
        default:
            fail("an object of a kind the importer does not make");
        }
        for (const TMapPoint& p : o.points()) {
            if (!std::isfinite(p.X) || !std::isfinite(p.Y)) fail("a point that is no place");
            ++run.points;
        }
    }
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const StyleTable table = StyleTable::parse(text);
    for (const StyleTable::Row& row : table.rows())
        if (table.find(row.key) == nullptr) fail("a row of the table is not found by its key");

    const Run whole = importOnce(text, std::size_t{1} << 20);
    // Tiny blocks put a block boundary inside nearly every line and line end.
    const Run tiny = importOnce(text, 7);
    const ImportResult& a = whole.result;
    const ImportResult& b = tiny.result;
    if (a.objects != b.objects || a.records != b.records || a.skipped != b.skipped ||
        a.problems != b.problems || a.warnings != b.warnings || whole.points != tiny.points) {
        std::fprintf(stderr, "block size changes the result: %d/%d objects, %d/%d records, %d/%d problems\n",
                     a.objects, b.objects, a.records, b.records, a.problems, b.problems);
        std::abort();
    }
    return 0;
}
