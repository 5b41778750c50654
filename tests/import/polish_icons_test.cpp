// Pictures of Polish-format points without "icons.lib": every icon number of the style table
// shows a picture of its own meaning from the built-in library.

#include "component/korvane.h"
#include "icons/builtin_library.h"
#include "icons/qev_icon.h"
#include "import/polish_icons.h"
#include "component/korvane_import.h"
#include "import/polish_styles.h"
#include "io/byte_source.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace kestrum {
namespace {

TEST(PolishIcons, EveryIconNumberOfTheStyleTableNamesAPictureOfTheBuiltInLibrary) {
    TQevIcon icons;
    MemorySource src(builtinIconLibrary());
    icons.AddLibrary("Default").LoadFromStream(src);

    std::set<int> used;
    for (const auto& row : builtinPolishStyles().rows())
        if (row.key.ends_with("|3") && row.style.column7 > 0) used.insert(row.style.column7);
    ASSERT_EQ(used.size(), kPolishIcons.size());

    std::set<int> listed;
    int previous = 0;
    for (const PolishIcon& icon : kPolishIcons) {
        SCOPED_TRACE("icon " + std::to_string(icon.number));
        EXPECT_GT(icon.number, previous) << "in increasing order, each once";
        previous = icon.number;
        listed.insert(icon.number);
        EXPECT_EQ(icon.builtin < 0, !icon.name.empty()) << "either a built-in picture or one of our own";
        const std::string picture = polishBuiltinPicture(0, icon.number);
        EXPECT_NE(picture, "39") << "not the generic point of interest";
        EXPECT_NE(icons.GetBitmap("default", picture), nullptr) << picture;
    }
    EXPECT_EQ(listed, used);
    EXPECT_EQ(polishBuiltinPicture(0, 7777), "39") << "a number of some other table: the generic picture";
}

TEST(PolishIcons, PointsOfDifferentTypesShowDifferentPictures) {
    // Fuel, a restaurant by its type, a cemetery, a building, a navigation light, a wifi spot.
    const std::string text = "[IMG ID]\nCodePage=1252\n[END-IMG ID]\n"
                             "[POI]\nType=0x2f01\nLabel=Fuel\nData0=(1,1)\n[END]\n"
                             "[POI]\nType=0x2a00\nLabel=Food\nData0=(1,1)\n[END]\n"
                             "[POI]\nType=0x6403\nLabel=Cemetery\nData0=(1,1)\n[END]\n"
                             "[POI]\nType=0x6402\nLabel=Block\nData0=(1,1)\n[END]\n"
                             "[POI]\nType=0x1610\nLabel=Light\nData0=(1,1)\n[END]\n"
                             "[POI]\nType=0xF615\nLabel=Wifi\nData0=(1,1)\n[END]\n";
    const std::map<std::string, std::string> expected = {{"Fuel", "0"},          {"Food", "1"},
                                                         {"Cemetery", "18"},     {"Block", "MP-BUILDING"},
                                                         {"Light", "MP-NAVIGATION-LIGHT"}, {"Wifi", "58"}};
    for (const PolishIconSource source : {PolishIconSource::BuiltIn, PolishIconSource::External}) {
        TKorvane map;
        MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
        const ImportResult r = ImportPolish(map, src, builtinPolishStyles(), "icons.mp", {source});
        ASSERT_EQ(r.objects, 6);
        for (int i = 0; i < 6; ++i) {
            const TQEVMapZametka* note = map.Objects()[i].note();
            ASSERT_NE(note, nullptr);
            if (source == PolishIconSource::BuiltIn) {
                EXPECT_EQ(note->LibName.str(), "default");
                EXPECT_EQ(note->IconName.str(), expected.at(note->Text));
                EXPECT_NE(map.BuiltinIcons().GetBitmap("default", note->IconName.str()), nullptr);
            } else {
                // icons.lib beside the module wins: its picture number - 1, unchanged.
                EXPECT_EQ(note->LibName.str(), "icons");
            }
        }
        if (source == PolishIconSource::External) {
            EXPECT_EQ(map.Objects()[1].note()->IconName.str(), "18");
            EXPECT_EQ(map.Objects()[5].note()->IconName.str(), "112");
        }
    }
}

} // namespace
} // namespace kestrum
