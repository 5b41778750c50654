// The Polish-format importer: the style table, coordinates, styles and addresses of the objects
// made, the real files of the shared corpus, and damaged input.

#include "component/korvane.h"
#include "component/korvane_import.h"
#include "import/polish_styles.h"
#include "import/polish_text.h"
#include "io/byte_source.h"
#include "io/file_open.h"
#include "model/codepage.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace kestrum {
namespace {

namespace fs = std::filesystem;

struct Imported {
    std::unique_ptr<TKorvane> map = std::make_unique<TKorvane>();
    ImportResult result;

    const TQevMapList& objects() const { return map->Objects(); }
    const TQEVMapObjectMem& operator[](int i) const { return map->Objects()[i]; }
    // Address names as UTF-8, for comparing with the literals of the tests.
    CodePage cp() const { return map->Document().codePage; }
    std::string town(int i) const { return toUtf8(cp(), map->DecodeAddress((*this)[i]).Town); }
    std::string street(int i) const { return toUtf8(cp(), map->DecodeAddress((*this)[i]).Street); }
    std::string house(int i) const { return toUtf8(cp(), map->DecodeAddress((*this)[i]).House); }
};

Imported importText(std::string_view text, const PolishImportOptions& options = {},
                    const StyleTable& styles = builtinPolishStyles()) {
    Imported im;
    MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    im.result = ImportPolish(*im.map, src, styles, "test.mp", options);
    return im;
}

Imported importFile(const fs::path& path, const PolishImportOptions& options = {}) {
    Imported im;
    im.result = ImportPolishFile(*im.map, pathToUtf8(path), builtinPolishStyles(), options);
    return im;
}

std::string cp1251(std::string_view utf8) { return fromUtf8(CodePage::Cp1251, utf8); }

// Street and town names as the dictionaries keep them: in capitals.
std::string U(std::string_view utf8, CodePage cp = CodePage::Cp1251) {
    return toUtf8(cp, toUpper(cp, fromUtf8(cp, utf8)));
}

std::string utf8Text(const TQEVMapObjectMem& o, CodePage cp = CodePage::Cp1251) {
    if (const TQEVMapText* t = o.text()) return toUtf8(cp, t->Text);
    if (const TQEVMapZametka* z = o.note()) return toUtf8(cp, z->Text);
    return {};
}

// A one-feature file; `body` holds the lines between the header and [END].
std::string feature(std::string_view section, std::string_view body, std::string_view codePage = "65001") {
    std::string s = "[IMG ID]\nCodePage=" + std::string(codePage) + "\n[END-IMG ID]\n";
    return s + "[" + std::string(section) + "]\n" + std::string(body) + "\n[END]\n";
}

std::vector<std::string> split(std::string_view list) {
    std::vector<std::string> out;
    std::stringstream ss{std::string(list)};
    for (std::string item; std::getline(ss, item, ',');)
        out.push_back(std::string(trimmed(item)));
    return out;
}

// --- the style table -----------------------------------------------------------------------------

TEST(PolishStyleTable, BuiltinTableHoldsEveryListedKeyInOrder) {
    const StyleTable& t = builtinPolishStyles();
    EXPECT_TRUE(t.badLines().empty());
    ASSERT_EQ(t.size(), 557u);
    const std::vector<std::string> polygons = split(
        "0000, 0001, 0002, 0003, 0004, 0005, 0006, 0007, 0008, 0009, 000A, 000B, 000C, 000D, 000E, "
        "0013, 0014, 0015, 0016, 0017, 0018, 0019, 001A, 001E, 001F, 0020, 0028, 0029, 0032, 0036, "
        "003B, 003C, 003D, 003E, 003F, 0040, 0041, 0042, 0043, 0044, 0045, 0046, 0047, 0048, 0049, "
        "004A, 004B, 004C, 004D, 004E, 004F, 0050, 0051, 0052, 0053, 0065, 006A, 006B, 006C, 006D, "
        "006E, 006F, 0070, 0071, 0072, 0073, 0074, 0075, 0076, 0077, 0078, 0079, 007A, 007B, 007C, "
        "007D, 007E, 007F, 0080, 0081, 0082, 0083, 0084, 0085, 0086, 0087, 0088, 0089, 008A, 008B, "
        "008C, 008D, 008E, 008F, 0090, 0091, 0092, 0093, 0094, 0095, 0096, 0097");
    const std::vector<std::string> lines = split(
        "0000, 0001, 0002, 0003, 0004, 0005, 0006, 0007, 0008, 0009, 000A, 000B, 000C, 0010, 0014, "
        "0015, 0016, 0018, 0019, 001A, 001B, 001C, 001D, 001E, 001F, 0020, 0021, 0022, 0023, 0026, "
        "0027, 0028, 0029, 002A, 0031, 0033, 0034, 0037, 003E, 003F, 0040, 0042, 0043, 0044, 0045, "
        "0046");
    const std::vector<std::string> points = split(
        "0000, 0001, 0002, 0003, 0004, 0005, 0006, 0007, 0008, 0009, 000A, 000B, 000C, 000D, 000E, "
        "0013, 0014, 0016, 0017, 0018, 0019, 001A, 001B, 001C, 001D, 001E, 001F, 0021, 0022, 0023, "
        "0026, 0028, 0029, 0032, 0036, 003B, 003C, 003D, 003E, 003F, 0040, 0041, 0042, 0043, 0044, "
        "0045, 0046, 0047, 0048, 0049, 004A, 004C, 004E, 004F, 0050, 0051, 0052, 0053, 006C, 0077, "
        "007A, 007B, 007D, 007E, 0080, 008B, 0100, 0200, 0300, 0400, 0500, 0600, 0700, 0800, 0900, "
        "0A00, 0B00, 0C00, 0D00, 0E00, 0F00, 0xF615, 1000, 1100, 1200, 1300, 1400, 1500, 1600, 1601, "
        "1602, 1603, 1604, 1605, 1606, 1607, 1608, 1609, 160A, 160B, 160C, 160D, 160E, 160F, 1610, "
        "1611, 1612, 1614, 1615, 1616, 1700, 1703, 1802, 1C06, 1D00, 1E00, 1EFF, 1F00, 1FFF, 2000, "
        "2101, 2102, 2103, 2104, 2105, 2106, 2107, 2108, 2109, 210A, 210B, 210C, 210D, 210E, 210F, "
        "2110, 2111, 2112, 2113, 2114, 2115, 2116, 2117, 2118, 2119, 211A, 211B, 211C, 211D, 211E, "
        "211F, 2200, 220A, 2210, 2218, 221A, 221B, 22D7, 2300, 2303, 2309, 230B, 2313, 231B, 2400, "
        "2500, 2600, 2618, 261F, 2700, 2800, 2900, 29FF, 2A00, 2A01, 2A02, 2A03, 2A04, 2A06, 2A07, "
        "2A0A, 2A0C, 2A0D, 2A0E, 2A10, 2AFF, 2B00, 2B01, 2B02, 2B03, 2B04, 2BFF, 2C00, 2C01, 2C02, "
        "2C03, 2C04, 2C05, 2C06, 2C07, 2C08, 2C09, 2C0A, 2C0B, 2D00, 2D01, 2D02, 2D03, 2D04, 2D05, "
        "2D06, 2D07, 2D08, 2D09, 2D0A, 2DFF, 2E00, 2E01, 2E02, 2E03, 2E04, 2E05, 2E06, 2E07, 2E08, "
        "2E09, 2E0A, 2E0B, 2EFF, 2F00, 2F01, 2F02, 2F03, 2F04, 2F05, 2F06, 2F07, 2F08, 2F09, 2F0A, "
        "2F0B, 2F0C, 2F0D, 2F0E, 2F0F, 2F10, 2F11, 2F12, 2F13, 2F14, 2F15, 2F16, 3000, 3001, 3002, "
        "3003, 3004, 3005, 3006, 3007, 3008, 3200, 3600, 3B00, 3C00, 4200, 4300, 4400, 4500, 4600, "
        "4700, 4800, 4900, 4A00, 4B00, 4E00, 4F00, 5000, 5100, 5200, 5300, 53FF, 5400, 5500, 5700, "
        "5800, 5901, 5902, 5903, 5905, 5D00, 5E00, 5F00, 6100, 6200, 6300, 6400, 6401, 6402, 6403, "
        "6404, 6405, 6406, 6408, 640A, 640B, 640C, 640D, 640E, 640F, 6410, 6411, 6413, 6414, 6415, "
        "6416, 6500, 6508, 6509, 650C, 650E, 650F, 6511, 6512, 6513, 6600, 6601, 6604, 6606, 6607, "
        "6608, 660A, 660F, 6610, 6612, 6613, 6614, 6616, 6F00, 7C00, 9700, 9900, A3C3, A700, AFBA, "
        "B000, B0BB, CA0E, D000, D100, DE00, E8B1, F000, F001, F002, F005, F006, F007, F008, F00A, "
        "F00B, F100, F101, F102, F103, F104, F105, F201, F202, F203, F205, F207, F208, F300, F301, "
        "F302, F303, F304, F501, F502, F503, F504, F505, F601, f602, f603, f604, f605, F608, f60c, "
        "f60e, f60f, f613, f614, F615, f701, f702, f703, f704, f705, f706, f707, f708, f709, f70a, "
        "f70b, f70c, F801, F901");
    ASSERT_EQ(polygons.size(), 102u);
    ASSERT_EQ(lines.size(), 46u);
    ASSERT_EQ(points.size(), 409u);
    std::vector<std::string> expected;
    for (const auto& c : polygons)
        expected.push_back(c + "|0");
    for (const auto& c : lines)
        expected.push_back(c + "|1");
    for (const auto& c : points)
        expected.push_back(c + "|3");
    std::vector<std::string> keys;
    for (const auto& row : t.rows())
        keys.push_back(row.key);
    EXPECT_EQ(keys, expected);
    std::set<std::string> upper;
    for (const auto& k : keys)
        upper.insert(toUpper(CodePage::Cp1252, k));
    EXPECT_EQ(upper.size(), keys.size()) << "keys are unique regardless of case";
}

TEST(PolishStyleTable, QuotedRowsAreVerbatimAndTheRestPointIntoTheBuiltinIcons) {
    const std::vector<std::string> quotedRows = {
        "0000|1=12632256,150,0,0,1,0,0,Дорога",
        "0001|0=14145495,0,0,14737632,0,0,0,Квартал",
        "0001|1=12632256,1000,0,0,1,0,0,Автомагистраль",
        "0006|0=9737417,0,0,9737417,0,0,5000,Гараж",
        "0006|1=16777215,50,0,0,0,0,0,Улица",
        "000A|1=0,10,1,0,1,0,0,Грунтовая дорога",
        "0013|0=45232,0,0,45232,0,0,20000,Здание",
        "0014|1=0,500,2,16777215,0,0,1,Железная дорога",
        "001A|0=0,0,0,8421504,7,0,1000,Кладбище",
        "001E|1=255,5000,3,16777215,0,0,100,Международная граница",
        "001F|1=16744448,150,0,0,1,0,0,Река",
        "0050|0=32768,0,0,32768,0,0,0,Лес",
        "0080|0=0,0,5,0,1,0,0,Надпись",
        "0100|3=0,0,0,16711680,1,1000000,0,Мегаполис (свыше 10 млн.)",
        "0D00|3=0,0,0,16711680,1,3500,0,Населённый пункт (1-2 тыс.)",
        "1100|3=0,0,0,0,1,1000,0,Поселок (менее 100)",
        "1600|3=0,0,0,0,1,5000,135,Маяк",
        "2A00|3=33023,0,0,0,1,2000,19,Предприятие питания",
        "2AFF|3=0,0,0,0,1,2000,0, ",
        "6402|3=0,0,0,0,1,200,68,Здание",
        "F615|3=0,0,0,15793151,1,2000,113,Точка доступа Wi-FI",
    };
    std::set<std::string> fileLines;
    {
        std::stringstream ss{std::string(builtinPolishStylesText())};
        for (std::string line; std::getline(ss, line);)
            fileLines.insert(line);
    }
    std::set<std::string> quotedKeys;
    for (const auto& q : quotedRows) {
        EXPECT_TRUE(fileLines.count(q)) << q;
        quotedKeys.insert(q.substr(0, q.find('=')));
    }
    for (const auto& row : builtinPolishStyles().rows()) {
        if (quotedKeys.count(row.key) || row.key.ends_with("|0") || row.key.ends_with("|1")) continue;
        // Icon numbers count from 1: N names picture N - 1 of the built-in library.
        EXPECT_GE(row.style.column7, 0) << row.key;
        EXPECT_LE(row.style.column7, 62) << row.key << " names no picture of the built-in library";
        EXPECT_FALSE(row.style.typeName.empty()) << row.key;
    }
}

TEST(PolishStyleTable, ParsesColumnsAsTheFormatSays) {
    const StyleTable t = StyleTable::parse("2c00|3=1,2,3,4,5,6,7,Name, with, commas\r\n"
                                           "\n"
                                           "0001|1=1,2,3,4,5,6,7\n"
                                           "0002|1= 9 ,x,,4,5,6,abc,Mixed\n"
                                           "0003|1=1,2,3\n"
                                           "no equals sign\n"
                                           "2C00|3=9,9,9,9,9,9,9,Second of equal keys\n");
    ASSERT_EQ(t.size(), 4u);
    const PolishStyle* s = t.find("2C00|3");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(*s, (PolishStyle{1, 2, 3, 4, 5, 6, 7, "Name, with, commas"})) << "the first of equal keys wins";
    EXPECT_EQ(t.find("2c00|3"), s) << "keys match regardless of case";
    EXPECT_EQ(*t.find("0001|1"), (PolishStyle{1, 2, 3, 4, 5, 6, 7, ""})) << "seven columns: no type name";
    EXPECT_EQ(*t.find("0002|1"), (PolishStyle{9, 0, 0, 4, 5, 6, 0, "Mixed"})) << "non-numeric columns read 0";
    EXPECT_EQ(t.find("0003|1"), nullptr);
    ASSERT_EQ(t.badLines().size(), 2u);
    EXPECT_EQ(t.badLines()[0].line, 5);
    EXPECT_EQ(t.badLines()[1].line, 6);

    const std::vector<std::string> lines = {"0006|1=1,2,3,4,5,6,7,A"};
    EXPECT_NE(StyleTable::fromLines(lines).find("0006|1"), nullptr);
}

// --- objects made ----------------------------------------------------------------------------------

TEST(PolishImport, PolygonPointsAreMillionthsWithLatitudeNegated) {
    const Imported im = importText(
        feature("POLYGON", "Type=0x50\nLabel=Бор\nData0=(55.75,37.61), (55.76,37.62) ,(55.75,37.63)"));
    ASSERT_EQ(im.result.objects, 1);
    const TQEVMapObjectMem& o = im[0];
    EXPECT_EQ(o.Kind, cPolygon);
    const std::vector<TMapPoint> expected = {
        {37610000, -55750000}, {37620000, -55760000}, {37630000, -55750000}};
    EXPECT_EQ(std::vector<TMapPoint>(o.points().begin(), o.points().end()), expected);
    // Row 0050|0 "Лес": green pen and solid green brush, no height, so plane 0.
    EXPECT_EQ(o.ClassCode, 0x50);
    EXPECT_EQ(o.Pen, (TQEVMapPen{32768, 0, 0, 0}));
    EXPECT_EQ(o.Brush, (TQEVMapBrush{32768, 0}));
    EXPECT_EQ(o.Alpha, 255);
    EXPECT_EQ(o.Ploskost, 0);
    EXPECT_EQ(im.town(0), U("Лес")) << "the type name stands where a town would";
    EXPECT_EQ(im.street(0), U("Бор"));
}

TEST(PolishImport, PolygonHeightFromTheStyleLiftsItToPlaneOne) {
    const Imported im = importText(feature("POLYGON", "Type=0x13\nData0=(1,1),(1,2),(2,2)"));
    ASSERT_EQ(im.result.objects, 1);
    EXPECT_FLOAT_EQ(im[0].Height, 200.0f) << "column 7 is height x 100";
    EXPECT_EQ(im[0].Ploskost, 1);
    EXPECT_EQ(im.town(0), U("Здание"));
}

TEST(PolishImport, PointsBecomeTextsOrNotesByTheirIcon) {
    const std::string text = "[IMG ID]\nCodePage=65001\n[END-IMG ID]\n"
                             "[POI]\nType=0x0100\nLabel=Москва\nData0=(55.75,37.61)\n[END]\n"
                             "[RGN10]\nType=0x2A00\nLabel=Кафе\nData0=(55.76,37.62)\n[END-RGN10]\n"
                             "[RGN20]\nType=0x2a00\nLabel=Столовая\nData0=(55.77,37.63)\n[END]\n"
                             "[POI]\nType=0x1600\nLabel=Маяк\nData0=(55.78,37.64)\n[END]\n"
                             "[POI]\nType=0x2A00\nData0=(55.79,37.65)\n[END]\n";
    for (const PolishIconSource icons : {PolishIconSource::BuiltIn, PolishIconSource::External}) {
        SCOPED_TRACE(icons == PolishIconSource::BuiltIn ? "built-in icons" : "icons.lib");
        const Imported im = importText(text, {icons});
        ASSERT_EQ(im.result.objects, 4) << "a point without a label makes no object, even with an icon";
        EXPECT_EQ(im.result.skipped, 1);

        const TQEVMapObjectMem& city = im[0];
        EXPECT_EQ(city.Kind, cText);
        EXPECT_EQ(city.Ploskost, 2);
        ASSERT_NE(city.text(), nullptr);
        EXPECT_EQ(*city.text(), (TQEVMapText{37610000, -55750000, 0, 1, 1000000, cp1251("Москва")}));
        EXPECT_EQ(city.Brush, (TQEVMapBrush{16711680, 1}));

        // [RGN10] and [RGN20] are points as [POI] is; two of one type share one style.
        for (int i : {1, 2}) {
            const TQEVMapObjectMem& cafe = im[i];
            EXPECT_EQ(cafe.Kind, cZametka);
            EXPECT_EQ(cafe.Ploskost, 4);
            EXPECT_EQ(cafe.ClassCode, 0x2A00);
            EXPECT_EQ(cafe.Pen.Color, 33023);
            ASSERT_NE(cafe.note(), nullptr);
            EXPECT_EQ(cafe.note()->IconName.str(), icons == PolishIconSource::BuiltIn ? "1" : "18")
                << "icon 19 is picture 18 of the external library; built in, food shows the restaurant";
            EXPECT_EQ(cafe.note()->LibName.str(), icons == PolishIconSource::BuiltIn ? "default" : "icons");
            EXPECT_EQ(im.street(i), U(utf8Text(cafe))) << "a point's label is its street";
        }
        // Built in, icon 135 (lighthouse) is beyond the numbers of the built-in library.
        EXPECT_EQ(im[3].note()->IconName.str(), icons == PolishIconSource::BuiltIn ? "51" : "134");
    }
}

TEST(PolishImport, TypeCodesPickTheirRow) {
    struct Case {
        std::string section, type;
        int32_t code;
        std::string town;
    };
    const std::vector<Case> cases = {
        {"POI", "0x6402", 0x6402, "Здание"},      {"POI", "0x2c00", 0x2C00, "Достопримечательность"},
        {"POLYLINE", "0x1", 1, "Автомагистраль"}, {"POLYLINE", "0X0006", 6, "Улица"},
        {"POLYGON", " 0x1a ", 0x1A, "Кладбище"},  {"POLYLINE", "22", 22, "Тропа"},
        {"POLYGON", "0x10f04", 0x10F04, ""},      {"POI", "0xF615", 0xF615, "Точка доступа Wi-FI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section + " " + c.type);
        const Imported im = importText(feature(c.section, "Type=" + c.type + "\nLabel=X\nData0=(1,2),(3,4)"));
        ASSERT_EQ(im.result.objects, 1);
        EXPECT_EQ(im[0].ClassCode, c.code);
        EXPECT_EQ(im.town(0), U(c.town));
        EXPECT_EQ(im.result.problems, 0);
    }
}

TEST(PolishImport, TypesWithoutARowOrNotANumberGetTheDefaults) {
    const Imported noRow = importText(feature("POI", "Type=0x10f04\nLabel=Extended\nData0=(1,2)"));
    ASSERT_EQ(noRow.result.objects, 1);
    EXPECT_EQ(noRow[0].Kind, cText) << "without a row a point is a text label";
    EXPECT_FLOAT_EQ(noRow[0].text()->FontSize, 2000);
    EXPECT_EQ(noRow[0].Pen, (TQEVMapPen{0, 0, 0, 0}));
    EXPECT_EQ(noRow[0].Brush, (TQEVMapBrush{0, 1}));
    EXPECT_EQ(noRow.result.problems, 0);

    const Imported bad = importText(feature("POLYLINE", "Type=0xZZ\nData0=(1,2),(3,4)"));
    ASSERT_EQ(bad.result.objects, 1) << "the feature is kept, only its style is lost";
    EXPECT_EQ(bad[0].ClassCode, 0);
    EXPECT_EQ(bad[0].Pen.Flags, 0u);
    ASSERT_TRUE(bad.result.firstProblem);
    EXPECT_EQ(bad.result.firstProblem->line, 4);
    EXPECT_NE(bad.result.firstProblem->message.find("0xZZ"), std::string::npos);
}

TEST(PolishImport, RoadTypesGetSquareEndsAndACasing) {
    for (const auto& [type, flags] : std::vector<std::pair<std::string, uint32_t>>{
             {"0x00", 3}, {"0x06", 3}, {"0x09", 3}, {"0x0a", 0}, {"0x0c", 3}, {"0x14", 0}, {"0x1f", 0}}) {
        const Imported im = importText(feature("POLYLINE", "Type=" + type + "\nData0=(1,2),(3,4)"));
        ASSERT_EQ(im.result.objects, 1);
        EXPECT_EQ(im[0].Kind, cLine);
        EXPECT_EQ(im[0].Ploskost, 1);
        EXPECT_EQ(im[0].Pen.Flags, flags) << type;
    }
    const Imported rail = importText(feature("POLYLINE", "Type=0x14\nData0=(1,2),(3,4)"));
    EXPECT_FLOAT_EQ(rail[0].Height, 0.01f);
    EXPECT_EQ(rail[0].Pen, (TQEVMapPen{0, 2, 500, 0}));
    EXPECT_EQ(rail[0].Brush, (TQEVMapBrush{16777215, 0}));
}

// --- addresses -------------------------------------------------------------------------------------

TEST(PolishImport, PolygonLabelsSplitIntoStreetAndHouse) {
    const std::vector<std::array<std::string, 3>> cases = {
        {"Ленина 25", "Ленина", "25"},
        {"25 Ленина", "Ленина", "25"},
        {"12 Садовая", "Садовая", "12"},
        {"25", ".", "25"},
        {"7a", ".", "7a"},
        {"25-27", "25-27", ""},
        {"1-я Линия", "1-я Линия", ""},
        {"Проспект Мира", "Проспект Мира", ""},
        {"Мира 3 корп 2", "Мира 3 корп", "2"},
        {"1234567890123 Длинная", "Длинная", "123456789012"},
    };
    for (const auto& [label, street, house] : cases) {
        const Imported im =
            importText(feature("POLYGON", "Type=0x13\nLabel=" + label + "\nData0=(1,1),(1,2),(2,2)"));
        ASSERT_EQ(im.result.objects, 1);
        EXPECT_EQ(im.street(0), U(street)) << label;
        EXPECT_EQ(im.house(0), house) << label;
    }
}

TEST(PolishImport, StreetDescAndHouseNumberOverrideTheLabel) {
    for (const std::string section : {"POI", "POLYLINE", "POLYGON"}) {
        const Imported im =
            importText(feature(section, "Type=0x2F06\nLabel=Банк 5\nStreetDesc=Тверская\nHouseNumber=12/1 "
                                        "строение 3\nData0=(1,1),(1,2),(2,2)"));
        ASSERT_EQ(im.result.objects, 1) << section;
        EXPECT_EQ(im.street(0), U("Тверская")) << section;
        EXPECT_EQ(im.house(0), "12/1 строени") << section << ": cut to 12 characters";
    }
    const Imported line = importText(feature("POLYLINE", "Type=0x06\nLabel=Арбат 7\nData0=(1,1),(1,2)"));
    EXPECT_EQ(line.street(0), U("Арбат 7")) << "lines are not split";
    EXPECT_EQ(line.house(0), "");
}

// --- what the format leaves loose --------------------------------------------------------------------

TEST(PolishImport, SectionsWithoutData0TakeTheirLowestLevel) {
    const Imported im = importFile(fs::path(KESTRUM_TEST_DATA_DIR) / "mp" / "levels_without_data0.mp");
    EXPECT_EQ(im.result.problems, 0);
    ASSERT_EQ(im.result.objects, 3);
    EXPECT_EQ(im[0].Kind, cLine);
    EXPECT_EQ(im[0].DataCount, 3) << "Data1 is more detailed than Data2";
    EXPECT_EQ(im[0].points()[0], (TMapPoint{21000000, -11000000}));
    // A later Data0 replaces an earlier Data1; the second Data0 lies inside the first: a hole.
    EXPECT_EQ(im[1].DataCount, 4 + 1 + 3 + 2);
    EXPECT_EQ(im[2].Kind, cZametka);
    EXPECT_EQ(im[2].note()->X, 6000000);
}

TEST(PolishImport, EachData0LineIsAnObjectUnlessItIsAHole) {
    const Imported im = importFile(fs::path(KESTRUM_TEST_DATA_DIR) / "mp" / "several_data0_lines.mp");
    ASSERT_EQ(im.result.objects, 3);
    EXPECT_EQ(im.result.records, 2);
    // The island lies in the lake: a hole in its water, one object.
    EXPECT_EQ(im[0].DataCount, 4 + 1 + 4 + 2);
    EXPECT_EQ(im[0].points()[5], (TMapPoint{10040000, -50040000})) << "the island";
    EXPECT_EQ(im.street(0), U("Lake with island"));
    EXPECT_EQ(im[1].Kind, cLine);
    EXPECT_EQ(im[2].DataCount, 3);
    EXPECT_EQ(im.street(2), U("River in two parts")) << "every part carries the address";
}

TEST(PolishImport, OldSectionNamesAndTheirEndLines) {
    const Imported im = importFile(fs::path(KESTRUM_TEST_DATA_DIR) / "mp" / "rgn_sections_cp1251.mp");
    EXPECT_EQ(im.result.problems, 0);
    EXPECT_EQ(im.result.warnings, 0);
    ASSERT_EQ(im.result.objects, 4);
    EXPECT_EQ(im[0].Kind, cZametka) << "Origin0 holds a point's coordinates";
    EXPECT_EQ(utf8Text(im[0]), "Сбербанк");
    EXPECT_EQ(im[0].note()->IconName.str(), "8") << "built in, the bank shows the banknote";
    EXPECT_EQ(im[1].Kind, cText);
    EXPECT_EQ(utf8Text(im[1]), "Посёлок");
    EXPECT_EQ(im[2].Kind, cLine);
    EXPECT_EQ(im.town(2), U("Улица"));
    EXPECT_EQ(im[3].Kind, cPolygon);
    EXPECT_EQ(im.street(3), U("Тверская"));
    EXPECT_EQ(im.house(3), "12");
}

TEST(PolishImport, BlanksAroundNumbersAndMissingParentheses) {
    const Imported spaced = importText("[POLYLINE]\n\tType = 0x16 \n  Label = Trail  \n"
                                       "Data0 = ( 48.8566 , 2.3522 ),(+48.8577,\t2.3533 )\n[END]\n");
    ASSERT_EQ(spaced.result.objects, 1);
    EXPECT_EQ(spaced.street(0), U("Trail"));
    EXPECT_EQ(spaced[0].points()[1], (TMapPoint{2353300, -48857700}));

    const Imported bare =
        importText(feature("POLYLINE", "Type=0x16\nData0=48.8566,2.3522,48.8577,2.3533,48.8588,2.3544"));
    ASSERT_EQ(bare.result.objects, 1);
    EXPECT_EQ(bare[0].DataCount, 3);
    EXPECT_EQ(bare[0].points()[2], (TMapPoint{2354400, -48858800}));

    // Numbers written in other forms are rounded to the nearest millionth.
    const Imported forms =
        importText(feature("POLYLINE", "Type=0x16\nData0=(1.23456789,5e-1),(-0.0000004,.25)"));
    ASSERT_EQ(forms[0].DataCount, 2);
    EXPECT_EQ(forms[0].points()[0], (TMapPoint{500000, -1234568}));
    EXPECT_EQ(forms[0].points()[1], (TMapPoint{250000, 0}));
}

TEST(PolishImport, ABadCoordinateDropsItsPointOnly) {
    const Imported im = importText(
        feature("POLYLINE",
                "Type=0x06\nData0=(55.75,37.61),(abc,1),(55.76,37.62),(1e999,5),(400,1),(,),(55.77,37.63)"));
    ASSERT_EQ(im.result.objects, 1);
    EXPECT_EQ(im[0].DataCount, 3);
    ASSERT_TRUE(im.result.firstProblem);
    EXPECT_EQ(im.result.firstProblem->file, "test.mp");
    EXPECT_EQ(im.result.firstProblem->line, 6);
    EXPECT_NE(im.result.firstProblem->message.find("4 coordinate pairs"), std::string::npos);
    EXPECT_NE(im.result.firstProblem->message.find("(abc,1)"), std::string::npos);
}

TEST(PolishImport, AFileEndingInsideASectionKeepsWhatCameBefore) {
    const Imported im = importFile(fs::path(KESTRUM_TEST_DATA_DIR) / "mp" / "unclosed-last-section.mp");
    ASSERT_EQ(im.result.objects, 1);
    EXPECT_EQ(im[0].DataCount, 3) << "(1.5,x) is dropped";
    EXPECT_EQ(im.result.problems, 2);
    EXPECT_FALSE(im.result.cancelled);
    ASSERT_TRUE(im.result.firstProblem);
    EXPECT_EQ(im.result.firstProblem->line, 7);
    EXPECT_NE(im.result.firstProblem->file.find("unclosed-last-section.mp"), std::string::npos);
}

TEST(PolishImport, AMissingEndLineClosesTheSectionAtTheNextOne) {
    const Imported im = importText("[POI]\nType=0x2C00\nLabel=First\nData0=(1,2)\n\n"
                                   "[POI]\nType=0x2C00\nLabel=Second\nData0=(3,4)\n[END]\n");
    ASSERT_EQ(im.result.objects, 2);
    EXPECT_EQ(utf8Text(im[0]), "First");
    EXPECT_EQ(utf8Text(im[1]), "Second");
    ASSERT_TRUE(im.result.firstProblem);
    EXPECT_EQ(im.result.firstProblem->line, 6);
}

TEST(PolishImport, LineEndsCommentsCaseAndUnknownSections) {
    const std::string base =
        "; comment\n[IMG ID]\nCodePage=1252\n[END]\n\n[Restrict]\nNod=6\n[END-Restrict]\n"
        "[poi]\ntype=0x2C00\nlabel=Lower\ndata0=(1,2)\n[end]\n"
        "[UNKNOWN]\nType=0x2C00\nLabel=Skipped\nData0=(1,2)\n[END]\n"
        "[POLYLINE]\nType=0x06\n; Data0=(9,9),(9,9)\nData0=(1,2),(3,4)\n[END-POI]\n";
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        std::string text;
        for (char c : base)
            c == '\n' ? text += eol : text += c;
        const Imported im = importText(text);
        EXPECT_EQ(im.result.objects, 2);
        EXPECT_EQ(im.result.problems, 0);
        ASSERT_EQ(im.objects().count(), 2);
        EXPECT_EQ(utf8Text(im[0]), "Lower");
        EXPECT_EQ(im[1].DataCount, 2);
    }
}

TEST(PolishImport, LinesSplitAcrossReadBlocksReadTheSame) {
    std::string text = "\xEF\xBB\xBF[IMG ID]\r\nCodePage=1252\r\n[END-IMG ID]\r\n";
    // Line ends change from feature to feature: where a block ends must not decide whether a
    // CR is seen.
    for (int i = 0; i < 40; ++i) {
        const std::string eol = i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r";
        text += "[POLYGON]" + eol + "Type=0x4C" + eol + "Label=Area " + std::to_string(i) + eol +
                "Data0=(48.8566,2.3522),(48.8577,2.3533),(48.8588,2.3522)" + eol + "[END]" + eol;
    }
    const Imported reference = importText(text);
    ASSERT_EQ(reference.result.objects, 40);
    for (std::size_t block = 16; block <= 80; block += 7) {
        PolishImportOptions options;
        options.blockBytes = block;
        const Imported im = importText(text, options);
        ASSERT_EQ(im.result.objects, 40) << block;
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(std::vector<TMapPoint>(im[i].points().begin(), im[i].points().end()),
                      std::vector<TMapPoint>(reference[i].points().begin(), reference[i].points().end()));
            EXPECT_EQ(im.street(i), reference.street(i));
        }
    }
}

