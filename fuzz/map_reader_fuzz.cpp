// Any byte string must load without crashing, leaking or hanging, through the reader alone and
// through the component; whatever was loaded must write back into a file that reads cleanly.

#include "component/korvane.h"
#include "io/byte_source.h"
#include "io/map_reader.h"
#include "io/map_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

using namespace kestrum;

namespace {

[[noreturn]] void fail(const char* what, const MapReadResult& r) {
    std::fprintf(stderr, "%s", what);
    if (r.damage) std::fprintf(stderr, ": at byte %llu: %s", static_cast<unsigned long long>(r.damage->offset),
                               r.damage->message.c_str());
    std::fprintf(stderr, " (%d objects dropped)\n", r.droppedObjects);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);

    MapDocument doc;
    MemorySource src(bytes);
    readMap(src, doc);

    // One component for the whole run, as a viewer opens file after file: a fresh one per input
    // would spend most of the time building its class sets and drawing buffers.
    static TKorvane& map = *new TKorvane;
    MemorySource again(bytes);
    map.LoadFromStream(again);

    // Only a version the reader knows yields a map worth writing back.
    if (doc.header.Version < 1 || doc.header.Version > kCurrentMapVersion) return 0;
    const std::vector<uint8_t> written = writeMapToBytes(doc);
    MapDocument reread;
    MemorySource writtenSrc(written);
    const MapReadResult r = readMap(writtenSrc, reread);
    if (r.damage || r.droppedObjects != 0) fail("a written map does not read back cleanly", r);
    // Version 14 carries everything it reads, so a second write must repeat the first.
    const std::vector<uint8_t> rewritten = writeMapToBytes(reread);
    if (rewritten != written) {
        const auto diff = std::mismatch(written.begin(), written.end(), rewritten.begin(), rewritten.end());
        std::fprintf(stderr, "first difference at byte %td of %zu / %zu\n", diff.first - written.begin(),
                     written.size(), rewritten.size());
        fail("a written map changes when read and written again", r);
    }
    return 0;
}
