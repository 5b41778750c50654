// The render pipeline: which objects reach the back end, in which order and passes, and what
// the pixels look like with the real back ends.

#include "render/object_cache.h"
#include "support/draw_map.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kestrum;

namespace {

constexpr int32_t kRed = rgbColor(255, 0, 0);
constexpr int32_t kBlue = rgbColor(0, 0, 255);
constexpr int32_t kGreen = rgbColor(0, 160, 0);
constexpr int32_t kWhite = 0xFFFFFF;

TQEVMapObjectMem rect(float x0, float y0, float x1, float y1, int32_t fill, int32_t plane = 0, uint32_t flags = 0,
                      int32_t penColor = 0, float penWidth = 0) {
    TQEVMapObjectMem o;
    o.Kind = cPolygon;
    o.Ploskost = plane;
    o.Brush = {fill, 0};
    o.Pen = {penColor, 0, penWidth, flags};
    o.setPoints(PointArray{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
    return o;
}

TQEVMapObjectMem line(std::initializer_list<TMapPoint> pts, float width, int32_t color = 0) {
    TQEVMapObjectMem o;
    o.Kind = cLine;
    o.Pen = {color, 0, width, 0};
    o.setPoints(PointArray(pts));
    return o;
}

using Scene = test::DrawMap;

} // namespace

TEST(ViewTransform, WorldAndScreenAgree) {
    Scene s;
    s.map.SetScale(100);
    s.map.SetXWind(10);
    s.map.SetYWind(20);
    float x = 15, y = 25;
    s.map.View().MapToScreen(x, y);
    EXPECT_FLOAT_EQ(x, 5);
    EXPECT_FLOAT_EQ(y, 5);
    s.map.SetScale(200); // keeps the centre; put the corner back to check the factor alone
    s.map.SetXWind(10);
    s.map.SetYWind(20);
    x = 15, y = 25;
    s.map.View().MapToScreen(x, y);
    EXPECT_FLOAT_EQ(x, 10);
    EXPECT_FLOAT_EQ(y, 10);
    for (double scale : {0.37, 1.0, 100.0, 12345.0}) {
        s.map.SetScale(scale);
        float px = 123, py = 77;
        s.map.View().ScreenToMap(px, py);
        s.map.View().MapToScreen(px, py);
        EXPECT_NEAR(px, 123, 0.01) << scale;
        EXPECT_NEAR(py, 77, 0.01) << scale;
    }
}

TEST(ViewTransform, ThinningDropsOnlyLongListsOfClosePoints) {
    ViewTransform v;
    PointArray pts;
    for (int i = 0; i < 11; ++i) pts.push_back({float(i) * 0.4f, 0});
    std::vector<TPoint> out(pts.size());
    EXPECT_LT(v.transformThinned(pts, out.data()), 11u);
    pts.pop_back();
    EXPECT_EQ(v.transformThinned(pts, out.data()), 10u);
    EXPECT_EQ(v.transformAll(pts, out.data()), 10u);
}

TEST(ViewTransform, ListsRoundAsSinglePointsDo) {
    // Ties, both signs, the drawable range's edges and beyond, and what a damaged file holds.
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> values{0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, -0.0f, 3.49f, 1e7f, -1e7f, 16777216.0f, 3e7f,
                                    -3e7f, 1e38f, -1e38f, inf, -inf, nan};
    for (const double scale : {1.0, 0.37, 2.5}) {
        ViewTransform v;
        v.scaleFactor = scale;
        v.xWind = 0.25f;
        v.yWind = -3.0f;
        PointArray pts;
        for (const float x : values)
            for (const float y : values) pts.push_back({x, y});
        std::vector<TPoint> out(pts.size());
        ASSERT_EQ(v.transformAll(pts, out.data()), pts.size());
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const TPoint expected{roundScreen((double(pts[i].X) - v.xWind) * scale), roundScreen((double(pts[i].Y) - v.yWind) * scale)};
            ASSERT_EQ(out[i], expected) << pts[i].X << "," << pts[i].Y << " at " << scale;
        }
    }
}

TEST(Pipeline, HigherPlaneCoversLowerWhateverTheListOrder) {
    Scene s(Scene::Pixels);
    s.add(rect(10, 10, 100, 100, kRed, 5));
    s.add(rect(50, 50, 150, 140, kBlue, 0));
    s.add(rect(120, 10, 190, 60, kGreen, -64));
    s.add(rect(110, 20, 195, 40, kBlue, -64)); // same plane: later in the list wins
    s.redraw();
    const TImage& img = s.map.BackBuffer();
    EXPECT_EQ(img.colorAt(75, 75), kRed);  // plane 5 over plane 0 though earlier in the list
    EXPECT_EQ(img.colorAt(120, 120), kBlue);
    EXPECT_EQ(img.colorAt(150, 30), kBlue); // list order inside plane -64
    EXPECT_EQ(img.colorAt(160, 55), kGreen);
    EXPECT_EQ(img.colorAt(5, 145), kWhite); // background
}

TEST(Pipeline, BorderedPolygonsShowOnlyTheOuterBorder) {
    Scene s(Scene::Pixels);
    // Two bordered neighbours: outlines in the main pass, fills in the second pass cover the
    // outlines where the two touch.
    s.add(rect(20, 20, 80, 80, kGreen, 0, kPenBorder, kRed, 4));
    s.add(rect(80, 20, 140, 80, kGreen, 0, kPenBorder, kRed, 4));
    s.redraw();
    const TImage& img = s.map.BackBuffer();
    EXPECT_EQ(img.colorAt(80, 50), kGreen); // the shared edge lies under the fills
    EXPECT_EQ(img.colorAt(50, 50), kGreen);
    EXPECT_EQ(img.colorAt(18, 50), kRed); // outer border, outside the fill
    EXPECT_EQ(img.colorAt(141, 50), kRed);

    Scene r;
    r.add(rect(20, 20, 80, 80, kGreen, 0, kPenBorder, kRed, 4));
    r.add(rect(80, 20, 140, 80, kGreen, 0, kPenBorder, kRed, 4));
    r.redraw();
    const auto polys = r.calls("polygon");
    ASSERT_EQ(polys.size(), 4u);
    EXPECT_EQ(polys[0].brush.Style, bsClear);
    EXPECT_EQ(polys[1].brush.Style, bsClear);
    EXPECT_EQ(polys[2].pen.Style, psClear);
    EXPECT_EQ(polys[3].pen.Style, psClear);
    EXPECT_EQ(polys[0].pen.Width, 4 + 2); // the border widens the outline by two pixels
}

TEST(Pipeline, ScaleThresholdsDropObjectsBeforeDrawing) {
    Scene s;
    s.map.Options.mpLineWidthMin(1);
    s.add(line({{10, 10}, {100, 10}}, 0.5f));
    s.redraw();
    EXPECT_TRUE(s.map.PlaneBucket(0).empty()); // 0.5 px is below the thinnest line drawn
    s.map.SetScale(200);
    s.map.SetXWind(0), s.map.SetYWind(0);
    s.redraw();
    EXPECT_EQ(s.map.PlaneBucket(0).size(), 1u);

    Scene t;
    t.map.Options.ObjectView(5);
    t.add(rect(10, 10, 15, 15, kRed)); // 5 x 5 pixels: too small
    t.add(rect(30, 10, 36, 11, kRed)); // 6 x 1 pixels: wide enough
    t.redraw();
    ASSERT_EQ(t.map.PlaneBucket(0).size(), 1u);
    EXPECT_EQ(t.map.PlaneBucket(0)[0], 1);
}

TEST(Pipeline, FilterAndHookHideObjects) {
    Scene s;
    s.add(rect(10, 10, 50, 50, kRed));
    s.add(rect(60, 10, 90, 50, kRed));
    s.map.Objects()[0].ClassCode = 7;
    s.map.Objects()[1].ClassCode = 8;
    s.map.SetClassVisible(7, false);
    s.map.Filter(true);
    s.redraw();
    ASSERT_EQ(s.map.PlaneBucket(0).size(), 1u);
    s.map.OnFilteredObject = [](const TQEVMapObjectMem&, bool& visible) { visible = false; };
    s.redraw();
    EXPECT_TRUE(s.map.PlaneBucket(0).empty());
}

TEST(Pipeline, PanByStripsMatchesAFullRebuild) {
    auto build = [](Scene& s) {
        for (int i = 0; i < 12; ++i)
            s.add(rect(float(i * 17), float(i * 9), float(i * 17 + 40), float(i * 9 + 30), rgbColor(20 * i, 100, 200 - 15 * i),
                       i % 3, i % 2 ? kPenBorder : 0, 0, 2));
        s.add(line({{0, 140}, {90, 20}, {199, 130}}, 3, kRed));
        s.redraw();
    };
    Scene panned(Scene::Pixels), fresh(Scene::Pixels);
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
        EXPECT_EQ(differ, 0) << "after scrolling " << int(dir);
    }
}

