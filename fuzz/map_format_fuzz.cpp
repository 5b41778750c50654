// Any bytes must be told apart without crashing, and the answer must agree with the readers:
// what is called a .MAP carries a version the reader knows, and the answer does not change
// when more of the same file follows (the tool looks at a bounded head of it).

#include "import/map_format.h"
#include "io/map_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using namespace kestrum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const MapFormat f = sniffMapFormat(bytes);
    if (f == MapFormat::Map) {
        const auto v = sniffMapVersion(bytes);
        if (!v || *v < 1 || *v > 14) {
            std::fprintf(stderr, "taken for a .MAP without a known version\n");
            std::abort();
        }
    }
    // A .MAP is told by its first 45 bytes alone.
    if (size >= 45 && (sniffMapFormat(bytes.first(45)) == MapFormat::Map) != (f == MapFormat::Map)) {
        std::fprintf(stderr, "a .MAP header told differently by more bytes\n");
        std::abort();
    }
    (void)describeMapFormat(f);
    return 0;
}
