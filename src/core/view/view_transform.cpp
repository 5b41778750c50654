#include "view/view_transform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    std::size_t i = 0;
#if defined(__SSE2__)
    // A point a step and no branch, as roundScreen does it: the conversion rounds in the same
    // mode (to nearest, ties to even), and a NaN is parked at the origin.
    const __m128d origin = _mm_set_pd(oy, ox), factor = _mm_set1_pd(k);
    const __m128d low = _mm_set1_pd(-double{kScreenLimit}), high = _mm_set1_pd(double{kScreenLimit});
    static_assert(sizeof(TMapPoint) == 8 && sizeof(TPoint) == 8);
    for (; i < in.size(); ++i) {
        const __m128 xy = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(&in[i])));
        const __m128d v = _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(xy), origin), factor);
        const __m128d kept = _mm_min_pd(_mm_max_pd(v, low), high);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&out[i]), _mm_cvtpd_epi32(_mm_andnot_pd(_mm_cmpunord_pd(v, v), kept)));
    }
#endif
    for (; i < in.size(); ++i) out[i] = {roundScreen((in[i].X - ox) * k), roundScreen((in[i].Y - oy) * k)};
    return in.size();
}

std::size_t ViewTransform::transformThinned(std::span<const TMapPoint> in, TPoint* out) const {
    transformAll(in, out);
    if (in.size() <= 10) return in.size();
    // A point is kept when it moved more than a pixel from the last one kept.
    std::size_t n = 1;
    for (std::size_t i = 1; i < in.size(); ++i) {
        const TPoint p = out[i], last = out[n - 1];
        if (std::abs(int64_t{p.X} - last.X) + std::abs(int64_t{p.Y} - last.Y) > 1) out[n++] = p;
    }
    return n;
}

} // namespace kestrum
