// The map component: options, printer scale, edit buffer, address encoding, loading, view fitting
// and the object check log.

#include "component/korvane.h"
#include "io/byte_source.h"
#include "io/map_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TQEVMapObjectMem pointObject(int32_t id, uint8_t kind, std::vector<TMapPoint> pts, float penWidth = 0) {
    TQEVMapObjectMem o;
    o.ID = id;
    o.Kind = kind;
    o.Pen.Width = penWidth;
    o.setPoints(PointArray(pts.begin(), pts.end()));
    return o;
}

using test::TempDir;

std::vector<std::string> readLines(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// ---- options and printer scale ------------------------------------------------------------------

TEST(KorvaneOptions, ClampsOfTheClampedOptions) {
    TKorvane k;
    tQevMapOptions& o = k.Options;
    auto stepLinza = [&o](double v) { return o.StepLinza(v), o.StepLinza(); };
    auto angle = [&o](int32_t v) { return o.View3DAngle(v), o.View3DAngle(); };
    auto fontSize = [&o](int32_t v) { return o.mpNumberDomSizeFont(v), o.mpNumberDomSizeFont(); };
    auto zone = [&o](int32_t v) { return o.ZoneFindLine(v), o.ZoneFindLine(); };
    EXPECT_EQ(stepLinza(150), 50);
    EXPECT_EQ(stepLinza(99.5), 99.5);
    EXPECT_EQ(stepLinza(0), 0);
    EXPECT_EQ(stepLinza(100), 50);
    EXPECT_EQ(stepLinza(-0.5), 50);
    EXPECT_EQ(angle(450), 90);
    EXPECT_EQ(angle(-30), -30);
    EXPECT_EQ(angle(-400), -40);
    EXPECT_EQ(angle(360), 0);
    EXPECT_EQ(fontSize(3), 6);
    EXPECT_EQ(fontSize(7), 7);
    EXPECT_EQ(zone(5), 5);
    EXPECT_EQ(zone(-1), 5); // ignored: the tolerance in force stays
    EXPECT_EQ(zone(0), 0);
}

TEST(KorvaneOptions, ChangedStepRunsOnlyForDrawingOptionsAndOnlyWhileActive) {
    using Set = std::function<void(tQevMapOptions&)>;
    // clang-format off
#define SET(name, value) {#name, [](tQevMapOptions& o) { o.name(value); }}
    const std::vector<std::pair<const char*, Set>> redraw = {
        SET(mpEdit, false), SET(mpGrid, true), SET(mpGuideLines, false), SET(mpNumberDom, true),
        SET(mpNumberDomSizeFont, 10), SET(mpNumberDomFill, false), SET(mpNumberDomBold, true),
        SET(mpNumberDomBorder, false), SET(mpNumberDomBorderColor, 1), SET(mpAllMapAfterLoad, true),
        SET(mpLineWidthMin, 0.05f), SET(View3D, true), SET(View3DAngle, 90), SET(MinScale3D, 3.0f),
        SET(MinScaleAddress, 4.0), SET(MinScaleIcon, 2.0), SET(MeasureFontSize, 9),
        SET(MeasureType, qevMeasureAllSegments), SET(ShowMeasure, false), SET(Texture, true),
        SET(FontSystem, "Tahoma"), SET(FontSystem1, "Georgia"), SET(ObjectView, 1), SET(SizeRect, 6),
        SET(ShowPointsObject, true), SET(UseGDIPlus, true), SET(AlphaBlending, uint8_t{128}),
        SET(AntiAliasing, qevSmoothingModeNone)};
    const std::vector<std::pair<const char*, Set>> storeOnly = {
        SET(mpDelete, true), SET(mpHint, true), SET(mpLocked, true), SET(mpLinzaDouble, true),
        SET(mpNoScroll, true), SET(RefreshLink, true), SET(StepLinza, 20.0), SET(WidthRectLinza, 2),
        SET(StepScroll, 10), SET(DelayScroll, 20), SET(ZoneScroll, 50), SET(MoveCell, true),
        SET(BorderSelectedObject, false), SET(UndoLevels, 0), SET(LockScrollOutMap, true),
        SET(SystemPopUpMenu, false), SET(CancelAction, qevDblClick), SET(ZoneFindLine, 5),
        SET(ShowRegion, false), SET(BorderLeft, 1), SET(BorderRight, 1), SET(BorderTop, 1),
        SET(BorderBottom, 1)};
#undef SET
    // clang-format on

    int fired = 0;
    tQevMapOptions inactive;
    inactive.OnChanged = [&fired] { ++fired; };
    EXPECT_FALSE(inactive.Active);
    for (const auto& [name, set] : redraw)
        set(inactive);
    EXPECT_EQ(fired, 0);

    tQevMapOptions o;
    o.OnChanged = [&fired] { ++fired; };
    o.Active = true;
    for (const auto& [name, set] : redraw) {
        fired = 0;
        set(o);
        EXPECT_EQ(fired, 1) << name;
    }
    for (const auto& [name, set] : storeOnly) {
        fired = 0;
        set(o);
        EXPECT_EQ(fired, 0) << name;
    }

    // The component's own step ends in a repaint.
    struct CountingHost final : TKorvaneHost {
        int repaints = 0;
        void Repaint() override { ++repaints; }
    } host;
    TKorvane k;
    k.SetHost(&host);
    k.Options.StepScroll(10);
    k.Options.ZoneFindLine(4);
    EXPECT_EQ(host.repaints, 0);
    k.Options.View3D(true);
    EXPECT_EQ(host.repaints, 1);
    k.SetHost(nullptr);
}

TEST(KorvaneOptions, MashtabFeedsThePrinterScaleOnce) {
    TKorvane k;
    EXPECT_EQ(k.PrinterSettings.MashtabPrint, S_x1);
    k.Mashtab(0); // unchanged value: nothing happens
    EXPECT_EQ(k.PrinterSettings.MashtabPrint, S_x1);

    k.Mashtab(2000);
    EXPECT_EQ(k.Mashtab(), 2000);
    EXPECT_EQ(k.PrinterSettings.CustomMashtab(), 2000);
    EXPECT_EQ(k.PrinterSettings.MashtabPrint, S_Custom);

    k.PrinterSettings.MashtabPrint = S_Current;
    k.Mashtab(2000);
    EXPECT_EQ(k.PrinterSettings.MashtabPrint, S_Current);

    k.PrinterSettings.CustomMashtab(-5);
    EXPECT_EQ(k.PrinterSettings.CustomMashtab(), 2000);
    EXPECT_EQ(k.PrinterSettings.MashtabPrint, S_Current);
}

TEST(KorvaneState, ANewMapShowsEveryClassButPicksNoneOfClassZero) {
    TKorvane k;
    EXPECT_TRUE(k.IsClassVisible(0));
    EXPECT_FALSE(k.IsClassPickable(0));
    EXPECT_TRUE(k.IsClassPickable(1));
    EXPECT_EQ(k.Scale(), 100);
    EXPECT_GT(k.Header().Date, 40000); // stamped with today
}

// ---- edit buffer --------------------------------------------------------------------------------

TEST(KorvaneEditBuffer, NewObjectTakesItsKindFromTheTool) {
    TKorvane k;
    k.Header().NextID = 41;
    k.Objects().Add(pointObject(1, cLine, {{0, 0}, {1, 1}}));
    k.DefaultPen = {0x0000FF, 2, 1.5f, kPenBorder};
    k.DefaultBrush = {0x00FF00, 6};
    int appended = 0;
    k.OnAfterAppendObject = [&appended](TKorvane&) { ++appended; };

    const std::pair<TInstrument, uint8_t> tools[] = {
        {iPolygon, cPolygon}, {iRectangle, cPolygon},     {iLine, cLine},       {iPixel, cPixel},
        {iBezier, cBezier},   {iBezierFill, cBezierFill}, {iEllipse, cEllipse}, {iText, cText},
        {iBitmap, cBitmap},   {iZametka, cZametka},       {iPick, cPolygon},    {iMeasure, cPolygon},
        {iNone, cPolygon},    {iRegion, cPolygon}};
    for (auto [tool, kind] : tools) {
        k.Instrument(tool);
        k.NewObject();
        EXPECT_EQ(k.CurrentObject.Kind, kind) << int{tool};
    }
    EXPECT_EQ(appended, static_cast<int>(std::size(tools)));

    // Whatever the buffer held before is gone.
    k.LoadBuffer(0);
    k.CurrentObject.Locked = 1;
    k.CurrentObject.Alpha = 7;
    k.BufferStreet = "old";
    k.NewObject();
    const TQEVMapObjectMem& o = k.CurrentObject;
    EXPECT_EQ(o.ID, 41);
    EXPECT_EQ(o.Alpha, 255);
    EXPECT_EQ(o.Locked, 0);
    EXPECT_EQ(o.DataCount, 0);
    EXPECT_TRUE(o.points().empty());
    EXPECT_EQ(o.HasAddress, 0);
    EXPECT_EQ(o.Pen, k.DefaultPen);
    EXPECT_EQ(o.Brush, k.DefaultBrush);
    EXPECT_TRUE(k.BufferStreet.empty());
    EXPECT_EQ(k.CurrentIndex, 1);
    EXPECT_TRUE(k.BufferHoldsObject());
}

TEST(KorvaneEditBuffer, SetAndInsertPoints) {
    TKorvane k;
    k.Instrument(iLine);
    k.NewObject();
    k.SetPoint(0, 1, 1);
    EXPECT_EQ(k.CurrentObject.DataCount, 1);
    k.SetPoint(1, 2, 2);
    k.SetPoint(2, 3, 3);
    k.SetPoint(10, 4, 4); // beyond the end: appended as the fourth point, no gap
    ASSERT_EQ(k.CurrentObject.DataCount, 4);
    EXPECT_EQ(k.GetPoint(3), (TMapPoint{4, 4}));
    k.SetPoint(1, 20, 20);
    EXPECT_EQ(k.GetPoint(1), (TMapPoint{20, 20}));
    k.InsertPoint(1, 9, 9);
    ASSERT_EQ(k.CurrentObject.DataCount, 5);
    const std::vector<TMapPoint> want = {{1, 1}, {9, 9}, {20, 20}, {3, 3}, {4, 4}};
    EXPECT_TRUE(std::equal(want.begin(), want.end(), k.CurrentObject.points().begin()));
    EXPECT_EQ(k.GetPoint(99), (TMapPoint{0, 0}));

    // A locked object takes no points while the lock option is on, and does once it is off.
    k.CurrentObject.Locked = 1;
    k.Options.mpLocked(true);
    k.SetPoint(0, -1, -1);
    k.InsertPoint(0, -1, -1);
    EXPECT_EQ(k.CurrentObject.DataCount, 5);
    EXPECT_EQ(k.GetPoint(0), (TMapPoint{1, 1}));
    k.Options.mpLocked(false);
    k.InsertPoint(0, -1, -1);
    EXPECT_EQ(k.CurrentObject.DataCount, 6);
}

TEST(KorvaneEditBuffer, PointsAreRefusedByKindsWithoutAPointArray) {
    for (TInstrument tool : {iText, iBitmap, iZametka}) {
        TKorvane k;
        k.Instrument(tool);
        k.NewObject();
        const uint8_t kind = k.CurrentObject.Kind;
        k.SetPoint(0, 1, 1);
        k.InsertPoint(0, 1, 1);
        EXPECT_EQ(k.CurrentObject.DataCount, 0) << int{kind};
        EXPECT_TRUE(k.CurrentObject.points().empty()) << int{kind};
    }
    TKorvane k;
    k.NewObject();
    k.CurrentObject.Kind = cGroup;
    k.CurrentObject.setChildren(std::make_unique<TQevMapList>());
    k.SetPoint(0, 1, 1);
    k.InsertPoint(0, 1, 1);
    ASSERT_NE(k.CurrentObject.children(), nullptr);
    EXPECT_EQ(k.CurrentObject.DataCount, 0);
}

TEST(KorvaneEditBuffer, TextGoesOnlyToTextsAndNotToLockedOnes) {
    TKorvane k;
    TQEVMapText t;
    t.Text = "abc";
    TQEVMapObjectMem line = pointObject(1, cLine, {{0, 0}});
    k.EncodeText(line, t);
    EXPECT_EQ(line.points().size(), 1u);

    TQEVMapObjectMem text;
    text.Kind = cText;
    text.Locked = 1;
    k.EncodeText(text, t);
    EXPECT_EQ(text.DataCount, 25);
    k.Options.mpLocked(true);
    t.Text = "changed";
    k.EncodeText(text, t);
    EXPECT_EQ(TKorvane::DecodeText(text).Text, "abc");
}

TEST(KorvaneEditBuffer, PostingAnEmptyBufferIsAnError) {
    TKorvane k;
    std::vector<std::string> messages;
    k.OnErrorMessage = [&messages](const std::string& m) { messages.push_back(m); };
    int before = 0;
    k.OnBeforePostObject = [&before](TKorvane&) { ++before; };
    EXPECT_FALSE(k.PostBuffer());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Ошибка ! Нет объекта в буфере редактирования !");
    EXPECT_EQ(before, 0);
    EXPECT_EQ(k.Objects().count(), 0);
}

TEST(KorvaneEditBuffer, PostAppendsThenReplacesAndOnlyAppendsAdvanceNextID) {
    TKorvane k;
    k.Header().NextID = 5;
    k.Instrument(iLine);
    k.NewObject();
    k.SetPoint(0, 0, 0);
    k.SetPoint(1, 10, 4);
    ASSERT_TRUE(k.PostBuffer());
    ASSERT_EQ(k.Objects().count(), 1);
    EXPECT_EQ(k.Objects()[0].ID, 5);
    EXPECT_EQ(k.Header().NextID, 6);
    EXPECT_EQ(k.Header().ObjectCount, 1);
    EXPECT_EQ(k.Objects()[0].Center, (TMapPoint{5, 2}));
    EXPECT_EQ(k.MapExtent(), (TMapRect{0, 0, 10, 4}));

    k.LoadBuffer(0);
    k.SetPoint(1, 20, 8);
    ASSERT_TRUE(k.PostBuffer());
    EXPECT_EQ(k.Objects().count(), 1);
    EXPECT_EQ(k.Header().NextID, 6);
    EXPECT_EQ(k.Objects()[0].points()[1], (TMapPoint{20, 8}));

    // An object without points is not stored.
    k.NewObject();
    EXPECT_TRUE(k.PostBuffer());
    EXPECT_EQ(k.Objects().count(), 1);
    EXPECT_EQ(k.Header().NextID, 6);
}

TEST(KorvaneEditBuffer, RotatedTextGrowsTheExtentByAllItsCorners) {
    TKorvane k;
    k.Instrument(iText);
    k.NewObject();
    TQEVMapText t;
    t.X = 100, t.Y = 100, t.FontSize = 20, t.Angle = 900, t.Text = "WWW";
    k.EncodeText(k.CurrentObject, t);
    ASSERT_TRUE(k.PostBuffer());
    const TQEVMapObjectMem& o = k.Objects()[0];
    const TMapRect& e = k.MapExtent();
    EXPECT_LE(e.MinX, e.MaxX);
    EXPECT_LE(e.MinY, e.MaxY);
    for (const TMapPoint& c : o.Corners) {
        EXPECT_GE(c.X, e.MinX);
        EXPECT_LE(c.X, e.MaxX);
        EXPECT_GE(c.Y, e.MinY);
        EXPECT_LE(c.Y, e.MaxY);
    }
    EXPECT_EQ(o.Center, (TMapPoint{100, 100}));
}

class KorvaneAddress : public ::testing::Test {
  protected:
    // Starts a two-point line with the given address fields and posts it.
    const TQEVMapObjectMem& post(std::string town, std::string street, std::string house, std::string street1,
                                 std::string house1) {
        k.Instrument(iPolygon);
        k.NewObject();
        k.SetPoint(0, 0, 0);
        k.SetPoint(1, 1, 1);
        k.BufferTown = std::move(town), k.BufferStreet = std::move(street), k.BufferHouse = std::move(house);
        k.BufferStreet1 = std::move(street1), k.BufferHouse1 = std::move(house1);
        EXPECT_TRUE(k.PostBuffer());
        return k.Objects()[k.Objects().count() - 1];
    }
    TKorvane k;
};

TEST_F(KorvaneAddress, HouseNumberAloneIsNoAddress) {
    const TQEVMapObjectMem& o = post("  ", "", "12", " ", "3");
    EXPECT_EQ(o.HasAddress, 0);
    EXPECT_EQ(o.Address, nullptr);
    EXPECT_EQ(k.StreetDictionary().count(), 0);
}

TEST_F(KorvaneAddress, SecondStreetMovesIntoAnEmptyFirstPair) {
    const TQEVMapObjectMem& o = post("", " ", "7", " sadovaya ", " 3a ");
    ASSERT_EQ(o.HasAddress, 1);
    ASSERT_NE(o.Address, nullptr);
    EXPECT_EQ(k.StreetName(o.Address->StreetCode), "SADOVAYA");
    EXPECT_EQ(o.Address->House.str(), "3a");
    EXPECT_EQ(o.Address->Street1Code, -1);
    EXPECT_TRUE(o.Address->House1.empty());
    EXPECT_EQ(o.Address->TownCode, -1);
}

TEST_F(KorvaneAddress, NamesGoToTheDictionariesAndHousesAreCut) {
    k.Header().NextStreetCode = 3;
    const TQEVMapObjectMem& a = post("Tver", "\xEB\xE5\xED\xE8\xED\xE0", " 1234567890ABCDEF ", "Mira", "2");
    ASSERT_EQ(a.HasAddress, 1);
    EXPECT_EQ(a.Address->TownCode, 0);
    EXPECT_EQ(a.Address->StreetCode, 3);
    EXPECT_EQ(a.Address->Street1Code, 4);
    EXPECT_EQ(a.Address->House.str(), "1234567890AB");
    EXPECT_EQ(a.Address->House1.str(), "2");
    EXPECT_EQ(k.Header().NextStreetCode, 5);
    EXPECT_EQ(k.Header().NextTownCode, 1);
    EXPECT_EQ(k.StreetDictionary().count(), 2);
    EXPECT_TRUE(k.Modified);

    // Same names in another spelling reuse the codes.
    const TQEVMapObjectMem& b = post(" TVER", "\xCB\xC5\xCD\xC8\xCD\xC0 ", "9", "", "5");
    EXPECT_EQ(b.Address->TownCode, 0);
    EXPECT_EQ(b.Address->StreetCode, 3);
    EXPECT_EQ(b.Address->Street1Code, -1);
    EXPECT_TRUE(b.Address->House1.empty());
    EXPECT_EQ(k.StreetDictionary().count(), 2);

    // Loading the buffer gives the names back.
    k.LoadBuffer(0);
    EXPECT_EQ(k.BufferTown, "TVER");
    EXPECT_EQ(k.BufferStreet, "\xCB\xC5\xCD\xC8\xCD\xC0");
    EXPECT_EQ(k.BufferHouse, "1234567890AB");
    EXPECT_EQ(k.BufferStreet1, "MIRA");
    EXPECT_EQ(k.BufferHouse1, "2");

    // Clearing the names drops the block of a stored object.
    k.BufferTown.clear(), k.BufferStreet.clear(), k.BufferStreet1.clear();
    ASSERT_TRUE(k.PostBuffer());
    EXPECT_EQ(k.Objects()[0].HasAddress, 0);
    EXPECT_EQ(k.Objects()[0].Address, nullptr);
}

TEST(KorvaneEditBuffer, DeleteRespectsTheLockAndReportsTheObject) {
    TKorvane k;
    k.Objects().Add(pointObject(1, cLine, {{0, 0}, {1, 1}}));
    TQEVMapObjectMem locked = pointObject(2, cLine, {{5, 5}, {6, 6}});
    locked.Locked = 1;
    k.Objects().Add(std::move(locked));
    std::vector<std::string> events;
    k.OnBeforeDelete = [&events](const TQEVMapObjectMem& o) {
        events.push_back("before " + std::to_string(o.ID));
    };
    k.OnAfterDelete = [&events](const TQEVMapObjectMem& o) {
        events.push_back("after " + std::to_string(o.ID));
    };

    k.Options.mpLocked(true);
    EXPECT_FALSE(k.Delete(1));
    EXPECT_FALSE(k.Delete(2));
    EXPECT_FALSE(k.Delete(-1));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(k.Objects().count(), 2);

    k.Options.mpLocked(false);
    EXPECT_TRUE(k.Delete(1));
    EXPECT_EQ(events, (std::vector<std::string>{"before 2", "after 2"}));
    ASSERT_EQ(k.Objects().count(), 1);
    EXPECT_EQ(k.Objects()[0].ID, 1);
    EXPECT_EQ(k.Header().ObjectCount, 1);
}

// ---- loading ------------------------------------------------------------------------------------

MapDocument sampleDocument(int lines) {
    MapDocument doc;
    doc.header.Mashtab = 5000;
    doc.header.Scale = 250;
    doc.header.XWind = 10;
    doc.header.YWind = 20;
    doc.header.NextID = lines + 1;
    for (int i = 0; i < lines; ++i)
        doc.objects.Add(pointObject(i + 1, cLine, {{0, 0}, {400, 100}}, 0));
    return doc;
}

TEST(KorvaneLoad, EventsComeInLoadOrderAndTheLockIsRestored) {
    const std::vector<uint8_t> bytes = writeMapToBytes(sampleDocument(250));
    TKorvane k;
    k.Options.mpLocked(true);
    k.SetClassVisible(5, false);
    std::vector<std::string> events;
    bool lockedDuringLoad = true;
    k.OnUndoAction = [&events](bool active) { events.push_back(active ? "undo on" : "undo off"); };
    k.OnBeforeLoad = [&](TKorvane& s) {
        events.push_back("before");
        lockedDuringLoad = s.Options.mpLocked();
    };
    k.OnProgress = [&events](TKorvane&, int p) { events.push_back("progress " + std::to_string(p)); };
    k.OnAfterLoad = [&](TKorvane& s) {
        events.push_back("after");
        lockedDuringLoad = lockedDuringLoad || s.Options.mpLocked();
    };

    MemorySource src(bytes);
    k.LoadFromStream(src);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events.front(), "undo off");
    EXPECT_EQ(events[1], "before");
    EXPECT_EQ(events.back(), "after");
    std::vector<std::string> progress;
    for (const auto& e : events)
        if (e.starts_with("progress")) progress.push_back(e);
    EXPECT_EQ(progress, (std::vector<std::string>{"progress 40", "progress 80", "progress 100"}));
    for (const auto& e : events)
        EXPECT_NE(e, "undo on");
    EXPECT_FALSE(lockedDuringLoad);
    EXPECT_TRUE(k.Options.mpLocked());
    EXPECT_FALSE(k.IsClassVisible(5));
    EXPECT_EQ(k.Objects().count(), 250);
    EXPECT_EQ(k.PrinterSettings.CustomMashtab(), 5000);
    EXPECT_EQ(k.PrinterSettings.MashtabPrint, S_Custom);
}

