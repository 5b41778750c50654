#pragma once
// The scan converter of the drawing back ends: polygon and closed Bezier fills, one-pixel and
// wide lines, aliased or smoothed, written straight into a 32-bit image.
//
// A general-purpose painter spends most of a map frame setting up edges for polygons of
// hundreds of vertices. Here every edge costs a few integer steps per row, the rows outside
// the clip are never visited, and the answer for a pixel never depends on the clip: a strip
// redrawn after a pan gets exactly the pixels a full redraw would.
//
// Rules: aliased, a pixel is filled when its centre lies inside by the even-odd rule (a centre
// on a left edge is in, on a right edge out), and a
// one-pixel line covers the pixels the nearest-pixel walk along its major axis visits, both
// ends included. Smoothed, a pixel gets the share of four sample rows across it that lies
// inside. Coordinates are whole pixels or, for flattened curves, sixteenths of a pixel.

#include "image/image.h"
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
    // Lines only: cell k along the line (a pixel step, or a pen width for wide lines) is drawn
    // when bit k % dashPeriod is set; 0 is solid.
    uint32_t dash = 0;
    uint8_t dashPeriod = 0;
    bool smooth = false; // anti-aliased: edge pixels get the share of them covered
};

constexpr int kSubpixelBits = 4;

// The pixels drawn on: rows top to bottom, `width` words each.
struct Surface {
    uint32_t* pixels = nullptr;
    int32_t width = 0, height = 0;
};
inline Surface surfaceOf(TImage& image) { return {image.data(), image.width(), image.height()}; }
inline TRect bounds(const Surface& s) { return {0, 0, s.width, s.height}; }

// Lays a colour over the surface through an 8-bit coverage mask (rows `stride` bytes apart)
// whose top-left corner goes to (x, y): glyphs drawn once as masks, coloured at every use.
void blendMask(Surface image, TRect clip, int32_t x, int32_t y, const uint8_t* mask, int32_t width, int32_t height,
               std::size_t stride, uint32_t pixel, uint8_t alpha);

// Lays a picture of premultiplied 0xAARRGGBB words (rows `stride` words apart) over the surface
// with its top-left corner at (x, y), rounded as the platform's compositor rounds: a label drawn
// once into a picture and copied here looks exactly as if drawn in place.
void blendImage(Surface image, TRect clip, int32_t x, int32_t y, const uint32_t* src, int32_t width, int32_t height,
                std::size_t stride);

// A level box between corners given in sixteenths of a pixel; each pixel receives the paint at
// the share of its area the box covers (smoothed edges, for boxes behind captions).
void fillBox(Surface image, TPoint a, TPoint b, TRect clip, const Paint& paint);

// Appends pts to out, leaving out the inner points of every run that lies wholly beyond one
// side of the box [left, right] x [top, bottom]: such a run becomes its chord, which stays
// beyond that side too. Whatever lies there adds to a fill's winding inside only by where the
// run starts and ends, and puts no pixel of a solid line inside, so the box gets the same
// pixels. A pan strip crossing a park keeps a few of its thousand vertices.
template <class Point>
void keepNear(std::span<const Point> pts, std::vector<Point>& out, int64_t left, int64_t top, int64_t right,
              int64_t bottom) {
    auto sides = [&](const Point& p) {
        return unsigned{p.X < left} | unsigned{p.X > right} << 1 | unsigned{p.Y < top} << 2 | unsigned{p.Y > bottom} << 3;
    };
    if (pts.empty()) return;
    out.push_back(pts[0]);
    unsigned common = sides(pts[0]); // the sides every point of the run so far lies beyond
    bool held = false;               // whether the run's latest point waits in `latest`
    Point latest{};
    unsigned latestSides = 0;
    for (std::size_t i = 1; i < pts.size(); ++i) {
        const unsigned s = sides(pts[i]);
        if (held && (common & s) == 0) {
            // The run ends at its latest point, and the next starts there.
            out.push_back(latest);
            common = latestSides;
            held = false;
        }
        if ((common & s) != 0 && i + 1 < pts.size()) {
            common &= s;
            latest = pts[i], latestSides = s, held = true;
        } else {
            out.push_back(pts[i]);
            common = s;
        }
    }
}