// --- code pages --------------------------------------------------------------------------------------

TEST(PolishImport, LabelsAreRecodedIntoTheMapCodePage) {
    struct Case {
        std::string codePage;
        std::string label; // bytes as the file holds them
        std::string expected;
        int warnings;
        CodePage mapCodePage;
    };
    // The map takes the code page the file's letters need: the declared one, or for UTF-8 text
    // one that holds them all; where none does, letters are approximated and a warning says so.
    const std::vector<Case> cases = {
        {"1251", "\xCC\xEE\xF1\xEA\xE2\xE0", "Москва", 0, CodePage::Cp1251},
        {"65001", "Москва", "Москва", 0, CodePage::Cp1251},
        {"1252",
         "For\xEAt R\xE9serv\xE9"
         "e",
         "Forêt Réservée", 0, CodePage::Cp1252},
        {"1250",
         "\xA3\xF3"
         "d\x9F",
         "Łódź", 0, CodePage::Cp1250},
        {"1252", "Ch\xC3\xA2teau", "Château", 1, CodePage::Cp1252}, // UTF-8 under a 1252 header
        {"65001",
         "Stra\xC3\x9F"
         "e",
         "Straße", 0, CodePage::Cp1252},
        {"65001", "Łódź", "Łódź", 0, CodePage::Cp1250},
        {"65001", "\xCE\xB1\xCE\xB2", "??", 1, CodePage::Cp1251},      // no code page has Greek
        {"65001", "bad \xFF byte", "bad ? byte", 1, CodePage::Cp1251}, // ill-formed UTF-8
        {"1257", "R\xEBga", "R?ga", 2, CodePage::Cp1251}, // an unknown code page: a warning for it, one for the text
        {"0", "\xCC\xE8\xF0", "Мир", 0, CodePage::Cp1251}, // no code page: the bytes are the map's own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage + " " + c.expected);
        const Imported im =
            importText(feature("POI", "Type=0x0100\nLabel=" + c.label + "\nData0=(1,2)", c.codePage));
        ASSERT_EQ(im.result.objects, 1);
        EXPECT_EQ(im.map->Document().codePage, c.mapCodePage);
        EXPECT_EQ(utf8Text(im[0], c.mapCodePage), c.expected);
        EXPECT_EQ(im.street(0), U(c.expected, c.mapCodePage));
        EXPECT_EQ(im.result.warnings, c.warnings);
        EXPECT_EQ(im.result.problems, 0);
    }
}

