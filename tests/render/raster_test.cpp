// The scan converter: fills against a brute-force reference, answers that do not depend on
// the clip, joints painted once, and coordinates far off the image.

#include "render/raster_batch.h"
#include "support/largest_allocation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <tuple>
#include <vector>

using namespace kestrum;
using raster::Paint;
using raster::Rasterizer;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kInk = 0xFF204080u;

// Even-odd at the pixel centre, in doubled coordinates so that a centre never lies on a vertex
// row: an edge counts when it crosses the centre's row at or left of the centre.
bool insideReference(std::span<const TPoint> pts, int px, int py) {
    const int64_t cx = 2 * int64_t{px} + 1, cy = 2 * int64_t{py} + 1;
    bool in = false;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        TPoint a = pts[i], b = pts[(i + 1) % pts.size()];
        if (a.Y == b.Y) continue;
        if (a.Y > b.Y) std::swap(a, b);
        const int64_t ya = 2 * int64_t{a.Y}, yb = 2 * int64_t{b.Y}, xa = 2 * int64_t{a.X}, xb = 2 * int64_t{b.X};
        if (cy < ya || cy >= yb) continue;
        if ((cx - xa) * (yb - ya) >= (xb - xa) * (cy - ya)) in = !in;
    }
    return in;
}

std::vector<TPoint> randomPolygon(std::mt19937& rng, int w, int h) {
    std::uniform_int_distribution<int> count(3, 12), far(0, 9);
    std::vector<TPoint> pts(static_cast<std::size_t>(count(rng)));
    for (TPoint& p : pts) {
        // Mostly on and around the image, now and then far beyond it.
        const int spread = far(rng) == 0 ? 100000 : 20;
        p = {std::uniform_int_distribution<int>(-spread, w + spread)(rng),
             std::uniform_int_distribution<int>(-spread, h + spread)(rng)};
    }
    return pts;
}

int countInk(const TImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) != kWhite;
    return n;
}

} // namespace

TEST(Raster, FillsExactlyThePixelsWhoseCentresAreInsideWhateverTheClip) {
    std::mt19937 rng(7);
    Rasterizer r;
    const int w = 48, h = 36;
    for (int round = 0; round < 400; ++round) {
        const auto pts = randomPolygon(rng, w, h);
        // A clip of its own each round: strips, corners, the whole image and beyond it.
        std::uniform_int_distribution<int> cx(-5, w + 5), cy(-5, h + 5);
        int x0 = cx(rng), x1 = cx(rng), y0 = cy(rng), y1 = cy(rng);
        const TRect clip{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
        TImage img(w, h, kWhite);
        r.fillPolygon(raster::surfaceOf(img), pts, clip, {kInk});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool inClip = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
                const bool expected = inClip && insideReference(pts, x, y);
                ASSERT_EQ(img.pixel(x, y) == kInk, expected) << "round " << round << " pixel " << x << "," << y;
            }
    }
}

