// Areas with holes on screen: what reaches the back end, the pixels of both drawing modes (the
// hole left bare, every ring outlined, no connector), the 3D view, and strips after a pan.

#include "model/polygon_rings.h"
#include "support/draw_map.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace kestrum;

namespace {

constexpr int32_t kGreen = rgbColor(0, 140, 0);
constexpr int32_t kBlack = 0;
constexpr int32_t kWhite = 0xFFFFFF;

using Ring = std::vector<TMapPoint>;
Ring square(float x0, float y0, float x1, float y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

// A forest from (10, 10) to (130, 130) with a lake (40, 40)-(80, 80) and a pond
// (90, 90)-(120, 110); one world unit a pixel.
TQEVMapObjectMem forest(float dx = 0, float dy = 0, uint32_t flags = 0, float height = 0) {
    const Ring outer = square(10 + dx, 10 + dy, 130 + dx, 130 + dy);
    const Ring lake = square(40 + dx, 40 + dy, 80 + dx, 80 + dy), pond = square(90 + dx, 90 + dy, 120 + dx, 110 + dy);
    const std::span<const TMapPoint> holes[] = {lake, pond};
    TQEVMapObjectMem o;
    o.Kind = cPolygon;
    o.ClassCode = 1;
    o.Pen = {kBlack, 0, 0, flags};
    o.Brush = {kGreen, 0};
    o.Height = height;
    o.setPoints(joinRings(outer, holes));
    return o;
}

void useSmoothing(test::DrawMap& f) {
    f.map.Options.UseGDIPlus(true);
    f.map.Options.AntiAliasing(qevSmoothingModeAntiAlias);
}

int darkness(int32_t c) { return 765 - redOf(c) - greenOf(c) - blueOf(c); }

} // namespace

TEST(HoledArea, ReachesTheBackEndAsRingsWithoutConnectors) {
    test::DrawMap f;
    f.add(forest());
    f.redraw();
    ASSERT_TRUE(f.calls("polygon").empty());
    const auto areas = f.calls("polyPolygon");
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0].rings, (std::vector<uint32_t>{4, 4, 4}));
    const std::vector<TPoint> expected = {{10, 10}, {130, 10}, {130, 130}, {10, 130}, {40, 40}, {80, 40},
                                          {80, 80},  {40, 80},  {90, 90},   {120, 90}, {120, 110}, {90, 110}};
    EXPECT_EQ(areas[0].points, expected);
    EXPECT_EQ(areas[0].brush.Color, kGreen);
}

TEST(HoledArea, BorderedAreaOutlinesEveryRingInItsFirstPassAndFillsInTheSecond) {
    test::DrawMap f;
    f.add(forest(0, 0, kPenBorder));
    f.redraw();
    const auto areas = f.calls("polyPolygon");
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].brush.Style, bsClear) << "outlines first";
    EXPECT_EQ(areas[1].pen.Style, psClear) << "then the fill";
    EXPECT_EQ(areas[1].rings.size(), 3u);
}

TEST(HoledArea, PlainDrawingLeavesTheHoleBareAndOutlinesEachRing) {
    test::DrawMap f(test::DrawMap::Pixels);
    f.add(forest());
    const TImage& img = f.redraw();
    EXPECT_EQ(img.colorAt(60, 60), kWhite) << "the lake's centre";
    EXPECT_EQ(img.colorAt(105, 100), kWhite) << "the pond's centre";
    EXPECT_EQ(img.colorAt(25, 60), kGreen) << "the forest";
    EXPECT_EQ(img.colorAt(85, 85), kGreen) << "between the lake and the pond";
    EXPECT_EQ(img.colorAt(40, 60), kBlack) << "the lake's shore";
    EXPECT_EQ(img.colorAt(80, 60), kBlack);
    EXPECT_EQ(img.colorAt(105, 110), kBlack) << "the pond's shore";
    EXPECT_EQ(img.colorAt(10, 60), kBlack) << "the forest's edge";
    // The connectors run from the forest's corner (10, 10) to the lake's and the pond's nearest
    // corners: neither a line nor a gap in the fill along them.
    for (int k = 15; k < 40; k += 3) EXPECT_EQ(img.colorAt(k, k), kGreen) << k;
    for (int k = 82; k < 90; k += 2) EXPECT_EQ(img.colorAt(k, k), kGreen) << k;
}