TEST(Pipeline, ZoomAtTheSameScaleScrollsInsteadOfRebuilding) {
    Scene s;
    s.add(rect(10, 10, 50, 50, kRed));
    s.redraw();
    s.rec->calls.clear();
    const TMapPoint c = s.map.ViewCenter();
    // A plain scroll is no auto-scroll or middle-button pan: a host that rebuilds after those
    // must not be told of it.
    int scrollEvents = 0;
    s.map.OnBeforeScroll = s.map.OnAfterScroll = [&](TKorvane&) { ++scrollEvents; };
    s.map.ZoomAt(c.X + 3.4f, c.Y, s.map.Scale());
    EXPECT_EQ(scrollEvents, 0);
    EXPECT_FALSE(s.map.NeedsFullRedraw);
    EXPECT_FLOAT_EQ(s.map.XWind(), 3);
    const auto fills = s.calls("fillRect");
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].points[0].X, 197); // only the three uncovered columns
    s.rec->calls.clear();
    s.map.ZoomAt(c.X + 1000, c.Y, s.map.Scale()); // beyond the window: recentre and rebuild
    ASSERT_FALSE(s.calls("fillRect").empty());
    EXPECT_EQ(s.calls("fillRect")[0].points[0].X, 0);
}

TEST(Pipeline, ScrollingStopsAtTheMapEdgeWhenLocked) {
    Scene s;
    s.add(rect(0, 0, 200, 150, kRed));
    s.redraw();
    s.map.Options.LockScrollOutMap(true);
    // A third of the window (66 px) may pass the edge; 50-pixel steps: the second is refused.
    s.map.ScrollView(sdLeft, 50, 0);
    EXPECT_FLOAT_EQ(s.map.XWind(), -50);
    s.map.ScrollView(sdLeft, 50, 0);
    EXPECT_FLOAT_EQ(s.map.XWind(), -50);
}

