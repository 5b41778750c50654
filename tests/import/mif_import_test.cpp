// MIF/MID import: the objects, styles and addresses a pair of files yields, the rules real
// writers bend, and damage that must end in a clean problem rather than a crash, a hang, a huge
// allocation or a lost neighbour.

#include "component/korvane.h"
#include "component/korvane_import.h"
#include "io/byte_source.h"
#include "io/file_open.h"
#include "support/largest_allocation.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrum {
namespace {

using test::LargestAllocation;
namespace fs = std::filesystem;

const fs::path kOurs = fs::path(KESTRUM_TEST_DATA_DIR) / "mif";
const fs::path kCorpus = fs::path(KESTRUM_SHARED_DIR) / "corpus" / "mif";

struct Imported {
    std::unique_ptr<TKorvane> map = std::make_unique<TKorvane>();
    ImportResult result;

    int count() const { return map->Objects().count(); }
    const TQEVMapObjectMem& operator[](int i) const { return map->Objects()[i]; }
    TAdres address(int i) const { return map->DecodeAddress(map->Objects()[i]); }
    int kindCount(uint8_t kind) const {
        int n = 0;
        for (const auto& o : map->Objects()) n += o.Kind == kind;
        return n;
    }
    std::string problem() const { return result.firstProblem ? result.firstProblem->message : std::string(); }
};

std::span<const uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

Imported importText(std::string_view mif, std::optional<std::string_view> mid = std::nullopt,
                    const std::function<void(TKorvane&)>& setUp = {}) {
    Imported out;
    if (setUp) setUp(*out.map);
    MemorySource mifSrc(bytesOf(mif));
    std::optional<MemorySource> midSrc;
    if (mid) midSrc.emplace(bytesOf(*mid));
    out.result = ImportMIF(*out.map, mifSrc, midSrc ? &*midSrc : nullptr, "test.mif");
    return out;
}

Imported importFile(const fs::path& mif) {
    Imported out;
    out.result = ImportMIFFile(*out.map, mif);
    return out;
}

// A header without CoordSys: degrees when the first coordinate has a decimal point, else plain numbers.
std::string lonLat(std::string_view body, std::string_view columns = "Columns 0\n") {
    return "Version 300\nDelimiter \",\"\n" + std::string(columns) + "Data\n" + std::string(body);
}

std::string projected(std::string_view body) {
    return "Version 300\nCoordSys Earth Projection 8, 1001, \"m\", 39, 0, 1, 7500000, 0\nColumns 0\nData\n" +
           std::string(body);
}

TMapPoint firstPoint(const TQEVMapObjectMem& o) {
    if (const auto* n = o.note()) return {n->X, n->Y};
    if (const auto* t = o.text()) return {t->X, t->Y};
    return o.points().empty() ? TMapPoint{-1, -1} : o.points()[0];
}

// --- the building blocks -------------------------------------------------------------------------

TEST(MifStyles, TextAngleIsSqueezedWithinItsQuadrant) {
    const std::pair<double, int> cases[] = {{0, 0},       {45, 310},    {90, 900},   {135, 1490}, {180, 1800},
                                            {270, 2700},  {315, 3290},  {-45, 3290}, {405, 310}};
    // 270 degrees must not flip to 90 through the sign of a floating-point tan(270).
    for (auto [degrees, tenths] : cases) EXPECT_EQ(mifTextAngle(degrees), tenths) << degrees;
    // Nonsense angles must neither hang the reduction nor overflow the tenths.
    EXPECT_EQ(mifTextAngle(1e300), mifTextAngle(std::fmod(1e300, 360.0)));
    EXPECT_EQ(mifTextAngle(std::numeric_limits<double>::infinity()), 0);
}

// --- objects -------------------------------------------------------------------------------------

TEST(MifObjects, PointBecomesANoteShowingItsSymbol) {
    const Imported m = importText(lonLat("Point 37.61 55.75\n    Symbol (33,16711680,18)\n"
                                         "Point 1.5 1.5\n"
                                         "Point 2.5 2.5\n    Symbol (70,255,10)\n"
                                         "Point 3.5 3.5\n    Symbol (65,65280,14,\"MapInfo Cartographic\",0,0)\n"
                                         "Point 4.5 4.5\n    Symbol (\"pin.bmp\",0,24,0)\n"));
    ASSERT_EQ(m.count(), 5);
    const TQEVMapObjectMem& o = m[0];
    EXPECT_EQ(o.Kind, cZametka);
    ASSERT_NE(o.note(), nullptr);
    EXPECT_FLOAT_EQ(o.note()->X, 37610000.0f);
    EXPECT_FLOAT_EQ(o.note()->Y, -55750000.0f);
    // The shape names a picture of the built-in MapInfo library; the pen carries colour and size.
    EXPECT_EQ(o.note()->LibName.view(), "MapInfo");
    EXPECT_EQ(o.note()->IconName.view(), "33");
    EXPECT_EQ(o.Pen.Width, 18.0f);
    // No SYMBOL: MapInfo's black star of 12 points. Shapes beyond 3.0's, font and bitmap
    // symbols: a dot of their colour and size.
    EXPECT_EQ(m[1].note()->IconName.view(), "35");
    EXPECT_EQ(m[1].Pen, (TQEVMapPen{0, 0, 12.0f, 0}));
    EXPECT_EQ(m[2].note()->IconName.view(), "34");
    EXPECT_EQ(m[2].Pen, (TQEVMapPen{0xFF0000, 0, 10.0f, 0}));
    EXPECT_EQ(m[3].note()->IconName.view(), "34");
    EXPECT_EQ(m[3].Pen, (TQEVMapPen{0x00FF00, 0, 14.0f, 0}));
    EXPECT_EQ(m[4].note()->IconName.view(), "34");
    EXPECT_EQ(m[4].Pen.Width, 24.0f);
    EXPECT_TRUE(o.note()->Text.empty());
    EXPECT_EQ(o.Pen.Color, 0x0000FF); // the symbol's red, as a colour reference
    EXPECT_EQ(o.Brush.Style, 1);
    EXPECT_EQ(o.Ploskost, 2);
    EXPECT_EQ(o.ClassCode, 2);
    EXPECT_EQ(o.Alpha, 255);
    EXPECT_FALSE(m.result.firstProblem);
}

TEST(MifObjects, RegionGivesOnePolygonPerRingAndPlineOneLinePerSection) {
    const Imported m = importText(lonLat(R"(Region 2
  3
1 1
2 1
1 2
  4
5 5
6 5
6 6
5 5
    Pen (2,2,255)
    Brush (2,65280,16777215)
Pline Multiple 2
  2
0 0
1 1
  3
2 2
3 3
4 4
Pline 2
7 7
8 8
)"));
    ASSERT_EQ(m.count(), 5);
    for (int i : {0, 1}) {
        EXPECT_EQ(m[i].Kind, cPolygon);
        EXPECT_EQ(m[i].Ploskost, 0);
        EXPECT_EQ(m[i].Height, 0.0f);
        EXPECT_EQ(m[i].Pen, (TQEVMapPen{0xFF0000, 0, 2.0f, kPenWidthPixels}));
        EXPECT_EQ(m[i].Brush, (TQEVMapBrush{0x00FF00, 0}));
    }
    EXPECT_EQ(m[0].points().size(), 3u);
    EXPECT_EQ(m[1].points().size(), 4u);
    // Nothing carries over: the polylines have no clauses and take MapInfo's default pen, one
    // black pixel, whose width is also their height.
    for (int i : {2, 3, 4}) {
        EXPECT_EQ(m[i].Kind, cLine);
        EXPECT_EQ(m[i].Ploskost, 1);
        EXPECT_EQ(m[i].Height, 1.0f);
        EXPECT_EQ(m[i].Pen.Color, 0);
        EXPECT_EQ(m[i].Pen.Style, 0);
    }
    EXPECT_EQ(m[3].points().size(), 3u);
    EXPECT_EQ(m[4].points()[1], (TMapPoint{8.0f, -8.0f})) << "no CoordSys and no decimal point: as they are";
    EXPECT_EQ(m.result.records, 3);
}

TEST(MifStyles, ObjectsWithoutClausesTakeMapInfosDefaultsNotTheLastObjects) {
    // The country without a BRUSH is white, not black; the text's brush, the region's pen and
    // the first point's symbol do not reach the objects after them.
    const Imported m = importText(projected(R"(Text "a"
    0 0 10 5
    Brush (2,255,0)
    Font ("Arial",0,12,65280)
Region 1
  3
0 0
100 0
0 100
    Pen (3,5,255)
Region 1
  3
0 0
100 0
0 100
Point 5 5
    Symbol (34,255,18)
Point 6 6
Text "b"
    0 0 10 5
)"));
    ASSERT_EQ(m.count(), 6);
    EXPECT_EQ(m[1].Brush, (TQEVMapBrush{0xFFFFFF, 0})) << "no BRUSH: solid white";
    EXPECT_EQ(m[1].Pen.Color, 0xFF0000);
    EXPECT_EQ(m[2].Brush, (TQEVMapBrush{0xFFFFFF, 0}));
    EXPECT_EQ(m[2].Pen.Color, 0) << "no PEN: black";
    EXPECT_EQ(m[2].Pen.Style, 0);
    EXPECT_EQ(m[2].Pen.Width, 1.0f);
    EXPECT_EQ(m[3].Pen.Color, 0xFF0000); // MIF 255 is blue
    EXPECT_EQ(m[4].Pen.Color, 0) << "no SYMBOL: MapInfo's black default";
    EXPECT_EQ(m[5].Pen.Color, 0) << "no FONT: black, not the first text's green";
    EXPECT_EQ(m[5].Brush.Color, 0xFFFFFF);
}

TEST(MifObjects, TextTakesItsBoxFontColourAndAngle) {
    const Imported m = importText(projected(R"(Text
    "Main St"
    100 200 180 212
    Font ("Arial",0,12,255,16777215)
    Angle 45
Text
    "Second"
    0 0 10 5
    Brush (2,123,0)
)"));
    ASSERT_EQ(m.count(), 2);
    const TQEVMapText* t = m[0].text();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Text, "Main St");
    EXPECT_FLOAT_EQ(t->FontSize, 12.0f);
    // The anchor is the box's top-left corner: X = x1, Y = -y1 - FontSize.
    EXPECT_FLOAT_EQ(t->X, 100.0f);
    EXPECT_FLOAT_EQ(t->Y, -212.0f);
    EXPECT_EQ(t->FontIndex, 1);
    EXPECT_EQ(t->Angle, 310);
    EXPECT_EQ(m[0].Pen.Color, 0xFF0000); // foreground 255 (blue); the background is ignored
    EXPECT_EQ(m[0].Brush.Style, 1);
    EXPECT_EQ(m[0].Ploskost, 2);
    // The angle goes back to 0 after each text; a brush given last applies to the last object.
    EXPECT_EQ(m[1].text()->Angle, 0);
    EXPECT_EQ(m[1].Brush, (TQEVMapBrush{0x7B0000, 1}));
}

TEST(MifObjects, LinesBoxesEllipsesAndArcsAreKeptWithTheirRows) {
    // Projected units, so that the geometry can be checked in whole numbers.
    const std::string body = "Line 0 0 100 50\n"
                             "    Pen (2,2,255)\n"
                             "Rect 100 0 0 40\n"
                             "    Brush (2,65280,0)\n"
                             "RoundRect 0 0 100 40\n  20\n"
                             "Ellipse 0 0 100 40\n"
                             "Arc 0 0 100 100\n  0 90\n"
                             "Region 1\n  3\n0 0\n1 0\n0 1\n";
    const Imported m = importText("Version 300\nCoordSys NonEarth Units \"m\"\nColumns 1\n  Street Char(10)\nData\n" + body,
                                  std::string_view("line\nrect\nround\nellipse\narc\nregion\n"));
    ASSERT_EQ(m.count(), 6);
    EXPECT_FALSE(m.result.firstProblem) << m.problem();
    EXPECT_EQ(m.result.records, 6);
    EXPECT_EQ(m.result.skipped, 0);
    const char* streets[] = {"LINE", "RECT", "ROUND", "ELLIPSE", "ARC", "REGION"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m.address(i).Street, streets[i]) << i;

    // A line: two points on plane 1, styled as a polyline.
    EXPECT_EQ(m[0].Kind, cLine);
    EXPECT_EQ(m[0].Ploskost, 1);
    ASSERT_EQ(m[0].points().size(), 2u);
    EXPECT_EQ(m[0].points()[1], (TMapPoint{100.0f, -50.0f}));
    EXPECT_EQ(m[0].Pen.Color, 0xFF0000);

    // A rectangle written corner-last still gives its four corners, styled as a region.
    EXPECT_EQ(m[1].Kind, cPolygon);
    EXPECT_EQ(m[1].Ploskost, 0);
    ASSERT_EQ(m[1].points().size(), 4u);
    for (const TMapPoint& p : m[1].points()) {
        EXPECT_TRUE(p.X == 0.0f || p.X == 100.0f);
        EXPECT_TRUE(p.Y == 0.0f || p.Y == -40.0f);
    }
    EXPECT_EQ(m[1].Brush, (TQEVMapBrush{0x00FF00, 0}));

    // A rounded rectangle: corners cut by arcs of radius 10 (the rounding is their diameter),
    // so nothing comes nearer to a corner than 10 * (sqrt(2) - 1) and the sides stay whole.
    EXPECT_EQ(m[2].Kind, cPolygon);
    EXPECT_GT(m[2].points().size(), 8u);
    double nearest = 1e9;
    for (const TMapPoint& p : m[2].points()) {
        EXPECT_GE(p.X, 0.0f);
        EXPECT_LE(p.X, 100.0f);
        EXPECT_GE(p.Y, -40.0f);
        EXPECT_LE(p.Y, 0.0f);
        nearest = std::min(nearest, std::hypot(p.X - 0.0, p.Y - 0.0));
    }
    EXPECT_NEAR(nearest, 10 * (std::sqrt(2.0) - 1), 0.8);
    EXPECT_EQ(m[2].Corners[2], (TMapPoint{100.0f + m[2].Pen.Width / 2, m[2].Pen.Width / 2}));

    // An ellipse keeps its box's corners in the map's order.
    EXPECT_EQ(m[3].Kind, cEllipse);
    ASSERT_EQ(m[3].points().size(), 4u);
    EXPECT_EQ(m[3].points()[0], (TMapPoint{0.0f, -40.0f}));
    EXPECT_EQ(m[3].points()[2], (TMapPoint{100.0f, 0.0f}));

    // A quarter arc from east to north, counter-clockwise: from (100, 50) to (50, 100) along the circle.
    EXPECT_EQ(m[4].Kind, cLine);
    const auto arc = m[4].points();
    ASSERT_GE(arc.size(), 10u);
    EXPECT_EQ(arc.front(), (TMapPoint{100.0f, -50.0f}));
    EXPECT_EQ(arc.back(), (TMapPoint{50.0f, -100.0f}));
    for (const TMapPoint& p : arc) {
        EXPECT_NEAR(std::hypot(p.X - 50.0, -p.Y - 50.0), 50.0, 0.8);
        EXPECT_GE(p.X, 49.0f);
    }
}

TEST(MifObjects, ArcsRunCounterClockwiseAndEqualAnglesCloseTheEllipse) {
    const Imported m = importText("Version 300\nCoordSys NonEarth Units \"m\"\nColumns 0\nData\n"
                                  "Arc -100 -100 100 100 270 90\nArc -100 -50 100 50 0 360\nArc 0 0 1 1\n");
    ASSERT_EQ(m.count(), 2);
    // From south through east to north: every point on the eastern half.
    for (const TMapPoint& p : m[0].points()) EXPECT_GE(p.X, -0.5f);
    EXPECT_EQ(m[0].points().front(), (TMapPoint{0.0f, 100.0f}));
    EXPECT_EQ(m[0].points().back(), (TMapPoint{0.0f, -100.0f}));
    // The whole ellipse comes back to its start, and reaches both ends of its box.
    const auto whole = m[1].points();
    EXPECT_EQ(whole.front(), whole.back());
    EXPECT_EQ(m[1].Corners[0].X + m[1].Pen.Width / 2, -100.0f);
    EXPECT_EQ(m[1].Corners[2].Y - m[1].Pen.Width / 2, 50.0f);
    // An arc without its angles is damage, named, and yields nothing.
    EXPECT_NE(m.problem().find("ARC without its two angles"), std::string::npos) << m.problem();
}

TEST(MifObjects, MultipointsAndCollectionsKeepEveryPartWithTheRowsAddress) {
    const std::string body = "Multipoint 3\n1 1\n2 2\n3 3\n"
                             "Collection 3\n"
                             "  Region 1\n    3\n0 0\n4 0\n0 4\n"
                             "  Pline 2\n5 5\n6 6\n"
                             "  Multipoint 2\n7 7\n8 8\n"
                             "Collection 2\n  Line 0 0 9 9\n  Multipoint 1\n9 9\n"
                             "Point 10 10\n";
    const Imported m = importText("Version 300\nCoordSys NonEarth Units \"m\"\nColumns 1\n  Street Char(10)\nData\n" + body,
                                  std::string_view("s1\ns2\ns3\ns4\n"));
    ASSERT_EQ(m.count(), 3 + 4 + 2 + 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.address(i).Street, "S1");
    EXPECT_EQ(m[3].Kind, cPolygon);
    EXPECT_EQ(m[4].Kind, cLine);
    EXPECT_EQ(m[5].Kind, cZametka);
    EXPECT_EQ(m[6].Kind, cZametka);
    for (int i = 3; i < 7; ++i) EXPECT_EQ(m.address(i).Street, "S2") << i;
    EXPECT_EQ(m[7].Kind, cLine);
    EXPECT_EQ(m.address(7).Street, "S3");
    // GDAL's collections may hold a LINE.
    EXPECT_EQ(m[8].Kind, cZametka);
    EXPECT_EQ(m.address(8).Street, "S3");
    EXPECT_EQ(m.address(9).Street, "S4");
    EXPECT_EQ(m.result.records, 4);
    EXPECT_FALSE(m.result.firstProblem) << m.problem();
}

// --- coordinates ---------------------------------------------------------------------------------

TEST(MifCoordinates, ScaleIsChosenOncePerFile) {
    // In a longitude/latitude file a whole-number coordinate is degrees like its neighbours,
    // not a millionth of one.
    const Imported deg = importText(lonLat("Pline 3\n37.5 55.5\n38 56\n38.25 56.25\n"));
    ASSERT_EQ(deg.count(), 1);
    EXPECT_EQ(deg[0].points()[1], (TMapPoint{38000000.0f, -56000000.0f}));

    // Projected and non-earth coordinates are taken as they are, rounded.
    const Imported proj = importText(projected("Point 100 200\nPoint 100.4 200.6\n"));
    ASSERT_EQ(proj.count(), 2);
    EXPECT_EQ(firstPoint(proj[0]), (TMapPoint{100.0f, -200.0f}));
    EXPECT_EQ(firstPoint(proj[1]), (TMapPoint{100.0f, -201.0f}));
    const Imported nonEarth = importText("Version 300\nCoordSys NonEarth Units \"m\"\nColumns 0\nData\nPoint 1.5 2\n");
    EXPECT_EQ(firstPoint(nonEarth[0]), (TMapPoint{2.0f, -2.0f}));
    const Imported geo = importText("Version 300\n  COORDSYS Earth Projection 1, 104\nColumns 0\nData\nPoint 1 2\n");
    EXPECT_EQ(firstPoint(geo[0]), (TMapPoint{1000000.0f, -2000000.0f}));
}

TEST(MifCoordinates, UnknownCoordSysIsDecidedByTheFirstPointWithAWarning) {
    const Imported deg = importText("Version 300\nCoordSys Table mytable\nColumns 0\nData\nPoint 10 20\nPoint 1000 2000\n");
    ASSERT_EQ(deg.count(), 2);
    EXPECT_EQ(firstPoint(deg[1]), (TMapPoint{1e9f, -2e9f}));
    EXPECT_EQ(deg.result.warnings, 1);
    const Imported units = importText("Version 300\nCoordSys Table mytable\nColumns 0\nData\nPoint 5000 20\n");
    EXPECT_EQ(firstPoint(units[0]), (TMapPoint{5000.0f, -20.0f}));

    // Without CoordSys the first coordinate's decimal point decides, for the whole file.
    const Imported plain = importText(lonLat("Point 100 200\nPoint 1.5 2\n"));
    EXPECT_EQ(firstPoint(plain[0]), (TMapPoint{100.0f, -200.0f}));
    EXPECT_EQ(firstPoint(plain[1]), (TMapPoint{2.0f, -2.0f}));
    const Imported degrees = importText(lonLat("Point 37.61 55.75\nPoint 38 56\n"));
    EXPECT_EQ(firstPoint(degrees[0]), (TMapPoint{37610000.0f, -55750000.0f}));
    EXPECT_EQ(firstPoint(degrees[1]), (TMapPoint{38000000.0f, -56000000.0f}));
}

// --- what real writers do ------------------------------------------------------------------------

TEST(MifQuirks, GdalWritesTheTextStringOnTheClauseLineAndBoxesMayBeNegative) {
    const Imported m = importText(projected("TEXT \"say \"\"hi\"\"\"\n-10 -20 -4 -17\n"));
    ASSERT_EQ(m.count(), 1);
    EXPECT_EQ(m[0].text()->Text, "say \"hi\"");
    EXPECT_FLOAT_EQ(m[0].text()->X, -10.0f);
    EXPECT_FLOAT_EQ(m[0].text()->Y, 17.0f);
    EXPECT_FLOAT_EQ(m[0].text()->FontSize, 3.0f);

    // In degrees the box's height is taken in whole millionths, not from the rounded floats.
    const Imported deg = importText(lonLat("Text \"x\"\n37.6 55.750001 37.7 55.750303\n"));
    ASSERT_EQ(deg.count(), 1);
    EXPECT_EQ(deg[0].text()->FontSize, 302.0f);
}

// Every object of a map as text: kind, points, text and address, for comparing two imports.
std::string describe(const TKorvane& map) {
    std::string out;
    for (const TQEVMapObjectMem& o : map.Objects()) {
        out += std::to_string(o.Kind) + ":";
        for (const TMapPoint& p : o.points()) out += std::to_string(p.X) + "," + std::to_string(p.Y) + " ";
        if (const auto* t = o.text()) out += t->Text;
        const TAdres a = map.DecodeAddress(o);
        out += "|" + a.Town + "|" + a.Street + "|" + a.House + "\n";
    }
    return out;
}

TEST(MifQuirks, MixedLineEndsAndBlockBoundariesChangeNothing) {
    // Files edited on several systems mix CR LF, LF and lone CR.
    const Imported mixed = importText("Version 300\r\nColumns 0\rData\nPoint 1 1\r\nPoint 2 2\rPoint 3 3\n\r\n");
    EXPECT_EQ(mixed.count(), 3);

    // Keywords in any case and indented, blank lines inside clauses, a PLINE count on its own line.
    const Imported cr = importFile(kOurs / "lone_cr_mixed_case.mif");
    EXPECT_EQ(cr.kindCount(cPolygon), 1);
    EXPECT_EQ(cr.kindCount(cLine), 1);
    EXPECT_EQ(cr.kindCount(cZametka), 2);
    EXPECT_EQ(cr[0].points().size(), 3u);
    EXPECT_EQ(cr[0].Pen, (TQEVMapPen{0xFF0000, 0, 2.0f, kPenWidthPixels}));
    EXPECT_FALSE(cr.result.firstProblem) << cr.problem();
    EXPECT_EQ(importText(lonLat("Multipoint 1\n1 1\nMultiPoint 1\n2 2\n")).count(), 2);

    // Tiny blocks put a block boundary inside nearly every line and between CR and LF.
    for (const fs::path& mif : {kOurs / "address_win1251.mif", kOurs / "lone_cr_mixed_case.mif",
                                kOurs / "utf8_text.mif", kCorpus / "wayfinder_denmark.mif",
                                kCorpus / "gdal_all_geoms.mif"}) {
        SCOPED_TRACE(mif.string());
        const Imported whole = importFile(mif);
        const std::vector<uint8_t> mifBytes = readWholeFile(mif.string());
        const auto midPath = findMidBeside(mif);
        const std::vector<uint8_t> midBytes = midPath ? readWholeFile(midPath->string()) : std::vector<uint8_t>{};
        for (std::size_t block : {1u, 2u, 7u, 64u}) {
            TKorvane map;
            MemorySource mifSrc(mifBytes), midSrc(midBytes);
            MifImportOptions options;
            options.blockBytes = block;
            const ImportResult r = ImportMIF(map, mifSrc, midPath ? &midSrc : nullptr, "x.mif", {}, options);
            EXPECT_EQ(r.records, whole.result.records) << "block " << block;
            EXPECT_EQ(r.problems, whole.result.problems) << "block " << block;
            EXPECT_EQ(describe(map), describe(*whole.map)) << "block " << block;
        }
    }
}

// --- attributes ----------------------------------------------------------------------------------

TEST(MifAttributes, AddressColumnsAreFoundByNameAndRowsStayInStep) {
    const Imported m = importFile(kOurs / "address_win1251.mif");
    ASSERT_EQ(m.count(), 3);
    // The first region's second ring starts on its first's edge and goes on inside: a hole by
    // the rule (box within, first vertex off the edge inside), one area of two rings with the
    // row. A quoted value keeps its comma, and the last column whose name holds ДОМ gives the
    // house.
    EXPECT_EQ(m[0].points().size(), 4u + 3u + 2u);
    EXPECT_EQ(m.address(0).Town, "\xCC\xCE\xD1\xCA\xC2\xC0");                 // МОСКВА
    EXPECT_EQ(m.address(0).Street, "\xD2\xC2\xC5\xD0\xD1\xCA\xC0\xDF, \xD3\xCB\xC8\xD6\xC0"); // ТВЕРСКАЯ, УЛИЦА
    EXPECT_EQ(m.address(0).House, "12\xE0");                                   // 12а
    // The Rect took the second row; "none" reads as no town; an empty ДОМ leaves the other house.
    EXPECT_EQ(m[1].Kind, cPolygon);
    EXPECT_EQ(m.address(2).Town, "");
    EXPECT_EQ(m.address(2).Street, "\xC0\xD0\xC1\xC0\xD2"); // АРБАТ
    EXPECT_EQ(m.address(2).House, "5");
    EXPECT_EQ(m.result.records, 3);
    EXPECT_EQ(m.result.skipped, 0);
    EXPECT_FALSE(m.result.firstProblem) << m.problem();
    EXPECT_FALSE(m.result.firstWarning);
}

TEST(MifAttributes, OnlyTheFormatsOwnNamesMakeATownColumn) {
    const Imported m = importText(lonLat("Point 1.5 2.5\n", "Columns 3\n  Capacity Integer\n  Caty Char(10)\n  Street Char(10)\n"),
                                  "12,\"Tver\",\"Main\"\n");
    ASSERT_EQ(m.count(), 1);
    EXPECT_EQ(m.address(0).Town, "TVER"); // not the capacity, though its name holds CITY
    EXPECT_EQ(m.address(0).Street, "MAIN");

    // A column named CITY, in any case, is a town as CATY is; CAPACITY and ELECTRICITY are not.
    const Imported city = importText(
        lonLat("Point 1.5 2.5\nPoint 2.5 2.5\n",
               "Columns 4\n  capacity Integer\n  Electricity Char(5)\n  city Char(10)\n  sTrEeT Char(10)\n"),
        std::string_view("12,\"yes\",\"Grenoble\",\"Rue A\"\n7,\"no\",\"Lyon\",\"Rue B\"\n"));
    ASSERT_EQ(city.count(), 2);
    EXPECT_EQ(city.address(0).Town, "GRENOBLE");
    EXPECT_EQ(city.address(0).Street, "RUE A");
    EXPECT_EQ(city.address(1).Town, "LYON");
}

TEST(MifAttributes, AQuotedValueOverSeveralLinesIsOneValueAndRowsStayInStep) {
    const Imported m = importText(
        lonLat("Point 1 1\nPoint 2 2\nPoint 3 3\n", "Columns 3\n  Note Char(100)\n  Street Char(20)\n  House Char(5)\n"),
        std::string_view("\"first line\nsecond, with a comma\nthird \"\"quoted\"\"\",\"Elm\",\"1\"\n"
                         "\"plain\",\"Main\nStreet\",\"2\"\n"
                         "\"x\",\"Oak\",\"3\"\n"));
    ASSERT_EQ(m.count(), 3);
    EXPECT_EQ(m.address(0).Street, "ELM");
    EXPECT_EQ(m.address(0).House, "1");
    EXPECT_EQ(m.address(1).Street, "MAIN STREET"); // its line break is a blank
    EXPECT_EQ(m.address(1).House, "2");
    EXPECT_EQ(m.address(2).Street, "OAK");
    EXPECT_EQ(m.address(2).House, "3");
    EXPECT_FALSE(m.result.firstProblem) << m.problem();
    EXPECT_FALSE(m.result.firstWarning);

    // A quote inside an unquoted value opens nothing.
    const Imported inch = importText(lonLat("Point 1 1\nPoint 2 2\n", "Columns 2\n  Size Char(10)\n  Street Char(10)\n"),
                                     std::string_view("5\" pipe,\"Elm\"\n6,\"Oak\"\n"));
    EXPECT_EQ(inch.address(1).Street, "OAK");
    EXPECT_FALSE(inch.result.firstProblem) << inch.problem();
}

TEST(MifAttributes, CollectionPartsShareARowAndNoneTakesOne) {
    const Imported m = importFile(kOurs / "collection_rows.mif");
    ASSERT_EQ(m.count(), 3);
    EXPECT_EQ(m[0].Kind, cPolygon);
    EXPECT_EQ(m[1].Kind, cLine);
    EXPECT_EQ(m[2].Kind, cZametka);
    EXPECT_EQ(m.address(0).Street, "FIRST");
    EXPECT_EQ(m.address(1).Street, "FIRST");
    EXPECT_EQ(m.address(2).Street, "THIRD");
    EXPECT_EQ(m.address(2).Town, "GAMMA");
    EXPECT_EQ(firstPoint(m[2]), (TMapPoint{5.0f, -5.0f})); // a non-earth file: units as they are
    EXPECT_EQ(m.result.records, 3);
    EXPECT_FALSE(m.result.firstProblem) << m.problem();
}

TEST(MifAttributes, RowsWithTooFewOrTooManyValuesTakeWhatTheyHave) {
    const std::string mif = lonLat("Point 1 1\nPoint 2 2\nPoint 3 3\nPoint 4 4\n",
                                   "Columns 3\n  Name Char(10)\n  My Town Char(10)\n  House No Char(5)\n");
    const Imported m = importText(mif, std::string_view("\"a\",\"Oslo\",\"7\",\"extra\",\"more\"\n"
                                                        "\"b\",\"Bergen\"\n"
                                                        "\"c\"\n"
                                                        "\n"));
    ASSERT_EQ(m.count(), 4);
    EXPECT_EQ(m.address(0).Town, "OSLO");
    EXPECT_EQ(m.address(0).House, "7");
    EXPECT_EQ(m.address(1).Town, "BERGEN");
    EXPECT_EQ(m.address(2).Town, "");
    EXPECT_EQ(m.address(3).Town, "");
    EXPECT_EQ(m.result.warnings, 3); // rows 2 to 4 end before an address column
    EXPECT_FALSE(m.result.firstProblem) << m.problem();
}

TEST(MifAttributes, DelimiterDefaultsToTabAndSemicolonValuesShowTheirSecondHalf) {
    const Imported tab = importText("Version 300\nColumns 2\n  Town Char(10)\n  Street Char(10)\nData\nPoint 1 1\n",
                                    std::string_view("Rome\tVia Appia\n"));
    EXPECT_EQ(tab.address(0).Street, "VIA APPIA");
    const Imported semi = importText(lonLat("Point 1 1\n", "Columns 1\n  Street Char(20)\n"),
                                     std::string_view("\"Old name;New name\"\n"));
    EXPECT_EQ(semi.address(0).Street, "NEW NAME");
}

TEST(MifAttributes, ShortMidIsAProblemNamingTheMidFile) {
    const Imported m = importText(lonLat("Point 1 1\nPoint 2 2\nPoint 3 3\n", "Columns 1\n  Street Char(10)\n"),
                                  std::string_view("\"x\"\n"));
    EXPECT_EQ(m.count(), 3);
    ASSERT_TRUE(m.result.firstProblem);
    EXPECT_EQ(m.result.firstProblem->file, "test.mid");
    EXPECT_NE(m.problem().find("ends after 1 rows"), std::string::npos) << m.problem();
}

// --- character sets ------------------------------------------------------------------------------

TEST(MifCharset, Utf8TextLandsInTheMapCodePage) {
    const Imported m = importFile(kOurs / "utf8_text.mif");
    ASSERT_EQ(m.count(), 1);
    // Улица Caf? : Windows-1251 has no é, which is counted.
    EXPECT_EQ(m[0].text()->Text, "\xD3\xEB\xE8\xF6\xE0 Caf?");
    EXPECT_EQ(m.address(0).Street, "CAF? \xCB\xC5\xCD\xC8\xCD\xC0"); // CAF? ЛЕНИНА
    EXPECT_EQ(m.result.warnings, 2);
    EXPECT_EQ(m[0].text()->Angle, 310);
}

TEST(MifCharset, DeclaredSetsAreConvertedAndNeutralTextIsGuessedOnce) {
    struct Case {
        const char* charset; // "": no Charset line
        std::string texts; // one or more Text clauses
        const char* first;
        int warnings;
    };
    const Case cases[] = {
        {"ISO8859_5", "Text \"\xB4\xDE\xDC\"\n 0 0 1 1\n", "\xC4\xEE\xEC", 0}, // Дом
        {"WindowsLatin1", "Text \"caf\xE9\"\n 0 0 1 1\n", "caf\xE9", 0},       // the map takes 1252
        // Neutral: valid UTF-8 is read as UTF-8, other bytes are taken to be Windows-1251 already,
        // with one warning for the whole file. Plain ASCII (here with no Charset line) needs no guess.
        {"Neutral", "Text \"\xD0\x94\xD0\xBE\xD0\xBC\"\n 0 0 1 1\n", "\xC4\xEE\xEC", 1},
        {"Neutral", "Text \"\xC4\xEE\xEC\"\n 0 0 1 1\nText \"\xC4\"\n 0 0 1 1\n", "\xC4\xEE\xEC", 1},
        {"", "Text \"abc\"\n 0 0 1 1\n", "abc", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.charset) + " " + c.first);
        const std::string charset = *c.charset ? "Charset \"" + std::string(c.charset) + "\"\n" : "";
        const Imported m = importText(charset + projected(c.texts));
        ASSERT_GE(m.count(), 1);
        EXPECT_EQ(m[0].text()->Text, c.first);
        EXPECT_EQ(m.result.warnings, c.warnings);
        if (c.warnings && std::string_view(c.charset) == "Neutral") {
            ASSERT_TRUE(m.result.firstWarning);
            EXPECT_NE(m.result.firstWarning->message.find("Neutral"), std::string::npos);
        }
    }
}

TEST(MifCharset, TheMapTakesTheCodePageThatKeepsTheFilesLetters) {
    struct Case {
        const char* charset;
        std::string text;     // as the file holds it
        CodePage page;        // the map's code page afterwards
        const char* kept;     // the label in it
    };
    const Case cases[] = {
        {"WindowsLatin1", "Saint-\xC9gr\xE8ve", CodePage::Cp1252, "Saint-\xC9gr\xE8ve"},
        {"WindowsLatin2", "\xA3\xF3" "d\x9F", CodePage::Cp1250, "\xA3\xF3" "d\x9F"}, // Łódź
        {"WindowsCyrillic", "\xC4\xEE\xEC", CodePage::Cp1251, "\xC4\xEE\xEC"},
        // UTF-8, declared or not: the letters choose.
        {"UTF-8", "Saint-\xC3\x89gr\xC3\xA8ve", CodePage::Cp1252, "Saint-\xC9gr\xE8ve"},
        {"UTF-8", "\xC5\x81\xC3\xB3" "d\xC5\xBA", CodePage::Cp1250, "\xA3\xF3" "d\x9F"},
        {"UTF-8", "\xD0\x94\xD0\xBE\xD0\xBC", CodePage::Cp1251, "\xC4\xEE\xEC"},
        {"Neutral", "Saint-\xC3\x89gr\xC3\xA8ve", CodePage::Cp1252, "Saint-\xC9gr\xE8ve"},
        // Not UTF-8 and no set named: Windows-1251 as it is, the map's default.
        {"Neutral", "\xC4\xEE\xEC", CodePage::Cp1251, "\xC4\xEE\xEC"},
        {"", "abc", CodePage::Cp1251, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.charset) + " " + c.kept);
        const std::string charset = *c.charset ? "Charset \"" + std::string(c.charset) + "\"\n" : "";
        // The map's code page from an earlier import must not leak into this one.
        const Imported m = importText(charset + projected("Text \"" + c.text + "\"\n 0 0 1 1\n"), std::nullopt,
                                      [](TKorvane& map) { map.Document().codePage = CodePage::Cp1250; });
        ASSERT_EQ(m.count(), 1);
        EXPECT_EQ(m.map->Document().codePage, c.page);
        EXPECT_EQ(m[0].text()->Text, c.kept);
        EXPECT_FALSE(m.result.firstProblem) << m.problem();
    }

    // The MID's letters count too, and its addresses come in the same code page.
    const Imported mid = importText("Charset \"UTF-8\"\n" + lonLat("Point 1.5 1.5\n", "Columns 1\n  City Char(20)\n"),
                                    std::string_view("\"Saint-\xC3\x89gr\xC3\xA8ve\"\n"));
    EXPECT_EQ(mid.map->Document().codePage, CodePage::Cp1252);
    EXPECT_EQ(mid.address(0).Town, "SAINT-\xC9GR\xC8VE");

    // A map that already holds objects keeps its code page; what it lacks is reported once.
    const Imported full = importText("Charset \"WindowsLatin1\"\n" + projected("Text \"caf\xE9\"\n 0 0 1 1\n"),
                                     std::nullopt, [](TKorvane& map) {
                                         map.NewObject();
                                         map.CurrentObject.Kind = cLine;
                                         map.SetPoint(0, 1, 1), map.SetPoint(1, 2, 2);
                                         map.PostBuffer();
                                     });
    EXPECT_EQ(full.map->Document().codePage, CodePage::Cp1251);
    EXPECT_EQ(full[1].text()->Text, "caf?");
    EXPECT_EQ(full.result.warnings, 1);
}

// --- damage --------------------------------------------------------------------------------------

TEST(MifDamage, TruncatedRegionKeepsWhatCameBeforeAndNamesTheLine) {
    const Imported m = importFile(kOurs / "truncated-region.mif");
    // The point, and the three points of the cut ring that did arrive.
    ASSERT_EQ(m.count(), 2);
    EXPECT_EQ(m[1].points().size(), 3u);
    ASSERT_TRUE(m.result.firstProblem);
    EXPECT_EQ(m.result.firstProblem->line, 9);
    EXPECT_NE(m.problem().find("REGION declares 4 points; 3 found"), std::string::npos) << m.problem();
    EXPECT_NE(m.result.firstProblem->file.find("truncated-region.mif"), std::string::npos);
}

TEST(MifDamage, CountsBeyondTheFileAreNamedAndSpareWhatFollows) {
    const Imported rings = importFile(kOurs / "ring-count-exceeds-file.mif");
    ASSERT_TRUE(rings.result.firstProblem);
    EXPECT_EQ(rings.result.firstProblem->line, 4);
    EXPECT_NE(rings.problem().find("2000000000 rings"), std::string::npos) << rings.problem();
    // The one real ring and the point after the lie both arrive.
    EXPECT_EQ(rings.kindCount(cPolygon), 1);
    EXPECT_EQ(rings.kindCount(cZametka), 1);

    const Imported points = importFile(kOurs / "point-count-too-large.mif");
    EXPECT_EQ(points.kindCount(cLine), 1);
    EXPECT_EQ(points.kindCount(cZametka), 1);
    EXPECT_EQ(points.kindCount(cPolygon), 1);
    EXPECT_EQ(points[0].points().size(), 3u);
    EXPECT_EQ(points.result.firstProblem->line, 4);
    EXPECT_NE(points.problem().find("1000 points"), std::string::npos) << points.problem();
}

TEST(MifDamage, NoCountFromTheFileSizesAnAllocation) {
    // Every count at its largest: none may reach the allocator before the lines behind it exist.
    const std::string lies = lonLat("Region 2147483647\n  2147483647\n0 0\n1 1\n"
                                    "Pline Multiple 9223372036854775807\n  4294967296\n0 0\n"
                                    "Pline 9223372036854775807\n0 0\n"
                                    "MultiPoint 4000000000\n0 0\n"
                                    "Collection 2000000000\n",
                                    "Columns 1000000000\n  Street Char(10)\n");
    Imported m;
    {
        const LargestAllocation watch;
        MemorySource src(bytesOf(lies));
        m.result = ImportMIF(*m.map, src, nullptr, "lies.mif");
        EXPECT_LT(watch.bytes(), std::size_t{64} << 10);
    }
    EXPECT_EQ(m.kindCount(cPolygon), 1);
    EXPECT_EQ(m.kindCount(cLine), 2);
    EXPECT_EQ(m.kindCount(cZametka), 1);
    EXPECT_GE(m.result.problems, 6);
    EXPECT_NE(m.problem().find("COLUMNS declares 1000000000"), std::string::npos) << m.problem();
}

TEST(MifDamage, WrongRingCountsResynchroniseOnTheNextCount) {
    // The first ring says 5 but holds 3: its points end at the next count line, which is read
    // as the second ring's.
    const Imported m = importText(lonLat("Region 2\n  5\n0 0\n1 0\n0 1\n  3\n5 5\n6 5\n5 6\nPoint 9 9\n"));
    EXPECT_EQ(m.kindCount(cPolygon), 2);
    EXPECT_EQ(m[1].points().size(), 3u);
    EXPECT_EQ(m.kindCount(cZametka), 1);
    EXPECT_EQ(m.result.problems, 1);
}

TEST(MifDamage, BadValuesAreProblemsThatSpareTheirNeighbours) {
    const Imported m = importText(lonLat(R"(Pline -3
Pline 3
1 1
nan 2
1e400 5
Point 1e300 1
Point x y
Point 2 2
    Pen (1,2,99999999)
    Brush (oops)
Region abc
Point 3 3
)"));
    // Only the first Pline point, the two good points; nothing else, and no crash.
    EXPECT_EQ(m.kindCount(cZametka), 2);
    EXPECT_EQ(m.kindCount(cLine), 1);
    EXPECT_EQ(m.map->Objects()[0].points().size(), 1u);
    EXPECT_GE(m.result.problems, 6);
    EXPECT_EQ(m.result.firstProblem->line, 5);
}

TEST(MifDamage, MissingDataLineAndMissingPiecesAreNamed) {
    const Imported none = importFile(kOurs / "no-data-line.mif");
    EXPECT_EQ(none.count(), 0);
    EXPECT_NE(none.problem().find("no DATA line"), std::string::npos) << none.problem();

    const Imported implicit = importText("Version 300\nColumns 0\nPoint 1 1\n");
    EXPECT_EQ(implicit.count(), 1);
    EXPECT_EQ(implicit.result.problems, 1);

    const Imported columns = importText("Version 300\nColumns 3\n  Street Char(10)\nData\nPoint 1 1\n",
                                        std::string_view("Elm\n"));
    EXPECT_EQ(columns.address(0).Street, "ELM");
    EXPECT_NE(columns.problem().find("COLUMNS declares 3 columns; 1 found"), std::string::npos) << columns.problem();

    const Imported text = importText(projected("Text\nPen (1,2,0)\nText \"no box\"\nPoint 1 1\n"));
    EXPECT_EQ(text.count(), 1);
    EXPECT_EQ(text.result.problems, 2);
}

TEST(MifDamage, BinaryGarbageEndsCleanly) {
    // A fixed pseudo-random stream (no unseeded randomness): bytes of every value, some line
    // ends, and the start of a real header so the data section is reached.
    std::string bytes = "Version 300\nColumns 0\nData\nRegion 3\n";
    uint32_t s = 12345;
    for (int i = 0; i < 200000; ++i) {
        s = s * 1664525u + 1013904223u;
        bytes += static_cast<char>(s >> 24);
    }
    const Imported m = importText(bytes, std::string_view(bytes));
    EXPECT_FALSE(m.result.cancelled);
    EXPECT_LE(m.result.records, 200000);

    // A line of 20 MB without a line end is cut, not kept whole.
    const Imported longLine = importText("Version 300\nColumns 0\nData\nPoint 1 1\n" + std::string(20u << 20, 'x'));
    EXPECT_EQ(longLine.count(), 1);
    EXPECT_EQ(longLine.result.problems, 1);
}

// --- progress and cancel -------------------------------------------------------------------------

std::string manyPoints(int n) {
    std::string body;
    for (int i = 0; i < n; ++i) body += "Point " + std::to_string(i % 180) + ".5 45.25\n";
    return lonLat(body);
}

TEST(MifProgress, ReportsSharesOfTheFileUpToAHundred) {
    std::vector<int> seen;
    const Imported m = importText(manyPoints(2000), std::nullopt,
                                  [&](TKorvane& map) { map.OnProgress = [&](TKorvane&, int p) { seen.push_back(p); }; });
    EXPECT_EQ(m.count(), 2000);
    ASSERT_GE(seen.size(), 50u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
}

TEST(MifProgress, CancelStopsAndKeepsWhatWasPosted) {
    const Imported m = importText(manyPoints(2000), std::nullopt, [](TKorvane& map) {
        map.OnProgress = [](TKorvane& k, int p) {
            if (p >= 50) k.CancelRequested = true;
        };
    });
    EXPECT_TRUE(m.result.cancelled);
    EXPECT_GT(m.count(), 900);
    EXPECT_LT(m.count(), 1100);
    EXPECT_EQ(m.map->Header().ObjectCount, m.count());
}

// --- files beside each other, and the real-world corpus ------------------------------------------

TEST(MifFiles, MidIsFoundBesideItsMifInAnyCase) {
    const test::TempDir dir;
    const auto touch = [&](const std::string& name) { test::writeFile(dir / name, "x\n"); };
    touch("a.MIF"), touch("a.MID"), touch("b.mif"), touch("b.mId"), touch("c.mif"), touch("noext"), touch("noext.mid");
    EXPECT_EQ(findMidBeside(dir / "a.MIF"), dir / "a.MID");
    EXPECT_EQ(findMidBeside(dir / "b.mif"), dir / "b.mId");
    EXPECT_EQ(findMidBeside(dir / "c.mif"), std::nullopt);
    EXPECT_EQ(findMidBeside(dir / "noext"), dir / "noext.mid");
    EXPECT_TRUE(sniffMIF("\xEF\xBB\xBFVERSION 300\n"));
    EXPECT_FALSE(sniffMIF("[IMG ID]\n"));
}

// Names travel as UTF-8: on Windows a narrow path would be read in the ANSI code page, the MIF
// would not open and its MID would not be found.
TEST(MifFiles, CyrillicNamesOpenFindTheirMidAndAreNamedInMessages) {
    const test::TempDir dir;
    const fs::path mif = dir / pathFromUtf8("Реки.MIF");
    test::writeFile(mif, "Version 300\nCoordSys NonEarth Units \"m\"\nColumns 1\n  Street Char(10)\nData\nPoint 1 2\n");
    test::writeFile(dir / pathFromUtf8("Реки.MID"), "\"Volga\"\n");
    EXPECT_EQ(findMidBeside(mif), dir / pathFromUtf8("Реки.MID"));
    const Imported m = importFile(mif);
    ASSERT_EQ(m.count(), 1);
    EXPECT_FALSE(m.result.firstProblem) << m.problem();
    EXPECT_EQ(m.address(0).Street, "VOLGA") << "the MID was read";

    const fs::path missing = dir / pathFromUtf8("Нет такой.mif");
    try {
        importFile(missing);
        ADD_FAILURE() << "a missing MIF must be reported";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(pathToUtf8(missing) + ": cannot open", 0), 0u) << e.what();
    }
}

struct CorpusCase {
    const char* file;
    int records, polygons, lines, notes, texts;
};

TEST(MifCorpus, RealFilesImportWholly) {
    // Records are the objects of each file; ogrinfo reads the same 16 from the GDAL file. Its
    // Rect and RoundRect become polygons, its Line, two Arcs and the collection's Line lines,
    // beside the one ellipse.
    const CorpusCase cases[] = {
        {"gdal_all_geoms.mif", 16, 4, 8, 7, 1},
        {"gdal_win1251.mif", 3, 1, 1, 1, 0},
        {"gdal_win1251_text.mif", 1, 0, 0, 0, 1},
        {"geotk_HY_WATER_AREA_POLYGON.mif", 86, 86, 0, 0, 0},
        {"rgdal_ps_cant_31.MIF", 44, 44, 0, 0, 0},
        {"wayfinder_denmark.mif", 1, 18, 0, 0, 0},
    };
    for (const CorpusCase& c : cases) {
        SCOPED_TRACE(c.file);
        const Imported m = importFile(kCorpus / c.file);
        EXPECT_EQ(m.result.records, c.records);
        EXPECT_EQ(m.kindCount(cPolygon), c.polygons);
        EXPECT_EQ(m.kindCount(cLine), c.lines);
        EXPECT_EQ(m.kindCount(cZametka), c.notes);
        EXPECT_EQ(m.kindCount(cText), c.texts);
        EXPECT_EQ(m.kindCount(cEllipse), std::string_view(c.file) == "gdal_all_geoms.mif" ? 1 : 0);
        EXPECT_EQ(m.result.skipped, 0);
        EXPECT_FALSE(m.result.firstProblem) << m.problem();
        EXPECT_FALSE(m.result.firstWarning);
    }
}

TEST(MifCorpus, CoordinatesLandWhereTheFilesPutThem) {
    // Denmark lies at 8-15 degrees east, 54.5-57.8 north: the wayfinder file writes latitude
    // first and must not come out transposed.
    const Imported dk = importFile(kCorpus / "wayfinder_denmark.mif");
    const TMapRect e = dk.map->MapExtent();
    EXPECT_GT(e.MinX, 8.0e6f);
    EXPECT_LT(e.MaxX, 15.2e6f);
    EXPECT_GT(e.MinY, -57.8e6f);
    EXPECT_LT(e.MaxY, -54.5e6f);

    // Projected metres stay metres.
    const Imported water = importFile(kCorpus / "geotk_HY_WATER_AREA_POLYGON.mif");
    EXPECT_EQ(water[0].points()[0], (TMapPoint{2470842.0f, -2447031.0f}));
    EXPECT_EQ(water[0].Brush.Style, 1); // BRUSH(1,0): no fill

    // The Cyrillic text of a WindowsCyrillic file is kept byte for byte, with its font colour.
    const Imported text = importFile(kCorpus / "gdal_win1251_text.mif");
    EXPECT_EQ(text[0].text()->Text, "\xCF\xEE\xEB\xE5");
    EXPECT_EQ(text[0].Pen.Color, 0x0000FF);
}

} // namespace
} // namespace kestrum
