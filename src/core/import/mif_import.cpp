#include "import/mif_import.h"

#include "component/korvane.h"
#include "import/mif_charset.h"
#include "import/mif_lines.h"
#include "import/mif_mid.h"
#include "io/byte_source.h"
#include "model/polygon_rings.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <system_error>
#include <utility>

namespace kestrum {

using namespace mif;

namespace {

// The smallest a point can take in the file ("0 0" and a line end), and a ring or section
// count line ("0" and a line end): a count larger than the rest of the file could hold lies.
constexpr uint64_t kMinBytesPerPoint = 4;
constexpr uint64_t kMinBytesPerPart = 2;
// MapInfo collections hold at most one region, one polyline and one point set.
constexpr int64_t kMaxCollectionParts = 3;
// Beyond this a coordinate is damage, not a place: it would defeat every extent and transform.
constexpr double kMaxCoordinate = 1e15;

// Nearest whole number, ties to even, as nearbyint gives it in the default rounding mode but
// without a library call per coordinate: adding and taking away 2^52 leaves no fraction bits.
inline double roundEven(double x) {
    constexpr double kTwo52 = 4503599627370496.0;
    if (!(std::fabs(x) < kTwo52)) return x; // already whole, or not a number at all
    const double big = std::copysign(kTwo52, x);
    return (x + big) - big;
}

enum class Pending : uint8_t { None, Region, Polyline, Text, Points, Unshown };

class MifImporter {
  public:
    MifImporter(TKorvane& map, ByteSource& mif, ByteSource* mid, std::string mifName, std::string midName,
                const MifImportOptions& options)
        : m_map(map), m_mifName(std::move(mifName)), m_midName(std::move(midName)),
          m_lines(mif, options.blockBytes, options.maxLineBytes), m_text(map.Document().codePage) {
        if (mid) m_mid.emplace(*mid, options.blockBytes, options.maxLineBytes);
    }

    ImportResult run() {
        try {
            fireProgress(0);
            if (readHeader()) readData();
            if (!m_cancelled) {
                emit();
                finishRecord();
                checkMidTail();
                if (m_lastPercent < 100) fireProgress(100);
            }
        } catch (const FileError& e) {
            m_result.addProblem(m_mifName, m_lines.lineNumber(), e.what());
        }
        m_result.cancelled = m_cancelled;
        return std::move(m_result);
    }

  private:
    // --- lines ---------------------------------------------------------------------------------

    bool fetch(std::string_view& line) {
        if (m_cancelled) return false;
        if (m_map.CancelRequested) {
            m_cancelled = true;
            return false;
        }
        if (!m_lines.next(line)) return false;
        if (m_lines.consumed() >= m_nextProgressAt) updateProgress();
        if (m_lines.lastWasCut()) problem([] { return std::string("an overlong line was cut (not a text file?)"); });
        return true;
    }

    // Blank lines between the lines of a clause carry nothing; some writers leave them.
    bool fetchNonBlank(std::string_view& line) {
        while (fetch(line))
            if (!isBlankLine(line)) return true;
        return false;
    }

    void updateProgress() {
        const uint64_t total = m_lines.total();
        const int percent =
            total ? static_cast<int>(static_cast<double>(m_lines.consumed()) * 100.0 / static_cast<double>(total) + 0.5)
                  : 100;
        if (percent > m_lastPercent) fireProgress(std::min(percent, 100));
        m_nextProgressAt = static_cast<uint64_t>((m_lastPercent + 0.5) * static_cast<double>(total) / 100.0) + 1;
    }

    void fireProgress(int percent) {
        m_lastPercent = percent;
        if (m_map.OnProgress) m_map.OnProgress(m_map, percent);
    }

    template <class F>
    void problem(F&& message) {
        if (!m_result.firstProblem) m_result.addProblem(m_mifName, m_lines.lineNumber(), message());
        else ++m_result.problems;
    }

    template <class F>
    void warning(const std::string& file, int64_t line, F&& message) {
        if (!m_result.firstWarning) m_result.addWarning(file, line, message());
        else ++m_result.warnings;
    }

