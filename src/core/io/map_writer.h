#pragma once
// Writer of ".MAP" files in the current format version 14.

#include "model/map_document.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kestrum {

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual void write(const void* data, std::size_t n) = 0;
};

class VectorSink final : public ByteSink {
  public:
    void write(const void* data, std::size_t n) override {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + n);
    }
    std::vector<uint8_t> bytes;
};

// Writes the header (as version 14, with the object and dictionary counts of the document),
// the dictionaries in name order and every object with its blocks. Corners are not stored.
void writeMap(ByteSink& sink, const MapDocument& doc);

std::vector<uint8_t> writeMapToBytes(const MapDocument& doc);

// Writes to a temporary file beside `path` and renames it into place, so that a failed write
// never leaves a half-written map where a good one stood. Throws FileError.
void writeMapFile(const std::string& path, const MapDocument& doc);

} // namespace kestrum
