// The header of Polish-format files, Garmin display codes in labels, the old section names,
// and a map's code page chosen from the letters of its text.

#include "component/korvane.h"
#include "component/korvane_import.h"
#include "import/polish_styles.h"
#include "import/polish_text.h"
#include "io/byte_source.h"
#include "model/codepage.h"
#include "render/street_label.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <string>

namespace kestrum {
namespace {

struct Map {
    std::unique_ptr<TKorvane> map = std::make_unique<TKorvane>();
    ImportResult result;
    std::string text(int i) const {
        const TQEVMapObjectMem& o = map->Objects()[i];
        const CodePage cp = map->Document().codePage;
        if (const TQEVMapText* t = o.text()) return toUtf8(cp, t->Text);
        if (const TQEVMapZametka* z = o.note()) return toUtf8(cp, z->Text);
        return toUtf8(cp, map->DecodeAddress(o).Street);
    }
};

Map import(const std::string& text) {
    Map m;
    MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    m.result = ImportPolish(*m.map, src, builtinPolishStyles(), "t.mp");
    return m;
}

TEST(PolishHeader, NameBecomesTheMapNameInTheFileCodePage) {
    // Name before CodePage: the name is read in the code page the header names anywhere.
    const Map m = import("[IMG ID]\nName=Saint-\xC9gr\xE8ve\nCodePage=1252\n[END-IMG ID]\n");
    EXPECT_EQ(m.map->Document().codePage, CodePage::Cp1252);
    EXPECT_EQ(toUtf8(CodePage::Cp1252, m.map->Header().NameMap.view()), "Saint-Égrève");
    ASSERT_TRUE(m.map->Document().textSource);
    EXPECT_EQ(m.map->Document().textSource->declaredCodePage, 1252);
    EXPECT_EQ(m.map->Document().textSource->foundEncoding, "Windows-1252");

    const Map plain = import("[IMG ID]\nName=Town\n[END-IMG ID]\n");
    EXPECT_EQ(plain.map->Header().NameMap.str(), "Town");
    EXPECT_EQ(plain.map->Document().codePage, CodePage::Cp1251) << "no code page named: the default";
    EXPECT_EQ(plain.map->Document().textSource->declaredCodePage, 0);
    EXPECT_EQ(plain.map->Document().textSource->foundEncoding, "ASCII");
}

TEST(PolishLabels, GarminCodesLeaveTheRoadNumberAndBlanks) {
    std::string out;
    EXPECT_TRUE(polish::withoutLabelCodes("~[0x04]A480", out));
    EXPECT_EQ(out, "A480");
    EXPECT_TRUE(polish::withoutLabelCodes("~[0X01]16", out));
    EXPECT_EQ(out, "16");
    EXPECT_TRUE(polish::withoutLabelCodes("~[0x2a]I-95", out));
    EXPECT_EQ(out, "I-95");
    EXPECT_TRUE(polish::withoutLabelCodes("Rue~[0x1f]Victor Hugo", out));
    EXPECT_EQ(out, "Rue Victor Hugo");
    EXPECT_TRUE(polish::withoutLabelCodes("D1075~[0x1c] ~[0x1e]Route", out));
    EXPECT_EQ(out, "D1075 Route");
    out = "kept";
    EXPECT_FALSE(polish::withoutLabelCodes("Plain ~[ and ~[0x] and ~[0xZZ]", out));
    EXPECT_EQ(out, "kept");

    const std::string raw = "~[0x04]A480";
    const Map m = import("[POLYLINE]\nType=0x01\nLabel=" + raw + "\nData0=(1,1),(2,2)\n[END]\n");
    ASSERT_EQ(m.result.objects, 1);
    EXPECT_EQ(m.text(0), "A480");
    const TQEVMapObjectMem& o = m.map->Objects()[0];
    ASSERT_EQ(o.HasExtra, 1) << "the label as written is kept";
    EXPECT_EQ((*o.Extra)[0], raw.size());
    EXPECT_EQ(std::string(o.Extra->begin() + 1, o.Extra->begin() + 1 + raw.size()), raw);
}

TEST(PolishSections, OldNamesAndDataZeroZeroImportAsTheNewOnes) {
    const std::string body = "Type=0x2f06\nLabel=Bank\nData00=(1,1),(1,2),(2,2)\n";
    for (const auto& [open, close, kind] :
         {std::tuple{"[RGN10]", "[END-RGN10]", cZametka}, std::tuple{"[RGN20]", "[END-RGN20]", cZametka},
          std::tuple{"[POI]", "[END]", cZametka}, std::tuple{"[RGN40]", "[END-RGN40]", cLine},
          std::tuple{"[POLYLINE]", "[END]", cLine}, std::tuple{"[RGN80]", "[END-RGN80]", cPolygon},
          std::tuple{"[POLYGON]", "[END]", cPolygon}}) {
        SCOPED_TRACE(open);
        const Map m = import(std::string(open) + "\n" + body + close + "\n");
        EXPECT_EQ(m.result.problems, 0);
        ASSERT_EQ(m.result.objects, 1);
        EXPECT_EQ(m.map->Objects()[0].Kind, kind);
        if (kind != cZametka) {
            EXPECT_EQ(m.map->Objects()[0].DataCount, 3) << "Data00 is Data0";
        }
    }
}

TEST(PolishCodePage, UndeclaredLatinTextSwitchesWhatWasPostedBefore) {
    // Plain ASCII first, then a UTF-8 label with Cyrillic, then one with "é": 1251 holds the
    // first two; the third needs a Latin code page, which then cannot keep the Cyrillic one, so
    // the map stays 1251 and the "é" is approximated.
    const Map stays = import("[POI]\nType=0x0100\nLabel=Москва\nData0=(1,1)\n[END]\n"
                             "[POI]\nType=0x0100\nLabel=Café\nData0=(1,1)\n[END]\n");
    EXPECT_EQ(stays.map->Document().codePage, CodePage::Cp1251);
    EXPECT_EQ(stays.text(1), "Cafe");
    EXPECT_EQ(stays.result.warnings, 2); // UTF-8 undeclared, and the letter missing

    // Latin letters after ASCII ones: the map becomes 1252 and its earlier text and names with it.
    const Map moves = import("[IMG ID]\nName=Plan\n[END-IMG ID]\n"
                             "[POLYGON]\nType=0x50\nLabel=Bois\nData0=(1,1),(1,2),(2,2)\n[END]\n"
                             "[POI]\nType=0x0100\nLabel=Saint-Égrève\nData0=(1,1)\n[END]\n");
    EXPECT_EQ(moves.map->Document().codePage, CodePage::Cp1252);
    EXPECT_EQ(moves.text(1), "Saint-Égrève");
    EXPECT_EQ(moves.text(0), "BOIS") << "a polygon shows its street, in capitals";
    EXPECT_EQ(moves.result.warnings, 1) << "only the undeclared UTF-8";
    EXPECT_EQ(toUtf8(CodePage::Cp1252, moves.map->DecodeAddress(moves.map->Objects()[0]).Town), "LES")
        << "the Russian type name of our table, spelt in Latin";
    EXPECT_EQ(moves.map->Document().textSource->foundEncoding, "UTF-8");
}

TEST(PolishCodePage, ALatinMapWrittenForWindows1251KeepsItsBaseLetters) {
    // A .map file is read as Windows-1251: a 1252 map is recoded before it is written, and
    // only the letters 1251 lacks lose their accents.
    Map m = import("[IMG ID]\nName=Plan \xC9\nCodePage=1252\n[END-IMG ID]\n"
                   "[POI]\nType=0x0100\nLabel=Saint-\xC9gr\xE8ve \xAB" "1\xBB\nData0=(1,1)\n[END]\n"
                   "[POI]\nType=0x0100\nLabel=Plain\nData0=(1,1)\n[END]\n");
    ASSERT_EQ(m.map->Document().codePage, CodePage::Cp1252);
    const int lossy = polish::recodeMap(*m.map, CodePage::Cp1251);
    EXPECT_EQ(m.map->Document().codePage, CodePage::Cp1251);
    EXPECT_EQ(m.text(0), "Saint-Egreve «1»") << "the quotes exist in 1251";
    EXPECT_EQ(m.text(1), "Plain");
    EXPECT_EQ(toUtf8(CodePage::Cp1251, m.map->Header().NameMap.view()), "Plan E");
    EXPECT_EQ(toUtf8(CodePage::Cp1251, m.map->DecodeAddress(m.map->Objects()[0]).Street), "SAINT-EGREVE «1»");
    EXPECT_EQ(lossy, 3) << "the text, its street and the map name";
}

TEST(PolishCodePage, StreetNamesOfLatinMapsAreLoweredByTheirOwnLetters) {
    const std::tuple<CodePage, const char*, const char*> cases[] = {
        {CodePage::Cp1252, "STRAßE ÉCOLE × 2", "Straße école × 2"},
        {CodePage::Cp1250, "ŁÓDŹ ŠKODA", "Łódź škoda"},
        {CodePage::Cp1251, "УЛИЦА ЛЕНИНА", "Улица ленина"},
    };
    for (const auto& [cp, in, out] : cases) {
        std::string name = fromUtf8(cp, in);
        NormaliseStreetName(name, cp);
        EXPECT_EQ(toUtf8(cp, name), out);
    }
}

} // namespace
} // namespace kestrum
