#include "render/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrum::raster {

namespace {

constexpr int64_t kOne = int64_t{1} << kSubpixelBits; // a pixel
constexpr int64_t kHalf = kOne / 2;                    // from a pixel's edge to its centre

// Exact floor(n / d) for d > 0. A floating-point quotient is off by a unit at most for the
// magnitudes here (below 2^60) and is corrected; an integer division costs several times more.
int64_t floorDiv(int64_t n, int64_t d) {
    const double f = static_cast<double>(n) / static_cast<double>(d);
    auto q = static_cast<int64_t>(f); // towards zero; no library call on the way
    while (q * d > n) --q;
    while ((q + 1) * d <= n) ++q;
    return q;
}
// Nearest integer, halves up.
int64_t roundToInt(double v) {
    const double t = v + 0.5;
    const auto i = static_cast<int64_t>(t);
    return i - (t < static_cast<double>(i) ? 1 : 0);
}

TRect intersect(TRect a, const Surface image) {
    return {std::max(a.Left, 0), std::max(a.Top, 0), std::min(a.Right, image.width), std::min(a.Bottom, image.height)};
}

// Over-operator of one channel set, rounded as an 8-bit compositor does: each channel is
// (s * alpha + d * (255 - alpha) + 127) / 255, two channels a multiply. Every sum stays below
// 65280, where v / 255 is exactly (v + 1 + (v >> 8)) >> 8.
uint32_t blend(uint32_t dst, uint32_t src, uint32_t alpha) {
    const uint32_t inv = 255 - alpha;
    auto lanes = [&](uint32_t s, uint32_t d) { // channels at bits 0 and 16
        const uint32_t v = s * alpha + d * inv + 0x007F007Fu;
        return ((v + 0x00010001u + ((v >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    };
    return 0xFF000000u | lanes(src & 0xFF00FFu, dst & 0xFF00FFu) | lanes((src >> 8) & 0xFF00FFu, (dst >> 8) & 0xFF00FFu) << 8;
}

// A pixel receives a colour at an opacity.
void lay(uint32_t& dst, uint32_t pixel, uint32_t alpha) {
    if (alpha == 255) dst = pixel;
    else if (alpha != 0) dst = blend(dst, pixel, alpha);
}

void paintSpan(uint32_t* row, int32_t y, int32_t from, int32_t to, const Paint& paint) {
    if (from >= to) return;
    if (!paint.pattern) {
        if (paint.alpha == 255) {
            std::fill(row + from, row + to, paint.pixel);
        } else {
            for (int32_t x = from; x < to; ++x) row[x] = blend(row[x], paint.pixel, paint.alpha);
        }
        return;
    }
    const uint32_t mask = (*paint.pattern)[static_cast<std::size_t>(y & 7)];
    if (mask == 0) return;
    for (int32_t x = from; x < to; ++x)
        if ((mask >> (x & 7)) & 1u) lay(row[x], paint.pixel, paint.alpha);
}

int64_t ceilDiv(int64_t n, int64_t d) { return -floorDiv(-n, d); }

// Each channel of x times a / 255, two channels per multiply.
uint32_t byteMul(uint32_t x, uint32_t a) {
    uint32_t t = (x & 0xFF00FFu) * a;
    t = ((t + ((t >> 8) & 0xFF00FFu) + 0x800080u) >> 8) & 0xFF00FFu;
    x = ((x >> 8) & 0xFF00FFu) * a;
    x = (x + ((x >> 8) & 0xFF00FFu) + 0x800080u) & 0xFF00FF00u;
    return x | t;
}

// x * a / 255 + y * b / 255 for each channel at once, a + b = 255: the compositor's blend.
uint32_t interpolate(uint32_t x, uint32_t a, uint32_t y, uint32_t b) {
    uint32_t t = (x & 0xFF00FFu) * a + (y & 0xFF00FFu) * b;
    t = ((t + ((t >> 8) & 0xFF00FFu) + 0x800080u) >> 8) & 0xFF00FFu;
    x = ((x >> 8) & 0xFF00FFu) * a + ((y >> 8) & 0xFF00FFu) * b;
    x = (x + ((x >> 8) & 0xFF00FFu) + 0x800080u) & 0xFF00FF00u;
    return x | t;
}

#if defined(__SSE2__)
// byteMul's and interpolate's rounding in eight 16-bit lanes: (t + (t >> 8) + 128) >> 8.
__m128i byteDivide(__m128i t) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), _mm_set1_epi16(0x80)), 8);
}
#endif

} // namespace

namespace {

// Calls rows(dst, src, count) for each row of a picture whose top-left corner goes to (x, y),
// cut to the clip: dst and src point at the first pixel of the row's part inside.
template <class T, class Rows>
void eachPictureRow(Surface image, TRect clip, int32_t x, int32_t y, const T* src, int32_t width, int32_t height,
                    std::size_t stride, Rows&& rows) {
    clip = intersect(clip, image);
    const int32_t x0 = std::max(x, clip.Left), x1 = std::min(x + width, clip.Right);
    const int32_t y0 = std::max(y, clip.Top), y1 = std::min(y + height, clip.Bottom);
    if (x0 >= x1) return;
    for (int32_t row = y0; row < y1; ++row)
        rows(image.pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width) + x0,
             src + static_cast<std::size_t>(row - y) * stride + (x0 - x), x1 - x0);
}

} // namespace