TEST(PolishImport, OnceALabelIsNotUtf8NoLaterOneIsTakenForIt) {
    // "ЦІ" in 1251 happens to be well-formed UTF-8; after a plain 1251 label it stays itself.
    const std::string text = feature("POI", "Type=0x0100\nLabel=\xCC\xE8\xF0\nData0=(1,2)", "1251") +
                             "[POI]\nType=0x0100\nLabel=\xD6\xB2\nData0=(1,2)\n[END]\n";
    const Imported im = importText(text);
    ASSERT_EQ(im.result.objects, 2);
    EXPECT_EQ(utf8Text(im[0]), "Мир");
    EXPECT_EQ(utf8Text(im[1]), "ЦІ");
    EXPECT_EQ(im.result.warnings, 0);
}

TEST(PolishImport, AByteOrderMarkMeansUtf8) {
    const Imported im = importFile(fs::path(KESTRUM_TEST_DATA_DIR) / "mp" / "utf8_bom_labels.mp");
    ASSERT_EQ(im.result.objects, 3);
    EXPECT_EQ(utf8Text(im[0]), "Гостиница «Москва»");
    EXPECT_EQ(utf8Text(im[1]), "Chateau d’OEx") << "accented letters lose their accents, 1251 has the quote";
    EXPECT_EQ(utf8Text(im[2]), "?????");
    EXPECT_EQ(im.result.warnings, 2);
    ASSERT_TRUE(im.result.firstWarning);
    EXPECT_EQ(im.result.firstWarning->line, 11);
}