    void noteText(TextDecoder::Outcome o, const std::string& file, int64_t line) {
        if (o == TextDecoder::Outcome::Replaced) {
            warning(file, line, [] {
                return std::string("characters the map's code page lacks were replaced by '?'");
            });
        } else if (o == TextDecoder::Outcome::Guessed && !m_guessNoted) {
            // One guess per file: the same assumption serves all its text.
            m_guessNoted = true;
            warning(file, line, [&] {
                const std::string what = m_charsetName.empty() ? std::string("no CHARSET is declared")
                                                               : "CHARSET \"" + m_charsetName + "\" is not convertible";
                return what + ": text read as UTF-8 where it is valid, else as in the map's code page";
            });
        }
    }

    // --- header --------------------------------------------------------------------------------

    static bool isObjectWord(std::string_view w) {
        for (std::string_view k : {"Point", "Line", "Pline", "Region", "Arc", "Text", "Rect", "RoundRect", "Ellipse",
                                   "MultiPoint", "Collection", "None"})
            if (equalsNoCase(w, k)) return true;
        return false;
    }

    // Reads up to the Data line; false at the end of the file.
    bool readHeader() {
        std::string_view line;
        m_text.setUnknown();
        while (fetch(line)) {
            std::string_view rest = line;
            const std::string_view word = takeWord(rest);
            if (word.empty()) continue;
            if (equalsNoCase(word, "Data")) return true;
            if (equalsNoCase(word, "Charset")) {
                readCharset(rest);
            } else if (equalsNoCase(word, "Delimiter")) {
                readDelimiter(rest);
            } else if (equalsNoCase(word, "CoordSys")) {
                readCoordSys(rest);
            } else if (equalsNoCase(word, "Columns")) {
                readColumns(rest);
            } else if (isObjectWord(word)) {
                problem([] { return std::string("objects begin without a DATA line"); });
                m_lines.pushBack();
                return true;
            }
            // Version, Unique, Index, Transform and whatever other tools add: nothing to take.
        }
        if (!m_cancelled) problem([] { return std::string("no DATA line: the file holds no objects"); });
        return false;
    }

    void readCharset(std::string_view rest) {
        bool unterminated = false;
        std::string name;
        if (!takeQuoted(rest, name, unterminated)) name = std::string(takeWord(rest));
        m_charsetName = name;
        m_text.setCharset(name);
        m_names.setCharset(name);
    }

    void readDelimiter(std::string_view rest) {
        bool unterminated = false;
        std::string d;
        if (takeQuoted(rest, d, unterminated) && d.size() == 1 && d[0] != '"' && d[0] != '\n' && d[0] != '\r') {
            m_address.setDelimiter(d[0]);
            return;
        }
        problem([&] {
            return "DELIMITER names no single character; the MID is split at tabs, MapInfo's default";
        });
    }

    void readCoordSys(std::string_view rest) {
        std::string_view r = rest;
        const std::string_view kind = takeWord(r);
        if (equalsNoCase(kind, "Earth")) {
            std::string_view p = r;
            int64_t projection = 0;
            if (equalsNoCase(takeWord(p), "Projection") && takeInteger(p, projection)) {
                m_scale = projection == 1 ? 1e6 : 1.0;
            } else {
                m_scale = 1e6; // an Earth system without a projection is longitude/latitude
            }
            return;
        }
        if (equalsNoCase(kind, "NonEarth") || equalsNoCase(kind, "Layout")) {
            m_scale = 1.0;
            return;
        }
        // The wayfinder world-borders export writes "Coordsys wgs84_latlon_deg" and, as the name
        // says, puts the latitude first on every coordinate line.
        std::string lower(trimmed(rest));
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (lower.find("latlon") != std::string::npos) {
            m_scale = 1e6;
            m_latFirst = true;
            return;
        }
        if (lower.find("lonlat") != std::string::npos || lower.find("longlat") != std::string::npos) {
            m_scale = 1e6;
            return;
        }
        // Unknown: the first coordinate decides (see toMap).
        m_scale = 0;
        m_coordSysText = std::string(trimmed(rest));
    }