class Rasterizer {
  public:
    // Whole-pixel vertices; the polygon closes itself.
    void fillPolygon(Surface image, std::span<const TPoint> pts, TRect clip, const Paint& paint);
    // A cubic Bezier chain (1 + 3k points), closed back to its start and filled.
    void fillClosedBezier(Surface image, std::span<const TPoint> pts, TRect clip, const Paint& paint);
    // One-pixel lines through the points; `closed` adds the segment back to the first.
    void strokeHairline(Surface image, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);
    // A smoothed line one pixel wide: a pixel on either side of its centre line.
    void strokeSmoothHairline(Surface image, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);
    // One-pixel lines along a cubic Bezier chain (1 + 3k points), smoothed as the paint says.
    void strokeBezierHairline(Surface image, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);
    // Lines `width` pixels wide with round ends and joints: every pixel whose centre lies within
    // width / 2 of the path, painted once. Dashed, the pattern's cells are a pen width long and
    // every dash has round ends.
    void strokeWide(Surface image, std::span<const TPoint> pts, bool closed, int32_t width, TRect clip, const Paint& paint);
    void strokeBezierWide(Surface image, std::span<const TPoint> pts, bool closed, int32_t width, TRect clip,
                          const Paint& paint);

  private:
    struct Edge {
        int32_t firstRow, endRow; // sample rows the edge crosses: [firstRow, endRow)
        int32_t winding;          // +1 downwards, -1 upwards
        int64_t x, rem, step, stepRem, den; // the crossing on the grid, as an exact fraction
    };
    struct SubPoint {
        int64_t X, Y; // sixteenths of a pixel
    };
    static SubPoint toSub(TPoint p) { return {int64_t{p.X} << kSubpixelBits, int64_t{p.Y} << kSubpixelBits}; }

    void startFill(const TRect& clip, bool smooth);
    void startCoverage(const TRect& clip);
    void addCoverage(int32_t from, int32_t to, const TRect& clip);
    void paintCoverage(uint32_t* row, int32_t y, const TRect& clip, const Paint& paint);
    void addEdge(SubPoint a, SubPoint b, const TRect& clip);
    // Even-odd for shapes as drawn; non-zero for strokes built of overlapping pieces.
    void fillEdges(Surface image, TRect clip, const Paint& paint, bool nonZero = false);
    // m_path; a line of very many `vertices` gets fewer disc sides.
    void strokePath(Surface image, bool closed, int32_t width, TRect clip, const Paint& paint, std::size_t vertices);
    // Cuts m_path into the paint's dashes (none when it is solid), then strokes it.
    void strokeCut(Surface image, bool closed, int32_t width, TRect clip, const Paint& paint);
    // m_path becomes an open path whose segments m_gaps marks as left out.
    void cutDashes(bool closed, int32_t width, const TRect& clip, const Paint& paint);
    void flattenCubic(SubPoint p0, SubPoint p1, SubPoint p2, SubPoint p3, int maxSteps);
    // Into m_path; curves wholly beyond `cull` by more than `margin` sixteenths become chords.
    void flattenChain(std::span<const TPoint> pts, const TRect* cull, int64_t margin);

    struct Grid {
        int32_t rowShift;  // log2 of a sample row's height in sixteenths
        int32_t unitShift; // log2 of a crossing's unit in sixteenths
        int64_t offset;    // taken off a crossing before it is rounded up to its unit
        int32_t samples() const { return int32_t{1} << (kSubpixelBits - rowShift); }
        int64_t unit() const { return int64_t{1} << unitShift; }
    };
    Grid m_grid{kSubpixelBits, kSubpixelBits, 8};
    std::vector<Edge> m_edges, m_sorted;
    std::vector<int32_t> m_cover, m_run; // smooth fills: coverage of the row being sampled
    std::pair<int32_t, int32_t> m_touched;
    std::vector<uint32_t> m_rowStart;
    std::vector<int32_t> m_active;
    std::vector<int32_t> m_leftWinding; // per clip row, as differences: edges wholly left of the clip
    std::pair<int32_t, int32_t> m_leftRows; // rows those edges span
    struct Offset {
        SubPoint off;  // from a segment's points to the edge traced first
        double corner; // where it points, in corners of the disc
    };
    std::vector<SubPoint> m_path, m_disc, m_dashed, m_ring;
    std::vector<Offset> m_offsets;
    std::vector<uint8_t> m_gaps; // per segment of m_path, while a dashed line is stroked
    std::vector<TPoint> m_pixels;
};

} // namespace kestrum::raster