TEST(Raster, TranslucentPaintReachesEachPixelOnce) {
    Rasterizer r;
    const Paint half{0xFF000000u, 128};
    // A closed outline with a repeated vertex: its joints must not be blended twice.
    const std::vector<TPoint> outline{{2, 2}, {30, 5}, {30, 5}, {34, 25}, {10, 28}, {3, 20}};
    TImage img(40, 32, kWhite);
    r.strokeHairline(raster::surfaceOf(img), outline, true, TRect{0, 0, img.width(), img.height()}, half);
    std::set<uint32_t> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) colours.insert(img.pixel(x, y));
    EXPECT_EQ(colours, (std::set<uint32_t>{kWhite, 0xFF7F7F7Fu}));
    // A wide line crossing itself, with round joints overlapping the bands: still once each.
    TImage wide(40, 32, kWhite);
    r.strokeWide(raster::surfaceOf(wide), std::vector<TPoint>{{3, 3}, {35, 28}, {35, 4}, {4, 27}}, false, 5,
                 TRect{0, 0, 40, 32}, half);
    colours.clear();
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x) colours.insert(wide.pixel(x, y));
    EXPECT_EQ(colours, (std::set<uint32_t>{kWhite, 0xFF7F7F7Fu}));
    // Width 4 along a row: the centres within 2 pixels of it, rows 8 to 11, and round ends.
    TImage bar(40, 20, kWhite);
    r.strokeWide(raster::surfaceOf(bar), std::vector<TPoint>{{10, 10}, {30, 10}}, false, 4, TRect{0, 0, 40, 20}, {kInk});
    for (int y = 6; y < 14; ++y) EXPECT_EQ(bar.pixel(20, y) == kInk, y >= 8 && y <= 11) << y;
    EXPECT_EQ(bar.pixel(31, 10), kInk);
    EXPECT_EQ(bar.pixel(32, 10), kWhite);
    EXPECT_EQ(bar.pixel(31, 8), kWhite); // the cap is round, not square
    // A line of a single point is a dot: the centres within 2 pixels of it.
    TImage dot(40, 20, kWhite);
    r.strokeWide(raster::surfaceOf(dot), std::vector<TPoint>{{20, 5}}, false, 4, TRect{0, 0, 40, 20}, {kInk});
    EXPECT_EQ(countInk(dot), 12);
    // Dashed, the cells are a pen width long: 4 on and 2 off, each dash with round ends.
    TImage dashes(40, 20, kWhite);
    Paint dashed{kInk};
    std::tie(dashed.dash, dashed.dashPeriod) = std::pair{0b001111u, uint8_t{6}};
    r.strokeWide(raster::surfaceOf(dashes), std::vector<TPoint>{{2, 10}, {38, 10}}, false, 2, TRect{0, 0, 40, 20}, dashed);
    for (int x = 0; x < 40; ++x) EXPECT_EQ(dashes.pixel(x, 10) == kInk, x >= 1 && x < 35 && (x - 1) % 12 < 10) << x;
    // Every vertex is on the line, the first and the last of an open one included.
    TImage open(40, 32, kWhite);
    r.strokeHairline(raster::surfaceOf(open), std::vector<TPoint>{{1, 1}, {17, 9}, {5, 30}}, false, TRect{0, 0, open.width(), open.height()}, {kInk});
    for (TPoint p : {TPoint{1, 1}, TPoint{17, 9}, TPoint{5, 30}}) EXPECT_EQ(open.pixel(p.X, p.Y), kInk);
    EXPECT_EQ(countInk(open), 16 + 21 + 1); // a pixel per step along the longer axis, and the end
}

TEST(Raster, WideLinesCoverThePixelsWithinHalfTheirWidth) {
    // Sharp turns, U-turns, repeated and collinear vertices, closed or open: a pixel is painted
    // when its centre lies within width / 2 of the path. Arcs are polygons, so centres within a
    // third of a pixel of the rim may go either way.
    std::mt19937 rng(5);
    Rasterizer r;
    const int w = 48, h = 40;
    auto distance = [](double px, double py, TPoint a, TPoint b) {
        const double dx = b.X - a.X, dy = b.Y - a.Y, len2 = dx * dx + dy * dy;
        const double t = len2 == 0 ? 0 : std::clamp(((px - a.X) * dx + (py - a.Y) * dy) / len2, 0.0, 1.0);
        return std::hypot(px - a.X - t * dx, py - a.Y - t * dy);
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<TPoint> pts(static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 7)(rng)));
        for (TPoint& p : pts) p = {std::uniform_int_distribution<int>(-4, w + 4)(rng), std::uniform_int_distribution<int>(-4, h + 4)(rng)};
        if (round % 5 == 1 && pts.size() > 2) pts[2] = pts[0];                           // straight back
        if (round % 5 == 2 && pts.size() > 1) pts[1] = pts[0];                           // repeated
        if (round % 5 == 3 && pts.size() > 2) pts[2] = {2 * pts[1].X - pts[0].X, 2 * pts[1].Y - pts[0].Y}; // straight on
        const bool closed = round % 2 == 1;
        const int width = 1 + round % 9;
        TImage img(w, h, kWhite);
        r.strokeWide(raster::surfaceOf(img), pts, closed, width, TRect{0, 0, w, h}, {kInk});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double d = distance(x + 0.5, y + 0.5, pts.back(), closed ? pts.front() : pts.back());
                for (std::size_t i = 0; i + 1 < pts.size(); ++i) d = std::min(d, distance(x + 0.5, y + 0.5, pts[i], pts[i + 1]));
                if (std::abs(d - width / 2.0) < 0.34) continue;
                ASSERT_EQ(img.pixel(x, y) == kInk, d < width / 2.0) << "round " << round << " pixel " << x << "," << y;
            }
    }
}

