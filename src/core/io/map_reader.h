#pragma once
// Reader of ".MAP" files, format versions 1 to 14.
//
// The file's counts and lengths are never trusted: each one is checked against the bytes the
// stream still holds before anything is allocated or read. A file that lies yields the objects
// read before the damage and a diagnostic naming the byte offset.

#include "model/map_document.h"
#include "model/text_measure.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace kestrum {

class ByteSource;

struct ReadDiagnostic {
    uint64_t offset = 0;
    std::string message;
};

struct MapReadOptions {
    // Version 14 only: read at most this many top-level objects when above 0.
    int32_t limit = 0;
    // Percent read; fired every 100 top-level objects and once at the end.
    std::function<void(int percent)> progress;
    // Polled with the progress; true stops the read, keeping what was read.
    std::function<bool()> cancelled;
    const TextMeasurer* measurer = nullptr;
    FontNames fonts{"Arial Cyr", "Times New Roman Cyr"};
};

struct MapReadResult {
    std::optional<ReadDiagnostic> damage; // the first damage met; empty when the file read cleanly
    int droppedObjects = 0;               // damaged objects skipped (versions 13 and 14 go on after one)
    bool cancelled = false;
    // The version found when it is none this reader knows; the map is then empty, its header zero.
    std::optional<int32_t> unknownVersion;
};

// Version stored at offset 41, or nothing when fewer than 45 bytes are given.
std::optional<int32_t> sniffMapVersion(std::span<const uint8_t> head);

// Fills `doc` (cleared first) from the stream positioned at the header. A version outside 1..14
// leaves the map empty and is not damage. Corners of objects from version 8 on are computed
// from their data; the extent is left to the caller.
MapReadResult readMap(ByteSource& src, MapDocument& doc, const MapReadOptions& options = {});

} // namespace kestrum
