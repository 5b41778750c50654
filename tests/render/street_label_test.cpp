// Street names along addressed lines, as the viewer draws them: which segment, which way up,
// spelled how, and always above the objects drawn after their line.

#include "component/korvane.h"
#include "component/viewer_setup.h"
#include "render/recording_draw_object.h"
#include "render/street_label.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kestrum;

namespace {

std::string cp(const char* utf8) { return fromUtf8(CodePage::Cp1251, utf8); }

struct Viewer {
    TKorvane map;
    ViewerHooks hooks;
    RecordingDrawObject* rec = nullptr;

    Viewer() {
        auto r = std::make_unique<RecordingDrawObject>();
        rec = r.get();
        map.SetDrawObject(std::move(r));
        ApplyViewerSetup(map);
        InstallViewerHooks(map, hooks);
        map.SetClientSize(400, 300);
        map.SetScale(100);
    }
    TQEVMapObjectMem& add(TObjectKind kind, PointArray pts, const char* street = nullptr, int32_t plane = 0) {
        TQEVMapObjectMem o;
        o.Kind = kind;
        o.Ploskost = plane;
        o.Pen = {0x0000FF, 0, 3, 0};
        o.Brush = {0x00FF00, 0};
        o.setPoints(std::move(pts));
        if (street) {
            TAddressCode code;
            code.StreetCode = static_cast<int16_t>(map.StreetCodeOf(cp(street)));
            o.setAddress(code);
        }
        map.UpdateCorners(o);
        ComputeCenter(o);
        map.Objects().Add(std::move(o));
        return map.Objects()[map.Objects().count() - 1];
    }
    std::vector<RecordedCall> texts() {
        rec->calls.clear();
        map.RecomputeExtent();
        map.NeedsFullRedraw = true;
        map.RebuildBuffer();
        std::vector<RecordedCall> out;
        for (const auto& c : rec->calls)
            if (c.op == "text") out.push_back(c);
        return out;
    }
};

} // namespace

TEST(StreetLabels, NamesAreShownInSentenceCaseWithKnownSpellingsKept) {
    const std::pair<const char*, const char*> cases[] = {
        {"УЛИЦА ЛЕНИНА", "Улица ленина"}, {"MAIN STREET", "Main street"}, {"АЗС", "АЗС"},
        {"ПОСТ ГАИ", "Пост ГАИ"},        {"ТОЧКА ДОСТУПА WI-FI", "Точка доступа Wi-Fi"},
        {"Я", "Я"},                      {"1-Я ЛИНИЯ", "1-я линия"},
    };
    for (const auto& [in, out] : cases) {
        std::string name = cp(in);
        NormaliseStreetName(name);
        EXPECT_EQ(toUtf8(CodePage::Cp1251, name), out) << in;
    }
}

TEST(StreetLabels, TheSegmentNearestTheViewCentreCarriesASpacedHaloedLabel) {
    Viewer v;
    // Three long segments; the middle one passes closest to the centre of the 400 x 300 view.
    v.add(cLine, {{0, 20}, {210, 20}, {210, 280}, {10, 280}}, "ЛЕНИНА");
    const auto texts = v.texts();
    ASSERT_EQ(texts.size(), 5u); // four halo copies and the name
    const std::string spaced = cp("Л е н и н а");
    for (const auto& t : texts) EXPECT_EQ(t.text, spaced);
    // The vertical segment: the text reads upwards and its top faces left, off the line.
    EXPECT_EQ(texts[4].angle, 900);
    EXPECT_LT(texts[4].points[0].X, 210);
    EXPECT_GT(texts[4].points[0].Y, 150);
    int corners = 0;
    for (int i = 0; i < 4; ++i) {
        const int dx = texts[i].points[0].X - texts[4].points[0].X, dy = texts[i].points[0].Y - texts[4].points[0].Y;
        corners += std::abs(dx) == 1 && std::abs(dy) == 1;
    }
    EXPECT_EQ(corners, 4);
}

