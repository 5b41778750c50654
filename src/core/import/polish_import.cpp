#include "import/polish_import.h"

#include "component/korvane.h"
#include "import/polish_icons.h"
#include "import/polish_text.h"
#include "io/byte_source.h"
#include "model/codepage.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include <vector>

namespace kestrum {

namespace {

using polish::LabelEncoding;
using polish::LabelRecoder;

// No longitude or latitude lies beyond this, even written as 0..360; a larger number is damage
// (and would lose all precision once stored as a float of millionths).
constexpr double kMaxDegrees = 360.0;
constexpr int64_t kMaxMicro = 360'000'000;
constexpr std::size_t kHouseBytes = 12;
// Labels are names; one longer than this is damage and is cut, so that measuring and drawing it
// stays cheap.
constexpr std::size_t kMaxLabelBytes = 4096;
// How much of a bad value a message quotes.
constexpr std::size_t kQuoteBytes = 40;

enum class Section : uint8_t { None, Header, Point, Polyline, Polygon, Other };

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view trimSpaces(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

std::string quote(std::string_view s) {
    std::string q = "\"";
    q.append(s.substr(0, kQuoteBytes));
    if (s.size() > kQuoteBytes) q += "...";
    return q + '"';
}

// Section names are compared regardless of case: "[poi]" ... "[end]" is written by hand and by
// some scripts, and every other reader of the format takes it.
Section sectionOf(std::string_view name) {
    if (equalsNoCase(name, "IMG ID")) return Section::Header;
    if (equalsNoCase(name, "POI") || equalsNoCase(name, "RGN10") || equalsNoCase(name, "RGN20"))
        return Section::Point;
    if (equalsNoCase(name, "POLYLINE") || equalsNoCase(name, "RGN40")) return Section::Polyline;
    if (equalsNoCase(name, "POLYGON") || equalsNoCase(name, "RGN80")) return Section::Polygon;
    return Section::Other;
}

// The name between the brackets of a header line ("[POI]" -> "POI"); the bracket may be missing.
std::string_view headerName(std::string_view line) {
    const std::size_t close = line.find(']');
    return trimSpaces(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// Level N of "DataN" / "OriginN"; -1 for other names.
int dataLevel(std::string_view name) {
    std::string_view digits;
    if (startsWithNoCase(name, "Data"))
        digits = name.substr(4);
    else if (startsWithNoCase(name, "Origin"))
        digits = name.substr(6);
    else
        return -1;
    int level = -1;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), level);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() || level < 0) return -1;
    return level;
}

// The six decimal digits at p in one go, as nearly every coordinate has exactly six decimals;
// false when one of the six bytes is no digit. The bytes make a little-endian word on any machine.
bool sixDigits(const char* p, int32_t& value) {
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Two whole loads: six bytes copied into an eight-byte word would be three stores read
        // back by one load, which the processor cannot forward and stalls on.
        uint32_t low = 0;
        uint16_t high = 0;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 2);
        v = low | uint64_t{high} << 32;
    } else {
        for (int i = 5; i >= 0; --i)
            v = v << 8 | static_cast<uint8_t>(p[i]);
    }
    // Every byte 0x30..0x39: high nibble 3, and adding 6 keeps it 3.
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0;
    if (((v & kHigh) | (((v + 0x060606060606) & kHigh) >> 4)) != 0x333333333333) return false;
    // Digit values, the first one in the third byte so that eight-digit arithmetic reads two
    // leading zeros; then pairs, fours and eights combine in three multiplications.
    v = (v - 0x303030303030) << 16;
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
         (((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
        32;
    value = static_cast<int32_t>(v);
    return true;
}

// The usual form of a coordinate, "-12.34567": a sign, at most four whole digits and at most
// six decimals, read exactly as an integer number of millionths. Returns where the number ends
// (the caller checks what follows), or nullptr when there is no digit.
const char* readPlainMicro(const char* p, const char* const e, int64_t& micro) {
    static constexpr int32_t kScale[7] = {1000000, 100000, 10000, 1000, 100, 10, 1};
    const bool negative = p < e && *p == '-';
    if (negative) ++p;
    const char* const start = p;
    int32_t whole = 0, fraction = 0;
    for (const char* stop = p + std::min<std::ptrdiff_t>(e - p, 4); p < stop; ++p) {
        const auto d = static_cast<unsigned>(*p - '0');
        if (d > 9) break;
        whole = whole * 10 + static_cast<int32_t>(d);
    }
    bool digits = p != start;
    if (p < e && *p == '.') {
        const char* const first = ++p;
        if (e - p >= 6 && sixDigits(p, fraction)) {
            p += 6;
        } else {
            for (const char* stop = p + std::min<std::ptrdiff_t>(e - p, 6); p < stop; ++p) {
                const auto d = static_cast<unsigned>(*p - '0');
                if (d > 9) break;
                fraction = fraction * 10 + static_cast<int32_t>(d);
            }
        }
        digits = digits || p != first;
        fraction *= kScale[p - first];
    }
    if (!digits) return nullptr;
    micro = int64_t{whole} * 1000000 + fraction;
    if (negative) micro = -micro;
    return p;
}

// Millionths of a degree from a number of degrees. The usual form is read exactly (it is nearly
// all of a file's bytes); other forms go through from_chars and are rounded to the nearest
// millionth.
bool readMicroDegrees(std::string_view s, float& out) {
    s = trimSpaces(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    const char* const e = s.data() + s.size();
    int64_t micro = 0;
    if (readPlainMicro(s.data(), e, micro) != e) {
        double degrees = 0;
        const auto [end, ec] = std::from_chars(s.data(), e, degrees);
        if (ec != std::errc{} || end != e || !std::isfinite(degrees) || std::fabs(degrees) > kMaxDegrees)
            return false;
        micro = static_cast<int64_t>(std::nearbyint(degrees * 1e6));
    }
    if (micro > kMaxMicro || micro < -kMaxMicro) return false;
    out = static_cast<float>(micro);
    return true;
}

// "(lat,lon)" of two plain numbers with nothing around them, as nearly every writer puts it:
// returns the end of the pair, or nullptr for any other spelling, which the general reader takes.
const char* readPlainPair(const char* p, const char* const e, float& lat, float& lon) {
    int64_t la = 0, lo = 0;
    p = readPlainMicro(p + 1, e, la);
    if (!p || p == e || *p != ',') return nullptr;
    p = readPlainMicro(p + 1, e, lo);
    if (!p || p == e || *p != ')') return nullptr;
    if (la > kMaxMicro || la < -kMaxMicro || lo > kMaxMicro || lo < -kMaxMicro) return nullptr;
    lat = static_cast<float>(la), lon = static_cast<float>(lo);
    return p + 1;
}

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

struct ResolvedStyle {
    TQEVMapPen pen;
    TQEVMapBrush brush;
    float textSize = 2000;
    int32_t column7 = 0;
    int32_t code = 0;
    bool codeValid = false;
    int row = -1; // in the style table, -1 for none
};

class PolishImporter {
  public:
    PolishImporter(TKorvane& map, ByteSource& src, const StyleTable& styles, const std::string& fileName,
                   const PolishImportOptions& options)
        : m_map(map), m_src(src), m_styles(styles), m_file(fileName), m_options(options),
          m_recoder(map.Document().codePage), m_typeNames(styles.size()),
          m_typeNameReady(styles.size(), false) {}

    ImportResult run();

  private:
    void readBlocks();
    void overlongLine();
    bool startOfFile(std::vector<char>& buf, std::size_t& begin, std::size_t end);
    void rawLine(std::string_view line);
    void line(std::string_view text);
    void header(std::string_view text);
    void headerKey(std::string_view name, std::string_view value);
    void sectionLine(std::string_view text);
    void dataLine(int level, std::string_view value);
    void parseCoordinates(std::string_view value);
    void closeSection();
    void makeObjects();
    void resolveStyle();
    int styleRow(uint32_t code);
    const std::string& typeName();
    void post(const TMapPoint* points, std::size_t count);
    void recode(std::string_view in, std::string& out, int64_t line);
    void problem(int64_t line, std::string message) { m_result.addProblem(m_file, line, std::move(message)); }
    void warning(int64_t line, std::string message) { m_result.addWarning(m_file, line, std::move(message)); }
    void progressAndCancel();

    TKorvane& m_map;
    ByteSource& m_src;
    const StyleTable& m_styles;
    const std::string& m_file;
    const PolishImportOptions& m_options;
    ImportResult m_result;
    LabelRecoder m_recoder;
    bool m_bom = false;
    bool m_utf8Warned = false;
    bool m_stop = false;

    uint64_t m_total = 0;
    uint64_t m_lineOffset = 0; // of the line being read, from the start of the import
    int64_t m_line = 0;
    int m_lastPercent = -1;

    // The section being read.
    Section m_section = Section::None;
    int64_t m_sectionLine = 0;
    std::string m_sectionName;
    std::string m_type, m_label, m_streetDesc, m_houseNumber;
    bool m_hasType = false, m_hasLabel = false, m_hasStreetDesc = false, m_hasHouseNumber = false;
    int64_t m_labelLine = 0;
    // Points of the coordinate lines kept: those of the lowest level met so far.
    int m_level = INT_MAX;
    struct DataLine {
        std::size_t first, count;
        int64_t line;
    };
    std::vector<DataLine> m_dataLines;
    std::vector<TMapPoint> m_points;

    // Style of the previous section; a run of sections of one kind and type looks it up once.
    bool m_styleKnown = false;
    Section m_styleSection = Section::None;
    std::string m_styleType;
    bool m_styleTypeBad = false;
    ResolvedStyle m_style;
    // Rows of the types met so far: towns interleave a few types, and a table search per section
    // was a visible part of importing. Capped, so that a file of ever new types cannot grow it.
    std::unordered_map<uint64_t, int> m_rowOfType;
    std::vector<std::string> m_typeNames; // per style row, in the map's code page
    std::vector<bool> m_typeNameReady;

    std::string m_text, m_street, m_house, m_scratch;
};

ImportResult PolishImporter::run() {
    m_total = m_src.remaining();
    try {
        readBlocks();
    } catch (const FileError& e) {
        problem(m_line, std::string("the file could not be read further: ") + e.what());
        m_stop = true;
    }
    if (!m_stop && m_section != Section::None) {
        // A truncated file: its last section may end anywhere, so it is dropped.
        if (m_section != Section::Other)
            problem(m_sectionLine,
                    "section " + m_sectionName + " is not closed before the end of the file; dropped");
        m_section = Section::None;
    }
    return std::move(m_result);
}

void PolishImporter::readBlocks() {
    const std::size_t maxLine = m_options.maxLineBytes;
    std::vector<char> buf(std::max<std::size_t>(m_options.blockBytes, 16));
    std::size_t begin = 0, end = 0;
    uint64_t base = 0; // offset of buf[0] in the input
    bool eof = false, first = true, skipping = false;
    // buf[begin, noCrBefore) holds no CR: one search per block instead of one per line in
    // files with plain LF line ends (nearly all of their bytes are long coordinate lines).
    std::size_t noCrBefore = 0;
    // A line longer than the cap is skipped whole, wherever the block reads cut it.
    auto lineOf = [&](std::string_view text) {
        if (text.size() > maxLine) {
            overlongLine();
            return;
        }
        m_lineOffset = base + begin;
        const std::size_t lineEnd = begin + text.size();
        if (lineEnd > noCrBefore) {
            const std::size_t from = std::max(begin, noCrBefore);
            const auto* cr = static_cast<const char*>(std::memchr(buf.data() + from, '\r', end - from));
            noCrBefore = cr ? static_cast<std::size_t>(cr - buf.data()) : end;
        }
        if (lineEnd > noCrBefore)
            rawLine(text);
        else
            line(text);
    };
    while (!m_stop) {
        while (begin < end && !m_stop) {
            const char* p = buf.data() + begin;
            const auto* nl = static_cast<const char*>(std::memchr(p, '\n', end - begin));
            if (!nl) break;
            const auto len = static_cast<std::size_t>(nl - p);
            if (skipping)
                skipping = false;
            else
                lineOf({p, len});
            begin += len + 1;
        }
        if (m_stop) break;
        if (eof) {
            // The last line may lack its line end.
            if (begin < end && !skipping) lineOf({buf.data() + begin, end - begin});
            break;
        }
        if (begin > 0) {
            std::memmove(buf.data(), buf.data() + begin, end - begin);
            base += begin;
            end -= begin;
            begin = 0;
            noCrBefore = 0;
        }
        if (!skipping && end > maxLine) {
            overlongLine();
            skipping = true;
        }
        if (skipping) base += end, end = 0, noCrBefore = 0;
        // The bytes of a long line are in the file already: growing is bounded by the file and
        // by the cap.
        if (end == buf.size())
            buf.resize(std::min(buf.size() * 2, maxLine < SIZE_MAX ? maxLine + 1 : maxLine));
        const std::size_t n = m_src.read(buf.data() + end, buf.size() - end);
        end += n;
        if (n == 0) eof = true;
        if (first && (end >= 3 || eof)) {
            first = false;
            if (!startOfFile(buf, begin, end)) return;
        }
        if (m_map.CancelRequested) {
            m_result.cancelled = true;
            m_stop = true;
        }
    }
}

void PolishImporter::overlongLine() {
    ++m_line;
    problem(m_line, "line longer than " + std::to_string(m_options.maxLineBytes) + " bytes; skipped");
}

bool PolishImporter::startOfFile(std::vector<char>& buf, std::size_t& begin, std::size_t end) {
    const auto byte = [&](std::size_t i) { return i < end ? static_cast<uint8_t>(buf[i]) : 0; };
    if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        // Editors that add the mark have saved the text as UTF-8, whatever CodePage says.
        m_bom = true;
        m_recoder.setSource(LabelEncoding::Utf8);
        begin = 3;
    } else if ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF)) {
        problem(1, "the file is UTF-16 text, which this importer does not read; save it as UTF-8 or ANSI");
        m_stop = true;
        return false;
    }
    return true;
}

void PolishImporter::rawLine(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    // A lone CR ends a line too (files from old Mac editors, or mixed by copy and paste).
    for (std::size_t cr; (cr = text.find('\r')) != std::string_view::npos && !m_stop;) {
        line(text.substr(0, cr));
        text.remove_prefix(cr + 1);
    }
    if (!m_stop) line(text);
}

void PolishImporter::line(std::string_view text) {
    ++m_line;
    // Keys indented by tabs or blanks come from hand editing, and the Ctrl-Z that old DOS editors
    // put at the end of a file is a control character: all of them trim away.
    text = trimmed(text);
    if (text.empty() || text.front() == ';') return; // ';' starts a comment only at the line start
    if (text.front() == '[') {
        header(text);
        return;
    }
    switch (m_section) {
    case Section::None:
        problem(m_line, "text outside any section ignored: " + quote(text));
        break;
    case Section::Header: {
        const std::size_t eq = text.find('=');
        if (eq != std::string_view::npos)
            headerKey(trimSpaces(text.substr(0, eq)), trimSpaces(text.substr(eq + 1)));
        break;
    }
    case Section::Point:
    case Section::Polyline:
    case Section::Polygon:
        sectionLine(text);
        break;
    case Section::Other:
        break;
    }
}

void PolishImporter::header(std::string_view text) {
    // Any "[END...]" closes the open section: GPSMapEdit writes [END-IMG ID], [END-RGN10] and the
    // like, other writers a plain [END], and hand-made files mix them up.
    if (startsWithNoCase(text, "[END")) {
        closeSection();
        return;
    }
    if (m_section != Section::None) {
        // A missing [END]: the section ends where the next one starts, and keeps its objects.
        problem(m_line, "section " + m_sectionName + " from line " + std::to_string(m_sectionLine) +
                            " has no [END] before this section; closed here");
        closeSection();
    }
    const std::string_view name = headerName(text);
    m_section = sectionOf(name);
    m_sectionLine = m_labelLine = m_line;
    m_sectionName.assign("[").append(name.substr(0, kQuoteBytes)).append("]");
    m_hasType = m_hasLabel = m_hasStreetDesc = m_hasHouseNumber = false;
    m_type.clear(), m_label.clear(), m_streetDesc.clear(), m_houseNumber.clear();
    m_level = INT_MAX;
    m_points.clear();
    m_dataLines.clear();
    progressAndCancel();
    if (m_stop) m_section = Section::None;
}

void PolishImporter::progressAndCancel() {
    if (m_map.OnProgress) {
        const int percent =
            m_total == 0 ? 100
                         : static_cast<int>((std::min(m_lineOffset, m_total) * 100 + m_total / 2) / m_total);
        if (percent != m_lastPercent) {
            m_lastPercent = percent;
            m_map.OnProgress(m_map, percent);
        }
    }
    if (m_map.CancelRequested) {
        m_result.cancelled = true;
        m_stop = true;
    }
}

void PolishImporter::headerKey(std::string_view name, std::string_view value) {
    if (!equalsNoCase(name, "CodePage")) return;
    int64_t cp = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), cp);
    if (ec != std::errc{} || end != value.data() + value.size()) {
        problem(m_line, "CodePage " + quote(value) + " is not a number; labels are taken as they are");
        return;
    }
    if (m_bom) return; // the byte order mark decides
    const LabelEncoding enc = polish::encodingOfCodePage(cp);
    m_recoder.setSource(enc);
    if (enc == LabelEncoding::Unsupported)
        warning(m_line,
                "code page " + std::to_string(cp) + " is not supported; letters outside ASCII become '?'");
}

