// Styles of Polish-format sections and the map objects made of them.

#include "import/polish_importer.h"
#include "import/polish_icons.h"
#include "model/polygon_rings.h"

#include <algorithm>
#include <charconv>
#include <span>
#include <vector>

namespace kestrum::polish {

namespace {

uint8_t penStyleOf(int32_t v) {
    return v >= 0 && v <= 6 ? static_cast<uint8_t>(v) : 0;
}
uint8_t brushStyleOf(int32_t v) {
    return v >= 0 && v <= 7 ? static_cast<uint8_t>(v) : 1;
}

// Street and house number from a polygon's label: "Ленина 25" and "25 Ленина" give street
// Ленина and house 25, "25" or "7a" alone give street "." and that house, "25-27" stays a street.
void splitPolygonLabel(std::string_view label, std::string& street, std::string& house) {
    street.clear();
    house.clear();
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (!label.empty() && isDigit(label.front())) {
        for (std::size_t i = 1;; ++i) {
            if (i == label.size()) {
                street = ".";
                house.assign(label.substr(0, kHouseBytes));
                return;
            }
            if (isDigit(label[i])) continue;
            if (label[i] == '-') break;
            if (label[i] == ' ') {
                house.assign(label.substr(0, std::min(i, kHouseBytes)));
                street.assign(label.substr(i + 1));
                return;
            }
        }
    }
    const std::size_t blank = label.rfind(' ');
    if (blank != std::string_view::npos && blank + 1 < label.size() && isDigit(label[blank + 1])) {
        house.assign(label.substr(blank + 1, kHouseBytes));
        label = label.substr(0, blank);
    }
    street.assign(label);
}

// "2C00|3": the type in upper-case hexadecimal, at least four digits, and the kind of feature.
std::string styleKey(uint32_t code, Section section) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char digits[8];
    int n = 0;
    do
        digits[n++] = kHex[code & 0xFu], code >>= 4;
    while (code != 0);
    std::string key(static_cast<std::size_t>(std::max(0, 4 - n)), '0');
    while (n > 0)
        key += digits[--n];
    key += '|';
    key += section == Section::Point ? '3' : section == Section::Polyline ? '1' : '0';
    return key;
}

} // namespace

void PolishImporter::resolveStyle() {
    if (m_styleKnown && m_styleSection == m_section && m_styleType == m_type) return;
    m_styleKnown = true;
    m_styleSection = m_section;
    m_styleType.assign(m_type);
    m_styleTypeBad = false;

    ResolvedStyle s;
    std::string_view digits = m_type;
    int base = 10;
    // Types are written in hexadecimal with "0x"; a few writers put decimal numbers instead.
    if (startsWithNoCase(digits, "0x")) digits.remove_prefix(2), base = 16;
    uint32_t code = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
    // A missing Type reads as type 0, as an empty key pads to "0000".
    if (m_type.empty() || (ec == std::errc{} && end == digits.data() + digits.size() && !digits.empty() &&
                           code <= static_cast<uint32_t>(INT32_MAX))) {
        s.code = static_cast<int32_t>(code);
        s.codeValid = true;
        s.row = styleRow(code);
    } else {
        m_styleTypeBad = true;
    }
    // Without a row: a thin solid black pen, no fill, text labels for points.
    s.pen = {0, 0, 0, 0};
    s.brush = {0, 1};
    if (s.row >= 0) {
        const PolishStyle& row = m_styles.rows()[static_cast<std::size_t>(s.row)].style;
        s.pen = {row.penColor, penStyleOf(row.penStyle), static_cast<float>(row.penWidth), 0};
        s.brush = {row.brushColor, brushStyleOf(row.brushStyle)};
        s.textSize = static_cast<float>(row.textSize);
        s.column7 = row.column7;
    }
    m_style = s;
}

int PolishImporter::styleRow(uint32_t code) {
    constexpr std::size_t kMaxRemembered = 4096;
    const uint64_t key = uint64_t{code} << 8 | static_cast<uint8_t>(m_section);
    if (const auto it = m_rowOfType.find(key); it != m_rowOfType.end()) return it->second;
    const int row = m_styles.indexOf(styleKey(code, m_section));
    if (m_rowOfType.size() < kMaxRemembered) m_rowOfType.emplace(key, row);
    return row;
}

const std::string& PolishImporter::typeName() {
    static const std::string none;
    if (m_style.row < 0) return none;
    const auto i = static_cast<std::size_t>(m_style.row);
    if (!m_typeNameReady[i]) {
        // The table is UTF-8 text; the document keeps its own code page.
        LabelRecoder fromTable(m_sink.Document().codePage);
        fromTable.setSource(LabelEncoding::Utf8);
        fromTable.recode(m_styles.rows()[i].style.typeName, m_typeNames[i]);
        m_typeNameReady[i] = true;
    }
    return m_typeNames[i];
}

void PolishImporter::recode(std::string_view in, std::string& out, int64_t line) {
    LabelRecoder::Outcome o = m_recoder.recode(in, out);
    if (o.approximated && m_codePageFree && betterCodePage(in)) o = m_recoder.recode(in, out);
    noteText(in, out, o);
    if (o.utf8Found && !m_utf8Warned) {
        m_utf8Warned = true;
        warning(line, "text is UTF-8 although the header does not say so; read as UTF-8");
    }
    if (o.approximated) {
        const int cp = static_cast<int>(m_sink.Document().codePage);
        warning(line, "text written as " + quote(toUtf8(m_sink.Document().codePage, out)) +
                          ": some characters are missing from code page " + std::to_string(cp));
    }
}

