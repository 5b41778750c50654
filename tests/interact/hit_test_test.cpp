// The hit tester through a fake scene, and the component's address search that loads the edit
// buffer with the object where the walk stopped.

#include "component/korvane.h"
#include "interact/hit_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace kestrum;

namespace {

struct FakeScene final : THitScene {
    MapDocument doc;
    TClassSet pick{true};
    tQevMapOptions options;
    double scale = 100;
    bool threeD = false;
    TImage picture{32, 32};
    int hidden = -1; // the class the filter hides

    const MapDocument& HitDocument() const override { return doc; }
    const TClassSet& PickSet() const override { return pick; }
    const tQevMapOptions& HitOptions() const override { return options; }
    double HitScale() const override { return scale; }
    bool HitIn3D() const override { return threeD; }
    float DrawnHeight(const TQEVMapObjectMem& o) override { return o.Height; }
    const TImage& NotePicture(const TQEVMapObjectMem&) override { return picture; }
    bool PassesHitFilter(const TQEVMapObjectMem& o) const override { return o.ClassCode != hidden; }
    double DrawnEyeDistance(const TQEVMapObjectMem& o) const override { return o.Center.X; }

    int add(TObjectKind kind, std::vector<TMapPoint> pts, int32_t plane = 0, int32_t cls = 1) {
        TQEVMapObjectMem o;
        o.Kind = kind;
        o.ClassCode = cls;
        o.Ploskost = plane;
        float x0 = pts[0].X, y0 = pts[0].Y, x1 = x0, y1 = y0;
        for (const TMapPoint p : pts)
            x0 = std::min(x0, p.X), y0 = std::min(y0, p.Y), x1 = std::max(x1, p.X), y1 = std::max(y1, p.Y);
        o.Corners = {{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
        if (kind == cZametka) {
            o.Corners[0] = pts[0];
            o.setNote({});
        } else {
            o.setPoints({pts.begin(), pts.end()});
        }
        return doc.objects.Add(std::move(o));
    }
};

std::vector<TMapPoint> square(float x0, float y0, float x1, float y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

} // namespace

TEST(HitTester, LevelLinesCatchTheSlackAcrossThemAtEveryZoomAsSlopingOnesDo) {
    FakeScene s;
    s.options.ZoneFindLine(4); // pixels: 2 either side
    const int level = s.add(cLine, {{0, 0}, {1000, 0}});
    const int upright = s.add(cLine, {{2000, 0}, {2000, 1000}});
    const int sloping = s.add(cLine, {{3000, 0}, {4000, 1000}});
    THitTester hits(s);
    for (const double scale : {100.0, 10.0, 1.0}) {
        s.scale = scale;
        const float px = static_cast<float>(100.0 / scale); // one pixel in world units
        EXPECT_EQ(hits.HitTest({500, 1.5f * px}), std::vector<int>{level}) << scale;
        EXPECT_EQ(hits.HitTest({2000 - 1.5f * px, 500}), std::vector<int>{upright}) << scale;
        EXPECT_EQ(hits.HitTest({3500 + 1.0f * px, 500 - 1.0f * px}), std::vector<int>{sloping}) << scale;
        EXPECT_TRUE(hits.HitTest({500, 3 * px}).empty()) << scale;
        EXPECT_TRUE(hits.HitTest({2000 + 3 * px, 500}).empty()) << scale;
        EXPECT_TRUE(hits.HitTest({3500 + 3 * px, 500 - 3 * px}).empty()) << scale;
    }
}

TEST(HitTester, FilterPickSetAndTheNotesScaleDecide) {
    FakeScene s;
    THitTester hits(s);
    const int note = s.add(cZametka, {{200, 200}}, 0, 2);
    s.scale = 100;
    s.options.MinScaleIcon(200);
    EXPECT_TRUE(hits.HitTest({210, 210}).empty()) << "notes are not drawn at this scale";
    s.options.MinScaleIcon(50);
    EXPECT_EQ(hits.HitTest({210, 210}), std::vector<int>{note}) << "inside the 32-pixel picture";
    EXPECT_TRUE(hits.HitTest({220, 200}).empty());
    s.hidden = 2;
    EXPECT_TRUE(hits.HitTest({210, 210}).empty()) << "filtered out";
    s.hidden = -1;
    s.pick.set(2, false);
    EXPECT_FALSE(hits.HitObject(s.doc.objects[note], {210, 210}));
}

TEST(HitTester, HitsComeInDrawingOrderWithBuildingsAfterTheFlatObjectsOfTheirPlane) {
    FakeScene s;
    const int high = s.add(cPolygon, square(0, 0, 100, 100), 2);
    const int building = s.add(cPolygon, square(0, 0, 100, 100), 0);
    s.doc.objects[building].Height = 5;
    const int ground = s.add(cPolygon, square(0, 0, 100, 100), 0);
    THitTester hits(s);
    EXPECT_EQ(hits.HitTest({50, 50}), (std::vector<int>{building, ground, high}));
    s.threeD = true;
    EXPECT_EQ(hits.HitTest({50, 50}), (std::vector<int>{ground, building, high}));
}

TEST(HitTester, TheAddressWalkStopsAtTheTopmostObjectWithAnAddressOrANotesText) {
    FakeScene s;
    s.options.MinScaleIcon(0);
    int32_t next = 1;
    const int32_t street = s.doc.streets.codeOf("LENINA", next);
    const int addressed = s.add(cPolygon, square(0, 0, 100, 100));
    TAddressCode code;
    code.StreetCode = static_cast<int16_t>(street);
    code.House.assign("7");
    s.doc.objects[addressed].setAddress(code);
    const int silentNote = s.add(cZametka, {{50, 50}});
    const int plain = s.add(cPolygon, square(0, 0, 100, 100));
    THitTester hits(s);
    const std::vector<int> order = hits.HitTest({50, 50});
    ASSERT_EQ(order, (std::vector<int>{addressed, silentNote, plain}));
    THitTester::AddressHit at = hits.AddressAt(order);
    EXPECT_TRUE(at.found.found);
    EXPECT_EQ(at.found.adres.Street, "LENINA");
    EXPECT_EQ(at.found.adres.House, "7");
    EXPECT_EQ(at.walkedTo, addressed);

    TQEVMapZametka text;
    text.Text = "Post office";
    s.doc.objects[silentNote].setNote(text);
    at = hits.AddressAt(order);
    EXPECT_EQ(at.found.noteText, "Post office");
    EXPECT_FALSE(at.found.hasAddress);
    EXPECT_EQ(at.walkedTo, silentNote);

    const int lone = plain;
    at = hits.AddressAt(std::vector<int>{lone});
    EXPECT_FALSE(at.found.found);
    EXPECT_EQ(at.walkedTo, lone) << "nothing found: the walk ends at the last hit";
    EXPECT_EQ(hits.AddressAt({}).walkedTo, -1);
}

TEST(HitTester, TheComponentsAddressSearchFiresOnAfterFindAndLeavesTheBufferWhereTheWalkStopped) {
    TKorvane map;
    map.SetClientSize(200, 150);
    map.SetScale(100);
    auto add = [&](bool addressed) {
        TQEVMapObjectMem o;
        o.Kind = cPolygon;
        o.ClassCode = 1;
        o.setPoints({{0, 0}, {100, 0}, {100, 100}, {0, 100}});
        if (addressed) {
            TAddressCode code;
            code.StreetCode = static_cast<int16_t>(map.StreetCodeOf("MIRA"));
            o.setAddress(code);
        }
        map.UpdateCorners(o);
        ComputeCenter(o);
        map.Objects().Add(std::move(o));
    };
    add(true);
    add(false);
    std::vector<bool> finds;
    map.OnAfterFind = [&](TKorvane&, bool found) { finds.push_back(found); };
    const TFoundAddress a = map.AddressAt({50, 50});
    EXPECT_EQ(a.adres.Street, "MIRA");
    EXPECT_EQ(map.CurrentIndex, 0);
    EXPECT_EQ(map.BufferStreet, "MIRA");
    EXPECT_TRUE(map.BufferHoldsObject());
    EXPECT_FALSE(map.AddressAt({500, 500}).found);
    EXPECT_EQ(map.CurrentIndex, 0) << "no hit: the buffer keeps what it held";
    EXPECT_EQ(finds, (std::vector<bool>{true, false}));
}
