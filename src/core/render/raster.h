#pragma once
// The scan converter of the aliased back ends: polygon fills, closed Bezier fills and one-pixel
// lines written straight into a 32-bit image.
//
// A general-purpose painter spends most of a map frame setting up edges for polygons of
// hundreds of vertices. Here every edge costs a few integer steps per row, the rows outside
// the clip are never visited, and the answer for a pixel never depends on the clip: a strip
// redrawn after a pan gets exactly the pixels a full redraw would.
//
// Rules: a pixel is filled when its centre lies inside by the even-odd rule; coordinates are
// whole pixels or, for flattened curves, sixteenths of a pixel. A line covers the pixels the
// nearest-pixel walk along its major axis visits, both ends included.

#include "render/image.h"
#include "view/view_transform.h"

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace kestrum::raster {

// What the covered pixels receive: a colour, laid over at an opacity, through an 8 x 8 mask
// (hatch brushes) that repeats from the image's origin.
struct Paint {
    uint32_t pixel = 0xFF000000u; // 0xFFRRGGBB
    uint8_t alpha = 255;
    const std::array<uint8_t, 8>* pattern = nullptr; // row y & 7, bit x & 7; nullptr paints all
};

constexpr int kSubpixelBits = 4;

class Rasterizer {
  public:
    // Whole-pixel vertices; the polygon closes itself.
    void fillPolygon(TImage& image, std::span<const TPoint> pts, TRect clip, const Paint& paint);
    // A cubic Bezier chain (1 + 3k points), closed back to its start and filled.
    void fillClosedBezier(TImage& image, std::span<const TPoint> pts, TRect clip, const Paint& paint);
    // One-pixel lines through the points; `closed` adds the segment back to the first.
    void strokeHairline(TImage& image, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);
    // The same along a cubic Bezier chain (1 + 3k points).
    void strokeBezierHairline(TImage& image, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);

  private:
    struct Edge {
        int32_t firstRow, endRow; // rows whose centres the edge crosses: [firstRow, endRow)
        int64_t x, rem, step, stepRem, den; // first pixel right of the crossing, as an exact fraction
    };
    struct SubPoint {
        int64_t X, Y; // sixteenths of a pixel
    };

    void startFill(const TRect& clip);
    void addEdge(SubPoint a, SubPoint b, const TRect& clip);
    void fillEdges(TImage& image, TRect clip, const Paint& paint);
    void flattenCubic(SubPoint p0, SubPoint p1, SubPoint p2, SubPoint p3);
    void flattenChain(std::span<const TPoint> pts); // into m_path

    std::vector<Edge> m_edges, m_sorted;
    std::vector<uint32_t> m_rowStart;
    std::vector<int32_t> m_active;
    std::vector<int64_t> m_crossings;
    std::vector<uint8_t> m_leftParity; // per clip row, as differences: edges wholly left of the clip
    std::pair<int32_t, int32_t> m_leftRows; // rows those edges span
    std::vector<SubPoint> m_path;
    std::vector<TPoint> m_pixels;
};

// Clip rectangle of a whole image.
inline TRect bounds(const TImage& image) { return {0, 0, image.width(), image.height()}; }

} // namespace kestrum::raster
