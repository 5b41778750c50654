#pragma once
// The style table of the Polish-format importer: how a feature of each type code is drawn.
//
// One row per line, "KEY=VALUE". The key is the type code in upper-case hexadecimal, at least
// four digits, a vertical bar and the kind of feature (0 polygon, 1 polyline, 3 point); keys are
// matched regardless of letter case. The value is eight comma-separated columns: pen colour,
// pen width, pen style, brush colour, brush style, text size, a seventh column (points: icon
// number, 1-based, 0 for a text label; polygons and polylines: height x 100) and the type name,
// which takes everything after the seventh comma, commas included.
//
// The built-in table is src/core/import/polish_styles.txt, compiled into the library.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

enum class PolishKind : uint8_t { Polygon = 0, Polyline = 1, Point = 3 };

struct PolishStyle {
    int32_t penColor = 0;
    int32_t penWidth = 0;
    int32_t penStyle = 0;
    int32_t brushColor = 0;
    int32_t brushStyle = 1;
    int32_t textSize = 2000;
    int32_t column7 = 0;  // icon number for points, height x 100 for the other kinds
    std::string typeName; // UTF-8, as the table holds it

    friend bool operator==(const PolishStyle&, const PolishStyle&) = default;
};

class StyleTable {
  public:
    struct Row {
        std::string key; // as written
        PolishStyle style;
    };
    // A line that is no row: no '=', an empty key, or fewer than seven columns.
    struct BadLine {
        int line = 0; // 1-based
        std::string text;
    };

    StyleTable() = default;

    // Rows from text (LF or CRLF line ends, blank lines skipped) or from separate lines.
    static StyleTable parse(std::string_view text);
    static StyleTable fromLines(std::span<const std::string> lines);

    // The row of a key such as "2C00|3", regardless of letter case; the first of equal keys
    // wins. Null when there is none.
    const PolishStyle* find(std::string_view key) const;
    // Index into rows() of a key, or -1.
    int indexOf(std::string_view key) const;

    const std::vector<Row>& rows() const { return m_rows; }
    std::size_t size() const { return m_rows.size(); }
    const std::vector<BadLine>& badLines() const { return m_bad; }

    // Reads one value ("0,0,0,0,1,2000,19,Name"); false when it has fewer than seven columns.
    static bool parseValue(std::string_view value, PolishStyle& out);

  private:
    void addLine(std::string_view line, int lineNumber);
    void buildIndex();

    std::vector<Row> m_rows;
    std::vector<BadLine> m_bad;
    // Upper-cased keys with their row, sorted by key (then row, so that the first row wins).
    std::vector<std::pair<std::string, int>> m_index;
};

// The table compiled into the library (557 rows), parsed once.
const StyleTable& builtinPolishStyles();
// Its text, exactly as the data file holds it.
std::string_view builtinPolishStylesText();

} // namespace kestrum