void blendMask(Surface image, TRect clip, int32_t x, int32_t y, const uint8_t* mask, int32_t width, int32_t height,
               std::size_t stride, uint32_t pixel, uint8_t alpha) {
    eachPictureRow(image, clip, x, y, mask, width, height, stride, [&](uint32_t* dst, const uint8_t* m, int32_t count) {
        int32_t i = 0;
#if defined(__SSE2__)
        // Four pixels at a time, the same sums as below in 16-bit lanes: a coverage times the
        // opacity over 255 is (v + 1 + (v >> 8)) >> 8 exactly for every v that can occur.
        const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
        const __m128i opacity = _mm_set1_epi16(alpha), rounding = _mm_set1_epi16(127), all = _mm_set1_epi16(255);
        const __m128i ink = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int32_t>(pixel)), zero);
        const __m128i solid = _mm_set1_epi32(static_cast<int32_t>(pixel));
        while (i + 4 <= count) {
            // Most of a caption's box is bare: skip it eight at a time.
            uint64_t eight;
            if (i + 8 <= count && (std::memcpy(&eight, m + i, 8), eight == 0)) {
                i += 8;
                continue;
            }
            uint32_t four;
            std::memcpy(&four, m + i, 4);
            if (four == 0) {
                i += 4;
                continue;
            }
            __m128i* out = reinterpret_cast<__m128i*>(dst + i);
            if (four == 0xFFFFFFFFu && alpha == 255) {
                _mm_storeu_si128(out, solid);
                i += 4;
                continue;
            }
            const __m128i v = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(four)), zero), opacity), rounding);
            __m128i a = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, one), _mm_srli_epi16(v, 8)), 8);
            a = _mm_unpacklo_epi16(a, a);
            auto mix = [&](__m128i d, __m128i share) {
                return byteDivide(_mm_add_epi16(_mm_mullo_epi16(ink, share), _mm_mullo_epi16(d, _mm_sub_epi16(all, share))));
            };
            const __m128i d = _mm_loadu_si128(out);
            const __m128i lo = mix(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi32(a, a));
            const __m128i hi = mix(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi32(a, a));
            _mm_storeu_si128(out, _mm_packus_epi16(lo, hi));
            i += 4;
        }
#endif
        for (; i < count; ++i) {
            if (m[i] == 0) {
                uint64_t eight;
                while (i + 8 <= count && (std::memcpy(&eight, m + i, 8), eight == 0)) i += 8;
                if (i >= count) break;
                if (m[i] == 0) continue;
            }
            const uint32_t a = m[i] == 255 ? alpha : (uint32_t{m[i]} * alpha + 127) / 255;
            dst[i] = a == 255 ? pixel : interpolate(pixel, a, dst[i], 255 - a);
        }
    });
}

void blendImage(Surface image, TRect clip, int32_t x, int32_t y, const uint32_t* src, int32_t width, int32_t height,
                std::size_t stride) {
    eachPictureRow(image, clip, x, y, src, width, height, stride, [](uint32_t* dst, const uint32_t* s, int32_t count) {
        int32_t i = 0;
#if defined(__SSE2__)
        // Four pixels at a time, the same sums as below: each channel times 255 - alpha fits a
        // 16-bit lane with its rounding, and the source is added as whole words.
        const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi32(255);
        const __m128i opaque = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
        for (; i + 4 <= count; i += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, zero)) == 0xFFFF) continue; // bare
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(v, opaque), opaque)) == 0xFFFF) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v); // solid: an icon's body
                continue;
            }
            __m128i inv = _mm_sub_epi32(full, _mm_srli_epi32(v, 24));
            inv = _mm_or_si128(inv, _mm_slli_epi32(inv, 16));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
            const __m128i lo = byteDivide(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi32(inv, inv)));
            const __m128i hi = byteDivide(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi32(inv, inv)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_add_epi32(v, _mm_packus_epi16(lo, hi)));
        }
#endif
        for (; i < count; ++i) {
            const uint32_t v = s[i];
            if (v >= 0xFF000000u) dst[i] = v;
            else if (v != 0) dst[i] = v + byteMul(dst[i], 255 - (v >> 24));
        }
    });
}

void Rasterizer::startFill(const TRect& clip, bool smooth) {
    // Aliased: one sample row per pixel through its centre, crossings rounded to the first pixel
    // whose centre lies right of them. Smooth: four sample rows per pixel, crossings kept to a
    // sixteenth of a pixel, and a pixel's coverage is the share of its sample spans inside.
    m_grid = smooth ? Grid{2, 0, 0} : Grid{kSubpixelBits, kSubpixelBits, kHalf};
    m_edges.clear();
    const std::size_t rows = static_cast<std::size_t>(clip.height()) * static_cast<std::size_t>(m_grid.samples()) + 1;
    if (m_leftWinding.size() < rows) m_leftWinding.resize(rows, 0);
    m_leftRows = {clip.Bottom * m_grid.samples(), clip.Top * m_grid.samples()};
}

void Rasterizer::addEdge(SubPoint a, SubPoint b, const TRect& clip) {
    if (a.Y == b.Y) return;
    const int32_t winding = a.Y < b.Y ? 1 : -1;
    if (a.Y > b.Y) std::swap(a, b);
    const int64_t rowHeight = int64_t{1} << m_grid.rowShift, rowHalf = rowHeight / 2;
    auto ceilRows = [&](int64_t v) { return -((-v) >> m_grid.rowShift); };
    // Sample rows whose line lies in [a.Y, b.Y).
    const int64_t top = int64_t{clip.Top} * m_grid.samples(), bottom = int64_t{clip.Bottom} * m_grid.samples();
    const int64_t first = std::max<int64_t>(ceilRows(a.Y - rowHalf), top);
    const int64_t end = std::min<int64_t>(ceilRows(b.Y - rowHalf), bottom);
    if (first >= end) return;
    // A crossing at x is kept as ceil((x - offset) / unit): a pixel index, or sixteenths.
    const int64_t unit = m_grid.unit(), offset = m_grid.offset;
    auto cell = [&](int64_t x) { return -((offset - x) >> m_grid.unitShift); }; // unit is a power of two
    const int64_t left = int64_t{clip.Left} * (kOne / unit), right = int64_t{clip.Right} * (kOne / unit);
    if (cell(std::min(a.X, b.X)) >= right) return; // ends only spans we never see
    if (cell(std::max(a.X, b.X)) <= left) {
        // Wholly left of the clip: it only counts towards the winding of its rows.
        m_leftWinding[static_cast<std::size_t>(first - top)] += winding;
        m_leftWinding[static_cast<std::size_t>(end - top)] -= winding;
        m_leftRows = {std::min(m_leftRows.first, int32_t(first)), std::max(m_leftRows.second, int32_t(end))};
        return;
    }
    const int64_t dy = b.Y - a.Y, dx = b.X - a.X, den = unit * dy;
    // On sample row r the crossing is ceil(n / den), with
    // n = a.X * dy + dx * (r * rowHeight + rowHalf - a.Y) - offset * dy; kept as x * den - rem.
    const int64_t n = a.X * dy + dx * (first * rowHeight + rowHalf - a.Y) - offset * dy;
    const int64_t x = ceilDiv(n, den);
    const int64_t stepN = rowHeight * dx, step = floorDiv(stepN, den);
    m_edges.push_back({int32_t(first), int32_t(end), winding, x, x * den - n, step, stepN - step * den, den});
}

