#pragma once
// World <-> screen conversion. World and screen axes point the same way (Y down); the view is a
// scale factor (pixels per world unit) and the world point at the window's top-left corner.

#include "model/rounding.h"
#include "model/types.h"

#include <cstdint>
#include <span>

namespace kestrum {

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    int32_t width() const { return Right - Left; }
    int32_t height() const { return Bottom - Top; }
    bool empty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// Screen coordinates handed to the drawing back ends stay inside this range; farther points lie
// hundreds of screens away, where only the direction of an edge matters.
constexpr float kScreenLimit = 16777216.0f;
constexpr float kClampLimit = 16000.0f;

struct ViewTransform {
    double scale = 100.0; // percent: pixels per 100 world units
    double scaleFactor = 1.0;
    float xWind = 0;
    float yWind = 0;

    // Converted in place, as the drawing code wants them; results stay fractional.
    void ScreenToMap(float& x, float& y) const {
        const auto k = static_cast<float>(100.0 / scale);
        x = x * k + xWind;
        y = y * k + yWind;
    }
    void MapToScreen(float& x, float& y) const {
        const auto k = static_cast<float>(scaleFactor);
        x = (x - xWind) * k;
        y = (y - yWind) * k;
    }
    void MapToScreenClamped(float& x, float& y) const;
    // Rounded screen point (ties to even).
    TPoint toScreen(TMapPoint p) const;

    // Vertex lists into integer screen points. With thinning, a vertex that lands within one
    // pixel (|dx| + |dy| <= 1) of the previously kept one is dropped, except for lists of at
    // most 10 vertices. Returns the number of points written; `out` must hold in.size() points.
    std::size_t transformThinned(std::span<const TMapPoint> in, TPoint* out) const;
    std::size_t transformAll(std::span<const TMapPoint> in, TPoint* out) const;
};

// Nearest integer, ties to even, kept inside the drawable range. Called for every vertex of
// every frame.
inline int32_t roundScreen(double v) {
    if (!(v == v)) return 0; // NaN: park the point at the origin rather than overflow
    v = v < -double{kScreenLimit} ? -double{kScreenLimit} : v > double{kScreenLimit} ? double{kScreenLimit} : v;
    return static_cast<int32_t>(roundHalfEven(v));
}

} // namespace kestrum
