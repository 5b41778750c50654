// Document model: code pages, dictionaries, class sets, corner computation and object ownership.

#include "model/class_set.h"
#include "model/codepage.h"
#include "model/dictionary.h"
#include "model/map_object.h"
#include "model/text_measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

namespace kestrum {
namespace {

const FontNames kFonts{"Arial Cyr", "Times New Roman Cyr"};
constexpr double kPi = std::numbers::pi;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TQEVMapObjectMem pointObject(uint8_t kind, std::vector<TMapPoint> pts, float penWidth = 0) {
    TQEVMapObjectMem o;
    o.Kind = kind;
    o.Pen.Width = penWidth;
    o.setPoints(PointArray(pts.begin(), pts.end()));
    return o;
}

void expectBox(const TQEVMapObjectMem& o, float x0, float y0, float x1, float y1) {
    EXPECT_EQ(o.Corners[0], (TMapPoint{x0, y0}));
    EXPECT_EQ(o.Corners[1], (TMapPoint{x1, y0}));
    EXPECT_EQ(o.Corners[2], (TMapPoint{x1, y1}));
    EXPECT_EQ(o.Corners[3], (TMapPoint{x0, y1}));
}

// ---- code pages -------------------------------------------------------------------------------

TEST(CodePage, Cp1251UpperCasesEveryCyrillicSmallLetter) {
    for (int b = 0xE0; b <= 0xFF; ++b)
        EXPECT_EQ(toUpper(CodePage::Cp1251, static_cast<uint8_t>(b)), b - 0x20) << std::hex << b;
    // Letters outside the А..я run: ё, the Serbian, Macedonian, Ukrainian and Belarusian ones.
    const std::pair<uint8_t, uint8_t> pairs[] = {{0xB8, 0xA8}, {0x90, 0x80}, {0x83, 0x81}, {0x9A, 0x8A},
                                                 {0x9C, 0x8C}, {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F},
                                                 {0xA2, 0xA1}, {0xBC, 0xA3}, {0xB4, 0xA5}, {0xBA, 0xAA},
                                                 {0xBF, 0xAF}, {0xB3, 0xB2}, {0xBE, 0xBD}};
    for (auto [small, capital] : pairs) {
        EXPECT_EQ(toUpper(CodePage::Cp1251, small), capital) << std::hex << int{small};
        EXPECT_EQ(toUpper(CodePage::Cp1251, capital), capital) << std::hex << int{capital};
    }
    // Signs that merely sit among the letters stay put: µ, №, the undefined 0x98, the euro.
    for (uint8_t b : {uint8_t{0xB5}, uint8_t{0xB9}, uint8_t{0x98}, uint8_t{0x88}, uint8_t{'5'}})
        EXPECT_EQ(toUpper(CodePage::Cp1251, b), b) << std::hex << int{b};
    EXPECT_EQ(toUpper(CodePage::Cp1251, std::string("ul. \xEB\xE5\xED\xE8\xED\xE0 \xB8\xEB\xEA\xE0")),
              "UL. \xCB\xC5\xCD\xC8\xCD\xC0 \xA8\xCB\xCA\xC0");
}

TEST(CodePage, UpperCaseIsIdempotentInEveryCodePage) {
    for (CodePage cp : {CodePage::Cp1250, CodePage::Cp1251, CodePage::Cp1252})
        for (int b = 0; b < 256; ++b) {
            const uint8_t up = toUpper(cp, static_cast<uint8_t>(b));
            EXPECT_EQ(toUpper(cp, up), up) << static_cast<int>(cp) << " " << b;
        }
    EXPECT_EQ(toUpper(CodePage::Cp1252, uint8_t{0xFF}), 0x9F); // ÿ -> Ÿ lives in the 0x80 block
    EXPECT_EQ(toUpper(CodePage::Cp1252, uint8_t{0x9A}), 0x8A); // š -> Š
    EXPECT_EQ(toUpper(CodePage::Cp1250, uint8_t{0x9F}), 0x8F); // ź -> Ź
    EXPECT_EQ(toUpper(CodePage::Cp1250, uint8_t{0xB3}), 0xA3); // ł -> Ł
}

TEST(CodePage, Utf8ConversionAndUndefinedBytes) {
    EXPECT_EQ(toUtf8(CodePage::Cp1251, "\xA8\xB8\xC0\xFF \xB9 \x88"), "Ёё"
                                                                      "Ая № €");
    EXPECT_EQ(toUtf8(CodePage::Cp1251, "\x98"), "\xEF\xBF\xBD");
    EXPECT_EQ(toUnicode(CodePage::Cp1251, 0x98), U'\xFFFD');
    EXPECT_EQ(toUtf8(CodePage::Cp1251, std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_FALSE(fromUnicode(CodePage::Cp1251, U'\xFFFD').has_value());
    EXPECT_EQ(fromUnicode(CodePage::Cp1251, U'Ё'), uint8_t{0xA8});
    EXPECT_FALSE(fromUnicode(CodePage::Cp1251, U'é').has_value());
    // Every defined byte survives the round trip through Unicode.
    for (int b = 0; b < 256; ++b) {
        const char32_t u = toUnicode(CodePage::Cp1251, static_cast<uint8_t>(b));
        if (u == U'\xFFFD') continue;
        EXPECT_EQ(fromUnicode(CodePage::Cp1251, u), static_cast<uint8_t>(b)) << b;
    }
    std::string s;
    appendUtf8(s, U'\x1F600');
    EXPECT_EQ(s, "\xF0\x9F\x98\x80");
    EXPECT_EQ(trimmed(" \t ab c \r\n"), "ab c");
    EXPECT_EQ(trimmed("   "), "");
}

// ---- dictionaries -----------------------------------------------------------------------------

TEST(Dictionary, LookupIgnoresBlanksAndLetterCase) {
    TMapDictionary d;
    int32_t next = 7;
    bool added = false;
    const int32_t code = d.codeOf("  \xEB\xE5\xED\xE8\xED\xE0 ", next, &added); // "  ленина "
    EXPECT_TRUE(added);
    EXPECT_EQ(code, 7);
    EXPECT_EQ(next, 8);
    EXPECT_EQ(d.codeOf("\xCB\xC5\xCD\xC8\xCD\xC0", next, &added), 7); // "ЛЕНИНА"
    EXPECT_FALSE(added);
    EXPECT_EQ(d.count(), 1);
    EXPECT_EQ(d.name(7), "\xCB\xC5\xCD\xC8\xCD\xC0");
    EXPECT_EQ(d.find("\xEB\xE5\xED\xE8\xED\xE0"), 7);

    // ё and Ё are the same letter to a lookup.
    const int32_t yo = d.codeOf("\xB8\xEB\xEA\xE0", next);
    EXPECT_EQ(d.codeOf("\xA8\xCB\xCA\xC0", next), yo);
    EXPECT_EQ(next, 9);
}

TEST(Dictionary, EmptyNamesUnknownCodesAndDuplicates) {
    TMapDictionary d;
    int32_t next = 0;
    bool added = true;
    EXPECT_EQ(d.codeOf("", next, &added), -1);
    EXPECT_EQ(d.codeOf("  \t", next, &added), -1);
    EXPECT_FALSE(added);
    EXPECT_EQ(next, 0);
    EXPECT_EQ(d.count(), 0);
    EXPECT_EQ(d.find(""), -1);

    EXPECT_TRUE(d.addLoaded("MIRA", 4));
    EXPECT_FALSE(d.addLoaded("mira", 9)); // the first code of a name is the one kept
    EXPECT_EQ(d.count(), 1);
    EXPECT_EQ(d.codeOf("Mira", next), 4);
    EXPECT_EQ(d.name(4), "MIRA");
    EXPECT_EQ(d.name(9), "");
    EXPECT_EQ(d.name(-1), "");
    EXPECT_EQ(d.name(-32768), "");
    EXPECT_EQ(d.name(1000000), "");

    // Absent names keep taking fresh codes in order.
    EXPECT_EQ(d.codeOf("A", next), 0);
    EXPECT_EQ(d.codeOf("B", next), 1);
    EXPECT_EQ(next, 2);
    EXPECT_EQ(d.name(1), "B");
}

// ---- class sets -------------------------------------------------------------------------------

TEST(ClassSet, CodesOutsideTheRangeAreNeverMembers) {
    TClassSet s(true);
    for (int32_t code : {-5, -1, TClassSet::kCodes, 600000, std::numeric_limits<int32_t>::min()}) {
        EXPECT_FALSE(s.contains(code)) << code;
        s.set(code, true); // must not write outside the set
        EXPECT_FALSE(s.contains(code)) << code;
    }
    EXPECT_TRUE(s.contains(0));
    EXPECT_TRUE(s.contains(TClassSet::kCodes - 1));
    EXPECT_EQ(TClassSet::kCodes, 512032);
    s.set(77, false);
    EXPECT_FALSE(s.contains(77));
    EXPECT_TRUE(s.contains(76));
    EXPECT_TRUE(s.contains(78));
    s.setAll(false);
    EXPECT_FALSE(s.contains(0));
    EXPECT_FALSE(s.contains(TClassSet::kCodes - 1));
}

// ---- corners ----------------------------------------------------------------------------------

TEST(ComputeCorners, PointKindsAreWidenedByHalfThePen) {
    for (uint8_t kind : {cPolygon, cLine, cPixel, cBezier, cEllipse, cBezierFill}) {
        TQEVMapObjectMem o = pointObject(kind, {{5, 1}, {-3, 4}, {2, -6}}, 2.0f);
        ComputeCorners(o, defaultTextMeasurer(), kFonts);
        expectBox(o, -4, -7, 6, 5);
        ComputeCenter(o);
        EXPECT_EQ(o.Center, (TMapPoint{1, -1}));
    }
}

TEST(ComputeCorners, NaNPointsDoNotPoisonTheBox) {
    TQEVMapObjectMem o = pointObject(cLine, {{kNaN, kNaN}, {1, 2}, {kNaN, 9}, {3, 4}});
    ComputeCorners(o, defaultTextMeasurer(), kFonts);
    expectBox(o, 1, 2, 3, 9);

    TQEVMapObjectMem all = pointObject(cPolygon, {{kNaN, kNaN}}, kNaN);
    ComputeCorners(all, defaultTextMeasurer(), kFonts);
    for (const TMapPoint& c : all.Corners)
        EXPECT_TRUE(std::isfinite(c.X) && std::isfinite(c.Y));
}

TEST(ComputeCorners, BitmapNoteAndUnknownKinds) {
    TQEVMapObjectMem bmp;
    bmp.Kind = cBitmap;
    bmp.Pen.Width = 4;
    TQEVMapBitmap b;
    b.Corners = {TMapPoint{10, 0}, TMapPoint{0, 0}, TMapPoint{0, 5}, TMapPoint{10, 5}};
    bmp.setBitmap(b);
    ComputeCorners(bmp, defaultTextMeasurer(), kFonts);
    expectBox(bmp, 0, 0, 10, 5); // an image is never widened by a pen

    TQEVMapObjectMem note;
    note.Kind = cZametka;
    note.Pen.Width = 4;
    TQEVMapZametka z;
    z.X = 3, z.Y = -4, z.Text = "hello";
    note.setNote(z);
    ComputeCorners(note, defaultTextMeasurer(), kFonts);
    for (const TMapPoint& c : note.Corners)
        EXPECT_EQ(c, (TMapPoint{3, -4}));
    ComputeCenter(note);
    EXPECT_EQ(note.Center, (TMapPoint{3, -4}));

    for (uint8_t kind : {uint8_t{10}, uint8_t{200}, uint8_t{255}}) {
        TQEVMapObjectMem odd;
        odd.Kind = kind;
        odd.Corners = {TMapPoint{1, 2}, TMapPoint{3, 2}, TMapPoint{3, 4}, TMapPoint{1, 4}};
        odd.Data = PointArray{{100, 100}};
        ComputeCorners(odd, defaultTextMeasurer(), kFonts);
        expectBox(odd, 1, 2, 3, 4);
    }
}

TEST(ComputeCorners, GroupsUseTheirChildrenWidenedByTheGroupPen) {
    auto inner = std::make_unique<TQevMapList>();
    inner->Add(pointObject(cLine, {{20, 20}, {30, 25}}, 0));
    TQEVMapObjectMem innerGroup;
    innerGroup.Kind = cGroup;
    innerGroup.Pen.Width = 2;
    innerGroup.setChildren(std::move(inner));

    auto kids = std::make_unique<TQevMapList>();
    kids->Add(pointObject(cLine, {{0, 0}, {10, 5}}, 4));
    kids->Add(std::move(innerGroup));
    TQEVMapObjectMem group;
    group.Kind = cGroup;
    group.Pen.Width = 2;
    group.setChildren(std::move(kids));
    EXPECT_EQ(group.DataCount, 2);

    ComputeCorners(group, defaultTextMeasurer(), kFonts);
    expectBox((*group.children())[0], -2, -2, 12, 7);
    expectBox((*group.children())[1], 19, 19, 31, 26);
    expectBox(group, -3, -3, 32, 27);
}

TEST(ComputeCorners, TextBoxRotatesCounterClockwiseOnScreen) {
    TQEVMapObjectMem o;
    o.Kind = cText;
    TQEVMapText t;
    t.X = 100, t.Y = 50, t.FontSize = 20, t.Text = "W";
    o.setText(t);
    const TextExtent e = defaultTextMeasurer().measure("Arial Cyr", 20, 400, "W");
    const float w = static_cast<float>(e.width), h = static_cast<float>(e.height);
    ASSERT_GT(w, 1.0f);
    ASSERT_GT(h, 1.0f);

    ComputeCorners(o, defaultTextMeasurer(), kFonts);
    const TMapPoint unrotated[4] = {{100, 50}, {100 + w, 50}, {100 + w, 50 + h}, {100, 50 + h}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(o.Corners[i].X, unrotated[i].X, 1e-3) << i;
        EXPECT_NEAR(o.Corners[i].Y, unrotated[i].Y, 1e-3) << i;
    }

    // A quarter turn counter-clockwise on screen (Y grows downwards): the baseline points up.
    TQEVMapText turned = t;
    turned.Angle = 900;
    o.setText(turned);
    ComputeCorners(o, defaultTextMeasurer(), kFonts);
    const TMapPoint quarter[4] = {{100, 50}, {100, 50 - w}, {100 + h, 50 - w}, {100 + h, 50}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(o.Corners[i].X, quarter[i].X, 1e-3) << i;
        EXPECT_NEAR(o.Corners[i].Y, quarter[i].Y, 1e-3) << i;
    }
    ComputeCenter(o);
    EXPECT_EQ(o.Center, (TMapPoint{100, 50}));

    // 30 degrees: Corners[1] lies at distance w along (cos 30, -sin 30).
    turned.Angle = 300;
    o.setText(turned);
    ComputeCorners(o, defaultTextMeasurer(), kFonts);
    EXPECT_NEAR(o.Corners[1].X, 100 + w * std::cos(kPi / 6), 1e-3);
    EXPECT_NEAR(o.Corners[1].Y, 50 - w * std::sin(kPi / 6), 1e-3);
    EXPECT_NEAR(o.Corners[3].X, 100 + h * std::sin(kPi / 6), 1e-3);
    EXPECT_NEAR(o.Corners[3].Y, 50 + h * std::cos(kPi / 6), 1e-3);
}

// Records what the corner computation asks of the platform's fonts.
class RecordingMeasurer final : public TextMeasurer {
  public:
    mutable std::string face;
    mutable double height = 0;
    mutable int weight = 0;
    TextExtent measure(std::string_view f, double h, int wt, std::string_view text) const override {
        face = std::string(f), height = h, weight = wt;
        return {10.0 * static_cast<double>(text.size()), h};
    }
};

TEST(ComputeCorners, TextFontChoiceAndSmallSizeScaling) {
    RecordingMeasurer m;
    TQEVMapObjectMem o;
    o.Kind = cText;
    TQEVMapText t;
    t.FontSize = 5, t.FontIndex = 1, t.Text = "abcd";
    o.setText(t);
    ComputeCorners(o, m, kFonts);
    EXPECT_EQ(m.face, "Times New Roman Cyr");
    EXPECT_EQ(m.height, 500); // small sizes measured a hundred times larger ...
    EXPECT_EQ(m.weight, 400);
    EXPECT_NEAR(o.Corners[2].X, 0.4, 1e-6); // ... and scaled back
    EXPECT_NEAR(o.Corners[2].Y, 5.0, 1e-6);

    t.FontSize = 12, t.FontIndex = 2;
    o.setText(t);
    ComputeCorners(o, m, kFonts);
    EXPECT_EQ(m.face, "Arial Cyr");
    EXPECT_EQ(m.height, 12);
    EXPECT_NEAR(o.Corners[2].X, 40, 1e-6);
    EXPECT_NEAR(o.Corners[2].Y, 12, 1e-6);
}

// ---- ownership, copies and the list -------------------------------------------------------------

TEST(MapObject, DeepCopyOwnsEveryBlock) {
    TQEVMapObjectMem bmp;
    bmp.Kind = cBitmap;
    TQEVMapBitmap b;
    b.ImageData = {'B', 'M', 1, 2, 3};
    bmp.setBitmap(b);
    TAddressCode addr;
    addr.StreetCode = 3;
    addr.House.assign("12");
    bmp.setAddress(addr);
    TExtraBlock extra{};
    extra[50] = 9;
    bmp.setExtra(extra);

    auto inner = std::make_unique<TQevMapList>();
    inner->Add(pointObject(cLine, {{1, 1}, {2, 2}}));
    TQEVMapObjectMem innerGroup;
    innerGroup.Kind = cGroup;
    innerGroup.setChildren(std::move(inner));
    auto kids = std::make_unique<TQevMapList>();
    kids->Add(std::move(bmp));
    kids->Add(std::move(innerGroup));
    TQEVMapObjectMem group;
    group.Kind = cGroup;
    group.setChildren(std::move(kids));

    TQEVMapObjectMem copy = DeepCopy(group);
    TQEVMapObjectMem& copyBmp = (*copy.children())[0];
    copyBmp.bitmap()->ImageData[0] = 'X';
    copyBmp.Address->House.assign("99");
    (*copyBmp.Extra)[50] = 1;
    (*(*copy.children())[1].children())[0].pointArray()->at(0) = {7, 7};

    const TQEVMapObjectMem& srcBmp = (*group.children())[0];
    EXPECT_EQ(srcBmp.bitmap()->ImageData, (std::vector<uint8_t>{'B', 'M', 1, 2, 3}));
    EXPECT_EQ(srcBmp.Address->House.str(), "12");
    EXPECT_EQ((*srcBmp.Extra)[50], 9);
    EXPECT_EQ((*(*group.children())[1].children())[0].points()[0], (TMapPoint{1, 1}));

    // Dropping the copy leaves the source whole (the sanitizer build catches a shared block).
    copy = TQEVMapObjectMem{};
    EXPECT_EQ(srcBmp.bitmap()->ImageData.size(), 5u);
}

TEST(MapObject, DataSizeByKind) {
    TQEVMapObjectMem o;
    o.Kind = cLine;
    o.DataCount = 3;
    EXPECT_EQ(DataSize(o), 24);
    o.DataCount = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(DataSize(o), int64_t{std::numeric_limits<int32_t>::max()} * 8);
    o.Kind = cBitmap;
    EXPECT_EQ(DataSize(o), 42);
    o.Kind = 10;
    o.DataCount = 5;
    EXPECT_EQ(DataSize(o), 0);
    o.Kind = cGroup;
    EXPECT_EQ(DataSize(o), 5);

    TQEVMapObjectMem text;
    text.Kind = cText;
    text.setText({});
    EXPECT_EQ(text.DataCount, 22);
    EXPECT_EQ(DataSize(text), 22);
    TQEVMapObjectMem note;
    note.Kind = cZametka;
    TQEVMapZametka z;
    z.Text = "abc";
    note.setNote(z);
    EXPECT_EQ(DataSize(note), 78);
}

TEST(MapList, ReplaceMoveDeleteAndExtent) {
    TQevMapList list;
    auto withId = [](int32_t id, float x) {
        TQEVMapObjectMem o = pointObject(cPixel, {{x, x}});
        o.ID = id;
        ComputeCorners(o, defaultTextMeasurer(), kFonts);
        return o;
    };
    EXPECT_EQ(MapExtent(list), TMapRect{});
    list.Add(withId(1, 1));
    list.Add(withId(2, 2));
    list.Replace(7, withId(3, -5)); // past the end: appended, no gap
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list[2].ID, 3);
    list.Replace(0, withId(4, 8));
    EXPECT_EQ(list[0].ID, 4);
    list.Replace(-1, withId(5, 0));
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(MapExtent(list), (TMapRect{-5, -5, 8, 8}));

    auto ids = [&list] {
        std::vector<int32_t> v;
        for (const auto& o : list)
            v.push_back(o.ID);
        return v;
    };
    list.Move(0, 2);
    EXPECT_EQ(ids(), (std::vector<int32_t>{2, 3, 4}));
    list.Move(2, 0);
    EXPECT_EQ(ids(), (std::vector<int32_t>{4, 2, 3}));
    list.Move(1, 5); // out of range: nothing moves
    EXPECT_EQ(ids(), (std::vector<int32_t>{4, 2, 3}));
    list.Delete(1);
    list.Delete(9);
    EXPECT_EQ(ids(), (std::vector<int32_t>{4, 3}));

    TQEVMapObjectMem got = list.Get(0);
    got.pointArray()->at(0) = {0, 0};
    EXPECT_EQ(list[0].points()[0], (TMapPoint{8, 8}));
}

} // namespace
} // namespace kestrum
