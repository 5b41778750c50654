#pragma once
// The working state of one MIF/MID import, shared by the importer's parts:
//   mif_import.cpp    the run, line fetching, problems and the header up to DATA;
//   mif_geometry.cpp  object clauses into the pending object's points;
//   mif_styles.cpp    pen, brush, symbol, font and angle clauses;
//   mif_posting.cpp   MID rows and the map objects made of the pending object.
// Private to the importer: nothing outside src/core/import includes it.

#include "model/mapinfo_symbol_numbers.h"
#include "import/mif_charset.h"
#include "import/mif_import.h"
#include "import/mif_lines.h"
#include "import/mif_mid.h"
#include "import/object_sink.h"
#include "io/byte_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrum::mif {

// What the object being read becomes when the next object starts.
enum class Pending : uint8_t {
    None,
    Region,   // rings: polygons
    Polyline, // sections (Pline, Line, Arc): lines
    Shape,    // one closed outline (Rect, RoundRect): a polygon
    Ellipse,  // the four corners of its box
    Text,
    Points, // Point, MultiPoint: notes
};

// A MapInfo 3.0 symbol: shape number, colour (a colour reference) and size in points.
struct MifSymbol {
    int32_t shape = kMapInfoDefaultSymbol;
    int32_t color = 0;
    float size = kMapInfoDefaultSize;
};

class MifImporter {
  public:
    MifImporter(TObjectSink& sink, ByteSource& mif, ByteSource* mid, std::string mifName, std::string midName,
                const MifImportOptions& options);
    ImportResult run();

  private:
    // --- lines and problems (mif_import.cpp)
    bool fetch(std::string_view& line);
    bool fetchNonBlank(std::string_view& line);
    void updateProgress();
    void fireProgress(int percent);
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
    void noteText(TextDecoder::Outcome o, const std::string& file, int64_t line);

    // --- header (mif_import.cpp)
    static bool isObjectWord(std::string_view w);
    bool readHeader();
    void readCharset(std::string_view rest);
    void readDelimiter(std::string_view rest);
    void readCoordSys(std::string_view rest);
    void readColumns(std::string_view rest);
    void chooseCodePage();

    // --- object clauses (mif_geometry.cpp)
    void readData();
    void stray();
    void dispatch(std::string_view w, std::string_view rest);
    void startObject(Pending kind, bool mayBePart);
    void finishRecord();
    bool readCount(std::string_view& rest, const char* what, int64_t& n);
    void checkCount(int64_t n, uint64_t minBytes, const char* what, const char* unit);
    int readNumbers(std::string_view rest, int need, double* out);
    bool toUnits(double x, double y, double& sx, double& sy);
    bool toMap(double x, double y, TMapPoint& p);
    void decideScale(double x, double y);
    void readPoints(int64_t n, const char* what);
    void readParts(std::string_view rest, Pending kind);
    void readPline(std::string_view rest);
    void readMultiPoint(std::string_view rest);
    void readPoint(std::string_view rest);
    void readLine(std::string_view rest);
    void readRect(std::string_view rest, bool rounded);
    void readEllipse(std::string_view rest);
    void readArc(std::string_view rest);
    void addOutline(const std::vector<std::pair<double, double>>& filePoints);
    void readCollection(std::string_view rest);
    void readText(std::string_view rest);

    // --- style clauses (mif_styles.cpp)
    void resetStyles();
    int readArgs(std::string_view rest, double* num, int max);
    bool colour(double v, int32_t& out);
    void readPen(std::string_view rest);
    void readBrush(std::string_view rest);
    void readSymbol(std::string_view rest);
    void readFont(std::string_view rest);
    void readAngle(std::string_view rest);

    // --- MID rows and map objects (mif_posting.cpp)
    void nextMidRow();
    void checkMidTail();
    void post();
    TQEVMapObjectMem& fresh(TObjectKind kind, int32_t plane);
    void emit();
    using Part = std::pair<std::size_t, std::size_t>; // [begin, end) in m_points
    void postRegion(const std::vector<Part>& rings);
    void postPolyline(const std::vector<Part>& sections);
    void postShape(Part outline);
    void postEllipse();
    void postPoints();
    void postText();
    std::vector<Part> parts() const;
    void postPolygon(Part ring);

    TObjectSink& m_sink;
    ByteSource& m_mifSource;
    ByteSource* m_midSource;
    std::string m_mifName, m_midName;
    LineReader m_lines;
    std::optional<LineReader> m_mid;
    TextDecoder m_text;                    // file text into the map's code page
    TextDecoder m_names{CodePage::Cp1251}; // column names, where the keywords are matched
    MidAddressDecoder m_address;
    AddressValues m_addr;
    ImportResult m_result;

    std::string m_charsetName, m_coordSysText;
    double m_scale = -1;    // no CoordSys line: decided by the first coordinate line
    bool m_dotSeen = false; // the coordinate line just read has a decimal point
    bool m_latFirst = false;
    bool m_guessNoted = false;
    bool m_cancelled = false;
    bool m_midEnded = false;
    bool m_strayRun = false;
    int m_lastPercent = -1;
    uint64_t m_nextProgressAt = 0;

    // Styles of the pending object: its own clauses, else MapInfo's defaults.
    TQEVMapPen m_pen{};
    TQEVMapBrush m_brush{};
    MifSymbol m_symbol;
    int32_t m_fontColour = 0;
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
    std::string m_row; // a MID row over several lines
};

} // namespace kestrum::mif