    void readColumns(std::string_view rest) {
        int64_t declared = 0;
        if (!takeInteger(rest, declared) || declared < 0) {
            problem([] { return std::string("COLUMNS without a valid count"); });
            declared = 0;
        }
        const uint64_t room = m_lines.remaining() / kMinBytesPerPart;
        if (static_cast<uint64_t>(declared) > room) {
            problem([&] {
                return "COLUMNS declares " + std::to_string(declared) + " columns; the rest of the file holds at most " +
                       std::to_string(room);
            });
            declared = static_cast<int64_t>(room);
        }
        std::string_view line;
        for (int64_t i = 0; i < declared;) {
            if (!fetch(line)) return;
            if (isBlankLine(line)) continue;
            if (equalsNoCase(trimmed(line), "Data")) {
                problem([&] {
                    return "COLUMNS declares " + std::to_string(declared) + " columns; " + std::to_string(i) +
                           " found";
                });
                m_lines.pushBack();
                return;
            }
            m_names.convert(columnName(line), m_scratch);
            m_address.addColumn(m_scratch);
            ++i;
        }
    }

    // --- data ----------------------------------------------------------------------------------

    void readData() {
        std::string_view line;
        while (fetch(line)) {
            std::string_view rest = line;
            const std::string_view w = takeWord(rest);
            if (w.empty()) {
                if (startsWithNumber(line)) stray();
                continue;
            }
            m_strayRun = false;
            dispatch(w, rest);
        }
    }

    void stray() {
        if (m_strayRun) return;
        m_strayRun = true;
        problem([] { return std::string("numbers outside any object (an earlier count is wrong)"); });
    }

    void dispatch(std::string_view w, std::string_view rest) {
        const auto is = [&](std::string_view k) { return equalsNoCase(w, k); };
        if (is("Pen")) return readPen(rest);
        if (is("Brush")) return readBrush(rest);
        if (is("Symbol")) return readSymbol(rest);
        if (is("Font")) return readFont(rest);
        if (is("Angle")) return readAngle(rest);
        if (is("Region")) return readParts(rest, Pending::Region);
        if (is("Pline")) return readPline(rest);
        if (is("Point")) return readPoint(rest);
        if (is("MultiPoint")) return readMultiPoint(rest);
        if (is("Text")) return readText(rest);
        if (is("Line")) return readUnshown(rest, 4, true);
        if (is("Rect") || is("Ellipse")) return readUnshown(rest, 4, false);
        if (is("RoundRect")) return readUnshown(rest, 5, false);
        if (is("Arc")) return readUnshown(rest, 6, false);
        if (is("Collection")) return readCollection(rest);
        if (is("None")) return startObject(Pending::None, false);
        // Smooth, Center, Spacing, Justify, Label and clauses of other writers: nothing to take.
    }

    // A new object of the file: the pending one is made, and a top-level object takes its MID row.
    void startObject(Pending kind, bool mayBePart) {
        emit();
        if (mayBePart && m_partsLeft > 0) {
            --m_partsLeft;
        } else {
            m_partsLeft = 0;
            finishRecord();
            nextMidRow();
            ++m_result.records;
            m_inRecord = true;
        }
        m_kind = kind;
    }

    void finishRecord() {
        if (m_inRecord && !m_recordPosted) ++m_result.skipped;
        m_inRecord = false;
        m_recordPosted = false;
    }

    // A count on the rest of the clause line, or alone on the next line.
    bool readCount(std::string_view& rest, const char* what, int64_t& n) {
        if (takeInteger(rest, n)) return true;
        if (!isBlankLine(rest)) {
            problem([&] { return std::string(what) + " without a valid count"; });
            return false;
        }
        std::string_view line;
        if (!fetchNonBlank(line)) return false;
        std::string_view l = line;
        double ignored = 0;
        if (takeInteger(l, n) && !takeNumber(l, ignored)) return true;
        problem([&] { return std::string(what) + " without a valid count"; });
        m_lines.pushBack();
        return false;
    }