TEST(KorvaneLoad, StoredViewOrFitToTheWholeMap) {
    const std::vector<uint8_t> bytes = writeMapToBytes(sampleDocument(3));
    {
        TKorvane k;
        k.SetClientSize(200, 100);
        MemorySource src(bytes);
        k.LoadFromStream(src);
        EXPECT_EQ(k.Scale(), 250);
        EXPECT_NEAR(k.XWind(), 10, 1e-4);
        EXPECT_NEAR(k.YWind(), 20, 1e-4);
        EXPECT_EQ(k.MapExtent(), (TMapRect{0, 0, 400, 100}));
    }
    {
        TKorvane k;
        k.SetClientSize(200, 100);
        k.Options.mpAllMapAfterLoad(true);
        MemorySource src(bytes);
        k.LoadFromStream(src);
        // 400 x 100 into 200 x 100 pixels: the width decides, the height is centred.
        EXPECT_DOUBLE_EQ(k.Scale(), 50);
        EXPECT_NEAR(k.XWind(), 0, 1e-4);
        EXPECT_NEAR(k.YWind(), -50, 1e-4);
        EXPECT_NEAR(k.ViewWidth(), 400, 1e-3);
    }
}

TEST(KorvaneLoad, ADamagedStoredViewStartsWhereANewMapWould) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const double stored : {0.0, -5.0, std::nan(""), inf, 1e-300}) {
        SCOPED_TRACE(stored);
        MapDocument doc = sampleDocument(3);
        doc.header.Scale = stored;
        doc.header.XWind = std::numeric_limits<float>::infinity();
        const std::vector<uint8_t> bytes = writeMapToBytes(doc);
        TKorvane k;
        k.SetClientSize(200, 100);
        MemorySource src(bytes);
        k.LoadFromStream(src);
        EXPECT_GT(k.Scale(), 0);
        EXPECT_TRUE(std::isfinite(k.Scale()));
        EXPECT_TRUE(std::isfinite(k.XWind()) && std::isfinite(k.YWind()));
        EXPECT_TRUE(std::isfinite(k.ViewWidth()));
        if (!std::isnan(stored)) {
            EXPECT_EQ(k.LastStoredView().Scale, stored); // as reported by info
        }
    }
    // Wheel notches without end: the view keeps finite edges to come back from.
    TKorvane k;
    k.SetClientSize(200, 100);
    for (int i = 0; i < 2000; ++i) k.SetScale(k.Scale() * 2 / 3);
    EXPECT_EQ(k.Scale(), TKorvane::kMinScale);
    EXPECT_TRUE(std::isfinite(k.ViewCenter().X));
    k.SetScale(0);
    EXPECT_EQ(k.Scale(), 100);
}