TEST(StreetLabels, LabelsLieAboveLaterObjectsAndFollowTheViewersRules) {
    Viewer v;
    v.add(cLine, {{20, 150}, {380, 150}}, "ЛЕНИНА");
    v.add(cPolygon, {{100, 100}, {300, 100}, {300, 200}, {100, 200}}, nullptr, 10);
    v.rec->calls.clear();
    ASSERT_EQ(v.texts().size(), 5u);
    std::size_t lastPolygon = 0, firstText = 0;
    for (std::size_t i = 0; i < v.rec->calls.size(); ++i) {
        if (v.rec->calls[i].op == "polygon") lastPolygon = i;
        if (v.rec->calls[i].op == "text" && !firstText) firstText = i;
    }
    EXPECT_GT(firstText, lastPolygon);
    EXPECT_EQ(v.texts()[4].angle, 0);

    v.map.Tag = 0; // the owner turned labels off
    EXPECT_TRUE(v.texts().empty());
    v.map.Tag = 1;

    Viewer plane62, tooShort, noStreet;
    plane62.add(cLine, {{20, 150}, {380, 150}}, "ЛЕНИНА", 62);
    EXPECT_TRUE(plane62.texts().empty());
    tooShort.add(cLine, {{20, 150}, {30, 150}}, "ЛЕНИНА");
    EXPECT_TRUE(tooShort.texts().empty());
    noStreet.add(cLine, {{20, 150}, {380, 150}}, "");
    EXPECT_TRUE(noStreet.texts().empty());
}

TEST(StreetLabels, APartialRedrawOfTwoStripsKeepsTheLabelsOfBoth) {
    Viewer v;
    v.add(cLine, {{20, 150}, {380, 150}}, "ЛЕНИНА"); // crosses the right strip only
    v.add(cLine, {{20, 280}, {380, 280}}, "МИРА");   // crosses both
    v.texts();
    v.rec->calls.clear();
    const TRect strips[] = {{300, 0, 400, 300}, {0, 250, 400, 300}};
    v.map.RedrawRects(strips);
    int lenina = 0, mira = 0;
    for (const auto& c : v.rec->calls)
        if (c.op == "text") (c.text == cp("Л е н и н а") ? lenina : mira)++;
    EXPECT_EQ(lenina, 5); // four halo copies and the name, once
    EXPECT_EQ(mira, 5);
}

TEST(StreetLabels, PlacementModesChooseTheirSegments) {
    Viewer v;
    TextExtent e;
    {
        TDrawObject& d = v.map.DrawObjectBackend();
        d.TextFace = "Arial";
        d.TextHeight = 14;
        e = d.MeasureText(cp("Ленина"));
    }
    const float label = std::round(1.1f * static_cast<float>(e.width)); // world units at scale 100
    // Segments of 0.8, 1.2 and 2 label lengths, left to right.
    float x = 10;
    PointArray pts{{x, 100}};
    for (const float f : {0.8f, 1.2f, 2.0f}) pts.push_back({x += f * label, 100});
    const TQEVMapObjectMem& line = v.add(cLine, pts, "ЛЕНИНА");

    auto labels = [&](int mode) {
        TStreetLabels l;
        l.Settings.HaloMode = 0; // one draw per label
        l.Add(v.map.Renderer(), line, mode, v.map.DrawObjectBackend());
        RecordingDrawObject out;
        TImage canvas(8, 8);
        out.SetCanvas(&canvas);
        l.Paint(out);
        std::vector<std::pair<int, bool>> placed; // x of each label, spaced or not
        for (const auto& c : out.calls) placed.push_back({c.points[0].X, c.text.find(' ') != std::string::npos});
        return placed;
    };
    const float third = 10 + 2.0f * label; // where the longest segment starts
    auto m0 = labels(0), m1 = labels(1), m2 = labels(2);
    ASSERT_EQ(m0.size(), 1u); // the longest, spaced as it has room
    EXPECT_TRUE(m0[0].second);
    EXPECT_GT(m0[0].first, third);
    ASSERT_EQ(m1.size(), 2u); // every segment longer than the label; only the long one spaced
    EXPECT_FALSE(m1[0].second);
    EXPECT_TRUE(m1[1].second);
    ASSERT_EQ(m2.size(), 1u); // the longest, never spaced
    EXPECT_FALSE(m2[0].second);
    EXPECT_TRUE(labels(-1).empty());
    v.map.SetScale(3); // mode 0 waits for a closer view
    EXPECT_TRUE(labels(0).empty());
}

// The viewer takes a borderless line's own pen over whatever the drawing set up; MapInfo's
// width-in-pixels bit must not make an imported line count as one with a border.
TEST(ViewerHooks, LinesWithScreenWidthPensKeepTheirOwnPen) {
    TKorvane map;
    ViewerHooks hooks;
    InstallViewerHooks(map, hooks);
    for (const uint32_t flags : {0u, kPenWidthPixels}) {
        TQEVMapObjectMem line;
        line.Kind = cLine;
        line.Pen = {0x0000FF, 1, 1.0f, flags};
        TCanvasPen pen;
        pen.Color = 0xFF0000;
        pen.Style = psSolid;
        TCanvasBrush brush;
        uint8_t alpha = 255;
        map.OnPaintObject(line, alpha, pen, brush);
        EXPECT_EQ(pen.Color, 0x0000FF) << flags;
        EXPECT_EQ(pen.Style, psDash) << flags;
    }
}