void PolishImporter::sectionLine(std::string_view text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        problem(m_line, "line is neither name=value nor a section: " + quote(text));
        return;
    }
    const std::string_view name = trimSpaces(text.substr(0, eq));
    const std::string_view value = trimSpaces(text.substr(eq + 1));
    if (name.empty()) return;
    // Names are matched regardless of case; the first of equal names wins.
    switch (lowerAscii(name.front())) {
    case 'd':
    case 'o':
        if (const int level = dataLevel(name); level >= 0) dataLine(level, value);
        break;
    case 't':
        if (!m_hasType && equalsNoCase(name, "Type")) m_type.assign(value), m_hasType = true;
        break;
    case 'l':
        if (!m_hasLabel && equalsNoCase(name, "Label")) {
            if (value.size() > kMaxLabelBytes)
                problem(m_line, "label longer than " + std::to_string(kMaxLabelBytes) + " bytes; cut");
            m_label.assign(value.substr(0, kMaxLabelBytes)), m_hasLabel = true, m_labelLine = m_line;
        }
        break;
    case 's':
        if (!m_hasStreetDesc && equalsNoCase(name, "StreetDesc"))
            m_streetDesc.assign(value.substr(0, kMaxLabelBytes)), m_hasStreetDesc = true;
        break;
    case 'h':
        if (!m_hasHouseNumber && equalsNoCase(name, "HouseNumber"))
            m_houseNumber.assign(value.substr(0, kMaxLabelBytes)), m_hasHouseNumber = true;
        break;
    default:
        break;
    }
}

