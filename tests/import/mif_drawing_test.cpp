// Imported MIF objects on the screen: pens as wide in pixels as MapInfo draws them at every
// zoom, also after a trip through a ".MAP" file, while pens in map units still grow.

#include "import/mif_import.h"
#include "io/byte_source.h"
#include "io/map_writer.h"
#include "support/draw_map.h"

#include <gtest/gtest.h>

#include <span>
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

} // namespace
} // namespace kestrum
