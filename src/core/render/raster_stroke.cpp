// Strokes: one-pixel lines aliased or smoothed, wide lines with round ends and joints, dashes.
#include "render/raster.h"
#include "render/raster_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrum::raster {

using namespace detail;

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