void Rasterizer::fillEdges(Surface image, TRect clip, const Paint& paint, bool nonZero) {
    int32_t top = m_leftRows.first, bottom = m_leftRows.second;
    for (const Edge& e : m_edges) top = std::min(top, e.firstRow), bottom = std::max(bottom, e.endRow);
    if (top >= bottom) return;
    // Edges in order of their first row: a counting sort, linear in edges and rows.
    m_rowStart.assign(static_cast<std::size_t>(bottom - top) + 1, 0);
    for (const Edge& e : m_edges) ++m_rowStart[static_cast<std::size_t>(e.firstRow - top) + 1];
    for (std::size_t i = 1; i < m_rowStart.size(); ++i) m_rowStart[i] += m_rowStart[i - 1];
    m_sorted.resize(m_edges.size());
    for (const Edge& e : m_edges) m_sorted[m_rowStart[static_cast<std::size_t>(e.firstRow - top)]++] = e;
    m_edges.swap(m_sorted);
    uint32_t* const pixels = image.pixels;
    const std::size_t stride = static_cast<std::size_t>(image.width);
    const bool smooth = m_grid.samples() > 1;
    const int32_t clipTop = clip.Top * m_grid.samples();
    const auto left = static_cast<int32_t>(clip.Left * (kOne / m_grid.unit()));
    const auto right = static_cast<int32_t>(clip.Right * (kOne / m_grid.unit()));
    if (smooth) startCoverage(clip);
    int32_t coverageRow = top >> 2;
    std::size_t next = 0;
    m_active.clear();
    // Differences are kept only over the rows the left edges span; zero everywhere else.
    const bool anyLeft = m_leftRows.first < m_leftRows.second;
    int32_t leftWinding = 0;
    for (int32_t y = m_leftRows.first; y < top; ++y) leftWinding += m_leftWinding[static_cast<std::size_t>(y - clipTop)];
    auto inside = [nonZero](int32_t w) { return nonZero ? w != 0 : (w & 1) != 0; };
    for (int32_t y = top; y < bottom; ++y) {
        if (anyLeft) leftWinding += m_leftWinding[static_cast<std::size_t>(y - clipTop)];
        if (smooth && (y >> 2) != coverageRow) {
            paintCoverage(pixels + static_cast<std::size_t>(coverageRow) * stride, coverageRow, clip, paint);
            coverageRow = y >> 2;
        }
        while (next < m_edges.size() && m_edges[next].firstRow == y) m_active.push_back(int32_t(next++));
        std::size_t kept = 0;
        for (const int32_t index : m_active)
            if (m_edges[static_cast<std::size_t>(index)].endRow > y) m_active[kept++] = index;
        m_active.resize(kept);
        if (m_active.empty() && !inside(leftWinding)) continue;
        // Kept in order of their crossings: from one row to the next that order barely changes,
        // so an insertion sort has next to nothing to do.
        for (std::size_t i = 1; i < m_active.size(); ++i) {
            const int32_t index = m_active[i];
            const int64_t v = m_edges[static_cast<std::size_t>(index)].x;
            std::size_t j = i;
            for (; j > 0 && m_edges[static_cast<std::size_t>(m_active[j - 1])].x > v; --j) m_active[j] = m_active[j - 1];
            m_active[j] = index;
        }
        uint32_t* row = pixels + static_cast<std::size_t>(y) * stride;
        auto span = [&](int32_t from, int32_t to) {
            if (smooth) addCoverage(from, to, clip);
            else paintSpan(row, y, from, to, paint);
        };
        int32_t winding = leftWinding;
        int32_t from = left;
        for (const int32_t index : m_active) {
            Edge& e = m_edges[static_cast<std::size_t>(index)];
            const auto x = static_cast<int32_t>(std::clamp<int64_t>(e.x, left, right));
            if (inside(winding)) span(from, x);
            from = x;
            winding += e.winding;
            e.x += e.step;
            e.rem -= e.stepRem;
            if (e.rem < 0) e.rem += e.den, ++e.x;
        }
        if (inside(winding)) span(from, right);
    }
    if (smooth) paintCoverage(pixels + static_cast<std::size_t>(coverageRow) * stride, coverageRow, clip, paint);
    if (anyLeft)
        std::fill(m_leftWinding.begin() + (m_leftRows.first - clipTop), m_leftWinding.begin() + (m_leftRows.second - clipTop) + 1, 0);
}

void Rasterizer::startCoverage(const TRect& clip) {
    const auto width = static_cast<std::size_t>(clip.width()) + 2;
    if (m_cover.size() < width) m_cover.assign(width, 0), m_run.assign(width, 0);
    m_touched = {clip.Right, clip.Left};
}

