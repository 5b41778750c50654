#pragma once
// The Polish-format importer's own parts, shared by its files: polish_import.cpp reads lines and
// sections, polish_header.cpp the [IMG ID] section and the code page of the text,
// polish_coords.cpp coordinates, polish_objects.cpp styles and the objects made.

#include "import/object_sink.h"
#include "import/polish_import.h"
#include "import/polish_text.h"
#include "import/text_lines.h"
#include "io/byte_source.h"
#include "model/codepage.h"

#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrum::polish {


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

inline char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

inline bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

inline std::string_view trimSpaces(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

inline std::string quote(std::string_view s) {
    std::string q = "\"";
    q.append(s.substr(0, kQuoteBytes));
    if (s.size() > kQuoteBytes) q += "...";
    return q + '"';
}

// Section names are compared regardless of case: "[poi]" ... "[end]" is written by hand and by
// some scripts, and every other reader of the format takes it.
inline Section sectionOf(std::string_view name) {
    if (equalsNoCase(name, "IMG ID")) return Section::Header;
    if (equalsNoCase(name, "POI") || equalsNoCase(name, "RGN10") || equalsNoCase(name, "RGN20"))
        return Section::Point;
    if (equalsNoCase(name, "POLYLINE") || equalsNoCase(name, "RGN40")) return Section::Polyline;
    if (equalsNoCase(name, "POLYGON") || equalsNoCase(name, "RGN80")) return Section::Polygon;
    return Section::Other;
}

// The name between the brackets of a header line ("[POI]" -> "POI"); the bracket may be missing.
inline std::string_view headerName(std::string_view line) {
    const std::size_t close = line.find(']');
    return trimSpaces(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// Level N of "DataN" / "OriginN"; -1 for other names.
inline int dataLevel(std::string_view name) {
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

// Millionths of a degree from a number of degrees; false when it is no coordinate.
bool readMicroDegrees(std::string_view s, float& out);
// "(lat,lon)" of two plain numbers: the end of the pair, or nullptr for any other spelling.
const char* readPlainPair(const char* p, const char* e, float& lat, float& lon);

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
    PolishImporter(TObjectSink& sink, ByteSource& src, const StyleTable& styles, const std::string& fileName,
                   const PolishImportOptions& options)
        : m_sink(sink), m_src(src), m_styles(styles), m_file(fileName), m_options(options),
          m_recoder(sink.Document().codePage), m_typeNames(styles.size()),
          m_typeNameReady(styles.size(), false) {}

    ImportResult run();

  private:
    void readBlocks();
    void overlongLine();
    // The first line tells a byte-order mark; false (and a problem) for UTF-16 text.
    bool startOfFile(const LineReader& lines, std::string_view first);
    void line(std::string_view text);
    void header(std::string_view text);
    void headerKey(std::string_view name, std::string_view value);
    void headerEnd();
    void textSource();
    // A code page other than the map's that keeps every letter written so far and those of
    // `in`; switches the map to it and returns true.
    bool betterCodePage(std::string_view in);
    void switchCodePage(CodePage cp);
    void noteText(std::string_view in, const std::string& out, const LabelRecoder::Outcome& o);
    void sectionLine(std::string_view text);
    void dataLine(int level, std::string_view value);
    void parseCoordinates(std::string_view value);
    void closeSection();
    void makeObjects();
    void resolveStyle();
    int styleRow(uint32_t code);
    const std::string& typeName();
    void post(const TMapPoint* points, std::size_t count);
    void makePolygon(TQEVMapObjectMem& o, const TMapPoint* points, std::size_t count) const;
    void recode(std::string_view in, std::string& out, int64_t line);
    void problem(int64_t line, std::string message) { m_result.addProblem(m_file, line, std::move(message)); }
    void warning(int64_t line, std::string message) { m_result.addWarning(m_file, line, std::move(message)); }
    void progressAndCancel();

    TObjectSink& m_sink;
    ByteSource& m_src;
    const StyleTable& m_styles;
    const std::string& m_file;
    const PolishImportOptions& m_options;
    ImportResult m_result;
    LabelRecoder m_recoder;
    bool m_bom = false;
    bool m_utf8Warned = false;
    // The map was empty when the import began: its code page is the one the file's text needs.
    bool m_codePageFree = false;
    int m_declaredCodePage = 0;
    std::string m_mapName;
    bool m_hasMapName = false;
    bool m_utf8Seen = false, m_singleByteSeen = false;
    // Bytes above 0x7F of the texts written so far, in the map's code page: a switch to another
    // code page must keep all of them.
    std::array<bool, 256> m_usedBytes{};
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
    // The label as written, when it held display codes.
    std::string m_rawLabel;
    bool m_labelHadCodes = false;
};

} // namespace kestrum::polish
