#pragma once
// Import of MapInfo interchange files: a ".MIF" with the header and the graphic objects, and
// its companion ".MID" with one row of attribute values per object, read in step.
//
// Regions become polygons (one per ring), polylines lines (one per section), lines and arcs
// lines, rectangles and rounded rectangles polygons, ellipses ellipses, texts texts, and points
// notes showing their MapInfo symbol; the parts of a collection are kept like the objects they
// are. Styles are each object's own clauses, else MapInfo's defaults; pen widths are screen
// pixels. The Charset names the map's code page (for UTF-8, the letters used choose it). From
// the attributes only an address (town, street, house) is taken, found by the names of the
// columns. Coordinates are scaled, never projected: degrees
// of longitude/latitude files become millionths of a degree, projected and non-earth units
// are taken as they are, and Y is negated (the map's Y axis points south).
//
// Nothing in the files is trusted. Damage yields the objects read so far and after it, plus a
// problem naming the file, the line and what was wrong; it never throws, crashes or allocates
// more than the files themselves could describe.

#include "import/import_result.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrum {

class ByteSource;
class TObjectSink;

struct MifImportOptions {
    // Size of the blocks both files are read in.
    std::size_t blockBytes = std::size_t{1} << 20;
    // A longer line is cut there and reported: no real MIF or MID line comes near, and the cap
    // bounds memory on input that is not text at all.
    std::size_t maxLineBytes = std::size_t{16} << 20;
};

// Appends the objects of `mif` (and the addresses of `mid`, when given) to the sink's document
// (component/korvane_import.h posts into a map component). `mifName` and `midName` only name
// the files in problems; an empty `midName` is derived from `mifName`. Reports the share of the
// MIF read to the sink's progress and stops when its cancel answers true, keeping what was
// posted. Failures of the sources
// themselves (FileError) end the import as a problem, not an exception.
ImportResult ImportMIF(TObjectSink& sink, ByteSource& mif, ByteSource* mid, const std::string& mifName,
                       const std::string& midName = {}, const MifImportOptions& options = {});

// The MID beside a MIF: same folder and name, extension "mid" in any letter case ("a.MIF" finds
// "a.MID", "a.mid" or "a.Mid"). Nothing when there is none.
std::optional<std::filesystem::path> findMidBeside(const std::filesystem::path& mifPath);

// Opens `mifPath` and the MID beside it, and imports them. A MIF that cannot be opened throws
// FileError; a MID that cannot be opened is a problem, and the objects come without addresses.
ImportResult ImportMIFFile(TObjectSink& sink, const std::filesystem::path& mifPath);

// Cheap check of the first bytes of a file: true when they look like a MIF header.
bool sniffMIF(std::string_view head);

// The stored text angle (tenths of a degree) for a MIF angle in degrees on the ground: the
// angle is squeezed as the map's unequal axis scales squeeze it (a fixed factor of 0.6 on the
// tangent), keeping its quadrant.
int32_t mifTextAngle(double degrees);

// A MIF pen width in screen pixels: 1 to 7 are pixels, 11 and above (width - 10) / 10 points.
// Imported pens carry kPenWidthPixels, so they are drawn as wide at every zoom.
float mifPenPixels(double width);

// MIF pattern numbers to the map's pen and brush styles.
uint8_t mifPenStyle(int64_t pattern);
uint8_t mifBrushStyle(int64_t pattern);

} // namespace kestrum