void Rasterizer::addCoverage(int32_t from, int32_t to, const TRect& clip) {
    // [from, to) in sixteenths: partial pixels at the ends, whole ones through a running sum.
    if (from >= to) return;
    const int32_t p0 = from >> kSubpixelBits, p1 = to >> kSubpixelBits;
    const auto i0 = static_cast<std::size_t>(p0 - clip.Left), i1 = static_cast<std::size_t>(p1 - clip.Left);
    constexpr int32_t one = kOne;
    if (p0 == p1) {
        m_cover[i0] += to - from;
    } else {
        m_cover[i0] += one - (from & (one - 1));
        m_run[i0 + 1] += one;
        m_run[i1] -= one;
        m_cover[i1] += to & (one - 1);
    }
    m_touched = {std::min(m_touched.first, p0), std::max(m_touched.second, p1)};
}

void Rasterizer::paintCoverage(uint32_t* row, int32_t y, const TRect& clip, const Paint& paint) {
    if (m_touched.first > m_touched.second) return;
    const uint32_t mask = paint.pattern ? (*paint.pattern)[static_cast<std::size_t>(y & 7)] : 0xFFu;
    constexpr int32_t full = 4 * static_cast<int32_t>(kOne); // four sample rows, each a whole pixel wide
    int32_t run = 0;
    for (int32_t x = m_touched.first; x <= m_touched.second; ++x) {
        const auto i = static_cast<std::size_t>(x - clip.Left);
        run += m_run[i];
        const int32_t c = m_cover[i] + run;
        m_cover[i] = 0;
        m_run[i] = 0;
        if (c <= 0 || x >= clip.Right || !((mask >> (x & 7)) & 1u)) continue;
        lay(row[x], paint.pixel, c >= full ? paint.alpha : static_cast<uint32_t>((c * paint.alpha + full / 2) / full));
    }
    m_touched = {clip.Right, clip.Left};
}

void Rasterizer::fillPolygon(Surface image, std::span<const TPoint> pts, TRect clip, const Paint& paint) {
    clip = intersect(clip, image);
    if (pts.size() < 3 || clip.empty()) return;
    startFill(clip, paint.smooth);
    for (std::size_t i = 0; i < pts.size(); ++i)
        addEdge(toSub(pts[i]), toSub(pts[i + 1 == pts.size() ? 0 : i + 1]), clip);
    fillEdges(image, clip, paint);
}

void fillBox(Surface image, TPoint a, TPoint b, TRect clip, const Paint& paint) {
    clip = intersect(clip, image);
    const int64_t x0 = std::min(a.X, b.X), x1 = std::max(a.X, b.X), y0 = std::min(a.Y, b.Y), y1 = std::max(a.Y, b.Y);
    const auto pixelOf = [](int64_t v) { return static_cast<int32_t>(floorDiv(v, kOne)); };
    const int32_t left = std::max(pixelOf(x0), clip.Left), right = std::min(pixelOf(x1 - 1) + 1, clip.Right);
    const int32_t top = std::max(pixelOf(y0), clip.Top), bottom = std::min(pixelOf(y1 - 1) + 1, clip.Bottom);
    if (x0 >= x1 || y0 >= y1 || left >= right || top >= bottom) return;
    // How much of pixel p's span [p, p + 1) lies in [v0, v1), in sixteenths.
    const auto covered = [](int64_t p, int64_t v0, int64_t v1) {
        return std::min(v1, (p + 1) * kOne) - std::max(v0, p * kOne);
    };
    const std::size_t stride = static_cast<std::size_t>(image.width);
    for (int32_t y = top; y < bottom; ++y) {
        uint32_t* row = image.pixels + static_cast<std::size_t>(y) * stride;
        const int64_t cy = covered(y, y0, y1);
        const uint32_t mask = paint.pattern ? (*paint.pattern)[static_cast<std::size_t>(y & 7)] : 0xFFu;
        auto pixel = [&](int32_t x, int64_t cx) {
            if (!((mask >> (x & 7)) & 1u)) return;
            const int64_t area = cx * cy; // of kOne * kOne
            lay(row[x], paint.pixel, static_cast<uint32_t>((area * paint.alpha + kOne * kOne / 2) / (kOne * kOne)));
        };
        // Whole pixels between the edges take the paint as a span; the edges their share.
        int32_t from = left, to = right;
        if (cy == kOne) {
            while (from < to && covered(from, x0, x1) < kOne) pixel(from, covered(from, x0, x1)), ++from;
            while (to > from && covered(to - 1, x0, x1) < kOne) --to, pixel(to, covered(to, x0, x1));
            paintSpan(row, y, from, to, paint);
        } else {
            for (int32_t x = from; x < to; ++x) pixel(x, covered(x, x0, x1));
        }
    }
}

void Rasterizer::flattenCubic(SubPoint p0, SubPoint p1, SubPoint p2, SubPoint p3, int maxSteps) {
    // Uniform steps, as many as keep the chords within a quarter pixel of the curve: the
    // deviation is at most 3/4 of the larger second difference over the square of the steps.
    auto second = [](SubPoint a, SubPoint b, SubPoint c) {
        const auto x = double(a.X - 2 * b.X + c.X), y = double(a.Y - 2 * b.Y + c.Y);
        return x * x + y * y;
    };
    const double dd2 = std::max(second(p0, p1, p2), second(p1, p2, p3));
    constexpr double tolerance = kOne / 4.0;
    if (dd2 <= (tolerance / 0.75) * (tolerance / 0.75)) { // within tolerance as a single chord
        m_path.push_back(p3);
        return;
    }
    const int steps = static_cast<int>(std::min(std::ceil(std::sqrt(0.75 / tolerance * std::sqrt(dd2))), double(maxSteps)));
    for (int i = 1; i < steps; ++i) {
        const double t = double(i) / steps, u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        m_path.push_back({roundToInt(a * double(p0.X) + b * double(p1.X) + c * double(p2.X) + d * double(p3.X)),
                          roundToInt(a * double(p0.Y) + b * double(p1.Y) + c * double(p2.Y) + d * double(p3.Y))});
    }
    m_path.push_back(p3);
}