void PolishImporter::dataLine(int level, std::string_view value) {
    // The most detailed level the section has gives its points: usually Data0, but a feature
    // shown only at coarser zoom levels has only Data1, Data2 ...
    if (level > m_level) return;
    if (level < m_level) {
        m_level = level;
        m_points.clear();
        m_dataLines.clear();
    }
    const std::size_t first = m_points.size();
    parseCoordinates(value);
    // Every line of the level is one object: a polygon with holes or a feature in several parts
    // has one Data0 line per ring or part.
    m_dataLines.push_back({first, m_points.size() - first, m_line});
}

void PolishImporter::parseCoordinates(std::string_view value) {
    const char* p = value.data();
    const char* const e = p + value.size();
    int bad = 0;
    std::string_view firstBad;
    while (p < e) {
        while (p < e && (*p == ' ' || *p == '\t' || *p == ','))
            ++p;
        if (p == e) break;
        std::string_view lat, lon, pair;
        bool complete = false;
        const char* next = e;
        float la = 0, lo = 0;
        if (*p == '(') {
            if (const char* end = readPlainPair(p, e, la, lo)) {
                m_points.push_back({lo, -la});
                p = end;
                continue;
            }
            const auto* close =
                static_cast<const char*>(std::memchr(p + 1, ')', static_cast<std::size_t>(e - p - 1)));
            const std::string_view group(p + 1, static_cast<std::size_t>((close ? close : e) - p - 1));
            next = close ? close + 1 : e;
            const std::size_t comma = group.find(',');
            if (comma != std::string_view::npos)
                lat = group.substr(0, comma), lon = group.substr(comma + 1), complete = true;
        } else {
            // A bare list "lat,lon,lat,lon": some writers leave the parentheses out.
            const char* c1 = std::find(p, e, ',');
            lat = std::string_view(p, static_cast<std::size_t>(c1 - p));
            if (c1 != e) {
                next = std::find(c1 + 1, e, ',');
                lon = std::string_view(c1 + 1, static_cast<std::size_t>(next - c1 - 1));
                complete = true;
            }
        }
        pair = std::string_view(p, static_cast<std::size_t>(next - p));
        if (complete && readMicroDegrees(lat, la) && readMicroDegrees(lon, lo)) {
            m_points.push_back({lo, -la});
        } else if (bad++ == 0) {
            firstBad = pair;
        }
        p = next;
    }
    if (bad > 0)
        problem(m_line, std::to_string(bad) + (bad == 1 ? " coordinate pair" : " coordinate pairs") +
                            " could not be read and " + (bad == 1 ? "was" : "were") + " dropped, the first " +
                            quote(firstBad));
}