TEST(Raster, PicturesLaidOverManyPixelsAtOnceMatchThemLaidOneByOne) {
    // Rows are laid several pixels at a time where the processor allows; three-pixel columns
    // take the one-at-a-time path. Bare, solid and partly covered stretches, opaque and not.
    std::mt19937 rng(3);
    auto byte = [&] { return static_cast<uint8_t>(rng() >> 24); };
    const int w = 37, h = 24;
    std::vector<uint8_t> mask(w * h);
    uint8_t every = 0; // partial coverage takes every value, so that each rounding is met
    std::vector<uint32_t> picture(w * h);
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const int run = static_cast<int>(i / 5 % 3); // runs of bare, solid and anything
        mask[i] = run == 0 ? 0 : run == 1 ? 255 : every++;
        const uint32_t a = run == 0 ? 0 : run == 1 ? 255 : byte();
        auto premultiplied = [&] { return static_cast<uint32_t>(byte()) * a / 255; };
        picture[i] = a << 24 | premultiplied() << 16 | premultiplied() << 8 | premultiplied();
    }
    for (const uint8_t alpha : {uint8_t{255}, uint8_t{140}, uint8_t{77}}) {
        TImage whole(w + 4, 2 * h + 2), columns(w + 4, 2 * h + 2);
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x) whole.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFF)), columns.setPixel(x, y, whole.pixel(x, y));
        auto lay = [&](TImage& img, TRect clip) {
            raster::blendMask(raster::surfaceOf(img), clip, 2, 1, mask.data(), w, h, w, 0xFFC08040u, alpha);
            raster::blendImage(raster::surfaceOf(img), clip, 1, h + 1, picture.data(), w, h, w);
        };
        lay(whole, {0, 0, whole.width(), whole.height()});
        for (int x = 0; x < columns.width(); x += 3) lay(columns, {x, 0, x + 3, columns.height()});
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x) ASSERT_EQ(whole.pixel(x, y), columns.pixel(x, y)) << x << "," << y;
    }
}

TEST(Raster, StripsDrawnApartEqualTheWhole) {
    // Lines, curves and translucent hatched fills: what a pan stitches together must match.
    std::mt19937 rng(11);
    Rasterizer r;
    const std::array<uint8_t, 8> hatch{0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
    for (int round = 0; round < 60; ++round) {
        auto pts = randomPolygon(rng, 64, 48);
        while ((pts.size() - 1) % 3 != 0) pts.pop_back();
        Paint fill{0xFF10A030u, 200, round % 2 ? &hatch : nullptr}, pen{0xFF000000u, 255};
        fill.smooth = pen.smooth = round % 3 == 0;
        Paint dashed = pen;
        std::tie(dashed.dash, dashed.dashPeriod) = std::pair{0b001001111u, uint8_t{9}};
        if (round % 4 == 3) pen = dashed; // one-pixel lines, smoothed or not, dashed too
        auto draw = [&](TImage& img, TRect clip) {
            r.fillClosedBezier(raster::surfaceOf(img), pts, clip, fill);
            r.strokeBezierHairline(raster::surfaceOf(img), pts, true, clip, pen);
            if (pen.smooth) r.strokeSmoothHairline(raster::surfaceOf(img), pts, false, clip, pen);
            else r.strokeHairline(raster::surfaceOf(img), pts, false, clip, pen);
            r.strokeWide(raster::surfaceOf(img), pts, true, 3, clip, fill);
            r.strokeWide(raster::surfaceOf(img), pts, round % 2 == 0, 2, clip, dashed);
        };
        TImage whole(64, 48, kWhite), pieces(64, 48, kWhite);
        draw(whole, TRect{0, 0, whole.width(), whole.height()});
        for (int x = 0; x < 64; x += 13)
            for (int y = 0; y < 48; y += 7) draw(pieces, {x, y, x + 13, y + 7});
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) ASSERT_EQ(whole.pixel(x, y), pieces.pixel(x, y)) << round << ": " << x << "," << y;
    }
}