    // Whether a count fits the bytes left; reports the lie.
    void checkCount(int64_t n, uint64_t minBytes, const char* what, const char* unit) {
        const uint64_t room = (m_lines.remaining() + 1) / minBytes;
        if (n >= 0 && static_cast<uint64_t>(n) <= room) return;
        problem([&] {
            return std::string(what) + " declares " + std::to_string(n) + " " + unit +
                   "; the rest of the file holds at most " + std::to_string(room);
        });
    }

    // Up to `need` numbers from the rest of the clause line and then from following lines that
    // hold only numbers. Returns how many were found.
    int readNumbers(std::string_view rest, int need, double* out) {
        int got = 0;
        m_dotSeen = rest.find('.') != std::string_view::npos;
        while (got < need && takeNumber(rest, out[got])) ++got;
        std::string_view line;
        while (got < need) {
            if (!fetchNonBlank(line)) break;
            if (!startsWithNumber(line)) {
                m_lines.pushBack();
                break;
            }
            std::string_view l = line;
            m_dotSeen = m_dotSeen || line.find('.') != std::string_view::npos;
            while (got < need && takeNumber(l, out[got])) ++got;
        }
        return got;
    }

    // A file coordinate pair into whole map units, X east and Y north as written; false (and a
    // problem) for one that is no place.
    bool toUnits(double x, double y, double& sx, double& sy) {
        if (m_latFirst) std::swap(x, y);
        if (m_scale == 0) decideScale(x, y);
        // No CoordSys: MapInfo's own readers take degrees, files written by hand plain numbers;
        // the first coordinate tells, by its decimal point, for the whole file.
        if (m_scale < 0) m_scale = m_dotSeen ? 1e6 : 1.0;
        sx = roundEven(x * m_scale), sy = roundEven(y * m_scale);
        if (!(std::fabs(sx) <= kMaxCoordinate && std::fabs(sy) <= kMaxCoordinate)) {
            problem([&] { return std::string("coordinate out of any map's range"); });
            return false;
        }
        return true;
    }

    // The same as a map point: Y points south.
    bool toMap(double x, double y, TMapPoint& p) {
        double sx = 0, sy = 0;
        if (!toUnits(x, y, sx, sy)) return false;
        p = {static_cast<float>(sx), -static_cast<float>(sy)};
        return true;
    }

    // A coordinate system this importer does not know: a first point inside the range of degrees
    // makes it a longitude/latitude file, anything else projected.
    void decideScale(double x, double y) {
        const bool degrees = std::fabs(x) <= 360.0 && std::fabs(y) <= 90.0;
        m_scale = degrees ? 1e6 : 1.0;
        warning(m_mifName, m_lines.lineNumber(), [&] {
            return "unknown COORDSYS \"" + m_coordSysText + "\": coordinates taken as " +
                   (degrees ? "longitude/latitude" : "projected units");
        });
    }

    // `n` points into the pending object, one pair per line (or several pairs on a line). Stops
    // early, with a problem, at a line that is not a coordinate: the count was wrong.
    void readPoints(int64_t n, const char* what) {
        checkCount(n, kMinBytesPerPoint, what, "points");
        std::string_view line, cur;
        int64_t got = 0;
        while (got < n) {
            bool fresh = false;
            if (cur.empty()) {
                if (!fetchNonBlank(line)) break;
                if (!startsWithNumber(line)) {
                    m_lines.pushBack();
                    break;
                }
                cur = line;
                fresh = true;
                m_dotSeen = line.find('.') != std::string_view::npos;
            }
            double x = 0, y = 0;
            if (!takeNumber(cur, x)) {
                cur = {};
                continue;
            }
            if (!takeNumber(cur, y)) {
                cur = {};
                // A lone number on its own line is the count of the next ring or section.
                if (fresh) {
                    m_lines.pushBack();
                    break;
                }
                problem([] { return std::string("a coordinate without its Y"); });
                continue;
            }
            cur = skipBlanks(cur);
            if (!startsWithNumber(cur)) cur = {};
            ++got;
            TMapPoint p{};
            if (toMap(x, y, p)) m_points.push_back(p);
        }
        if (got < n && !m_cancelled) {
            problem([&] {
                return std::string(what) + " declares " + std::to_string(n) + " points; " + std::to_string(got) +
                       " found";
            });
        }
        m_partEnds.push_back(m_points.size());
    }