TEST(KorvaneLoad, ClearEmptiesEverything) {
    TKorvane k;
    const std::vector<uint8_t> bytes = writeMapToBytes(sampleDocument(3));
    MemorySource src(bytes);
    k.LoadFromStream(src);
    k.StreetCodeOf("Mira");
    k.LoadBuffer(0);
    int scaleEvents = 0;
    k.OnChangeScale = [&scaleEvents](TKorvane&) { ++scaleEvents; };
    k.Clear();
    EXPECT_EQ(k.Objects().count(), 0);
    EXPECT_EQ(k.StreetDictionary().count(), 0);
    EXPECT_EQ(k.Header().ObjectCount, 0);
    EXPECT_EQ(k.Header().NextID, 0);
    EXPECT_EQ(k.Header().NextStreetCode, 0);
    EXPECT_EQ(k.Header().Mashtab, 0);
    EXPECT_EQ(k.MapExtent(), TMapRect{});
    EXPECT_EQ(k.Scale(), 100);
    EXPECT_EQ(scaleEvents, 1);
    EXPECT_EQ(k.XWind(), 0);
    EXPECT_FALSE(k.BufferHoldsObject());
    EXPECT_FALSE(k.PostBuffer());

    scaleEvents = 0;
    k.Clear(); // runs the scale setter even when the scale already is 100
    EXPECT_EQ(scaleEvents, 1);
}

