// The map objects of a MIF object, and the MID row that gives them their address.

#include "import/mif_importer.h"

#include "model/polygon_rings.h"

#include <algorithm>
#include <span>

namespace kestrum::mif {

// --- MID -----------------------------------------------------------------------------------

void MifImporter::nextMidRow() {
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
    // A quoted value with line breaks goes on over the next lines; the row ends with its
    // closing quote. A quote that never closes may take at most this much of the file with it.
    constexpr std::size_t kMaxJoinedBytes = std::size_t{1} << 20;
    constexpr int kMaxJoinedLines = 1000;
    std::size_t open = openQuotedValue(row, m_address.delimiter());
    if (open != std::string_view::npos) {
        m_row.assign(row);
        std::string_view more;
        for (int lines = 0; lines < kMaxJoinedLines && m_row.size() < kMaxJoinedBytes && m_mid->next(more); ++lines) {
            m_row += '\n';
            m_row.append(more);
            open = openQuotedValue(m_row, m_address.delimiter(), open);
            if (open == std::string_view::npos) break;
        }
        row = m_row;
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
void MifImporter::checkMidTail() {
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

void MifImporter::post() {
    TAdres& names = m_sink.AddressNames();
    names.Town = m_addr.town;
    names.Street = m_addr.street;
    names.House = m_addr.house;
    if (m_sink.Post()) {
        ++m_result.objects;
        m_recordPosted = true;
    }
}

TQEVMapObjectMem& MifImporter::fresh(TObjectKind kind, int32_t plane) {
    TQEVMapObjectMem& o = m_sink.NewObject();
    o.Kind = kind;
    o.ClassCode = 2;
    o.Alpha = 255;
    o.Ploskost = plane;
    return o;
}

// The parts of the pending object, each a range of m_points; empty parts are left out.
std::vector<MifImporter::Part> MifImporter::parts() const {
    std::vector<Part> out;
    std::size_t from = 0;
    for (const std::size_t to : m_partEnds) {
        if (to > from) out.emplace_back(from, to);
        from = to;
    }
    return out;
}

void MifImporter::emit() {
    const Pending kind = m_kind;
    m_kind = Pending::None;
    switch (kind) {
    case Pending::Region:
        postRegion(parts());
        break;
    case Pending::Polyline:
        postPolyline(parts());
        break;
    case Pending::Shape:
        for (const Part& p : parts()) postShape(p);
        break;
    case Pending::Ellipse:
        postEllipse();
        break;
    case Pending::Points:
        postPoints();
        break;
    case Pending::Text:
        postText();
        m_angle = 0;
        break;
    case Pending::None:
        break;
    }
    m_points.clear();
    m_partEnds.clear();
    m_hasTextBox = false;
    m_textString.clear();
}

// One polygon in the region's style: plane 0, no height.
void MifImporter::postPolygon(Part ring) {
    TQEVMapObjectMem& o = fresh(cPolygon, 0);
    o.Pen = m_pen;
    o.Brush = m_brush;
    o.Height = 0.0f;
    const auto first = m_points.begin();
    o.setPoints(PointArray(first + static_cast<std::ptrdiff_t>(ring.first), first + static_cast<std::ptrdiff_t>(ring.second)));
    post();
}

// A REGION: one polygon per area, all with the region's style and the record's address. A ring
// inside an earlier ring is a hole of that one's area (a lake in a forest, a courtyard), any other
// ring an area of its own (the islands of a country).
void MifImporter::postRegion(const std::vector<Part>& rings) {
    std::vector<std::span<const TMapPoint>> spans;
    spans.reserve(rings.size());
    for (const Part& ring : rings) spans.emplace_back(m_points.data() + ring.first, ring.second - ring.first);
    for (PointArray& area : groupRings(spans)) {
        TQEVMapObjectMem& o = fresh(cPolygon, 0);
        o.Pen = m_pen;
        o.Brush = m_brush;
        o.Height = 0.0f;
        o.setPoints(std::move(area));
        post();
    }
}

// A RECT's or ROUNDRECT's outline: a polygon styled as a region.
void MifImporter::postShape(Part outline) {
    postPolygon(outline);
}

// PLINE sections, a LINE or an ARC: one line each on plane 1, taking the pen width as height.
void MifImporter::postPolyline(const std::vector<Part>& sections) {
    for (const Part& section : sections) {
        TQEVMapObjectMem& o = fresh(cLine, 1);
        o.Pen = m_pen;
        o.Brush = m_brush;
        o.Height = m_pen.Width;
        const auto first = m_points.begin();
        o.setPoints(PointArray(first + static_cast<std::ptrdiff_t>(section.first),
                               first + static_cast<std::ptrdiff_t>(section.second)));
        post();
    }
}

// An ELLIPSE over its box's four corners, styled as a region.
void MifImporter::postEllipse() {
    if (m_points.size() != 4) return; // a corner that is no place
    TQEVMapObjectMem& o = fresh(cEllipse, 0);
    o.Pen = m_pen;
    o.Brush = m_brush;
    o.Height = 0.0f;
    o.setPoints(PointArray(m_points.begin(), m_points.end()));
    post();
}

// POINT and MULTIPOINT: a note per point, showing the symbol's shape from the built-in
// "MapInfo" library. The note's pen carries the symbol: its colour, and its size in points as
// the width (a note draws no outline).
void MifImporter::postPoints() {
    const std::string shape = std::to_string(m_symbol.shape);
    for (const TMapPoint& p : m_points) {
        TQEVMapObjectMem& o = fresh(cZametka, 2);
        o.Pen = {m_symbol.color, 0, m_symbol.size, 0};
        o.Brush.Style = 1;
        TQEVMapZametka note;
        note.X = p.X;
        note.Y = p.Y;
        note.LibName.assign(kMapInfoLibrary);
        note.IconName.assign(shape);
        m_sink.EncodeNote(o, note);
        post();
    }
}

void MifImporter::postText() {
    if (!m_hasTextBox) return;
    TQEVMapObjectMem& o = fresh(cText, 2);
    o.Pen = m_pen;
    o.Pen.Color = m_fontColour;
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
    m_sink.EncodeText(o, t);
    post();
}

} // namespace kestrum::mif