    // Region (rings) or Pline Multiple (sections): a part count, then per part a point count
    // and its points.
    void readParts(std::string_view rest, Pending kind) {
        const char* what = kind == Pending::Region ? "REGION" : "PLINE MULTIPLE";
        startObject(kind, true);
        int64_t parts = 0;
        if (!readCount(rest, what, parts)) return;
        checkCount(parts, kMinBytesPerPart, what, kind == Pending::Region ? "rings" : "sections");
        std::string_view line;
        for (int64_t i = 0; i < parts; ++i) {
            if (!fetchNonBlank(line)) {
                if (!m_cancelled)
                    problem([&] {
                        return std::string(what) + " declares " + std::to_string(parts) + " parts; the file ends after " +
                               std::to_string(i);
                    });
                return;
            }
            std::string_view l = line;
            int64_t n = 0;
            double second = 0;
            if (!takeInteger(l, n) || takeNumber(l, second) || n < 0) {
                problem([&] {
                    return std::string(what) + " declares " + std::to_string(parts) + " parts; part " +
                           std::to_string(i + 1) + " has no valid point count";
                });
                m_lines.pushBack();
                return;
            }
            readPoints(n, what);
        }
    }

    void readPline(std::string_view rest) {
        std::string_view r = rest;
        if (equalsNoCase(takeWord(r), "Multiple")) return readParts(r, Pending::Polyline);
        startObject(Pending::Polyline, true);
        int64_t n = 0;
        if (!readCount(rest, "PLINE", n)) return;
        if (n < 0) return problem([] { return std::string("PLINE with a negative point count"); });
        readPoints(n, "PLINE");
    }

    void readMultiPoint(std::string_view rest) {
        startObject(Pending::Points, true);
        int64_t n = 0;
        if (!readCount(rest, "MULTIPOINT", n)) return;
        if (n < 0) return problem([] { return std::string("MULTIPOINT with a negative point count"); });
        readPoints(n, "MULTIPOINT");
    }

    void readPoint(std::string_view rest) {
        startObject(Pending::Points, false);
        double xy[2];
        if (readNumbers(rest, 2, xy) < 2) {
            if (!m_cancelled) problem([] { return std::string("POINT without its X and Y"); });
            return;
        }
        TMapPoint p{};
        if (toMap(xy[0], xy[1], p)) m_points.push_back(p);
        m_partEnds.push_back(m_points.size());
    }

    // Kinds the map does not show; their numbers are read so that none is taken for stray.
    void readUnshown(std::string_view rest, int numbers, bool mayBePart) {
        startObject(Pending::Unshown, mayBePart);
        double ignored[6];
        readNumbers(rest, numbers, ignored);
    }

    void readCollection(std::string_view rest) {
        startObject(Pending::None, false);
        int64_t parts = 0;
        if (!readCount(rest, "COLLECTION", parts)) return;
        if (parts < 0 || parts > kMaxCollectionParts) {
            problem([&] {
                return "COLLECTION declares " + std::to_string(parts) + " parts; MapInfo's hold at most " +
                       std::to_string(kMaxCollectionParts);
            });
            parts = std::clamp<int64_t>(parts, 0, kMaxCollectionParts);
        }
        m_partsLeft = parts;
    }

