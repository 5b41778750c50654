#include "import/mif_importer.h"

#include "model/mapinfo_symbol_numbers.h"

#include <cmath>

namespace kestrum {

uint8_t mifPenStyle(int64_t p) {
    if (p == 1) return 5;                                          // clear
    if (p == 3 || p == 4 || p == 10) return 2;                     // dot
    if ((p >= 5 && p <= 9) || (p >= 11 && p <= 13)) return 1;      // dash
    if ((p >= 14 && p <= 17) || p == 23 || p == 25) return 3;      // dash-dot
    if ((p >= 18 && p <= 22) || p == 24) return 4;                 // dash-dot-dot
    return 0;                                                      // solid
}

uint8_t mifBrushStyle(int64_t p) {
    if (p == 2) return 0;                                          // solid
    if (p == 3 || (p >= 19 && p <= 23)) return 2;                  // horizontal
    if (p == 4 || (p >= 24 && p <= 28)) return 3;                  // vertical
    if (p == 5 || (p >= 29 && p <= 33)) return 5;                  // backward diagonal
    if (p == 6 || (p >= 34 && p <= 38)) return 4;                  // forward diagonal
    if (p == 7 || (p >= 39 && p <= 43)) return 6;                  // cross
    if ((p >= 8 && p <= 18) || (p >= 44 && p <= 47)) return 7;     // diagonal cross
    return 1;                                                      // clear (0, 1, 48 and above)
}

float mifPenPixels(double width) {
    // 11 and above are tenths of a point beyond 10; a point is 96 / 72 pixels on the screen.
    if (width >= 11) return static_cast<float>((width - 10) / 10 * 96.0 / 72.0);
    return static_cast<float>(width);
}

int32_t mifTextAngle(double degrees) {
    if (!std::isfinite(degrees)) return 0;
    // Whole turns first, so that no angle, however large, overflows the tenths.
    double a = std::nearbyint(std::fmod(degrees, 360.0) * 10.0);
    a = std::fmod(a, 3600.0);
    if (a < 0) a += 3600.0;
    // Straight up and straight down stay as they are: the tangent has no value there, and its
    // sign at a floating-point 270 degrees would turn the text upside down.
    if (a == 900.0 || a == 2700.0) return static_cast<int32_t>(a);
    constexpr double kDeg = 3.14159265358979323846 / 180.0;
    double t = 10.0 * std::nearbyint(std::atan(0.6 * std::tan(a / 10.0 * kDeg)) / kDeg);
    if (t < 0) t += 3600.0;
    if (a > 900.0 && a < 2700.0) {
        if (t > 2700.0) t -= 1800.0;
        else if (t < 900.0) t += 1800.0;
    }
    if (t >= 3600.0) t -= 3600.0;
    return static_cast<int32_t>(t);
}

namespace mif {

// What MapInfo draws an object with when it has no clause of its own: Pen (1,2,0), a solid
// black line of one pixel; Brush (2,16777215,16777215), solid white; Symbol (35,0,12), a black
// star of 12 points; a black font. Nothing carries over from the object before.
void MifImporter::resetStyles() {
    m_pen = {0, 0, 1.0f, kPenWidthPixels};
    m_brush = {0xFFFFFF, 0};
    m_symbol = {};
    m_fontColour = 0;
    m_angle = 0;
}

// --- styles --------------------------------------------------------------------------------

// The parenthesised arguments of a style clause: numbers, and quoted strings (skipped).
// Returns how many arguments there were; numbers land in `num`, strings leave NaN there.
int MifImporter::readArgs(std::string_view rest, double* num, int max) {
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
bool MifImporter::colour(double v, int32_t& out) {
    if (!(v >= 0 && v <= 16777215.0) || v != std::floor(v)) {
        problem([] { return std::string("colour out of range"); });
        return false;
    }
    const auto c = static_cast<uint32_t>(v);
    out = static_cast<int32_t>(((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu));
    return true;
}

namespace {

bool isNumber(double v) { return !std::isnan(v); }

} // namespace

void MifImporter::readPen(std::string_view rest) {
    double a[3];
    if (readArgs(rest, a, 3) < 3 || !isNumber(a[0]) || !isNumber(a[1]) || !isNumber(a[2]))
        return problem([] { return std::string("PEN needs (width, pattern, colour)"); });
    // MapInfo widths are 0..7 pixels, or 11 and above for points; nothing sensible is larger.
    if (!(a[0] >= 0 && a[0] <= 10000.0)) return problem([] { return std::string("PEN width out of range"); });
    int32_t c = 0;
    if (!colour(a[2], c)) return;
    m_pen.Width = mifPenPixels(a[0]);
    m_pen.Flags = kPenWidthPixels;
    m_pen.Style = mifPenStyle(static_cast<int64_t>(std::clamp(a[1], -1.0, 1000.0)));
    m_pen.Color = c;
}

void MifImporter::readBrush(std::string_view rest) {
    double a[3];
    const int n = readArgs(rest, a, 3);
    if (n < 2 || !isNumber(a[0]) || !isNumber(a[1]))
        return problem([] { return std::string("BRUSH needs (pattern, colour[, background])"); });
    int32_t c = 0;
    if (!colour(a[1], c)) return;
    m_brush.Style = mifBrushStyle(static_cast<int64_t>(std::clamp(a[0], -1.0, 1000.0)));
    m_brush.Color = c;
}

// SYMBOL comes as a MapInfo 3.0 shape (shape, colour, size), a TrueType font symbol (shape,
// colour, size, font, style, rotation) or a bitmap file ("file", colour, size, style); every
// form has the colour second and the size in points third. Only the 3.0 shapes have pictures
// of their own; the others are shown as a dot of their colour and size.
void MifImporter::readSymbol(std::string_view rest) {
    double a[6];
    const int n = readArgs(rest, a, 6);
    if (n < 2 || !isNumber(a[1])) return problem([] { return std::string("SYMBOL without a colour"); });
    int32_t c = 0;
    if (colour(a[1], c)) m_symbol.color = c;
    const bool fromFile = !isNumber(a[0]);
    const bool fromFont = n >= 4 && !isNumber(a[3]);
    const bool known = !fromFile && !fromFont && a[0] >= kMapInfoFirstSymbol && a[0] <= kMapInfoLastSymbol &&
                       a[0] == std::floor(a[0]);
    m_symbol.shape = known ? static_cast<int32_t>(a[0]) : kMapInfoStandInSymbol;
    if (n >= 3 && isNumber(a[2]) && a[2] > 0) m_symbol.size = static_cast<float>(std::min(a[2], 96.0));
}

void MifImporter::readFont(std::string_view rest) {
    double a[5];
    if (readArgs(rest, a, 5) < 4 || !isNumber(a[3]))
        return problem([] { return std::string("FONT needs (name, style, size, colour[, background])"); });
    int32_t c = 0;
    if (colour(a[3], c)) m_fontColour = c;
}

void MifImporter::readAngle(std::string_view rest) {
    double a = 0;
    if (!takeNumber(rest, a)) return problem([] { return std::string("ANGLE without a number"); });
    m_angle = a;
}

} // namespace mif

} // namespace kestrum
