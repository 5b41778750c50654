#include "model/polygon_rings.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

namespace kestrum {

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

uint64_t bitsOf(TMapPoint p) { return std::bit_cast<uint64_t>(p); }

// The first point after `start` that repeats it bit for bit (rings are closed with copies of
// their first points), or kNone. Every polygon drawn is asked this once, so the scan takes
// whole words, four points a step.
std::size_t closeOf(std::span<const TMapPoint> pts, std::size_t start) {
    const uint64_t p = bitsOf(pts[start]);
    std::size_t i = start + 1;
    for (; i + 4 <= pts.size(); i += 4) {
        // Integer ors, not logical ones: no branch per point.
        const int any = int(bitsOf(pts[i]) == p) | int(bitsOf(pts[i + 1]) == p) | int(bitsOf(pts[i + 2]) == p) |
                        int(bitsOf(pts[i + 3]) == p);
        if (any) break;
    }
    for (; i < pts.size(); ++i)
        if (bitsOf(pts[i]) == p) return i;
    return kNone;
}

// Exactly on one of the ring's edges. Differences of floats are exact in double, and so is the
// cross product at map coordinates (below 2^26 units apart).
bool onBoundary(std::span<const TMapPoint> ring, TMapPoint p) {
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const TMapPoint a = ring[j], b = ring[i];
        if (p.X < std::min(a.X, b.X) || p.X > std::max(a.X, b.X) || p.Y < std::min(a.Y, b.Y) ||
            p.Y > std::max(a.Y, b.Y))
            continue;
        const double cross = (double(b.X) - a.X) * (double(p.Y) - a.Y) - (double(b.Y) - a.Y) * (double(p.X) - a.X);
        if (cross == 0) return true;
    }
    return false;
}

struct Box {
    float minX = std::numeric_limits<float>::infinity(), minY = minX;
    float maxX = -std::numeric_limits<float>::infinity(), maxY = maxX;
    explicit Box(std::span<const TMapPoint> pts) {
        for (const TMapPoint& p : pts) {
            minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
            minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
        }
    }
    bool contains(const Box& b) const {
        return b.minX >= minX && b.maxX <= maxX && b.minY >= minY && b.maxY <= maxY;
    }
};

// A ring without the repeat of its first point at its end.
std::span<const TMapPoint> body(std::span<const TMapPoint> ring) {
    if (ring.size() > 1 && ring.back() == ring.front()) ring = ring.first(ring.size() - 1);
    return ring;
}

} // namespace

bool evenOdd(std::span<const TMapPoint> pts, double x, double y) {
    if (pts.size() < 3) return false;
    bool in = false;
    for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
        const double xi = pts[i].X, yi = pts[i].Y, xj = pts[j].X, yj = pts[j].Y;
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
}

PolygonRings::PolygonRings(std::span<const TMapPoint> pts) : m_pts(pts), m_count(pts.empty() ? 0 : 1) {
    // The smallest area with a hole: two triangles, each closed, and the way back.
    const std::size_t n = pts.size();
    if (n < 9) return;
    const std::size_t k = closeOf(pts, 0);
    if (k == kNone || k < 3 || k + 1 >= n) return;
    std::size_t count = 1;
    for (std::size_t s = k + 1; s < n; ++count) {
        const std::size_t e = closeOf(pts, s);
        if (e == kNone || e - s < 3 || e + 1 >= n || bitsOf(pts[e + 1]) != bitsOf(pts[0])) return;
        s = e + 2;
    }
    m_count = count;
    m_outerEnd = k;
}

PolygonRings::Iterator PolygonRings::begin() const {
    if (!holed()) return {m_pts, 0, m_pts.size(), false};
    return {m_pts, 0, m_outerEnd, true};
}