    void readText(std::string_view rest) {
        startObject(Pending::Text, false);
        bool unterminated = false;
        // MapInfo writes the string on the line after TEXT; GDAL writes it on the same line.
        if (!takeQuoted(rest, m_scratch, unterminated)) {
            std::string_view line;
            if (!fetchNonBlank(line)) return;
            std::string_view l = line;
            if (!takeQuoted(l, m_scratch, unterminated)) {
                problem([] { return std::string("TEXT without its quoted string"); });
                m_lines.pushBack();
                return;
            }
            rest = l;
        }
        if (unterminated) problem([] { return std::string("TEXT string without its closing quote"); });
        noteText(m_text.convert(m_scratch, m_textString), m_mifName, m_lines.lineNumber());
        double box[4];
        if (readNumbers(rest, 4, box) < 4) {
            if (!m_cancelled) problem([] { return std::string("TEXT without its box of four numbers"); });
            return;
        }
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        if (!toUnits(box[0], box[1], x1, y1) || !toUnits(box[2], box[3], x2, y2)) return;
        m_textBox = {{static_cast<float>(x1), -static_cast<float>(y1)},
                     {static_cast<float>(x2), -static_cast<float>(y2)}};
        // From the whole map units, before a float's rounding: degrees times a million keep only
        // every fourth unit in a float.
        m_textHeight = std::fabs(y2 - y1);
        m_hasTextBox = true;
    }

    // --- styles --------------------------------------------------------------------------------

    // The parenthesised arguments of a style clause: numbers, and quoted strings (skipped).
    // Returns how many arguments there were; numbers land in `num`, strings leave NaN there.
    int readArgs(std::string_view rest, double* num, int max) {
        rest = skipBlanks(rest);
        if (rest.empty() || rest[0] != '(') return 0;
        rest.remove_prefix(1);
        int n = 0;
        bool unterminated = false;
        while (n < max) {
            rest = skipBlanks(rest);
            if (takeQuoted(rest, m_argScratch, unterminated)) {
                num[n++] = std::nan("");
            } else if (takeNumber(rest, num[n])) {
                ++n;
            } else {
                break;
            }
            rest = skipBlanks(rest);
            if (rest.empty() || rest[0] != ',') break;
            rest.remove_prefix(1);
        }
        return n;
    }

