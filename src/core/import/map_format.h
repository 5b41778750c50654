#pragma once
// Which of the three map formats a file holds, told from its first bytes. A file's name is a
// hint: content decides, so a ".MP" saved as "x.txt" opens and a text file named "x.map" is
// refused with a message saying what it is not.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrum {

enum class MapFormat { Unknown, Map, Polish, Mif };

// "a .MAP map", "a Polish-format map", "a MIF file", "not a map"
std::string_view describeMapFormat(MapFormat f);

// By extension alone, in any letter case: what a host's detect string goes by.
MapFormat mapFormatFromExtension(std::string_view path);

// How many leading bytes `sniffMapFormat` looks at; fewer are fine.
inline constexpr std::size_t kMapSniffBytes = 64 * 1024;

// By content alone: a ".MAP" header with a version the reader knows (1 to 14), a Polish-format
// section line before anything else ("[IMG ID]", "[POLYGON]" ...), or a MIF header ("Version
// N" first, or "Columns" and "Data" lines). Unknown for anything else, an empty head included.
MapFormat sniffMapFormat(std::span<const uint8_t> head);

struct MapFileKind {
    MapFormat format = MapFormat::Unknown;
    // When `format` is Unknown: what the file is, after its name ("is a folder, not a map file").
    std::string problem;
    uint64_t size = 0;
};

// Looks at the file itself. Content decides; the name only settles what content cannot: a
// file named ".MAP" that is empty or shorter than a map header's version field (and does not
// begin like text) is taken as a cut ".MAP", so that its reader reports the damage. A file
// that cannot be read at all throws FileError.
MapFileKind identifyMapFile(const std::string& path);

} // namespace kestrum