PolygonRings::Iterator& PolygonRings::Iterator::operator++() {
    const std::size_t n = m_pts.size();
    const std::size_t next = m_holed ? (m_first == 0 ? m_end + 1 : m_end + 2) : n;
    if (next >= n) {
        m_first = m_end = n;
        return *this;
    }
    m_first = next;
    m_end = closeOf(m_pts, next); // found: the constructor checked the whole list
    return *this;
}

bool insideArea(std::span<const TMapPoint> pts, double x, double y) {
    const PolygonRings rings(pts);
    if (!rings.holed()) return evenOdd(pts, x, y);
    bool in = false;
    for (const auto ring : rings) in ^= evenOdd(ring, x, y);
    return in;
}

bool ringInside(std::span<const TMapPoint> inner, std::span<const TMapPoint> outer) {
    inner = body(inner), outer = body(outer);
    if (inner.size() < 3 || outer.size() < 3 || !Box(outer).contains(Box(inner))) return false;
    // A hole may share vertices with its outer ring; a few tries find one that it does not.
    constexpr std::size_t kTries = 8;
    for (std::size_t i = 0; i < std::min(inner.size(), kTries); ++i)
        if (!onBoundary(outer, inner[i])) return evenOdd(outer, inner[i].X, inner[i].Y);
    return false;
}

PointArray joinRings(std::span<const TMapPoint> outer, std::span<const std::span<const TMapPoint>> holes) {
    if (holes.empty()) return PointArray(outer.begin(), outer.end());
    const std::span<const TMapPoint> o = body(outer);
    std::size_t size = o.size() + 1;
    for (const auto h : holes) size += body(h).size() + 2;
    PointArray out;
    out.reserve(size);
    out.insert(out.end(), o.begin(), o.end());
    out.push_back(o[0]);
    for (const auto hole : holes) {
        const std::span<const TMapPoint> h = body(hole);
        if (h.empty()) continue;
        std::size_t start = 0;
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < h.size(); ++i) {
            const double dx = double(h[i].X) - o[0].X, dy = double(h[i].Y) - o[0].Y;
            if (dx * dx + dy * dy < best) best = dx * dx + dy * dy, start = i;
        }
        for (std::size_t i = 0; i < h.size(); ++i) out.push_back(h[(start + i) % h.size()]);
        out.push_back(h[start]);
        out.push_back(o[0]);
    }
    return out;
}

std::vector<PointArray> groupRings(std::span<const std::span<const TMapPoint>> rings) {
    struct Area {
        std::span<const TMapPoint> outer;
        Box box;
        std::vector<std::span<const TMapPoint>> holes;
    };
    std::vector<Area> areas;
    // Every ring is tried against the areas before it: a file of a hundred thousand islands in
    // one region would take hours. Past this many steps (a box compared, or a vertex of an outer
    // ring tested) the rings left are areas of their own, as all rings once were.
    constexpr uint64_t kBudget = uint64_t{1} << 25;
    uint64_t spent = 0;
    for (const auto ring : rings) {
        if (ring.empty()) continue;
        const Box box(ring);
        auto holder = areas.end();
        if (spent < kBudget)
            holder = std::find_if(areas.begin(), areas.end(), [&](const Area& a) {
                ++spent;
                if (!a.box.contains(box)) return false;
                spent += a.outer.size();
                return ringInside(ring, a.outer);
            });
        if (holder != areas.end()) holder->holes.push_back(ring);
        else areas.push_back({ring, box, {}});
    }
    std::vector<PointArray> out;
    out.reserve(areas.size());
    for (const Area& a : areas) {
        PointArray joined = joinRings(a.outer, a.holes);
        // A ring that passes through its own first point again cannot be told apart in the
        // list: such an area keeps its rings as areas of their own, as every ring was before.
        if (a.holes.empty() || PolygonRings(joined).size() == a.holes.size() + 1) {
            out.push_back(std::move(joined));
            continue;
        }
        out.emplace_back(a.outer.begin(), a.outer.end());
        for (const auto h : a.holes) out.emplace_back(h.begin(), h.end());
    }
    return out;
}

} // namespace kestrum