TEST(Pipeline, GrowingTheControlDrawsOnlyTheNewStrip) {
    Scene s;
    s.add(rect(10, 10, 50, 50, kRed));
    s.redraw();
    s.rec->calls.clear();
    s.map.SetClientSize(210, 150);
    s.map.PreparePaint();
    const auto fills = s.calls("fillRect");
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].points[0], (TPoint{200, 0}));
    EXPECT_EQ(fills[0].points[1], (TPoint{210, 150}));
}

TEST(Pipeline, HooksThatRedrawAreIgnoredInsideARedraw) {
    Scene s;
    s.add(rect(10, 10, 50, 50, kRed));
    int rebuilds = 0;
    s.map.OnBeforeRisovan = [&](TDrawObject&) { ++rebuilds; };
    s.map.OnAfterRisovan = [&](TDrawObject&) {
        s.map.NeedsFullRedraw = true;
        s.map.SetScale(s.map.Scale()); // would redraw again: the busy guard refuses
        s.map.RebuildBuffer();
    };
    s.redraw();
    EXPECT_EQ(rebuilds, 1);
    EXPECT_EQ(s.calls("polygon").size(), 1u);
}

TEST(Pipeline, BlinkingObjectsAlternateWithTheirComplementsAndGroupsBlinkInTheirMembersColours) {
    Scene s;
    s.add(rect(10, 10, 40, 40, kRed));
    TQEVMapObjectMem group;
    group.Kind = cGroup;
    group.Brush = {kGreen, 0};
    auto kids = std::make_unique<TQevMapList>();
    kids->Add(rect(50, 10, 80, 40, kBlue));
    kids->Add(rect(90, 10, 120, 40, kWhite));
    group.setChildren(std::move(kids));
    s.add(std::move(group));
    s.map.BlinkList = {0, 1};
    auto fills = [&] {
        std::vector<int32_t> out;
        for (const auto& c : s.calls("polygon")) out.push_back(c.brush.Color);
        return out;
    };
    int hooks = 0;
    s.map.OnBlinkObject = [&](const TQEVMapObjectMem&, TQEVMapPen&, TQEVMapBrush&) { ++hooks; };
    s.redraw();
    EXPECT_EQ(fills(), (std::vector<int32_t>{kRed, kBlue, kWhite}));
    EXPECT_EQ(hooks, 0);
    s.map.BlinkTimerTick();
    hooks = 0;
    s.redraw();
    EXPECT_EQ(fills(), (std::vector<int32_t>{rgbColor(0, 255, 255), rgbColor(255, 255, 0), 0}));
    EXPECT_EQ(hooks, 4); // the polygon, the group and each of its members
}