void Rasterizer::flattenChain(std::span<const TPoint> pts, const TRect* cull, int64_t margin) {
    // A curve whose control points all lie beyond one side of the clip (and the margin) stays
    // there, and so would every point of its flattening: its chord has the same effect inside.
    auto beyond = [&](std::initializer_list<TPoint> q) {
        if (!cull) return false;
        auto all = [&](auto far) { return std::all_of(q.begin(), q.end(), far); };
        return all([&](TPoint p) { return p.X * kOne < cull->Left * kOne - margin; }) ||
               all([&](TPoint p) { return p.X * kOne > cull->Right * kOne + margin; }) ||
               all([&](TPoint p) { return p.Y * kOne < cull->Top * kOne - margin; }) ||
               all([&](TPoint p) { return p.Y * kOne > cull->Bottom * kOne + margin; });
    };
    // Huge curves of a damaged file could ask for thousands of steps each: the whole chain
    // gets about a million points at most.
    const auto cubics = static_cast<int64_t>(pts.size() / 3) + 1;
    const int maxSteps = static_cast<int>(std::clamp<int64_t>((int64_t{1} << 20) / cubics, 8, 4096));
    m_path.clear();
    m_path.push_back(toSub(pts[0]));
    for (std::size_t i = 1; i + 2 < pts.size(); i += 3) {
        if (beyond({pts[i - 1], pts[i], pts[i + 1], pts[i + 2]})) m_path.push_back(toSub(pts[i + 2]));
        else flattenCubic(toSub(pts[i - 1]), toSub(pts[i]), toSub(pts[i + 1]), toSub(pts[i + 2]), maxSteps);
    }
}

void Rasterizer::fillClosedBezier(Surface image, std::span<const TPoint> pts, TRect clip, const Paint& paint) {
    clip = intersect(clip, image);
    if (pts.size() < 4 || clip.empty()) return;
    flattenChain(pts, &clip, kOne);
    startFill(clip, paint.smooth);
    for (std::size_t i = 0; i < m_path.size(); ++i) addEdge(m_path[i], m_path[i + 1 == m_path.size() ? 0 : i + 1], clip);
    fillEdges(image, clip, paint);
}

void Rasterizer::strokeHairline(Surface image, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint) {
    clip = intersect(clip, image);
    if (pts.empty() || clip.empty()) return;
    uint32_t* const pixels = image.pixels;
    const std::size_t stride = static_cast<std::size_t>(image.width);
    // Dashes run on from segment to segment, one position per step along the longer axis,
    // counted from the start of the line whatever the clip.
    int64_t position = 0;
    const int64_t period = paint.dashPeriod;
    auto plot = [&](int64_t x, int64_t y, int64_t at) {
        if (x < clip.Left || x >= clip.Right || y < clip.Top || y >= clip.Bottom) return;
        if (period != 0 && !((paint.dash >> (at % period)) & 1u)) return;
        lay(pixels[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)], paint.pixel, paint.alpha);
    };
    // Each segment covers its start and not its end, so that a joint is painted once.
    auto segment = [&](TPoint a, TPoint b) {
        const int64_t dx = int64_t{b.X} - a.X, dy = int64_t{b.Y} - a.Y;
        const int64_t adx = std::abs(dx), ady = std::abs(dy);
        if (adx == 0 && ady == 0) return;
        const int64_t at = position;
        position = period != 0 ? (position + std::max(adx, ady)) % period : 0;
        if (std::max(a.X, b.X) < clip.Left || std::min(a.X, b.X) >= clip.Right || std::max(a.Y, b.Y) < clip.Top ||
            std::min(a.Y, b.Y) >= clip.Bottom)
            return;
        const bool xMajor = adx >= ady;
        const int64_t n = xMajor ? adx : ady; // pixels along the major axis
        const int64_t major0 = xMajor ? a.X : a.Y, dir = (xMajor ? dx : dy) > 0 ? 1 : -1;
        const int64_t minor0 = xMajor ? a.Y : a.X, dMinor = xMajor ? dy : dx;
        const int64_t den = 2 * n, step = 2 * dMinor;
        const int64_t stepQ = step >= den ? 1 : step >= 0 ? 0 : -1, stepR = step - stepQ * den;
        auto inside = [&](TPoint p) { return p.X >= clip.Left && p.X < clip.Right && p.Y >= clip.Top && p.Y < clip.Bottom; };
        if (period == 0 && paint.alpha == 255 && inside(a) && inside(b)) {
            // The common case, a solid line wholly inside: the same walk, straight on the pixels.
            const auto stride64 = static_cast<int64_t>(stride);
            const int64_t majorStep = xMajor ? dir : dir * stride64, minorStep = xMajor ? stride64 : 1;
            uint32_t* dst = pixels + int64_t{a.Y} * stride64 + a.X;
            for (int64_t i = 0, r = n; i < n; ++i) {
                *dst = paint.pixel;
                r += stepR;
                const int64_t carry = r >= den;
                r -= den & -carry;
                dst += majorStep + (stepQ + carry) * minorStep;
            }
            return;
        }
        // Only the steps whose major coordinate falls inside the clip are walked.
        const int64_t lo = xMajor ? clip.Left : clip.Top, hi = (xMajor ? clip.Right : clip.Bottom) - 1;
        const int64_t i0 = std::max<int64_t>(dir > 0 ? lo - major0 : major0 - hi, 0);
        const int64_t i1 = std::min<int64_t>(dir > 0 ? hi - major0 : major0 - lo, n - 1);
        if (i0 > i1) return;
        // Step i lands on minor0 + floor((2 i dMinor + n) / 2n), kept as a quotient and remainder.
        // |dMinor| <= n, so the step's quotient is -1, 0 or 1; only a clipped start divides.
        const int64_t start = 2 * i0 * dMinor + n;
        int64_t q = i0 == 0 ? 0 : floorDiv(start, den), r = start - q * den;
        int64_t major = major0 + dir * i0;
        for (int64_t i = i0; i <= i1; ++i, major += dir) {
            xMajor ? plot(major, minor0 + q, at + i) : plot(minor0 + q, major, at + i);
            q += stepQ;
            r += stepR;
            if (r >= den) r -= den, ++q;
        }
    };
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) segment(pts[i], pts[i + 1]);
    if (closed && pts.size() > 2) segment(pts.back(), pts.front());
    else plot(pts.back().X, pts.back().Y, position);
}