void PolishImporter::makeObjects() {
    ++m_result.records;
    resolveStyle();
    if (m_styleTypeBad)
        problem(m_sectionLine, "Type " + quote(m_type) + " is not a number; drawn with no style");
    std::size_t usable = 0;
    for (const DataLine& d : m_dataLines)
        usable += d.count > 0 ? 1 : 0;
    if (usable == 0) {
        ++m_result.skipped;
        if (m_dataLines.empty()) problem(m_sectionLine, "section " + m_sectionName + " has no coordinates");
        return;
    }
    // A point without a label has nothing to show: it makes no object, even with an icon.
    if (m_section == Section::Point && m_label.empty()) {
        ++m_result.skipped;
        return;
    }
    // Display codes of Garmin writers are no text to show; the label as written is kept in the
    // object's extra block when it fits there.
    m_labelHadCodes = withoutLabelCodes(m_label, m_scratch);
    if (m_labelHadCodes) m_label.swap(m_scratch), m_rawLabel.swap(m_scratch);
    recode(m_label, m_text, m_labelLine);
    if (!m_streetDesc.empty() || !m_houseNumber.empty()) {
        recode(m_streetDesc, m_street, m_sectionLine);
        recode(m_houseNumber, m_house, m_sectionLine);
        if (m_house.size() > kHouseBytes) m_house.resize(kHouseBytes);
    } else if (m_section == Section::Polygon) {
        splitPolygonLabel(m_text, m_street, m_house);
    } else {
        m_street = m_text;
        m_house.clear();
    }
    const int before = m_result.objects;
    if (m_section == Section::Polygon) {
        // A line inside an earlier one is a hole of that one's area; any other, an area of its own.
        std::vector<std::span<const TMapPoint>> rings;
        rings.reserve(m_dataLines.size());
        for (const DataLine& d : m_dataLines) rings.emplace_back(m_points.data() + d.first, d.count);
        for (const PointArray& area : groupRings(rings)) post(area.data(), area.size());
    } else {
        for (const DataLine& d : m_dataLines)
            if (d.count > 0) post(m_points.data() + d.first, d.count);
    }
    if (m_result.objects == before) ++m_result.skipped;
}

// A polygon of one ring of the section.
void PolishImporter::makePolygon(TQEVMapObjectMem& o, const TMapPoint* points, std::size_t count) const {
    o.Kind = cPolygon;
    o.Height = static_cast<float>(m_style.column7) / 100.0f;
    o.Ploskost = o.Height > 0 ? 1 : 0;
    o.setPoints(PointArray(points, points + count));
}

void PolishImporter::post(const TMapPoint* points, std::size_t count) {
    TQEVMapObjectMem& o = m_sink.NewObject();
    o.ClassCode = m_style.code;
    o.Pen = m_style.pen;
    o.Brush = m_style.brush;
    o.Alpha = 255;
    switch (m_section) {
    case Section::Point:
        if (m_style.column7 > 0) {
            o.Kind = cZametka;
            o.Ploskost = 4;
            TQEVMapZametka note;
            note.X = points[0].X, note.Y = points[0].Y;
            const int picture = m_style.column7 - 1;
            if (m_options.icons == PolishIconSource::External) {
                note.LibName.assign("icons");
                note.IconName.assign(std::to_string(picture));
            } else {
                // Icon numbers count the pictures of the external library; the built-in library
                // has a picture for each number the style table uses.
                note.LibName.assign("default");
                note.IconName.assign(polishBuiltinPicture(m_style.code, m_style.column7));
            }
            note.Text = m_text;
            m_sink.EncodeNote(o, note);
        } else {
            o.Kind = cText;
            o.Ploskost = 2;
            TQEVMapText text;
            text.X = points[0].X, text.Y = points[0].Y;
            text.Angle = 0;
            text.FontIndex = 1;
            text.FontSize = m_style.textSize;
            text.Text = m_text;
            m_sink.EncodeText(o, text);
        }
        break;
    case Section::Polyline:
        o.Kind = cLine;
        o.Ploskost = 1;
        o.Height = static_cast<float>(m_style.column7) / 100.0f;
        // Road types get square ends and a casing in the brush colour.
        if (m_style.codeValid && (m_style.code < 10 || m_style.code == 12))
            o.Pen.Flags = kPenSquareEnds | kPenBorder;
        o.setPoints(PointArray(points, points + count));
        break;
    default:
        makePolygon(o, points, count);
        break;
    }
    if (m_labelHadCodes && m_rawLabel.size() < kExtraSize) {
        TExtraBlock extra{};
        extra[0] = static_cast<uint8_t>(m_rawLabel.size());
        std::copy(m_rawLabel.begin(), m_rawLabel.end(), extra.begin() + 1);
        o.setExtra(extra);
    }
    TAdres& names = m_sink.AddressNames();
    names.Town = typeName();
    names.Street = m_street;
    names.House = m_house;
    if (m_sink.Post()) ++m_result.objects;
}

} // namespace kestrum::polish