// ---- view ---------------------------------------------------------------------------------------

TEST(KorvaneView, SetScaleKeepsTheCentre) {
    TKorvane k;
    k.SetClientSize(200, 100);
    k.SetScale(200);
    EXPECT_FLOAT_EQ(k.ViewWidth(), 100);
    EXPECT_FLOAT_EQ(k.ViewHeight(), 50);
    EXPECT_FLOAT_EQ(k.XWind(), 50);
    EXPECT_FLOAT_EQ(k.YWind(), 25);
    EXPECT_DOUBLE_EQ(k.ScaleFactor(), 2);
    k.SetScale(200); // same value: recentred in place
    EXPECT_FLOAT_EQ(k.XWind(), 50);
}

TEST(KorvaneView, ZoomToRectFitsAndCentres) {
    TKorvane k;
    k.SetClientSize(200, 100);
    k.ZoomToRect(400, 100, 0, 0); // corners in any order
    EXPECT_DOUBLE_EQ(k.Scale(), 50);
    EXPECT_FLOAT_EQ(k.XWind(), 0);
    EXPECT_FLOAT_EQ(k.YWind(), -50);

    // A single point: zero extents count as one unit; the smaller of 100 x Width and
    // 100 x Height wins and the point is centred.
    k.ZoomToRect(30, 40, 30, 40);
    EXPECT_DOUBLE_EQ(k.Scale(), 10000);
    EXPECT_FLOAT_EQ(k.XWind(), 29);
    EXPECT_FLOAT_EQ(k.YWind(), 39.5f);
}

