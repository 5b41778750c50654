#include "view/view_transform.h"

#include <algorithm>
#include <cmath>

namespace kestrum {

void ViewTransform::MapToScreenClamped(float& x, float& y) const {
    MapToScreen(x, y);
    x = std::clamp(x, -kClampLimit, kClampLimit);
    y = std::clamp(y, -kClampLimit, kClampLimit);
}

TPoint ViewTransform::toScreen(TMapPoint p) const {
    float x = p.X, y = p.Y;
    MapToScreen(x, y);
    return {roundScreen(x), roundScreen(y)};
}

std::size_t ViewTransform::transformAll(std::span<const TMapPoint> in, TPoint* out) const {
    const double k = scaleFactor, ox = xWind, oy = yWind;
    for (std::size_t i = 0; i < in.size(); ++i)
        out[i] = {roundScreen((in[i].X - ox) * k), roundScreen((in[i].Y - oy) * k)};
    return in.size();
}

std::size_t ViewTransform::transformThinned(std::span<const TMapPoint> in, TPoint* out) const {
    if (in.size() <= 10) return transformAll(in, out);
    const double k = scaleFactor, ox = xWind, oy = yWind;
    out[0] = {roundScreen((in[0].X - ox) * k), roundScreen((in[0].Y - oy) * k)};
    std::size_t n = 1;
    for (std::size_t i = 1; i < in.size(); ++i) {
        // Written into the next free slot whatever happens; kept only if it moved far enough.
        const TPoint p{roundScreen((in[i].X - ox) * k), roundScreen((in[i].Y - oy) * k)};
        out[n] = p;
        const TPoint& last = out[n - 1];
        if (std::abs(int64_t{p.X} - last.X) + std::abs(int64_t{p.Y} - last.Y) > 1) ++n;
    }
    return n;
}

} // namespace kestrum