// --- damage --------------------------------------------------------------------------------------------

TEST(PolishImport, BinaryGarbageImportsNothingAndSaysWhere) {
    // A fixed linear congruential sequence: the same garbage on every run.
    std::string garbage;
    uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage += static_cast<char>(x >> 24);
        if (i % 5000 == 0) garbage += "\n[POI]\nData0=(1,";
    }
    const Imported im = importText(garbage);
    EXPECT_EQ(im.result.objects, 0);
    EXPECT_GT(im.result.problems, 0);
    ASSERT_TRUE(im.result.firstProblem);
    EXPECT_EQ(im.result.firstProblem->file, "test.mp");
    EXPECT_GE(im.result.firstProblem->line, 1);
}

TEST(PolishImport, UnreadableFilesAreReportedNotThrown) {
    const Imported utf16 = importText(std::string("\xFF\xFE[\0I\0M\0G\0", 10));
    EXPECT_EQ(utf16.result.objects, 0);
    ASSERT_TRUE(utf16.result.firstProblem);
    EXPECT_NE(utf16.result.firstProblem->message.find("UTF-16"), std::string::npos);

    const Imported missing = importFile(fs::path(KESTRUM_TEST_DATA_DIR) / "mp" / "no-such-file.mp");
    EXPECT_EQ(missing.result.objects, 0);
    EXPECT_FALSE(missing.result.firstProblem) << "a missing file shows an empty map without a message";
}