TEST(Pipeline, HitsInThreeDEndWithTheObjectDrawnOnTop) {
    Scene s;
    s.map.Options.View3D(true);
    s.map.Options.MinScale3D(3);
    TQEVMapObjectMem a = rect(20, 20, 60, 60, kRed), b = rect(40, 40, 80, 80, kBlue), flat = rect(0, 0, 100, 100, kGreen);
    a.Height = b.Height = 10;
    a.ClassCode = b.ClassCode = flat.ClassCode = 1; // class 0 is never picked
    s.add(std::move(a));
    s.add(std::move(b));
    s.add(std::move(flat)); // last in the list, yet drawn under the buildings
    s.redraw();
    std::vector<int32_t> drawn; // colours in the order their fills last went down
    for (const auto& c : s.calls("polygon")) {
        const int32_t colour = c.brush.Color;
        if (colour != kRed && colour != kBlue && colour != kGreen) continue; // darkened walls
        std::erase(drawn, colour);
        drawn.push_back(colour);
    }
    std::vector<int32_t> hit;
    for (const int i : s.map.HitTest({50, 50})) hit.push_back(s.map.Objects()[i].Brush.Color);
    ASSERT_EQ(hit.size(), 3u);
    EXPECT_EQ(hit, drawn);
    EXPECT_EQ(hit.front(), kGreen);
}

TEST(Pipeline, GuideLinesAreLabelledOnlyAboveTwentyPixels) {
    Scene s;
    s.map.Options.mpGuideLines(true);
    s.map.GuideStepX = 20;
    s.map.GuideStepY = 21;
    RecordingDrawObject window;
    TImage screen(200, 150);
    window.SetCanvas(&screen);
    s.map.PaintOverlays(window);
    int labelsX = 0, labelsY = 0;
    for (const auto& c : window.calls)
        if (c.op == "text") (c.points[0].Y == 1 ? labelsX : labelsY)++;
    EXPECT_EQ(labelsX, 0);
    EXPECT_EQ(labelsY, 150 / 21);

    // A view set from outside to no number at all still gets its labels, as written.
    s.map.SetYWind(std::numeric_limits<float>::quiet_NaN());
    window.calls.clear();
    s.map.PaintOverlays(window);
    EXPECT_FALSE(window.calls.empty());
}

TEST(Linking, ChildShowsTheMainDocumentUntilTheMainGoes) {
    TKorvane child;
    {
        TKorvane main;
        main.Objects().Add(rect(0, 0, 10, 10, kRed));
        child.MainKorvane(&main);
        EXPECT_EQ(child.Objects().count(), 1);
        EXPECT_EQ(main.LinkedKorvanes().size(), 1u);
        main.Mashtab(2000);
        main.Propagate();
        EXPECT_EQ(child.Mashtab(), 2000);
    }
    EXPECT_EQ(child.MainKorvane(), nullptr);
    EXPECT_EQ(child.Objects().count(), 0);
}

TEST(ObjectCache, EvictsTheLeastUsedEntry) {
    TObjectCache<int> cache(3);
    cache.insert(1, 10);
    cache.insert(2, 20);
    cache.insert(3, 30);
    cache.find(1), cache.find(1), cache.find(3);
    cache.insert(4, 40); // key 2 was never used again
    EXPECT_EQ(cache.find(2), nullptr);
    ASSERT_NE(cache.find(1), nullptr);
    EXPECT_EQ(*cache.find(4), 40);
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_EQ(CacheKey().add(std::string_view("Arial")).value(), CacheKey().add(std::string_view("Arial")).value());
}
