#pragma once
// Import of Polish-format map files (".MP"): plain text of bracketed sections, one map feature
// per section, coordinates in degrees of latitude and longitude and a hexadecimal type code per
// feature. Each usable section becomes map objects styled from a table keyed by type code and
// kind of feature; the type code becomes the object's ClassCode.
//
//   [POI] / [RGN10] / [RGN20]   a point: a text label, or a note with an icon
//   [POLYLINE] / [RGN40]         a line (cLine)
//   [POLYGON] / [RGN80]          a polygon (cPolygon)
//
// Coordinates are stored as millionths of a degree: X = longitude, Y = -latitude.
//
// Nothing in the file is trusted. Damage keeps the objects read before and after it and is
// reported with the file name and line; the import never throws on content, crashes, hangs or
// allocates more than the file itself holds.

#include "import/import_result.h"
#include "import/polish_styles.h"

#include <cstdint>
#include <span>
#include <string>

namespace kestrum {

class ByteSource;
class TObjectSink;

// Which icon library the notes of points name.
enum class PolishIconSource : uint8_t {
    // The map's built-in library "Default" (no "icons.lib" was found): each icon number of
    // the style table names the picture that shows its meaning (polish_icons.h); numbers the
    // table does not use show picture "39".
    BuiltIn,
    // The library file "icons.lib", loaded as "icons": picture N - 1 for every number.
    External,
};

struct PolishImportOptions {
    PolishIconSource icons = PolishIconSource::BuiltIn;
    // A longer line is damage: it is skipped and reported. Real coordinate lists stay far
    // below; the cap bounds memory on files that are not text at all.
    std::size_t maxLineBytes = std::size_t{256} << 20;
    // Size of the blocks the file is read in.
    std::size_t blockBytes = std::size_t{1} << 20;
};

// Appends the objects of a Polish-format file to the sink's document (component/korvane_import.h
// posts into a map component). `fileName` names the file in problems. Reports to the sink's
// progress whenever the share of the file read reaches another whole percent, and stops before
// the next section once its cancel answers true, keeping what was posted. Failures of the source itself
// (FileError) end the import as a problem, not an exception.
ImportResult ImportPolish(TObjectSink& sink, ByteSource& src, const StyleTable& styles,
                          const std::string& fileName, const PolishImportOptions& options = {});

// Opens and imports a file. A file that does not exist imports nothing and is no problem (the
// viewer then shows an empty map); one that exists but cannot be opened throws FileError.
ImportResult ImportPolishFile(TObjectSink& sink, const std::string& path, const StyleTable& styles,
                              const PolishImportOptions& options = {});

// Cheap check of the first bytes of a file: true when a line among them opens a section of
// the format ("[IMG ID]", "[POI]", "[POLYLINE]", "[POLYGON]" or "[RGNnn]").
bool sniffPolish(std::span<const uint8_t> head);

} // namespace kestrum
