// Areas with holes: the rings in one point list, the inside test over them, the grouping of a
// feature's rings, and the list as a ".MAP" file keeps it.

#include "io/map_writer.h"
#include "model/polygon_rings.h"
#include "render/raster.h"
#include "support/map_compare.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrum {
namespace {

using Ring = std::vector<TMapPoint>;

Ring square(float x0, float y0, float x1, float y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

std::vector<Ring> ringsOf(std::span<const TMapPoint> pts) {
    std::vector<Ring> out;
    for (const auto r : PolygonRings(pts)) out.emplace_back(r.begin(), r.end());
    return out;
}

// A forest of 100 x 100 with a lake and a pond.
PointArray forest() {
    const Ring outer = square(0, 0, 100, 100), lake = square(20, 20, 50, 50), pond = square(60, 60, 80, 70);
    const std::span<const TMapPoint> holes[] = {lake, pond};
    return joinRings(outer, holes);
}

TEST(PolygonRings, AHoledListSplitsIntoItsRingsWithoutConnectors) {
    const PointArray pts = forest();
    // Outer 4 + close, lake 4 + close + back, pond 4 + close + back.
    EXPECT_EQ(pts.size(), 5u + 6u + 6u);
    EXPECT_EQ(pts[4], pts[0]);
    EXPECT_EQ(pts.back(), pts[0]) << "the list ends where it began";
    const PolygonRings rings(pts);
    EXPECT_TRUE(rings.holed());
    const auto split = ringsOf(pts);
    ASSERT_EQ(split.size(), 3u);
    EXPECT_EQ(split[0], square(0, 0, 100, 100));
    // Each hole starts at its vertex nearest the outer ring's first point.
    EXPECT_EQ(split[1], square(20, 20, 50, 50));
    EXPECT_EQ(split[2], square(60, 60, 80, 70));
}

TEST(PolygonRings, ListsOutsideThePatternAreOneRingAsStored) {
    // Plain, explicitly closed, too short, a connector back to the wrong point, a hole left open.
    const std::vector<Ring> plain = {
        square(0, 0, 10, 10),
        {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}},
        {{0, 0}, {10, 0}, {10, 10}, {0, 0}, {2, 2}, {3, 2}, {2, 3}, {2, 2}},
        {{0, 0}, {10, 0}, {10, 10}, {0, 0}, {2, 2}, {3, 2}, {2, 3}, {2, 2}, {10, 0}},
        {{0, 0}, {10, 0}, {10, 10}, {0, 0}, {2, 2}, {3, 2}, {2, 3}, {4, 4}, {0, 0}},
        {{0, 0}, {10, 0}, {10, 10}, {0, 0}, {2, 2}, {3, 2}, {2, 2}, {0, 0}, {0, 0}}, // a two-point "hole"
    };
    for (const Ring& r : plain) {
        const PolygonRings rings(r);
        EXPECT_EQ(rings.size(), 1u) << r.size();
        const auto split = ringsOf(r);
        ASSERT_EQ(split.size(), 1u);
        EXPECT_EQ(split[0], r) << "the whole list, closing point included";
    }
    EXPECT_EQ(PolygonRings(std::span<const TMapPoint>()).size(), 0u);
    EXPECT_EQ(ringsOf(std::span<const TMapPoint>()).size(), 0u);
}

TEST(PolygonRings, InsideMeansInTheOuterRingAndInNoHole) {
    const PointArray pts = forest();
    EXPECT_TRUE(insideArea(pts, 10, 10));
    EXPECT_FALSE(insideArea(pts, 35, 35)) << "the lake";
    EXPECT_FALSE(insideArea(pts, 70, 65)) << "the pond";
    EXPECT_FALSE(insideArea(pts, 150, 50));
    // On the connector from the outer corner to the lake: the forest, no seam.
    EXPECT_TRUE(insideArea(pts, 10, 10));
    EXPECT_TRUE(insideArea(pts, 15.0, 15.0));
    // A plain polygon answers as the crossing test always did.
    const Ring u = {{0, 0}, {30, 0}, {30, 30}, {20, 30}, {20, 10}, {10, 10}, {10, 30}, {0, 30}};
    EXPECT_TRUE(insideArea(u, 5, 20));
    EXPECT_FALSE(insideArea(u, 15, 20));
}

TEST(PolygonRings, RingInsideTakesTheFirstVertexOffTheBoundary) {
    const Ring outer = square(0, 0, 100, 100);
    EXPECT_TRUE(ringInside(square(10, 10, 20, 20), outer));
    EXPECT_FALSE(ringInside(square(110, 10, 120, 20), outer)) << "beside it";
    EXPECT_FALSE(ringInside(square(50, 50, 150, 60), outer)) << "crossing out of its box";
    // A courtyard sharing the outer ring's corner: its second vertex decides.
    EXPECT_TRUE(ringInside(Ring{{0, 0}, {30, 10}, {10, 30}}, outer));
    // An L whose box holds the ring, but whose notch has it.
    const Ring l = {{0, 0}, {100, 0}, {100, 40}, {40, 40}, {40, 100}, {0, 100}};
    EXPECT_FALSE(ringInside(square(60, 60, 90, 90), l));
    EXPECT_FALSE(ringInside(outer, outer)) << "the same ring is no hole of itself";
}

TEST(PolygonRings, GroupingMakesHolesOfRingsInsideAndKeepsOthersApart) {
    const Ring forestRing = square(0, 0, 100, 100), lake = square(20, 20, 50, 50), island = square(30, 30, 40, 40);
    const Ring meadow = square(200, 0, 300, 100), pond = square(220, 20, 240, 40), empty;
    const std::span<const TMapPoint> rings[] = {forestRing, lake, meadow, island, empty, pond};
    const std::vector<PointArray> areas = groupRings(rings);
    ASSERT_EQ(areas.size(), 2u);
    const auto first = ringsOf(areas[0]);
    ASSERT_EQ(first.size(), 3u) << "forest, lake, and the island in the lake";
    EXPECT_TRUE(insideArea(areas[0], 10, 10));
    EXPECT_FALSE(insideArea(areas[0], 25, 25)) << "the lake";
    EXPECT_TRUE(insideArea(areas[0], 35, 35)) << "the island is land again";
    EXPECT_EQ(ringsOf(areas[1]).size(), 2u) << "the meadow with its pond";

    // Islands apart from each other stay areas of their own, exactly as read.
    const Ring a = square(0, 0, 10, 10), b = square(20, 0, 30, 10);
    const std::span<const TMapPoint> islands[] = {a, b};
    const std::vector<PointArray> apart = groupRings(islands);
    ASSERT_EQ(apart.size(), 2u);
    EXPECT_EQ(Ring(apart[0].begin(), apart[0].end()), a);
    EXPECT_EQ(Ring(apart[1].begin(), apart[1].end()), b);
}

TEST(PolygonRings, GroupingVeryManyRingsEnds) {
    // Forty thousand islands apart: every pair compared would be 800 million steps.
    std::vector<Ring> islands;
    for (int i = 0; i < 40000; ++i) islands.push_back(square(float(i * 10), 0, float(i * 10 + 5), 5));
    std::vector<std::span<const TMapPoint>> rings(islands.begin(), islands.end());
    // A lake in the first island, given last, comes after the search has given up: an area of
    // its own, as every ring was before areas had holes.
    const Ring lake = square(1, 1, 2, 2);
    rings.push_back(lake);
    const std::vector<PointArray> areas = groupRings(rings);
    EXPECT_EQ(areas.size(), 40001u);
    EXPECT_EQ(PolygonRings(areas[0]).size(), 1u);
}

TEST(PolygonRings, ARingThroughItsOwnStartStaysASeparateArea) {
    // The outer ring visits its first point twice: no list could tell its rings apart.
    const Ring bow = {{0, 0}, {50, 0}, {50, 50}, {0, 0}, {0, 50}, {-50, 50}, {-50, 0}};
    const Ring hole = square(10, 5, 40, 8);
    const std::span<const TMapPoint> rings[] = {bow, hole};
    const std::vector<PointArray> areas = groupRings(rings);
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].size(), bow.size());
    EXPECT_EQ(areas[1].size(), hole.size());
}