// ---- object check -------------------------------------------------------------------------------

TEST(KorvaneCheck, FailingObjectsAreLoggedAndRemoved) {
    TempDir dir;
    const fs::path log = dir.path() / "errors.log";
    {
        std::ofstream stale(log);
        stale << "stale content\n";
    }
    TKorvane k;
    TQEVMapObjectMem odd;
    odd.ID = 11;
    odd.Kind = 12;
    TQEVMapObjectMem line = pointObject(12, cLine, {{1.5f, -2.25f}, {3, 4}});
    TAddressCode addr;
    addr.TownCode = static_cast<int16_t>(k.TownCodeOf("tver"));
    addr.StreetCode = static_cast<int16_t>(k.StreetCodeOf("\xEB\xE5\xED\xE8\xED\xE0"));
    addr.House.assign("5\xC0");
    line.setAddress(addr);
    TQEVMapObjectMem odd2;
    odd2.ID = 13;
    odd2.Kind = 200;
    TQEVMapObjectMem text;
    text.ID = 14;
    text.Kind = cText;
    text.setText({});

    k.Objects().Add(pointObject(10, cPolygon, {{0, 0}, {1, 0}, {1, 1}}));
    k.Objects().Add(std::move(odd));
    k.Objects().Add(std::move(line));
    k.Objects().Add(std::move(odd2));
    k.Objects().Add(std::move(text));

    std::vector<int32_t> painted;
    k.CheckObjectPainter = [&painted](const TQEVMapObjectMem& o) {
        painted.push_back(o.ID);
        if (o.ID >= 11 && o.ID <= 13) throw std::runtime_error("cannot draw");
    };
    EXPECT_EQ(k.CheckObjects(log.string()), 3);
    EXPECT_EQ(painted, (std::vector<int32_t>{10, 11, 12, 13, 14}));
    ASSERT_EQ(k.Objects().count(), 2);
    EXPECT_EQ(k.Objects()[0].ID, 10);
    EXPECT_EQ(k.Objects()[1].ID, 14);
    EXPECT_EQ(k.Header().ObjectCount, 2);

    std::vector<std::string> lines = readLines(log);
    const std::regex dated("ДАТА КОРРЕКЦИИ:\\S+ \\S+");
    for (std::string& l : lines)
        if (l.starts_with("ДАТА КОРРЕКЦИИ:")) {
            EXPECT_TRUE(std::regex_match(l, dated)) << l;
            l = "DATE";
        }
    const std::vector<std::string> want = {"DATE",
                                           "========================",
                                           "порядковый # объекта:1",
                                           "ID объекта:11",
                                           "Размер информации о форме объекта:0",
                                           "Наличие адреса:FALSE",
                                           "Тип объекта:",
                                           "------------------------------",
                                           "",
                                           "",
                                           "DATE",
                                           "========================",
                                           "порядковый # объекта:1",
                                           "ID объекта:12",
                                           "Размер информации о форме объекта:2",
                                           "Наличие адреса:TRUE",
                                           "Town=\"TVER\" Street=\"ЛЕНИНА\" House=\"5А\"",
                                           "Street1=\"\" House1=\"\"",
                                           "Тип объекта:cLine",
                                           "-> Координаты объекта <-",
                                           "X=1.500000000000 Y=-2.250000000000",
                                           "X=3.000000000000 Y=4.000000000000",
                                           "------------------------------",
                                           "",
                                           "",
                                           "DATE",
                                           "========================",
                                           "порядковый # объекта:1",
                                           "ID объекта:13",
                                           "Размер информации о форме объекта:0",
                                           "Наличие адреса:FALSE",
                                           "Тип объекта:cLine",
                                           "------------------------------",
                                           "",
                                           ""};
    EXPECT_EQ(lines, want);
}