void Rasterizer::strokeSmoothHairline(Surface image, std::span<const TPoint> pts, bool closed, TRect clip,
                                      const Paint& paint) {
    clip = intersect(clip, image);
    if (pts.size() < 2 || clip.empty()) return;
    uint32_t* const pixels = image.pixels;
    const std::size_t stride = static_cast<std::size_t>(image.width);
    auto plot = [&](int64_t x, int64_t y, double share) {
        if (x < clip.Left || x >= clip.Right || y < clip.Top || y >= clip.Bottom) return;
        lay(pixels[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)], paint.pixel,
            static_cast<uint32_t>(share * paint.alpha + 0.5));
    };
    // A line one pixel wide centred on the path: each pixel column (or row) it crosses is shared
    // between the two pixels its centre line passes between. Columns are taken from the start
    // up to the end, not including it, so that a joint is shared once. Dashes count columns
    // (or rows) from the start of the line, as the aliased line's do.
    int64_t position = 0;
    const int64_t period = paint.dashPeriod;
    auto segment = [&](TPoint a, TPoint b) {
        const int64_t dx = int64_t{b.X} - a.X, dy = int64_t{b.Y} - a.Y;
        if (dx == 0 && dy == 0) return;
        const int64_t start = position;
        position = period != 0 ? (position + std::max(std::abs(dx), std::abs(dy))) % period : 0;
        if (std::max(a.X, b.X) < clip.Left - 1 || std::min(a.X, b.X) > clip.Right + 1 ||
            std::max(a.Y, b.Y) < clip.Top - 1 || std::min(a.Y, b.Y) > clip.Bottom + 1)
            return;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int64_t major0 = xMajor ? a.X : a.Y, major1 = xMajor ? b.X : b.Y;
        const int64_t minor0 = xMajor ? a.Y : a.X;
        const double slope = double(xMajor ? dy : dx) / double(xMajor ? dx : dy);
        const int64_t lo = std::max<int64_t>(std::min(major0, major1), xMajor ? clip.Left : clip.Top);
        const int64_t hi = std::min<int64_t>(std::max(major0, major1), xMajor ? clip.Right : clip.Bottom);
        for (int64_t k = lo; k < hi; ++k) {
            if (period != 0 && !((paint.dash >> ((start + std::abs(k - major0)) % period)) & 1u)) continue;
            const double at = double(minor0) + (double(k) + 0.5 - double(major0)) * slope - 0.5;
            auto m = static_cast<int64_t>(at); // towards zero, then down: floor without a call
            if (double(m) > at) --m;
            const double share = at - double(m);
            xMajor ? plot(k, m, 1 - share) : plot(m, k, 1 - share);
            xMajor ? plot(k, m + 1, share) : plot(m + 1, k, share);
        }
    };
    for (std::size_t i = 0; i + 1 < pts.size(); ++i) segment(pts[i], pts[i + 1]);
    if (closed && pts.size() > 2) segment(pts.back(), pts.front());
}

void Rasterizer::strokeBezierHairline(Surface image, std::span<const TPoint> pts, bool closed, TRect clip,
                                      const Paint& paint) {
    clip = intersect(clip, image);
    if (pts.size() < 4 || clip.empty()) return;
    // Dashes count every step of the line, seen or not: only solid lines skip curves.
    flattenChain(pts, paint.dashPeriod == 0 ? &clip : nullptr, kOne);
    m_pixels.clear();
    for (const SubPoint& p : m_path) {
        const TPoint q{static_cast<int32_t>((p.X + kHalf) >> kSubpixelBits),
                         static_cast<int32_t>((p.Y + kHalf) >> kSubpixelBits)};
        if (m_pixels.empty() || !(m_pixels.back() == q)) m_pixels.push_back(q);
    }
    if (paint.smooth) strokeSmoothHairline(image, m_pixels, closed, clip, paint);
    else strokeHairline(image, m_pixels, closed, clip, paint);
}

