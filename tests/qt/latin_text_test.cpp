// Map text in the Latin code pages: the same bytes are other letters in a 1252 or 1250 map than
// in a 1251 one, so they are drawn and measured by the map's own code page.

#include "component/korvane.h"
#include "headless.h"
#include "component/korvane_import.h"
#include "import/polish_styles.h"
#include "io/byte_source.h"
#include "model/codepage.h"
#include "qt_draw_object.h"
#include "qt_text_measurer.h"

#include <gtest/gtest.h>

#include <string>

using namespace kestrum;

namespace {

// "ìììììì" in 1252 is "мммммм" in 1251; "ąąąąąą" in 1250 is "№№№№№№".
const std::string kLatin1 = "\xEC\xEC\xEC\xEC\xEC\xEC";
const std::string kLatin2 = "\xB9\xB9\xB9\xB9\xB9\xB9";

TImage drawn(CodePage cp, const std::string& text) {
    qt::QtDrawObject d;
    d.TextCodePage = cp;
    d.TextFace = "Arial";
    d.TextHeight = 20;
    d.TextColor = rgbColor(0, 0, 0);
    d.Brush = {rgbColor(255, 255, 255), bsClear, nullptr};
    TImage buffer(200, 40, 0xFFFFFFFFu);
    d.SetCanvas(&buffer);
    d.DrawText(5, 5, false, text, 0);
    d.SetCanvas(nullptr);
    return buffer;
}

int inked(const TImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    return n;
}

} // namespace

TEST(LatinText, DrawnAndMeasuredByTheMapCodePage) {
    static const auto app = qt::makeHeadlessApplication();
    for (const auto& [cp, text] : {std::pair{CodePage::Cp1252, kLatin1}, std::pair{CodePage::Cp1250, kLatin2}}) {
        SCOPED_TRACE(static_cast<int>(cp));
        const TImage latin = drawn(cp, text), cyrillic = drawn(CodePage::Cp1251, text);
        EXPECT_GT(inked(latin), 20);
        EXPECT_NE(inked(latin), inked(cyrillic)) << "other letters, other pixels";

        qt::QtTextMeasurer measurer;
        measurer.useCodePage(cp);
        const double w = measurer.measure("Arial", 20, 400, text).width;
        measurer.useCodePage(CodePage::Cp1251);
        const double w1251 = measurer.measure("Arial", 20, 400, text).width;
        EXPECT_LT(w, w1251) << "ì and ą are narrower than м and №";
        EXPECT_EQ(w, qt::QtTextMeasurer(cp).measure("Arial", 20, 400, text).width);
    }
}

TEST(LatinText, AMapMeasuresItsTextsByItsOwnCodePage) {
    static const auto app = qt::makeHeadlessApplication();
    // One text label, the same bytes, in a 1252 and in a 1251 map.
    auto textWidth = [](std::string_view codePage) {
        TKorvane map;
        qt::QtTextMeasurer measurer; // made for 1251: the map tells it its own
        map.SetTextMeasurer(&measurer);
        const std::string mp = "[IMG ID]\nCodePage=" + std::string(codePage) + "\n[END-IMG ID]\n[POI]\nType=0x0100\nLabel=" +
                               kLatin1 + "\nData0=(1,2)\n[END]\n";
        MemorySource src({reinterpret_cast<const uint8_t*>(mp.data()), mp.size()});
        EXPECT_EQ(ImportPolish(map, src, builtinPolishStyles(), "t.mp").objects, 1);
        const TQEVMapObjectMem& o = map.Objects()[0];
        return o.Corners[1].X - o.Corners[0].X;
    };
    EXPECT_LT(textWidth("1252"), textWidth("1251"));
}