TEST(KorvaneCheck, StructuralCheckRejectsNaNCoordinates) {
    TempDir dir;
    TKorvane k;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    k.Objects().Add(pointObject(1, cLine, {{0, 0}, {1, 1}}));
    k.Objects().Add(pointObject(2, cLine, {{0, 0}, {nan, 1}}));
    k.Objects().Add(pointObject(3, cPolygon, {{2, 2}, {3, 3}}));
    EXPECT_EQ(k.CheckObjects((dir.path() / "errors.log").string()), 1);
    ASSERT_EQ(k.Objects().count(), 2);
    EXPECT_EQ(k.Objects()[0].ID, 1);
    EXPECT_EQ(k.Objects()[1].ID, 3);
    EXPECT_TRUE(fs::exists(dir.path() / "errors.log"));
}

TEST(KorvaneCheck, LoadRunsTheCheckBeforeTheExtent) {
    TempDir dir;
    MapDocument doc = sampleDocument(2);
    doc.objects.Add(pointObject(99, cLine, {{5000, 5000}, {6000, 6000}}));
    const std::vector<uint8_t> bytes = writeMapToBytes(doc);

    TKorvane k;
    k.CheckObjectPainter = [](const TQEVMapObjectMem& o) {
        if (o.ID == 99) throw std::runtime_error("cannot draw");
    };
    {
        // The log goes to the current directory.
        struct CwdGuard {
            fs::path saved = fs::current_path();
            ~CwdGuard() { fs::current_path(saved); }
        } guard;
        fs::current_path(dir.path());
        MemorySource src(bytes);
        k.LoadFromStream(src, true);
    }

    EXPECT_EQ(k.Objects().count(), 2);
    EXPECT_EQ(k.MapExtent(), (TMapRect{0, 0, 400, 100}));
    EXPECT_TRUE(fs::exists(dir.path() / "errors.log"));
}

} // namespace
} // namespace kestrum