// Windows reads a narrow name in its ANSI code page: there this file would look missing and
// quietly give an empty map.
TEST(PolishImport, AFileUnderACyrillicNameIsRead) {
    const test::TempDir dir;
    const fs::path path = dir / pathFromUtf8("Карта области.mp");
    fs::copy_file(fs::path(KESTRUM_TEST_DATA_DIR) / "mp" / "rgn_sections_cp1251.mp", path);
    const Imported im = importFile(path);
    EXPECT_EQ(im.result.objects, 4);
    EXPECT_EQ(im.result.problems, 0);
}

TEST(PolishImport, OverlongLinesAndLabelsAreCut) {
    PolishImportOptions options;
    options.blockBytes = 16;
    options.maxLineBytes = 64;
    const std::string text = "[POI]\nType=0x2C00\nLabel=Kept\nData0=(1,2)\n[END]\n"
                             "[POLYLINE]\nType=0x06\nData0=" +
                             std::string(500, '(') +
                             "\n[END]\n"
                             "[POI]\nType=0x2C00\nLabel=After\nData0=(3,4)\n[END]\n";
    const Imported im = importText(text, options);
    ASSERT_EQ(im.result.objects, 2);
    EXPECT_EQ(utf8Text(im[1]), "After");
    ASSERT_TRUE(im.result.firstProblem);
    EXPECT_EQ(im.result.firstProblem->line, 8);

    const Imported longLabel =
        importText(feature("POI", "Type=0x2C00\nLabel=" + std::string(10000, 'x') + "\nData0=(1,2)"));
    ASSERT_EQ(longLabel.result.objects, 1);
    EXPECT_EQ(utf8Text(longLabel[0]).size(), 4096u);
    EXPECT_EQ(longLabel.result.problems, 1);
}