TEST(Raster, CurvesAndFarCoordinatesStayBounded) {
    Rasterizer r;
    // A circle of radius 40 from four arcs covers about pi r^2 pixels.
    constexpr int c = 50, k = 22; // 0.5523 * 40
    const std::vector<TPoint> circle{{c + 40, c}, {c + 40, c + k}, {c + k, c + 40}, {c, c + 40},
                                     {c - k, c + 40}, {c - 40, c + k}, {c - 40, c}, {c - 40, c - k},
                                     {c - k, c - 40}, {c, c - 40}, {c + k, c - 40}, {c + 40, c - k}, {c + 40, c}};
    TImage img(100, 100, kWhite);
    r.fillClosedBezier(raster::surfaceOf(img), circle, TRect{0, 0, img.width(), img.height()}, {kInk});
    EXPECT_NEAR(countInk(img), 3.14159 * 40 * 40, 60);
    // Vertices at the edge of the drawable range: the whole image is inside, nothing overflows.
    const int32_t far = 16777216;
    const std::vector<TPoint> huge{{-far, -far}, {far, -far + 1}, {far - 3, far}, {-far, far}};
    TImage full(30, 20, kWhite);
    r.fillPolygon(raster::surfaceOf(full), huge, TRect{0, 0, full.width(), full.height()}, {kInk});
    EXPECT_EQ(countInk(full), 30 * 20);
    TImage lines(30, 20, kWhite);
    r.strokeHairline(raster::surfaceOf(lines), std::vector<TPoint>{{-far, -far}, {far, far}}, false, TRect{0, 0, lines.width(), lines.height()}, {kInk});
    EXPECT_EQ(countInk(lines), 20); // the diagonal through the image, one pixel a row
    r.strokeBezierHairline(raster::surfaceOf(lines), huge, false, {0, 0, 0, 0}, {kInk}); // empty clip: nothing, no crash
    // A damaged curve chain of 150,000 points swinging across the whole range, drawn wide: the
    // flattening and the discs are bounded, so memory stays in the tens of megabytes.
    std::vector<TPoint> wild(150001);
    for (std::size_t i = 0; i < wild.size(); ++i)
        wild[i] = {i % 2 ? far : -far, i % 3 ? far - int32_t(i) : -far + int32_t(i)};
    test::LargestAllocation watch;
    r.fillClosedBezier(raster::surfaceOf(full), wild, TRect{0, 0, 30, 20}, {kInk});
    r.strokeBezierWide(raster::surfaceOf(full), wild, false, 900, TRect{0, 0, 30, 20}, {kInk});
    Paint dots{kInk};
    std::tie(dots.dash, dots.dashPeriod) = std::pair{0b001u, uint8_t{3}};
    r.strokeBezierWide(raster::surfaceOf(full), wild, false, 2, TRect{0, 0, 30, 20}, dots);
    EXPECT_LT(watch.bytes(), std::size_t{200} << 20);
}

