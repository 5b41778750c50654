// Any byte string must read as an icon library (and, taken whole, as a bitmap) without
// crashing, leaking or allocating beyond what it holds. The library component must agree with
// the file reader, every picture must decode or be refused, and what was read must write back
// into a file that reads the same again.

#include "image/bmp_codec.h"
#include "icons/icon_file.h"
#include "icons/qev_icon.h"
#include "io/byte_source.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using namespace kestrum;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

bool samePictures(const IconLibraryFile& a, const IconLibraryFile& b) {
    if (a.pictures.size() != b.pictures.size()) return false;
    for (std::size_t i = 0; i < a.pictures.size(); ++i) {
        const IconPicture &p = a.pictures[i], &q = b.pictures[i];
        if (p.header.name != q.header.name || p.header.transparentColor != q.header.transparentColor ||
            p.header.transparent != q.header.transparent || p.data != q.data)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);

    BmpImage whole;
    if (decodeBmp(bytes, whole)) {
        // A bitmap we read must survive our writer unchanged.
        BmpImage again;
        if (!decodeBmp(encodeBmp(whole), again) || again.pixels != whole.pixels)
            fail("a decoded bitmap does not re-encode");
    }

    const IconLibraryFile file = readIconLibrary(bytes);
    if (file.bytesUsed > size) fail("the reader claims more bytes than it was given");

    TQevIconList lib;
    MemorySource src(bytes);
    lib.LoadFromStream(src);
    if (static_cast<std::size_t>(lib.Count()) != file.pictures.size())
        fail("the component and the reader disagree");
    if (lib.Header().pictureCount != lib.Count()) fail("the header does not count the pictures held");
    for (int i = 0; i < lib.Count(); ++i) {
        const TImage* img = lib.GetBitmapByIndex(i);
        BmpImage direct;
        const bool decodes = decodeBmp(lib.Picture(i).Data, direct);
        if ((img != nullptr) != decodes) fail("the cache and the decoder disagree on a picture");
        if (img && (img->width() != direct.width || img->height() != direct.height))
            fail("a cached bitmap has the wrong size");
    }

    if (!file.header || file.header->version != kIconLibraryVersion) return 0;
    const std::vector<uint8_t> written = writeIconLibrary(*file.header, file.pictures);
    const IconLibraryFile reread = readIconLibrary(written);
    if (reread.damage || reread.bytesUsed != written.size())
        fail("a written library does not read back cleanly");
    if (!samePictures(file, reread) || reread.header->name != file.header->name)
        fail("a written library reads back changed");
    return 0;
}