void Rasterizer::strokePath(Surface image, bool closed, int32_t width, TRect clip, const Paint& paint,
                            std::size_t vertices) {
    // Every point within r of a path lies in a band along a segment, in the wedge of disc on
    // the outer side of the joint nearest to it, or in a half disc at an end. The outline traced
    // here is the sum of those pieces' boundaries, all turning the same way: inner sides of joints
    // pass through the vertex itself, where the bands' ends cancel. The non-zero rule then paints
    // exactly their union, with about five edges a vertex where a disc on every vertex took twelve.
    const double r = width * double(kOne) / 2;
    constexpr double tolerance = kOne / 5.0;
    // Rounder arcs for wider lines, fewer corners when a (damaged) line has very many vertices.
    const auto budget = static_cast<int>(std::clamp<std::size_t>((std::size_t{1} << 21) / (vertices + 1), 8, 128));
    const int sides = std::clamp(static_cast<int>(std::ceil(3.14159265 / std::sqrt(2 * tolerance / r))), 8, budget);
    startFill(clip, paint.smooth);
    // Arcs about vertices farther off than this cannot reach the clip: they become chords.
    const auto reach = static_cast<int64_t>(r) + kOne;
    const int64_t left = int64_t{clip.Left} * kOne - reach, right = int64_t{clip.Right} * kOne + reach;
    const int64_t top = int64_t{clip.Top} * kOne - reach, bottom = int64_t{clip.Bottom} * kOne + reach;
    auto near = [&](SubPoint c) { return c.X >= left && c.X <= right && c.Y >= top && c.Y <= bottom; };
    // The disc's corners, turning the way the outline turns; arcs pass through the ones they span.
    m_disc.clear();
    for (int k = 0; k < sides; ++k) {
        const double t = -2 * 3.14159265358979 * k / sides;
        m_disc.push_back({roundToInt(r * std::cos(t)), roundToInt(r * std::sin(t))});
    }
    SubPoint at{};
    auto lineTo = [&](SubPoint p) { addEdge(at, p, clip), at = p; };
    // Where an offset points, in corners of the disc: corner k lies at angle -2 pi k / sides.
    auto cornerOf = [&](double x, double y) {
        const double k = -std::atan2(y, x) * sides / (2 * 3.14159265358979);
        return k < 0 ? k + sides : k;
    };
    // From `at` (on the circle about c, at corner position `from`) round to c + off at `to`.
    auto arcTo = [&](SubPoint c, double from, double to, SubPoint off) {
        const double end = to < from ? to + sides : to;
        for (auto k = static_cast<int64_t>(std::floor(from)) + 1; double(k) < end; ++k) {
            const SubPoint d = m_disc[static_cast<std::size_t>(k % sides)];
            lineTo({c.X + d.X, c.Y + d.Y});
        }
        lineTo({c.X + off.X, c.Y + off.Y});
    };
    auto disc = [&](SubPoint c) {
        if (!near(c)) return;
        at = {c.X + m_disc[0].X, c.Y + m_disc[0].Y};
        for (std::size_t k = 1; k <= m_disc.size(); ++k) lineTo({c.X + m_disc[k % m_disc.size()].X, c.Y + m_disc[k % m_disc.size()].Y});
    };
    // One run of drawn segments through m_ring; m_offsets holds each segment's offset, a quarter
    // turn from its direction, to the side traced first.
    auto run = [&](bool ring) {
        const std::size_t count = m_ring.size(), segments = ring ? count : count - 1;
        m_offsets.clear();
        for (std::size_t i = 0; i < segments; ++i) {
            const SubPoint a = m_ring[i], b = m_ring[(i + 1) % count];
            const double dx = double(b.X - a.X), dy = double(b.Y - a.Y), len = std::hypot(dx, dy);
            m_offsets.push_back({{roundToInt(-dy / len * r), roundToInt(dx / len * r)}, cornerOf(-dy, dx)});
        }
        auto plus = [](SubPoint c, SubPoint o) { return SubPoint{c.X + o.X, c.Y + o.Y}; };
        auto minus = [](SubPoint c, SubPoint o) { return SubPoint{c.X - o.X, c.Y - o.Y}; };
        auto opposite = [&](double k) { return k + sides / 2.0 >= sides ? k - sides / 2.0 : k + sides / 2.0; };
        // At joint c, from offset f (corner kf) to offset t (corner kt); `outer` when the turn
        // leaves this side open.
        auto joint = [&](SubPoint c, SubPoint t, double kf, double kt, bool outer) {
            if (!near(c)) lineTo(plus(c, t));
            else if (outer) arcTo(c, kf, kt, t);
            else lineTo(c), lineTo(plus(c, t));
        };
        // The side with the shorter sweep from one offset to the next is the outer one.
        auto plusOuter = [&](const Offset& f, const Offset& t) {
            const double sweep = t.corner < f.corner ? t.corner + sides - f.corner : t.corner - f.corner;
            return sweep <= sides / 2.0;
        };
        // The offset side forwards, then the opposite side backwards.
        const SubPoint start = plus(m_ring[0], m_offsets[0].off);
        at = start;
        for (std::size_t i = 0; i < segments; ++i) {
            const SubPoint b = m_ring[(i + 1) % count];
            lineTo(plus(b, m_offsets[i].off));
            if (i + 1 < segments || ring) {
                const Offset &f = m_offsets[i], &t = m_offsets[(i + 1) % segments];
                joint(b, t.off, f.corner, t.corner, plusOuter(f, t));
            }
        }
        if (ring) {
            at = minus(m_ring[0], m_offsets[segments - 1].off);
        } else {
            // The end's half disc, round to the opposite side.
            const Offset& last = m_offsets[segments - 1];
            if (near(m_ring[count - 1])) arcTo(m_ring[count - 1], last.corner, opposite(last.corner), {-last.off.X, -last.off.Y});
            else lineTo(minus(m_ring[count - 1], last.off));
        }
        const SubPoint back = at;
        for (std::size_t i = segments; i-- > 0;) {
            lineTo(minus(m_ring[i], m_offsets[i].off));
            if (i > 0 || ring) {
                const Offset &f = m_offsets[i], &t = m_offsets[i == 0 ? segments - 1 : i - 1];
                joint(m_ring[i], {-t.off.X, -t.off.Y}, opposite(f.corner), opposite(t.corner), !plusOuter(t, f));
            }
        }
        if (ring) {
            lineTo(back);
        } else {
            const Offset& first = m_offsets[0];
            if (near(m_ring[0])) arcTo(m_ring[0], opposite(first.corner), first.corner, first.off);
            else lineTo(start);
        }
    };
    // Runs of drawn segments; a dashed path leaves out its gaps.
    const std::size_t n = m_path.size();
    if (n == 0) return;
    auto drawn = [&](std::size_t i) { return m_gaps.empty() || !m_gaps[i]; };
    const std::size_t segments = closed ? n : n - 1;
    for (std::size_t i = 0; i < std::max<std::size_t>(segments, 1);) {
        if (n > 1 && !drawn(i)) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < segments && drawn(j)) ++j;
        // The run's vertices, i to j, without repeats.
        m_ring.clear();
        for (std::size_t v = i; v <= std::min(j, n - 1); ++v)
            if (m_ring.empty() || m_ring.back().X != m_path[v].X || m_ring.back().Y != m_path[v].Y) m_ring.push_back(m_path[v]);
        const bool ring = closed && i == 0 && j == segments;
        if (ring && m_ring.size() > 1 && m_ring.back().X == m_ring.front().X && m_ring.back().Y == m_ring.front().Y) m_ring.pop_back();
        if (m_ring.size() == 1) disc(m_ring[0]);
        else run(ring && m_ring.size() > 1);
        i = std::max(j, i + 1);
    }
    fillEdges(image, clip, paint, true);
}

