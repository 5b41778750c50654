// A click in a hole of an area misses it; on the area's ground, or on the connector that joins
// the rings in the stored list, it hits. Flat and extruded.

#include "model/polygon_rings.h"
#include "support/draw_map.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrum;

namespace {

using Ring = std::vector<TMapPoint>;
Ring square(float x0, float y0, float x1, float y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

TQEVMapObjectMem courtyardBuilding(float height) {
    const Ring outer = square(10, 10, 130, 130), yard = square(40, 40, 80, 80);
    const std::span<const TMapPoint> holes[] = {yard};
    TQEVMapObjectMem o;
    o.Kind = cPolygon;
    o.ClassCode = 1; // class 0 is never picked
    o.Height = height;
    o.setPoints(joinRings(outer, holes));
    return o;
}

} // namespace

TEST(HoledAreaHits, AClickInTheHoleMissesAndOnTheGroundHits) {
    test::DrawMap f;
    f.add(courtyardBuilding(0));
    EXPECT_TRUE(f.map.HitTest({60, 60}).empty()) << "the courtyard";
    EXPECT_EQ(f.map.HitTest({25, 60}).size(), 1u);
    EXPECT_EQ(f.map.HitTest({100, 100}).size(), 1u);
    EXPECT_EQ(f.map.HitTest({25, 25}).size(), 1u) << "on the connector from (10, 10) to (40, 40)";
    EXPECT_TRUE(f.map.HitTest({140, 60}).empty());
}

TEST(HoledAreaHits, ExtrudedAreaIsHitOnItsRoofAndWallsButNotInItsCourtyard) {
    test::DrawMap f;
    f.map.Options.View3D(true);
    f.map.Options.MinScale3D(3);
    f.add(courtyardBuilding(10)); // the roof lies 10 units to the right
    f.redraw();
    EXPECT_TRUE(f.map.HitTest({65, 60}).empty()) << "the courtyard, under neither roof nor wall";
    EXPECT_EQ(f.map.HitTest({45, 60}).size(), 1u) << "the roof reaching over the courtyard's near side";
    EXPECT_EQ(f.map.HitTest({135, 60}).size(), 1u) << "the roof beyond the ground";
}
