// Fills: edges on a grid of sample rows, aliased or smoothed coverage, level boxes and flattened
// Bezier chains.
#include "render/raster.h"
#include "render/raster_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrum::raster {

using namespace detail;

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

} // namespace kestrum::raster