void Rasterizer::cutDashes(bool closed, int32_t width, const TRect& clip, const Paint& paint) {
    // Cell k of the pattern covers [k, k + 1) pen widths along the path, counted from its start
    // across every vertex, and is drawn when bit k % period is set. Only the stretches near the
    // clip are cut into cells, so a long line costs what its visible part does.
    m_gaps.clear();
    if (paint.dashPeriod == 0 || m_path.size() < 2) return;
    const double unit = double(width) * kOne;
    const double reach = unit / 2 + kOne;
    const double left = clip.Left * double(kOne) - reach, right = clip.Right * double(kOne) + reach;
    const double top = clip.Top * double(kOne) - reach, bottom = clip.Bottom * double(kOne) + reach;
    // A damaged file's line could ask for endless cells: past this many the rest is solid.
    constexpr std::size_t kMaxPieces = std::size_t{1} << 20;
    const std::size_t n = m_path.size(), segments = closed ? n : n - 1;
    m_dashed.clear();
    m_dashed.push_back(m_path[0]);
    auto piece = [&](SubPoint a, SubPoint b, double t, bool gap, bool merge) {
        const SubPoint p{a.X + roundToInt(double(b.X - a.X) * t), a.Y + roundToInt(double(b.Y - a.Y) * t)};
        if (merge && m_gaps.back() == gap) m_dashed.back() = p;
        else m_dashed.push_back(p), m_gaps.push_back(gap);
    };
    double along = 0;
    for (std::size_t i = 0; i < segments; ++i) {
        const SubPoint a = m_path[i], b = m_path[i + 1 == n ? 0 : i + 1];
        const double dx = double(b.X - a.X), dy = double(b.Y - a.Y), length = std::hypot(dx, dy);
        // The part of the segment within reach of the clip: [t0, t1] of it.
        double t0 = 0, t1 = 1;
        auto within = [&](double p, double q) { // keeps p * t <= q
            if (p == 0) return q >= 0;
            const double r = q / p;
            if (p < 0) t0 = std::max(t0, r);
            else t1 = std::min(t1, r);
            return t0 <= t1;
        };
        const bool near = length > 0 && within(-dx, double(a.X) - left) && within(dx, right - double(a.X)) &&
                          within(-dy, double(a.Y) - top) && within(dy, bottom - double(a.Y));
        if (!near || m_dashed.size() > kMaxPieces) {
            piece(a, b, 1, !near, false);
            along += length;
            continue;
        }
        // Cut from the start of the run of cells (drawn or not) that reaches the clip to the end
        // of the run that leaves it, so that every cut falls where a full redraw cuts too.
        auto gapAt = [&](int64_t cell) { return !((paint.dash >> (cell % paint.dashPeriod)) & 1u); };
        auto cellT = [&](int64_t cell) { return (double(cell) * unit - along) / length; };
        auto cell = static_cast<int64_t>(std::floor((along + t0 * length) / unit));
        while (cell > 0 && cellT(cell) > 0 && gapAt(cell - 1) == gapAt(cell)) --cell;
        double t = std::max(cellT(cell), 0.0);
        if (t > 0) piece(a, b, t, true, false);
        for (bool first = true; t < 1; ++cell, first = false) {
            const bool gap = gapAt(cell);
            if (t > t1 && gap != m_gaps.back()) break;
            t = std::min(cellT(cell + 1), 1.0);
            piece(a, b, t, gap, !first);
        }
        if (t < 1) piece(a, b, 1, true, false);
        along += length;
    }
    m_path.swap(m_dashed);
}

void Rasterizer::strokeWide(Surface image, std::span<const TPoint> pts, bool closed, int32_t width, TRect clip,
                            const Paint& paint) {
    clip = intersect(clip, image);
    if (pts.empty() || clip.empty() || width <= 0) return;
    m_path.clear();
    for (const TPoint& p : pts) m_path.push_back(toSub(p));
    strokeCut(image, closed, width, clip, paint);
}

void Rasterizer::strokeCut(Surface image, bool closed, int32_t width, TRect clip, const Paint& paint) {
    const std::size_t vertices = m_path.size(); // what the line is, whatever the cuts near the clip
    if (paint.dashPeriod == 0) {
        // Stretches farther off than the pen reaches are drawn as their chords, without joints.
        const int64_t reach = int64_t{width} * kOne / 2 + 2 * kOne;
        m_dashed.clear();
        keepNear<SubPoint>(m_path, m_dashed, clip.Left * kOne - reach, clip.Top * kOne - reach,
                           clip.Right * kOne + reach, clip.Bottom * kOne + reach);
        m_path.swap(m_dashed);
    }
    cutDashes(closed, width, clip, paint);
    strokePath(image, closed && m_gaps.empty(), width, clip, paint, vertices);
    m_gaps.clear();
}

void Rasterizer::strokeBezierWide(Surface image, std::span<const TPoint> pts, bool closed, int32_t width, TRect clip,
                                  const Paint& paint) {
    clip = intersect(clip, image);
    if (pts.size() < 4 || clip.empty() || width <= 0) return;
    flattenChain(pts, &clip, (int64_t{width} + 4) * kOne / 2);
    strokeCut(image, closed, width, clip, paint);
}

} // namespace kestrum::raster
