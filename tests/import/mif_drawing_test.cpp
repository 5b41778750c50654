// Imported MIF objects on the screen: pens as wide in pixels as MapInfo draws them at every
// zoom, also after a trip through a ".MAP" file, while pens in map units still grow.

#include "component/korvane_import.h"
#include "io/byte_source.h"
#include "icons/qev_icon.h"
#include "io/map_writer.h"
#include "support/draw_map.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>
#include <string>

namespace kestrum {
namespace {

constexpr int32_t kBlack = 0, kGreen = 0x00FF00;

void importInto(TKorvane& map, const std::string& mif) {
    MemorySource src({reinterpret_cast<const uint8_t*>(mif.data()), mif.size()});
    const ImportResult r = ImportMIF(map, src, nullptr, "draw.mif");
    ASSERT_FALSE(r.firstProblem) << r.firstProblem->message;
}

// A green square from (20, 40) to (180, 110) on the map (Y south), with the given pen.
std::string square(std::string_view pen) {
    return "Version 300\nCoordSys NonEarth Units \"m\"\nColumns 0\nData\n"
           "Region 1\n  4\n20 -40\n180 -40\n180 -110\n20 -110\n" +
           std::string(pen) + "    Brush (2,65280,65280)\n";
}

// Pixels of `colour` in column x between rows y0 and y1 (exclusive).
int run(const TImage& img, int x, int y0, int y1, int32_t colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y) n += img.colorAt(x, y) == colour;
    return n;
}

// The top edge's thickness at 100 % (row 40) and at 400 % with the view moved so that the edge
// lands on row 40 again.
std::pair<int, int> edgeAtTwoZooms(test::DrawMap& m) {
    m.map.SetScale(100); // first: a change of scale keeps the view's centre
    m.map.SetXWind(0), m.map.SetYWind(0);
    const int near = run(m.redraw(), 100, 20, 75, kBlack);
    EXPECT_EQ(m.map.BackBuffer().colorAt(100, 60), kGreen);
    m.map.SetScale(400);
    m.map.SetXWind(0), m.map.SetYWind(30);
    const int far = run(m.redraw(), 100, 20, 75, kBlack);
    EXPECT_EQ(m.map.BackBuffer().colorAt(100, 60), kGreen);
    return {near, far};
}

TEST(MifDrawing, PenWidthsArePixelsAtEveryZoom) {
    struct Case {
        const char* pen;
        int pixels;
    };
    // No PEN is MapInfo's one pixel; 3 is three pixels; 25 is 1.5 points, two pixels.
    for (const Case& c : {Case{"", 1}, Case{"    Pen (3,2,0)\n", 3}, Case{"    Pen (25,2,0)\n", 2}}) {
        SCOPED_TRACE(c.pen);
        test::DrawMap m(test::DrawMap::Pixels);
        importInto(m.map, square(c.pen));
        ASSERT_EQ(m.map.Objects().count(), 1);
        const auto [near, far] = edgeAtTwoZooms(m);
        EXPECT_EQ(near, c.pixels);
        EXPECT_EQ(far, c.pixels) << "zooming in must not widen a MapInfo pen";

        // The same after writing the map as a ".MAP" and reading it back.
        const std::vector<uint8_t> bytes = writeMapToBytes(m.map.Document());
        test::DrawMap back(test::DrawMap::Pixels);
        MemorySource src(bytes);
        back.map.LoadFromStream(src);
        ASSERT_EQ(back.map.Objects().count(), 1);
        EXPECT_EQ(back.map.Objects()[0].Pen, m.map.Objects()[0].Pen);
        const auto [near2, far2] = edgeAtTwoZooms(back);
        EXPECT_EQ(near2, c.pixels);
        EXPECT_EQ(far2, c.pixels);
    }
}

TEST(MifDrawing, PensInMapUnitsStillGrowWithTheZoom) {
    // A ".MAP" pen without the pixel bit: width 1 in map units is 4 pixels at 400 %.
    test::DrawMap m(test::DrawMap::Pixels);
    importInto(m.map, square(""));
    TQEVMapObjectMem& o = m.map.Objects()[0];
    o.Pen.Flags = 0;
    const auto [near, far] = edgeAtTwoZooms(m);
    EXPECT_EQ(near, 1);
    EXPECT_EQ(far, 4);
}

// A MIF of one point at (100, 75) on the screen with the given symbol clause.
std::string point(std::string_view symbol) {
    return "Version 300\nCoordSys NonEarth Units \"m\"\nColumns 0\nData\nPoint 100 -75\n" + std::string(symbol);
}

TEST(MifDrawing, SymbolsShowTheirShapeInTheirColourAndSize) {
    constexpr int32_t kBack = 0xFFFFFF, kRed = 0x0000FF, kBlue = 0xFF0000;
    struct Probe {
        int dx, dy;
        int32_t colour;
    };
    struct Case {
        const char* symbol;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        // A red filled circle of 12 points: 16 pixels across, so 5 pixels out is red, 9 is not.
        {"    Symbol (34,16711680,12)\n", {{0, 0, kRed}, {5, 0, kRed}, {0, -5, kRed}, {9, 0, kBack}, {6, 6, kBack}}},
        // A blue square of 24 points (32 pixels): its corners are filled, beyond them nothing.
        {"    Symbol (32,255,24)\n", {{0, 0, kBlue}, {9, 9, kBlue}, {-10, -10, kBlue}, {14, 0, kBack}}},
        // An open circle: the middle shows the map through it.
        {"    Symbol (40,255,24)\n", {{0, 0, kBack}, {0, 11, kBlue}, {-11, 0, kBlue}, {15, 0, kBack}}},
        // No symbol: MapInfo's black star, its centre black.
        {"", {{0, 0, kBlack}, {0, 9, kBack}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.symbol);
        test::DrawMap m(test::DrawMap::Pixels, kBack);
        importInto(m.map, point(c.symbol));
        const TImage& img = m.redraw();
        for (const Probe& p : c.probes)
            EXPECT_EQ(img.colorAt(100 + p.dx, 75 + p.dy), p.colour) << p.dx << "," << p.dy;
    }

    // A shadowed square keeps its grey shadow whatever its colour.
    test::DrawMap shadow(test::DrawMap::Pixels, kBack);
    importInto(shadow.map, point("    Symbol (44,255,24)\n"));
    const TImage& img = shadow.redraw();
    EXPECT_EQ(img.colorAt(100, 75), kBlue);
    EXPECT_EQ(img.colorAt(100 + 10, 75 + 10), 0x808080);
}

TEST(MifDrawing, SymbolsAreDrawnWhenAnAttachedLibraryLacksThem) {
    // A user's own "icons.lib" has no MapInfo library: the built-in one answers.
    test::DrawMap m(test::DrawMap::Pixels, 0xFFFFFF);
    TQevIcon icons;
    icons.AddLibrary("Default");
    m.map.QevMapIcon(&icons);
    importInto(m.map, point("    Symbol (32,16711680,12)\n"));
    EXPECT_EQ(m.redraw().colorAt(100, 75), 0x0000FF);
    // Hit testing finds the note where it is drawn, 16 pixels across, and not beyond.
    EXPECT_EQ(m.map.HitTest({106, 75}).size(), 1u);
    EXPECT_TRUE(m.map.HitTest({112, 75}).empty());
    m.map.QevMapIcon(nullptr);
}

} // namespace
} // namespace kestrum
