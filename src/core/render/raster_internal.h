#pragma once
// What the scan converter's sources (raster_composite, raster_fill, raster_stroke) share: pixel
// arithmetic, and the edge set-up that fills and wide strokes both run per segment (inline, so
// that the strokes' loops keep it inlined as the fills' do). Not part of the interface.

#include "render/raster.h"

#include <algorithm>
#include <cstdint>

namespace kestrum::raster::detail {

inline constexpr int64_t kOne = int64_t{1} << kSubpixelBits; // a pixel
inline constexpr int64_t kHalf = kOne / 2;                    // from a pixel's edge to its centre

// Exact floor(n / d) for d > 0. A floating-point quotient is off by a unit at most for the
// magnitudes here (below 2^60) and is corrected; an integer division costs several times more.
inline int64_t floorDiv(int64_t n, int64_t d) {
    const double f = static_cast<double>(n) / static_cast<double>(d);
    auto q = static_cast<int64_t>(f); // towards zero; no library call on the way
    while (q * d > n) --q;
    while ((q + 1) * d <= n) ++q;
    return q;
}
// Nearest integer, halves up.
inline int64_t roundToInt(double v) {
    const double t = v + 0.5;
    const auto i = static_cast<int64_t>(t);
    return i - (t < static_cast<double>(i) ? 1 : 0);
}

inline TRect intersect(TRect a, const Surface image) {
    return {std::max(a.Left, 0), std::max(a.Top, 0), std::min(a.Right, image.width), std::min(a.Bottom, image.height)};
}

// Over-operator of one channel set, rounded as an 8-bit compositor does: each channel is
// (s * alpha + d * (255 - alpha) + 127) / 255, two channels a multiply. Every sum stays below
// 65280, where v / 255 is exactly (v + 1 + (v >> 8)) >> 8.
inline uint32_t blend(uint32_t dst, uint32_t src, uint32_t alpha) {
    const uint32_t inv = 255 - alpha;
    auto lanes = [&](uint32_t s, uint32_t d) { // channels at bits 0 and 16
        const uint32_t v = s * alpha + d * inv + 0x007F007Fu;
        return ((v + 0x00010001u + ((v >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    };
    return 0xFF000000u | lanes(src & 0xFF00FFu, dst & 0xFF00FFu) | lanes((src >> 8) & 0xFF00FFu, (dst >> 8) & 0xFF00FFu) << 8;
}

// A pixel receives a colour at an opacity.
inline void lay(uint32_t& dst, uint32_t pixel, uint32_t alpha) {
    if (alpha == 255) dst = pixel;
    else if (alpha != 0) dst = blend(dst, pixel, alpha);
}

inline void paintSpan(uint32_t* row, int32_t y, int32_t from, int32_t to, const Paint& paint) {
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

inline int64_t ceilDiv(int64_t n, int64_t d) { return -floorDiv(-n, d); }

} // namespace kestrum::raster::detail

namespace kestrum::raster {

inline void Rasterizer::addEdge(SubPoint a, SubPoint b, const TRect& clip) {
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
    const int64_t left = int64_t{clip.Left} * (detail::kOne / unit), right = int64_t{clip.Right} * (detail::kOne / unit);
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
    const int64_t x = detail::ceilDiv(n, den);
    const int64_t stepN = rowHeight * dx, step = detail::floorDiv(stepN, den);
    m_edges.push_back({int32_t(first), int32_t(end), winding, x, x * den - n, step, stepN - step * den, den});
}

} // namespace kestrum::raster
