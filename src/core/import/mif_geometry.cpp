// Object clauses of a MIF into the pending object: its kind and its points, in map units.

#include "import/mif_importer.h"
#include "model/rounding.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrum::mif {

namespace {

// The smallest a point can take in the file ("0 0" and a line end), and a ring or section
// count line ("0" and a line end): a count larger than the rest of the file could hold lies.
constexpr uint64_t kMinBytesPerPoint = 4;
constexpr uint64_t kMinBytesPerPart = 2;
// MapInfo collections hold at most one region, one polyline and one point set.
constexpr int64_t kMaxCollectionParts = 3;
// Beyond this a coordinate is damage, not a place: it would defeat every extent and transform.
constexpr double kMaxCoordinate = 1e15;

} // namespace

// --- data ----------------------------------------------------------------------------------

void MifImporter::readData() {
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

void MifImporter::stray() {
    if (m_strayRun) return;
    m_strayRun = true;
    problem([] { return std::string("numbers outside any object (an earlier count is wrong)"); });
}

void MifImporter::dispatch(std::string_view w, std::string_view rest) {
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
    if (is("Line")) return readLine(rest);
    if (is("Rect")) return readRect(rest, false);
    if (is("RoundRect")) return readRect(rest, true);
    if (is("Ellipse")) return readEllipse(rest);
    if (is("Arc")) return readArc(rest);
    if (is("Collection")) return readCollection(rest);
    if (is("None")) return startObject(Pending::None, false);
    // Smooth, Center, Spacing, Justify, Label and clauses of other writers: nothing to take.
}

// A new object of the file: the pending one is made, and a top-level object takes its MID row.
void MifImporter::startObject(Pending kind, bool mayBePart) {
    emit();
    resetStyles(); // the clauses that follow are the new object's own
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

void MifImporter::finishRecord() {
    if (m_inRecord && !m_recordPosted) ++m_result.skipped;
    m_inRecord = false;
    m_recordPosted = false;
}

// A count on the rest of the clause line, or alone on the next line.
bool MifImporter::readCount(std::string_view& rest, const char* what, int64_t& n) {
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
void MifImporter::checkCount(int64_t n, uint64_t minBytes, const char* what, const char* unit) {
    const uint64_t room = (m_lines.remaining() + 1) / minBytes;
    if (n >= 0 && static_cast<uint64_t>(n) <= room) return;
    problem([&] {
        return std::string(what) + " declares " + std::to_string(n) + " " + unit +
               "; the rest of the file holds at most " + std::to_string(room);
    });
}

// Up to `need` numbers from the rest of the clause line and then from following lines that
// hold only numbers. Returns how many were found.
int MifImporter::readNumbers(std::string_view rest, int need, double* out) {
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
bool MifImporter::toUnits(double x, double y, double& sx, double& sy) {
    if (m_latFirst) std::swap(x, y);
    if (m_scale == 0) decideScale(x, y);
    // No CoordSys: MapInfo's own readers take degrees, files written by hand plain numbers;
    // the first coordinate tells, by its decimal point, for the whole file.
    if (m_scale < 0) m_scale = m_dotSeen ? 1e6 : 1.0;
    sx = roundHalfEven(x * m_scale), sy = roundHalfEven(y * m_scale);
    if (!(std::fabs(sx) <= kMaxCoordinate && std::fabs(sy) <= kMaxCoordinate)) {
        problem([&] { return std::string("coordinate out of any map's range"); });
        return false;
    }
    return true;
}

// The same as a map point: Y points south.
bool MifImporter::toMap(double x, double y, TMapPoint& p) {
    double sx = 0, sy = 0;
    if (!toUnits(x, y, sx, sy)) return false;
    p = {static_cast<float>(sx), -static_cast<float>(sy)};
    return true;
}

// A coordinate system this importer does not know: a first point inside the range of degrees
// makes it a longitude/latitude file, anything else projected.
void MifImporter::decideScale(double x, double y) {
    const bool degrees = std::fabs(x) <= 360.0 && std::fabs(y) <= 90.0;
    m_scale = degrees ? 1e6 : 1.0;
    warning(m_mifName, m_lines.lineNumber(), [&] {
        return "unknown COORDSYS \"" + m_coordSysText + "\": coordinates taken as " +
               (degrees ? "longitude/latitude" : "projected units");
    });
}

// `n` points into the pending object, one pair per line (or several pairs on a line). Stops
// early, with a problem, at a line that is not a coordinate: the count was wrong.
void MifImporter::readPoints(int64_t n, const char* what) {
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
void MifImporter::readParts(std::string_view rest, Pending kind) {
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

void MifImporter::readPline(std::string_view rest) {
    std::string_view r = rest;
    if (equalsNoCase(takeWord(r), "Multiple")) return readParts(r, Pending::Polyline);
    startObject(Pending::Polyline, true);
    int64_t n = 0;
    if (!readCount(rest, "PLINE", n)) return;
    if (n < 0) return problem([] { return std::string("PLINE with a negative point count"); });
    readPoints(n, "PLINE");
}

void MifImporter::readMultiPoint(std::string_view rest) {
    startObject(Pending::Points, true);
    int64_t n = 0;
    if (!readCount(rest, "MULTIPOINT", n)) return;
    if (n < 0) return problem([] { return std::string("MULTIPOINT with a negative point count"); });
    readPoints(n, "MULTIPOINT");
}

void MifImporter::readPoint(std::string_view rest) {
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

// A segment: two points, on the clause line or the lines after it. GDAL also writes it as a
// part of a collection.
void MifImporter::readLine(std::string_view rest) {
    startObject(Pending::Polyline, true);
    double v[4];
    if (readNumbers(rest, 4, v) < 4) {
        if (!m_cancelled) problem([] { return std::string("LINE without its two points"); });
        return;
    }
    addOutline({{v[0], v[1]}, {v[2], v[3]}});
}

namespace {

using FilePoints = std::vector<std::pair<double, double>>;

// Points of an ellipse with half-axes (rx, ry) about (cx, cy), file units with Y north, from
// angle a0 to a1 in degrees counter-clockwise from east. The angle is the direction from the
// centre, as MapInfo draws arcs; at most 3 degrees between two points.
void ellipsePoints(double cx, double cy, double rx, double ry, double a0, double a1, FilePoints& out) {
    const double span = a1 - a0;
    const int steps = std::max(2, static_cast<int>(std::ceil(span / 3.0)));
    for (int i = 0; i <= steps; ++i) {
        const double t = (a0 + span * i / steps) * std::numbers::pi / 180.0;
        const double c = std::cos(t), s = std::sin(t);
        const double d = std::hypot(ry * c, rx * s);
        const double r = d > 0 ? rx * ry / d : 0;
        out.emplace_back(cx + r * c, cy + r * s);
    }
}

} // namespace

// RECT x1 y1 x2 y2, ROUNDRECT x1 y1 x2 y2 a: a closed outline. The rounding `a` is the
// diameter of the corner arcs, as MapInfo and GDAL read it.
void MifImporter::readRect(std::string_view rest, bool rounded) {
    startObject(Pending::Shape, false);
    double v[5] = {};
    const int need = rounded ? 5 : 4;
    const int got = readNumbers(rest, need, v);
    if (got < 4) {
        if (!m_cancelled) problem([&] { return std::string(rounded ? "ROUNDRECT" : "RECT") + " without its box"; });
        return;
    }
    if (rounded && got < 5 && !m_cancelled) problem([] { return std::string("ROUNDRECT without its rounding"); });
    const double x0 = std::min(v[0], v[2]), x1 = std::max(v[0], v[2]);
    const double y0 = std::min(v[1], v[3]), y1 = std::max(v[1], v[3]);
    const double r = std::clamp(std::fabs(v[4]) / 2.0, 0.0, std::min(x1 - x0, y1 - y0) / 2.0);
    if (!(r > 0)) {
        addOutline({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
        return;
    }
    FilePoints pts;
    // Counter-clockwise from the lower right corner's arc, each corner a quarter of a circle.
    const double cx[4] = {x1 - r, x1 - r, x0 + r, x0 + r}, cy[4] = {y0 + r, y1 - r, y1 - r, y0 + r};
    for (int k = 0; k < 4; ++k) ellipsePoints(cx[k], cy[k], r, r, -90.0 + 90.0 * k, 90.0 * k, pts);
    addOutline(pts);
}

// ELLIPSE x1 y1 x2 y2: the ellipse inscribed in the box, kept as the box's four corners.
void MifImporter::readEllipse(std::string_view rest) {
    startObject(Pending::Ellipse, false);
    double v[4];
    if (readNumbers(rest, 4, v) < 4) {
        if (!m_cancelled) problem([] { return std::string("ELLIPSE without its box"); });
        return;
    }
    const double x0 = std::min(v[0], v[2]), x1 = std::max(v[0], v[2]);
    const double y0 = std::min(v[1], v[3]), y1 = std::max(v[1], v[3]);
    // In the map's order of corners (Y south): top-left, top-right, bottom-right, bottom-left.
    addOutline({{x0, y1}, {x1, y1}, {x1, y0}, {x0, y0}});
}

// ARC x1 y1 x2 y2 a b: the part of the box's ellipse from angle a to angle b, counter-clockwise.
void MifImporter::readArc(std::string_view rest) {
    startObject(Pending::Polyline, false);
    double v[6];
    const int got = readNumbers(rest, 6, v);
    if (got < 6) {
        if (!m_cancelled)
            problem([&] { return std::string(got < 4 ? "ARC without its box" : "ARC without its two angles"); });
        return;
    }
    if (!(std::fabs(v[4]) <= 1e6 && std::fabs(v[5]) <= 1e6)) {
        problem([] { return std::string("ARC angles out of range"); });
        return;
    }
    double a0 = std::fmod(v[4], 360.0), a1 = std::fmod(v[5], 360.0);
    if (a0 < 0) a0 += 360.0;
    if (a1 < 0) a1 += 360.0;
    // Counter-clockwise from a to b: equal angles (0 and 360 included) are the whole ellipse.
    if (a1 <= a0) a1 += 360.0;
    const double x0 = std::min(v[0], v[2]), x1 = std::max(v[0], v[2]);
    const double y0 = std::min(v[1], v[3]), y1 = std::max(v[1], v[3]);
    FilePoints pts;
    ellipsePoints((x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2, a0, a1, pts);
    addOutline(pts);
}

// One part of the pending object from points in file units.
void MifImporter::addOutline(const std::vector<std::pair<double, double>>& filePoints) {
    for (const auto& [x, y] : filePoints) {
        TMapPoint p{};
        if (toMap(x, y, p)) m_points.push_back(p);
    }
    m_partEnds.push_back(m_points.size());
}

void MifImporter::readCollection(std::string_view rest) {
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

void MifImporter::readText(std::string_view rest) {
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

} // namespace kestrum::mif
