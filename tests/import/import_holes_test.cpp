// Rings of one feature that lie inside its first ring are holes of one area, in both foreign
// formats; rings elsewhere stay areas of their own. The hole stays bare when drawn.

#include "component/korvane.h"
#include "component/korvane_import.h"
#include "import/polish_styles.h"
#include "io/byte_source.h"
#include "model/polygon_rings.h"
#include "support/draw_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>

namespace kestrum {
namespace {

namespace fs = std::filesystem;

MemorySource sourceOf(std::string_view s) { return MemorySource({reinterpret_cast<const uint8_t*>(s.data()), s.size()}); }

std::size_t ringCount(const TQEVMapObjectMem& o) { return PolygonRings(o.points()).size(); }

// A park with two ponds, and apart from it a wood with a clearing. Data00 is Data0 too.
constexpr std::string_view kParks = "[IMG ID]\nCodePage=1251\n[END-IMG ID]\n"
                                    "[RGN80]\nType=0x4e\nLabel=Park\n"
                                    "Data00=(50.0,10.0),(50.0,10.1),(50.1,10.1),(50.1,10.0)\n"
                                    "Data0=(50.02,10.02),(50.02,10.04),(50.04,10.04),(50.04,10.02)\n"
                                    "Data0=(51.0,11.0),(51.0,11.1),(51.1,11.1),(51.1,11.0),(51.0,11.0)\n"
                                    "Data0=(50.06,10.06),(50.06,10.08),(50.08,10.08)\n"
                                    "Data0=(51.05,11.05),(51.05,11.06),(51.06,11.06)\n"
                                    "[END]\n";

TEST(ImportHoles, PolishRingsInsideTheFirstAreItsHolesAndOthersAreasOfTheirOwn) {
    TKorvane map;
    MemorySource src = sourceOf(kParks);
    const ImportResult r = ImportPolish(map, src, builtinPolishStyles(), "parks.mp");
    EXPECT_EQ(r.problems, 0);
    ASSERT_EQ(map.Objects().count(), 2);
    const TQEVMapObjectMem& park = map.Objects()[0];
    const TQEVMapObjectMem& wood = map.Objects()[1];
    EXPECT_EQ(ringCount(park), 3u);
    EXPECT_EQ(ringCount(wood), 2u) << "the clearing lies in the wood, a later ring";
    EXPECT_FALSE(insideArea(park.points(), 10030000, -50030000)) << "in a pond";
    EXPECT_TRUE(insideArea(park.points(), 10050000, -50050000));
    EXPECT_FALSE(insideArea(wood.points(), 11058000, -51052000)) << "in the clearing";
    EXPECT_EQ(map.DecodeAddress(wood).Street, map.DecodeAddress(park).Street) << "every area carries the label";
}

TEST(ImportHoles, MifRegionRingsInsideTheFirstAreItsHolesAndOthersAreasOfTheirOwn) {
    constexpr std::string_view mif = "Version 300\nColumns 1\n  Street Char(20)\nData\n"
                                     "Region 3\n  4\n0 0\n100 0\n100 100\n0 100\n"
                                     "  3\n200 0\n300 0\n200 100\n"  // an island apart
                                     "  4\n40 40\n60 40\n60 60\n40 60\n" // a courtyard
                                     "Pline 2\n0 0\n1 1\n";
    constexpr std::string_view mid = "\"Main\"\n\"Side\"\n";
    TKorvane map;
    MemorySource mifSrc = sourceOf(mif), midSrc = sourceOf(mid);
    const ImportResult r = ImportMIF(map, mifSrc, &midSrc, "block.mif");
    EXPECT_FALSE(r.firstProblem);
    ASSERT_EQ(map.Objects().count(), 3);
    EXPECT_EQ(ringCount(map.Objects()[0]), 2u) << "the block and its courtyard";
    EXPECT_EQ(ringCount(map.Objects()[1]), 1u) << "the island";
    EXPECT_EQ(map.Objects()[1].points().size(), 3u);
    EXPECT_EQ(map.Objects()[2].Kind, cLine);
    EXPECT_FALSE(insideArea(map.Objects()[0].points(), 50, -50)) << "the courtyard";
}

TEST(ImportHoles, AnImportedHoleIsBareOnScreen) {
    test::DrawMap f(test::DrawMap::Pixels);
    MemorySource src = sourceOf(kParks);
    ImportPolish(f.map, src, builtinPolishStyles(), "parks.mp");
    f.map.Objects()[0].Brush = {rgbColor(0, 150, 0), 0};
    f.map.RecomputeExtent();
    f.map.ZoomToMap();
    const TImage& img = f.redraw();
    const TPoint pond = f.map.View().toScreen({10030000, -50030000});
    const TPoint grass = f.map.View().toScreen({10050000, -50030000});
    EXPECT_EQ(img.colorAt(pond.X, pond.Y), 0xFFFFFF);
    EXPECT_EQ(img.colorAt(grass.X, grass.Y), rgbColor(0, 150, 0));
}

TEST(ImportHoles, DenmarksIslandsStayApart) {
    // One region of 18 rings: islands beside each other, none within another.
    TKorvane map;
    ImportMIFFile(map, fs::path(KESTRUM_SHARED_DIR) / "corpus" / "mif" / "wayfinder_denmark.mif");
    ASSERT_EQ(map.Objects().count(), 18);
    for (const TQEVMapObjectMem& o : map.Objects()) EXPECT_EQ(ringCount(o), 1u);
}

} // namespace
} // namespace kestrum
