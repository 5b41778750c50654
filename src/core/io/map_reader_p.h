#pragma once
// The ".MAP" reader's inner parts, shared by its two halves: map_reader.cpp reads the header,
// the dictionaries and the object records; map_blocks.cpp the blocks that follow each record.

#include "io/byte_source.h"
#include "io/le.h"
#include "io/map_layout.h"
#include "io/map_reader.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace kestrum::map_reading {

// Real maps nest groups a few levels deep; the cap keeps a hostile file from exhausting the stack.
inline constexpr int kMaxGroupDepth = 256;
inline constexpr std::size_t kMaxInitialReserve = 1 << 16;

// Damage after which the stream position no longer tells where the next object starts.
struct StopReading {
    uint64_t offset;
    std::string message;
};

// Damage confined to one object whose blocks were all consumed: the next object can be read.
struct SkipObject {
    uint64_t offset;
    std::string message;
};

using RecordDecoder = void (*)(const uint8_t* record, TQEVMapObjectMem& obj);

// How one version differs from the current one beyond its field offsets.
struct VersionFormat {
    const map_layout::HeaderFields* header = nullptr;
    const map_layout::RecordFields* record = nullptr;
    RecordDecoder decodeRecord = nullptr;
    const map_layout::AddressFields* address = nullptr;
    const map_layout::BitmapFields* bitmap = nullptr;
    bool fixedText = false; // text form T
    int noteForm = 0;       // 1: N1, 2: N2, 0: variable block
    bool fontSizeInt = false;
    bool angleInDegrees = false;
    bool trimText = false;
    bool cornersStored = false;
    bool childLists = false; // groups followed by their children
};

VersionFormat formatOf(int32_t version);

template <class T>
T at(const uint8_t* rec, std::size_t offset) {
    return le::load<T>(rec + offset);
}

template <std::size_t N>
void loadShort(ShortString<N>& dst, const uint8_t* p, std::size_t storedCapacity) {
    // Strings of older layouts are shorter than the in-memory ones: copy what the length covers.
    const std::size_t n = std::min<std::size_t>(p[0], std::min(storedCapacity, N));
    dst.assign(std::string_view(reinterpret_cast<const char*>(p + 1), n));
    if (storedCapacity == N) std::copy_n(p, N + 1, dst.bytes.begin()); // keep the bytes verbatim
}

inline std::string shortText(const uint8_t* p, std::size_t capacity) {
    const std::size_t n = std::min<std::size_t>(p[0], capacity);
    return std::string(reinterpret_cast<const char*>(p + 1), n);
}

class Reader {
  public:
    Reader(ByteSource& src, MapDocument& doc, const MapReadOptions& options)
        : m_src(src), m_doc(doc), m_options(options),
          m_measurer(options.measurer ? *options.measurer : defaultTextMeasurer()) {}

    MapReadResult run();

  private:
    void readExact(void* dst, std::size_t n, std::string_view what);
    void need(uint64_t n, std::string_view what, int64_t count);
    // A text or note block of the object's DataCount bytes into `bytes`; false when it has none.
    bool readVariableBlock(std::string& bytes, const TQEVMapObjectMem& obj, uint64_t recordStart,
                           std::string_view kind);
    void readHeader(uint8_t* buffer);
    void readDictionary(TMapDictionary& dict, int32_t count, std::string_view what);
    void readObjects(int32_t count, bool untilEnd);
    void readObject(TQEVMapObjectMem& obj, int depth);
    // The blocks after a record (map_blocks.cpp).
    void readAddress(TQEVMapObjectMem& obj);
    void readData(TQEVMapObjectMem& obj, int depth, uint64_t recordStart);
    void readPoints(TQEVMapObjectMem& obj, uint64_t recordStart);
    void readGroup(TQEVMapObjectMem& obj, int depth, uint64_t recordStart);
    void readText(TQEVMapObjectMem& obj, uint64_t recordStart);
    void readNote(TQEVMapObjectMem& obj, uint64_t recordStart);
    void readBitmap(TQEVMapObjectMem& obj, uint64_t recordStart);
    // A negative count: fatal in the older versions, one lost object in 13 and 14.
    [[noreturn]] void badCount(uint64_t offset, std::string message) const;
    void noteDamage(uint64_t offset, std::string message);
    void reportProgress(bool force);

    ByteSource& m_src;
    MapDocument& m_doc;
    const MapReadOptions& m_options;
    const TextMeasurer& m_measurer;
    MapReadResult m_result;
    VersionFormat m_format{};
    int32_t m_version = 0;
    int64_t m_counter = 0; // top-level objects read
    int64_t m_expected = 0;
};

} // namespace kestrum::map_reading
