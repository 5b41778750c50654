#include "import/mif_import.h"

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

} // namespace kestrum