    // A MIF colour 0xRRGGBB into a colour reference 0x00BBGGRR; false for no colour at all.
    bool colour(double v, int32_t& out) {
        if (!(v >= 0 && v <= 16777215.0) || v != std::floor(v)) {
            problem([] { return std::string("colour out of range"); });
            return false;
        }
        const auto c = static_cast<uint32_t>(v);
        out = static_cast<int32_t>(((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu));
        return true;
    }

    static bool isNumber(double v) { return !std::isnan(v); }

    void readPen(std::string_view rest) {
        double a[3];
        if (readArgs(rest, a, 3) < 3 || !isNumber(a[0]) || !isNumber(a[1]) || !isNumber(a[2]))
            return problem([] { return std::string("PEN needs (width, pattern, colour)"); });
        // MapInfo widths are 0..7 pixels, or 11 and above for points; nothing sensible is larger.
        if (!(a[0] >= 0 && a[0] <= 10000.0)) return problem([] { return std::string("PEN width out of range"); });
        int32_t c = 0;
        if (!colour(a[2], c)) return;
        m_pen.Width = static_cast<float>(a[0]);
        m_pen.Style = mifPenStyle(static_cast<int64_t>(std::clamp(a[1], -1.0, 1000.0)));
        m_pen.Color = c;
    }

    void readBrush(std::string_view rest) {
        double a[3];
        const int n = readArgs(rest, a, 3);
        if (n < 2 || !isNumber(a[0]) || !isNumber(a[1]))
            return problem([] { return std::string("BRUSH needs (pattern, colour[, background])"); });
        int32_t c = 0;
        if (!colour(a[1], c)) return;
        m_brush.Style = mifBrushStyle(static_cast<int64_t>(std::clamp(a[0], -1.0, 1000.0)));
        m_brush.Color = c;
    }

    // Every form of SYMBOL (MapInfo 3 shapes, TrueType font symbols, bitmap files) carries the
    // colour as its second argument.
    void readSymbol(std::string_view rest) {
        double a[6];
        if (readArgs(rest, a, 6) < 2 || !isNumber(a[1]))
            return problem([] { return std::string("SYMBOL without a colour"); });
        int32_t c = 0;
        if (colour(a[1], c)) m_symbolColour = c;
    }

    void readFont(std::string_view rest) {
        double a[5];
        if (readArgs(rest, a, 5) < 4 || !isNumber(a[3]))
            return problem([] { return std::string("FONT needs (name, style, size, colour[, background])"); });
        int32_t c = 0;
        if (colour(a[3], c)) m_symbolColour = c;
    }

    void readAngle(std::string_view rest) {
        double a = 0;
        if (!takeNumber(rest, a)) return problem([] { return std::string("ANGLE without a number"); });
        m_angle = a;
    }

    // --- MID -----------------------------------------------------------------------------------

    void nextMidRow() {
        m_addr.town.clear(), m_addr.street.clear(), m_addr.house.clear();
        if (!m_mid || m_midEnded) return;
        std::string_view row;
        if (!m_mid->next(row)) {
            m_midEnded = true;
            const auto rows = m_result.records;
            if (!m_result.firstProblem) m_result.addProblem(m_midName, m_mid->lineNumber(),
                    "the MID ends after " + std::to_string(rows) + " rows; later objects have no attributes");
            else ++m_result.problems;
            return;
        }
        if (m_mid->lastWasCut()) {
            if (!m_result.firstProblem)
                m_result.addProblem(m_midName, m_mid->lineNumber(), "an overlong row was cut (not a text file?)");
            else ++m_result.problems;
        }
        if (!m_address.wantsValues()) return;
        const auto out = m_address.decode(row, m_text, m_addr);
        if (out.missingValues || out.unterminatedQuote) {
            warning(m_midName, m_mid->lineNumber(), [&] {
                return std::string(out.unterminatedQuote ? "a quoted value without its closing quote"
                                                         : "the row ends before an address column");
            });
        }
        noteText(out.text, m_midName, m_mid->lineNumber());
    }

    // Rows left over mean the two files are out of step (blank ones are what MapInfo writes
    // for a table without columns).
    void checkMidTail() {
        if (!m_mid || m_midEnded) return;
        std::string_view row;
        while (m_mid->next(row)) {
            if (isBlankLine(row)) continue;
            warning(m_midName, m_mid->lineNumber(),
                    [] { return std::string("the MID holds more rows than the MIF has objects"); });
            return;
        }
    }

    // --- making map objects --------------------------------------------------------------------

    void post() {
        m_map.BufferTown = m_addr.town;
        m_map.BufferStreet = m_addr.street;
        m_map.BufferHouse = m_addr.house;
        const int before = m_map.Objects().count();
        m_map.PostBuffer(TKorvane::AfterPost::Release);
        if (m_map.Objects().count() > before) {
            ++m_result.objects;
            m_recordPosted = true;
        }
    }

    TQEVMapObjectMem& fresh(TObjectKind kind, int32_t plane) {
        m_map.NewObject();
        TQEVMapObjectMem& o = m_map.CurrentObject;
        o.Kind = kind;
        o.ClassCode = 2;
        o.Alpha = 255;
        o.Ploskost = plane;
        return o;
    }

    // One polygon per area: a ring inside an earlier ring is a hole of that one's area (a lake
    // in a forest, a courtyard), any other ring an area of its own (the islands of a country).
    void postRegion() {
        std::vector<std::span<const TMapPoint>> rings;
        std::size_t from = 0;
        for (const std::size_t to : m_partEnds) rings.emplace_back(m_points.data() + from, to - from), from = to;
        for (PointArray& area : groupRings(rings)) {
            TQEVMapObjectMem& o = fresh(cPolygon, 0);
            o.Pen = m_pen;
            o.Brush = m_brush;
            o.Height = 0.0f;
            o.setPoints(std::move(area));
            post();
        }
    }

    void emit() {
        const Pending kind = m_kind;
        m_kind = Pending::None;
        std::size_t from = 0;
        switch (kind) {
        case Pending::Region:
        case Pending::Polyline:
            if (kind == Pending::Region) {
                postRegion();
                break;
            }
            for (const std::size_t to : m_partEnds) {
                if (to > from) {
                    const bool region = kind == Pending::Region;
                    TQEVMapObjectMem& o = fresh(region ? cPolygon : cLine, region ? 0 : 1);
                    o.Pen = m_pen;
                    o.Brush = m_brush;
                    o.Height = region ? 0.0f : m_pen.Width;
                    const auto first = m_points.begin() + static_cast<std::ptrdiff_t>(from);
                    o.setPoints(PointArray(first, m_points.begin() + static_cast<std::ptrdiff_t>(to)));
                    post();
                }
                from = to;
            }
            break;
        case Pending::Points:
            for (const TMapPoint& p : m_points) {
                TQEVMapObjectMem& o = fresh(cZametka, 2);
                o.Pen = m_pen;
                o.Pen.Color = m_symbolColour;
                o.Brush.Style = 1;
                TQEVMapZametka note;
                note.X = p.X;
                note.Y = p.Y;
                note.LibName.assign("Default");
                note.IconName.assign("61"); // the last picture of the built-in library
                m_map.EncodeNote(o, note);
                post();
            }
            break;
        case Pending::Text:
            if (m_hasTextBox) {
                TQEVMapObjectMem& o = fresh(cText, 2);
                o.Pen = m_pen;
                o.Pen.Color = m_symbolColour;
                o.Brush = {m_brush.Color, 1};
                const auto [a, b] = m_textBox;
                TQEVMapText t;
                t.FontSize = static_cast<float>(m_textHeight);
                // The box's top-left corner: (x1, -y1 - FontSize) for a box written bottom-up,
                // as MapInfo writes it, and the same corner for one written the other way round.
                t.X = std::min(a.X, b.X);
                t.Y = std::min(a.Y, b.Y);
                t.FontIndex = 1;
                t.Angle = mifTextAngle(m_angle);
                t.Text = m_textString;
                m_map.EncodeText(o, t);
                post();
            }
            m_angle = 0;
            break;
        case Pending::None:
        case Pending::Unshown:
            break;
        }
        m_points.clear();
        m_partEnds.clear();
        m_hasTextBox = false;
        m_textString.clear();
    }

    TKorvane& m_map;
    std::string m_mifName, m_midName;
    LineReader m_lines;
    std::optional<LineReader> m_mid;
    TextDecoder m_text;                              // file text into the map's code page
    TextDecoder m_names{CodePage::Cp1251};           // column names, where the keywords are matched
    MidAddressDecoder m_address;
    AddressValues m_addr;
    ImportResult m_result;

    std::string m_charsetName, m_coordSysText;
    double m_scale = -1; // no CoordSys line: decided by the first coordinate line
    bool m_dotSeen = false; // the coordinate line just read has a decimal point
    bool m_latFirst = false;
    bool m_guessNoted = false;
    bool m_cancelled = false;
    bool m_midEnded = false;
    bool m_strayRun = false;
    int m_lastPercent = -1;
    uint64_t m_nextProgressAt = 0;

    TQEVMapPen m_pen{0, 0, 0, 0};
    TQEVMapBrush m_brush{0, 0};
    int32_t m_symbolColour = 0;
    double m_angle = 0;

    Pending m_kind = Pending::None;
    int64_t m_partsLeft = 0;
    bool m_inRecord = false, m_recordPosted = false;
    std::vector<TMapPoint> m_points;     // all parts of the pending object, reused
    std::vector<std::size_t> m_partEnds; // end of each part in m_points
    std::string m_textString;
    std::pair<TMapPoint, TMapPoint> m_textBox{};
    double m_textHeight = 0; // of the text box, in whole map units
    bool m_hasTextBox = false;
    std::string m_scratch, m_argScratch;
};

} // namespace

ImportResult ImportMIF(TKorvane& map, ByteSource& mif, ByteSource* mid, const std::string& mifName,
                       const std::string& midName, const MifImportOptions& options) {
    std::string midLabel = midName;
    if (midLabel.empty()) {
        const std::size_t dot = mifName.rfind('.');
        const std::size_t slash = mifName.find_last_of("/\\");
        const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        midLabel = (hasExt ? mifName.substr(0, dot) : mifName) + ".mid";
    }
    MifImporter importer(map, mif, mid, mifName, midLabel, options);
    return importer.run();
}

} // namespace kestrum