void PolishImporter::closeSection() {
    if (m_section == Section::Point || m_section == Section::Polyline || m_section == Section::Polygon)
        makeObjects();
    m_section = Section::None;
}

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
        LabelRecoder fromTable(m_map.Document().codePage);
        fromTable.setSource(LabelEncoding::Utf8);
        fromTable.recode(m_styles.rows()[i].style.typeName, m_typeNames[i]);
        m_typeNameReady[i] = true;
    }
    return m_typeNames[i];
}

void PolishImporter::recode(std::string_view in, std::string& out, int64_t line) {
    const LabelRecoder::Outcome o = m_recoder.recode(in, out);
    if (o.utf8Found && !m_utf8Warned) {
        m_utf8Warned = true;
        warning(line, "text is UTF-8 although the header does not say so; read as UTF-8");
    }
    if (o.approximated) {
        const int cp = static_cast<int>(m_map.Document().codePage);
        warning(line, "text written as " + quote(toUtf8(m_map.Document().codePage, out)) +
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
    for (const DataLine& d : m_dataLines)
        if (d.count > 0) post(m_points.data() + d.first, d.count);
    if (m_result.objects == before) ++m_result.skipped;
}

void PolishImporter::post(const TMapPoint* points, std::size_t count) {
    TKorvane& map = m_map;
    map.NewObject();
    TQEVMapObjectMem& o = map.CurrentObject;
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
            map.EncodeNote(o, note);
        } else {
            o.Kind = cText;
            o.Ploskost = 2;
            TQEVMapText text;
            text.X = points[0].X, text.Y = points[0].Y;
            text.Angle = 0;
            text.FontIndex = 1;
            text.FontSize = m_style.textSize;
            text.Text = m_text;
            map.EncodeText(o, text);
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
        o.Kind = cPolygon;
        o.Height = static_cast<float>(m_style.column7) / 100.0f;
        o.Ploskost = o.Height > 0 ? 1 : 0;
        o.setPoints(PointArray(points, points + count));
        break;
    }
    map.BufferTown = typeName();
    map.BufferStreet = m_street;
    map.BufferHouse = m_house;
    const int before = map.Objects().count();
    map.PostBuffer(TKorvane::AfterPost::Release);
    if (map.Objects().count() > before) ++m_result.objects;
}

} // namespace

ImportResult ImportPolish(TKorvane& map, ByteSource& src, const StyleTable& styles,
                          const std::string& fileName, const PolishImportOptions& options) {
    PolishImporter importer(map, src, styles, fileName, options);
    return importer.run();
}

ImportResult ImportPolishFile(TKorvane& map, const std::string& path, const StyleTable& styles,
                              const PolishImportOptions& options) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return {};
    FileSource src(path);
    return ImportPolish(map, src, styles, path, options);
}

bool sniffPolish(std::span<const uint8_t> head) {
    std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view lineText = trimmed(text.substr(0, nl));
        // Writers put comments and blank lines before the first section.
        if (!lineText.empty() && lineText.front() != ';') {
            if (lineText.front() != '[') return false;
            const std::string_view name = headerName(lineText);
            return sectionOf(name) != Section::Other || startsWithNoCase(name, "RGN");
        }
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return false;
}

} // namespace kestrum