TEST(PolygonRings, AMapFileKeepsTheRingsAndAnyEvenOddReaderFillsTheHole) {
    MapDocument doc;
    TQEVMapObjectMem o;
    o.ID = 1;
    o.Kind = cPolygon;
    o.setPoints(forest());
    doc.objects.Add(std::move(o));
    doc.header.ObjectCount = 1;
    const test::Loaded back = test::loadBytes(writeMapToBytes(doc));
    ASSERT_EQ(back.doc.objects.count(), 1);
    const auto pts = back.doc.objects[0].points();
    EXPECT_EQ(ringsOf(pts).size(), 3u);
    EXPECT_EQ(back.doc.objects[0].DataCount, 17);

    // Another reader sees one list of points and fills it by the even-odd rule: the scan
    // converter over the list as stored leaves the lake and the pond unfilled and no seam.
    std::vector<TPoint> screen;
    for (const TMapPoint& p : pts) screen.push_back({int32_t(p.X), int32_t(p.Y)});
    TImage img(110, 110, 0xFFFFFFFFu);
    raster::Rasterizer r;
    raster::Paint paint;
    r.fillPolygon(raster::surfaceOf(img), screen, {0, 0, 110, 110}, paint);
    EXPECT_EQ(img.pixel(35, 35), 0xFFFFFFFFu) << "the lake";
    EXPECT_EQ(img.pixel(70, 65), 0xFFFFFFFFu) << "the pond";
    int filled = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) filled += img.pixel(x, y) != 0xFFFFFFFFu;
    EXPECT_EQ(filled, 100 * 100 - 30 * 30 - 20 * 10) << "everything else, the connectors included";
}

} // namespace
} // namespace kestrum