// --- the component around it ---------------------------------------------------------------------------

std::string manyPoints(int n) {
    std::string text = "[IMG ID]\nCodePage=1252\n[END-IMG ID]\n";
    for (int i = 0; i < n; ++i)
        text += "[POI]\nType=0x2C00\nLabel=P" + std::to_string(i) + "\nData0=(" + std::to_string(i % 80) +
                ".5,1.5)\n[END]\n";
    return text;
}

TEST(PolishImport, ProgressRisesAndCancelKeepsWhatWasPosted) {
    const std::string text = manyPoints(3000);
    Imported im;
    std::vector<int> seen;
    im.map->OnProgress = [&](TKorvane& map, int percent) {
        seen.push_back(percent);
        if (percent >= 50) map.CancelRequested = true;
    };
    MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    im.result = ImportPolish(*im.map, src, builtinPolishStyles(), "many.mp");
    EXPECT_TRUE(im.result.cancelled);
    EXPECT_GT(im.result.objects, 1000);
    EXPECT_LT(im.result.objects, 2000);
    EXPECT_EQ(im.objects().count(), im.result.objects);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(std::set<int>(seen.begin(), seen.end()).size(), seen.size()) << "once per whole percent";
    EXPECT_EQ(seen.back(), 50);

    // Not cleared first: a second import appends.
    im.map->CancelRequested = false;
    im.map->OnProgress = nullptr;
    MemorySource again({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    const ImportResult second = ImportPolish(*im.map, again, builtinPolishStyles(), "many.mp");
    EXPECT_EQ(second.objects, 3000);
    EXPECT_EQ(im.objects().count(), im.result.objects + 3000);
}

TEST(PolishImport, SniffRecognisesTheFormat) {
    auto sniff = [](std::string_view s) {
        return sniffPolish({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
    };
    EXPECT_TRUE(sniff("; Generated\r\n\r\n[IMG ID]\r\nName=x"));
    EXPECT_TRUE(sniff("\xEF\xBB\xBF[POI]\n"));
    EXPECT_TRUE(sniff("[RGN40]\n"));
    EXPECT_FALSE(sniff("Version 300\nCharset \"WindowsCyrillic\"\n"));
    EXPECT_FALSE(sniff("[Countries]\n"));
    EXPECT_FALSE(sniff(""));
}

// --- the shared corpus of real files -------------------------------------------------------------------

struct CorpusFile {
    const char* path;
    int points, lines, polygons;
    bool damaged;
};

TEST(PolishImport, EveryCorpusFileImportsWithTheExpectedObjects) {
    const std::vector<CorpusFile> files = {
        // GPSMapEdit: dictionaries, routing data, CRLF, cp1252 letters beyond 1251.
        {"mp/gpsyv_58460.mp", 979, 1927, 292, false}, // one POI has no label
        {"mp/gpsyv_MapaDePrueba.mp", 7, 5, 4, false},
        // 18 sections carry only Data1 or Data2.
        {"mp/gpsyv_ViaTipo0x0.mp", 1, 84, 7, false},
        {"mp/imgforge_bdtopo_tile.mp", 4, 6, 4, false},
        {"mp/imgforge_perf-5mb.mp", 10699, 6419, 4281, false},
        {"mp/imgforge_truncated-file.mp", 1, 0, 0, true},
        {"mp/imgforge_whitespace-variations.mp", 3, 0, 0, false},
        {"mp-fixtures/edge-coords-world-corners.mp", 4, 0, 0, false},
        {"mp-fixtures/edge-data-mixed-types.mp", 1, 1, 1, false},
        {"mp-fixtures/edge-data-sparse.mp", 1, 0, 0, false},
        {"mp-fixtures/edge-encoding-crlf.mp", 1, 0, 0, false},
        {"mp-fixtures/edge-encoding-mixed-eol.mp", 2, 0, 0, false},
        {"mp-fixtures/edge-encoding-whitespace.mp", 2, 0, 0, false},
        {"mp-fixtures/edge-label-equals-sign.mp", 1, 0, 0, false},
        {"mp-fixtures/edge-label-semicolon.mp", 1, 0, 0, false},
        {"mp-fixtures/empty-file.mp", 0, 0, 0, false},
        {"mp-fixtures/err-section-case-mismatch.mp", 2, 0, 0, false},
        {"mp-fixtures/err-section-incomplete.mp", 2, 0, 0, true},
        {"mp-fixtures/err-section-unknown-type.mp", 1, 0, 0, false},
        {"mp-fixtures/err-section-wrong-end.mp", 1, 1, 0, false},
        {"mp-fixtures/extended_types.mp", 2, 2, 2, false},
        {"mp-fixtures/labels_accented.mp", 2, 1, 1, false},
        {"mp-fixtures/minimal.mp", 1, 1, 1, false},
        {"mp-fixtures/missing-header.mp", 1, 0, 0, false},
        {"mp-fixtures/mixed-all-types.mp", 9, 6, 7, false}, // one POI has no label
        {"mp-fixtures/mixed-valid-invalid.mp", 3, 3, 3, false},
        {"mp-fixtures/multi_data_synthetic.mp", 0, 2, 1, false},
        {"mp-fixtures/poi-extended-attrs.mp", 2, 0, 0, false},
        {"mp-fixtures/poi-simple.mp", 1, 0, 0, false},
        {"mp-fixtures/polygon-cp1252.mp", 0, 0, 2, false},
        {"mp-fixtures/polygon-open-ring.mp", 0, 0, 1, false},
        {"mp-fixtures/polygon-simple.mp", 0, 0, 1, false},
        {"mp-fixtures/polyline-no-parens.mp", 0, 1, 0, false},
        {"mp-fixtures/polyline-simple.mp", 0, 1, 0, false},
        {"mp-fixtures/polyline-spaces.mp", 0, 1, 0, false},
        {"mp-fixtures/truncated-file.mp", 1, 0, 0, true},
        {"mp-fixtures/whitespace-variations.mp", 3, 0, 0, false},
    };
    std::set<std::string> listed;
    for (const CorpusFile& f : files) {
        SCOPED_TRACE(f.path);
        listed.insert(f.path);
        const Imported im = importFile(fs::path(KESTRUM_SHARED_DIR) / "corpus" / f.path);
        std::map<int, int> kinds;
        for (const TQEVMapObjectMem& o : im.objects())
            ++kinds[o.Kind];
        EXPECT_EQ(kinds[cText] + kinds[cZametka], f.points);
        EXPECT_EQ(kinds[cLine], f.lines);
        EXPECT_EQ(kinds[cPolygon], f.polygons);
        EXPECT_EQ(im.result.objects, f.points + f.lines + f.polygons);
        EXPECT_EQ(im.result.problems > 0, f.damaged)
            << (im.result.firstProblem ? im.result.firstProblem->message : std::string());
        EXPECT_FALSE(im.result.cancelled);
    }
    // A file added to the corpus gets its counts written down here.
    for (const char* dir : {"mp", "mp-fixtures"}) {
        for (const auto& e : fs::directory_iterator(fs::path(KESTRUM_SHARED_DIR) / "corpus" / dir)) {
            if (e.path().extension() == ".mp") {
                EXPECT_TRUE(listed.count(std::string(dir) + "/" + e.path().filename().string())) << e.path();
            }
        }
    }
}

TEST(PolishImport, CorpusDetailsSurviveTheImport) {
    const fs::path corpus = fs::path(KESTRUM_SHARED_DIR) / "corpus";
    // Declared 1252 but written in UTF-8: the accents are found and kept in a 1252 map.
    const Imported accented = importFile(corpus / "mp-fixtures" / "labels_accented.mp");
    EXPECT_EQ(accented.cp(), CodePage::Cp1252);
    EXPECT_EQ(utf8Text(accented[0], accented.cp()), "Château de Versailles");
    EXPECT_EQ(accented.street(3), U("Île-de-France", CodePage::Cp1252));
    ASSERT_TRUE(accented.map->Document().textSource);
    EXPECT_EQ(accented.map->Document().textSource->declaredCodePage, 1252);
    EXPECT_EQ(accented.map->Document().textSource->foundEncoding, "UTF-8");
    // An address given as attributes.
    const Imported attrs = importFile(corpus / "mp-fixtures" / "poi-extended-attrs.mp");
    EXPECT_EQ(attrs.street(0), U("Rue de Rivoli"));
    EXPECT_EQ(attrs.house(0), "42");
    // Data0 lines of the edge fixture win over Data1, Data5 and Data10.
    const Imported sparse = importFile(corpus / "mp-fixtures" / "edge-data-sparse.mp");
    EXPECT_EQ(sparse[0].text()->X, 48856600);
    EXPECT_EQ(sparse[0].text()->Y, -2352200);
}

} // namespace
} // namespace kestrum