TEST(Raster, ABatchDrawnInTwoBandsMatchesOnePass) {
    // Enough work for several queues handed to the helper while more is queued, and a last one
    // split between two threads, in an order where later shapes cover earlier. Each shape has
    // a clip of its own, beyond which the batch may drop points.
    std::mt19937 rng(5);
    raster::RasterBatch batch;
    Rasterizer direct;
    TImage banded(160, 120, kWhite), single(160, 120, kWhite);
    batch.setSurface(raster::surfaceOf(banded));
    const TRect all{0, 0, 160, 120};
    std::size_t points = 0;
    for (int i = 0; points < raster::RasterBatch::kHandOffPoints * 3 + raster::RasterBatch::kParallelPoints; ++i) {
        auto pts = randomPolygon(rng, 160, 120);
        points += pts.size();
        Paint paint{0xFF000000u | uint32_t(rng() & 0xFFFFFF), uint8_t(i % 3 ? 255 : 90)};
        paint.smooth = i % 4 == 1;
        std::uniform_int_distribution<int> cx(-5, 165), cy(-5, 125);
        const int x0 = cx(rng), x1 = cx(rng), y0 = cy(rng), y1 = cy(rng);
        const TRect clip = i % 5 == 0 ? all : TRect{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
        batch.fillPolygon(pts, clip, paint);
        batch.strokeWide(pts, i % 2 == 0, 1 + i % 5, clip, paint);
        direct.fillPolygon(raster::surfaceOf(single), pts, clip, paint);
        direct.strokeWide(raster::surfaceOf(single), pts, i % 2 == 0, 1 + i % 5, clip, paint);
        if (paint.smooth) {
            batch.strokeSmoothHairline(pts, i % 2 == 0, clip, paint);
            direct.strokeSmoothHairline(raster::surfaceOf(single), pts, i % 2 == 0, clip, paint);
        } else {
            batch.strokeHairline(pts, i % 2 == 0, clip, paint);
            direct.strokeHairline(raster::surfaceOf(single), pts, i % 2 == 0, clip, paint);
        }
    }
    batch.flush();
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) ASSERT_EQ(banded.pixel(x, y), single.pixel(x, y)) << x << "," << y;
}

TEST(Raster, SmoothEdgesShareTheirPixels) {
    Rasterizer r;
    Paint ink{0xFF000000u};
    ink.smooth = true;
    auto grey = [](const TImage& img, int x, int y) { return img.pixel(x, y) & 0xFF; }; // 255 white .. 0 ink
    // A diagonal edge through pixel centres covers them by half; edges on pixel boundaries stay crisp.
    TImage tri(20, 20, kWhite);
    r.fillPolygon(raster::surfaceOf(tri), std::vector<TPoint>{{0, 0}, {16, 0}, {0, 16}}, TRect{0, 0, 20, 20}, ink);
    EXPECT_EQ(grey(tri, 3, 3), 0u);
    EXPECT_NEAR(int(grey(tri, 10, 5)), 128, 24);
    EXPECT_EQ(grey(tri, 12, 8), 255u);
    EXPECT_EQ(grey(tri, 0, 10), 0u); // the left edge lies on x = 0
    EXPECT_EQ(grey(tri, 17, 0), 255u); // nothing past the top-right corner
    // A one-pixel line along a pixel boundary is shared by the two rows beside it.
    TImage line(20, 20, kWhite);
    r.strokeSmoothHairline(raster::surfaceOf(line), std::vector<TPoint>{{2, 10}, {18, 10}}, false, TRect{0, 0, 20, 20}, ink);
    EXPECT_NEAR(int(grey(line, 8, 9)), 128, 2);
    EXPECT_NEAR(int(grey(line, 8, 10)), 128, 2);
    EXPECT_EQ(grey(line, 8, 11), 255u);
    // A box from (0.5, 0.5) to (2.5, 1.5): a quarter of its corner pixels, half of its edge ones.
    TImage box(4, 3, kWhite);
    raster::fillBox(raster::surfaceOf(box), {8, 8}, {40, 24}, TRect{0, 0, 4, 3}, ink);
    const int expected[3][4] = {{191, 128, 191, 255}, {191, 128, 191, 255}, {255, 255, 255, 255}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_NEAR(int(grey(box, x, y)), expected[y][x], 1) << x << "," << y;
}
