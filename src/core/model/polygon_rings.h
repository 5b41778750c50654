#pragma once
// Areas with holes (a lake in a forest, a courtyard in a building) in one cPolygon point list.
//
// The file format gives a polygon one list of points and nothing else, so the rings travel in
// the list itself. An area with holes is written as its outer ring closed on its first point,
// then each hole closed on its own first point and followed by the outer ring's first point
// again:
//
//     o0 o1 ... ok o0   h0 h1 ... hm h0 o0   g0 ... gn g0 o0
//
// Filled by the even-odd rule, that one list is the area with its holes: every connector from
// o0 to a hole is run once each way and cancels, so any reader fills it right. A list that does
// not follow the pattern exactly is one ring, as every polygon was before; the rings of one
// that does are drawn apart, so that outlines show no connector.

#include "model/map_object.h"

#include <cstddef>
#include <span>
#include <vector>

namespace kestrum {

class PolygonRings {
  public:
    // One pass over the points, no allocation.
    explicit PolygonRings(std::span<const TMapPoint> pts);

    std::size_t size() const { return m_count; }
    bool holed() const { return m_count > 1; }

    // The rings in order, outer first. A plain polygon's one ring is its list as stored; the
    // rings of an area with holes come without their closing points.
    class Iterator {
      public:
        std::span<const TMapPoint> operator*() const { return m_pts.subspan(m_first, m_end - m_first); }
        Iterator& operator++();
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.m_first == b.m_first; }

      private:
        friend class PolygonRings;
        Iterator(std::span<const TMapPoint> pts, std::size_t first, std::size_t end, bool holed)
            : m_pts(pts), m_first(first), m_end(end), m_holed(holed) {}
        std::span<const TMapPoint> m_pts;
        std::size_t m_first, m_end;
        bool m_holed;
    };
    Iterator begin() const;
    Iterator end() const { return {m_pts, m_pts.size(), m_pts.size(), holed()}; }

  private:
    std::span<const TMapPoint> m_pts;
    std::size_t m_count = 0;
    std::size_t m_outerEnd = 0; // index of the outer ring's closing point, when holed
};

// Whether (x, y) lies in the area by the even-odd rule over its rings: inside the outer ring
// and in none of its holes (or on an island within one). Connectors take no part.
bool insideArea(std::span<const TMapPoint> pts, double x, double y);
// The plain even-odd crossing test over one closed list (no ring structure).
bool evenOdd(std::span<const TMapPoint> pts, double x, double y);

// Whether ring `inner` lies inside ring `outer` (either may repeat its first point at its end):
// its box within the outer ring's box, and its first vertex that is not on the outer ring's
// boundary inside by the even-odd rule. Rings whose first vertices all lie on it are not inside.
bool ringInside(std::span<const TMapPoint> inner, std::span<const TMapPoint> outer);

// The point list of an area: `outer` with `holes`, as above. Without holes, `outer` unchanged.
// Each hole starts at its vertex nearest to the outer ring's first point, so that a reader that
// strokes the list whole draws the shortest connectors.
PointArray joinRings(std::span<const TMapPoint> outer, std::span<const std::span<const TMapPoint>> holes);

// Rings of one feature (a MIF region, the Data0 lines of a Polish-format polygon) grouped into
// areas: a ring inside an earlier area's outer ring is a hole of the first such area, any other
// ring is the outer ring of an area of its own. Areas come in the order of their outer rings;
// empty rings are left out. The search is bounded: the rings of a feature of very many rings
// past its first few million comparisons are areas of their own.
std::vector<PointArray> groupRings(std::span<const std::span<const TMapPoint>> rings);

} // namespace kestrum