TEST(HoledArea, SmoothDrawingLeavesTheHoleBareAndOutlinesEachRing) {
    test::DrawMap f(test::DrawMap::Pixels);
    useSmoothing(f);
    f.add(forest());
    const TImage& img = f.redraw();
    EXPECT_EQ(img.colorAt(60, 60), kWhite) << "the lake's centre";
    EXPECT_EQ(img.colorAt(105, 100), kWhite) << "the pond's centre";
    EXPECT_EQ(img.colorAt(25, 60), kGreen);
    // A smoothed one-pixel outline shares its ink between the two pixels beside the edge.
    EXPECT_GT(darkness(img.colorAt(39, 60)) + darkness(img.colorAt(40, 60)), darkness(kGreen) + 200);
    EXPECT_GT(darkness(img.colorAt(104, 109)) + darkness(img.colorAt(104, 110)), 300);
    // Exact cancellation of the connectors: the fill's own colour, pixel for pixel.
    for (int k = 15; k < 40; k += 3) EXPECT_EQ(img.colorAt(k, k), kGreen) << k;
    for (int k = 15; k < 36; k += 3) EXPECT_EQ(img.colorAt(k + 1, k), kGreen) << k;
}

TEST(HoledArea, ExtrudedAreaRaisesWallsRoundEveryRingAndARoofWithHoles) {
    test::DrawMap f;
    f.map.Options.View3D(true);
    f.map.Options.MinScale3D(3);
    f.add(forest(0, 0, 0, 10));
    f.redraw();
    // Twelve walls, four a ring, none along a connector; then the roof, with its holes.
    const auto walls = f.calls("polygon");
    ASSERT_EQ(walls.size(), 12u);
    for (const auto& w : walls) {
        ASSERT_EQ(w.points.size(), 4u);
        // A wall stands on one edge of a ring: its base is level or upright.
        const TPoint a = w.points[3], b = w.points[2];
        EXPECT_TRUE(a.X == b.X || a.Y == b.Y) << a.X << "," << a.Y << " " << b.X << "," << b.Y;
    }
    const auto roof = f.calls("polyPolygon");
    ASSERT_EQ(roof.size(), 1u);
    EXPECT_EQ(roof[0].rings, (std::vector<uint32_t>{4, 4, 4}));
    EXPECT_EQ(roof[0].points[0], (TPoint{20, 10})) << "raised by its height";
}

TEST(HoledArea, ExtrudedAreaLeavesItsCourtyardBareOnScreen) {
    test::DrawMap f(test::DrawMap::Pixels);
    f.map.Options.View3D(true);
    f.map.Options.MinScale3D(3);
    f.add(forest(0, 0, 0, 10));
    const TImage& img = f.redraw();
    EXPECT_EQ(img.colorAt(65, 60), kWhite) << "the courtyard, under neither roof nor wall";
    EXPECT_EQ(img.colorAt(30, 60), kGreen) << "the roof";
}

TEST(HoledArea, PanByStripsMatchesAFullRebuildInBothModes) {
    for (const bool smooth : {false, true}) {
        auto build = [&](test::DrawMap& s) {
            if (smooth) useSmoothing(s);
            s.add(forest());
            s.add(forest(60, 15, kPenBorder)).Brush.Color = rgbColor(90, 40, 160);
            // Partly off the window, with a wide pen. (Hatches are laid from the image's origin,
            // so that a pan by other than eight pixels shifts them: they are left out here.)
            TQEVMapObjectMem wide = forest(-30, 40);
            wide.Brush.Color = rgbColor(200, 180, 40);
            wide.Pen.Width = 3;
            s.add(std::move(wide));
            s.redraw();
        };
        test::DrawMap panned(test::DrawMap::Pixels), fresh(test::DrawMap::Pixels);
        build(panned);
        build(fresh);
        for (auto [dir, dx, dy] : {std::tuple{sdRight, 1, 0}, {sdDown, 0, 3}, {sdLeftUp, 5, 2}, {sdLeft, 30, 0}}) {
            panned.map.ScrollView(dir, dx, dy);
            fresh.map.SetXWind(panned.map.XWind());
            fresh.map.SetYWind(panned.map.YWind());
            fresh.redraw();
            const TImage& a = panned.map.BackBuffer();
            const TImage& b = fresh.map.BackBuffer();
            int differ = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x) differ += a.pixel(x, y) != b.pixel(x, y);
            EXPECT_EQ(differ, 0) << (smooth ? "smooth" : "plain") << " after scrolling " << int(dir);
        }
    }
}
