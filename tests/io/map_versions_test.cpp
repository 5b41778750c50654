// Files of every format version, built by hand, and what the reader makes of them: the record
// layouts, the address and block forms of each version and the conversions into today's model.

#include "io/map_reader.h"
#include "support/map_bytes.h"
#include "support/map_compare.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

using test::Bytes;
using test::loadBytes;
using test::Pt;
using test::Rec;

std::string versionName(const ::testing::TestParamInfo<int32_t>& info) {
    return "v" + std::to_string(info.param);
}

class EveryVersion : public ::testing::TestWithParam<int32_t> {};
INSTANTIATE_TEST_SUITE_P(MapVersions, EveryVersion, ::testing::Range(1, 15), versionName);

TEST_P(EveryVersion, HeaderRecordAddressAndExtraConvert) {
    const int32_t v = GetParam();
    Bytes b = test::mapStart(v, 2, {{1, "MIRA"}}, v >= 9 ? test::DictList{{0, "TOWN"}} : test::DictList{});
    Rec r;
    r.id = 42, r.reserved1 = 11, r.reserved2 = 6;
    r.corners = {Pt{1, 2}, {9, 2}, {9, 8}, {1, 8}}; // deliberately unlike the points
    r.center = {100, 200};
    r.ploskost = -3, r.classCode = 4321, r.locked = 1, r.kind = cPolygon, r.dataCount = 3, r.alpha = 77;
    r.penColor = 0x112233, r.penStyle = 2, r.penWidth = 3, r.penFlags = kPenBorder;
    r.brushColor = 0x445566, r.brushStyle = 4, r.hasAddress = 1, r.hasExtra = 1, r.height = 9.5f;
    test::putRecord(b, v, r);
    test::putAddress(b, v, {0, 1, 1, "12", "4"});
    const auto extra = test::extraPattern(5);
    b.raw(extra.data(), extra.size());
    test::putPoints(b, {{0, 0}, {10, 4}, {6, -2}});
    test::putPolygon(b, v, 43); // the next record starts exactly where the blocks end

    const test::Loaded l = loadBytes(b.vec());
    ASSERT_FALSE(l.result.damage) << l.result.damage->message;
    const MapHeader& h = l.doc.header;
    EXPECT_EQ(h.Version, v);
    EXPECT_EQ(h.NameMap.str(), "test");
    EXPECT_EQ(h.CreatedBy.str(), "tests");
    EXPECT_EQ(h.Mashtab, 2000);
    EXPECT_EQ(h.Date, 45000.5);
    EXPECT_EQ(h.ObjectCount, 2);
    EXPECT_EQ(h.Scale, v >= 10 ? 250.0 : 100.0);
    EXPECT_EQ(h.XWind, -12.5f);
    EXPECT_EQ(h.YWind, 33.25f);
    EXPECT_EQ(h.StreetCount, 1);
    EXPECT_EQ(h.NextStreetCode, 100);
    EXPECT_EQ(h.TownCount, v >= 9 ? 1 : 0);
    EXPECT_EQ(h.NextTownCode, v >= 9 ? 50 : 0);
    EXPECT_EQ(h.Kept557, (std::array<uint8_t, 5>{1, 2, 3, 4, uint8_t(v >= 10 ? 5 : 0)}));
    EXPECT_EQ(l.doc.streets.name(1), "MIRA");
    EXPECT_EQ(l.doc.towns.name(0), v >= 9 ? "TOWN" : "");

    ASSERT_EQ(l.doc.objects.count(), 2);
    const TQEVMapObjectMem& o = l.doc.objects[0];
    EXPECT_EQ(o.ID, 42);
    EXPECT_EQ(o.Reserved1, v <= 3 ? -1 : 11);
    EXPECT_EQ(o.Reserved2, v <= 3 ? 0 : 6);
    EXPECT_EQ(o.Ploskost, -3);
    EXPECT_EQ(o.ClassCode, 4321);
    EXPECT_EQ(o.Locked, 1);
    EXPECT_EQ(o.Kind, cPolygon);
    EXPECT_EQ(o.DataCount, 3);
    EXPECT_EQ(o.Alpha, v >= 12 ? 77 : 255);
    EXPECT_EQ(o.Height, v >= 11 ? 9.5f : 0.0f);
    EXPECT_EQ(o.Pen, (TQEVMapPen{0x112233, 2, 3.0f, kPenBorder}));
    EXPECT_EQ(o.Brush, (TQEVMapBrush{0x445566, 4}));
    if (v <= 7)
        EXPECT_EQ(o.Corners, (std::array<TMapPoint, 4>{TMapPoint{1, 2}, {9, 2}, {9, 8}, {1, 8}}));
    else // the points' box widened by half the pen
        EXPECT_EQ(o.Corners, (std::array<TMapPoint, 4>{
                                 TMapPoint{-1.5f, -3.5f}, {11.5f, -3.5f}, {11.5f, 5.5f}, {-1.5f, 5.5f}}));
    EXPECT_EQ(o.Center, (v <= 3 ? TMapPoint{5, 5} : TMapPoint{100, 200}));

    ASSERT_EQ(o.HasAddress, 1);
    ASSERT_TRUE(o.Address);
    EXPECT_EQ(o.Address->TownCode, v >= 9 ? 0 : -1);
    EXPECT_EQ(o.Address->StreetCode, 1);
    EXPECT_EQ(o.Address->House.str(), "12");
    EXPECT_EQ(o.Address->Street1Code, v >= 7 ? 1 : -1);
    EXPECT_EQ(o.Address->House1.str(), v >= 7 ? "4" : "");
    ASSERT_TRUE(o.Extra);
    EXPECT_EQ(*o.Extra, extra);
    EXPECT_TRUE(std::ranges::equal(o.points(), std::vector<TMapPoint>{{0, 0}, {10, 4}, {6, -2}}));

    EXPECT_EQ(l.doc.objects[1].ID, 43);
    EXPECT_EQ(l.doc.objects[1].points().size(), 2u);
}

TEST_P(EveryVersion, TextConverts) {
    const int32_t v = GetParam();
    const std::string stored = "  Main st  ";
    Bytes b = test::mapStart(v, 2);
    Rec r;
    r.id = 5, r.kind = cText;
    r.corners = {Pt{3, 4}, {30, 4}, {30, 10}, {3, 10}};
    r.dataCount = v <= 7 ? 88 : static_cast<int32_t>(stored.size()) + 22;
    test::putRecord(b, v, r);
    if (v <= 7)
        test::putFixedText(b, 3, 4, 45, 1, 12, stored);
    else
        test::putTextBlock(b, v, 3, 4, 45, 1, v >= 13 ? 12.5f : 12.0f, stored);
    test::putPolygon(b, v, 6);

    const test::Loaded l = loadBytes(b.vec());
    ASSERT_FALSE(l.result.damage) << l.result.damage->message;
    ASSERT_EQ(l.doc.objects.count(), 2);
    const TQEVMapObjectMem& o = l.doc.objects[0];
    ASSERT_TRUE(o.text());
    const TQEVMapText& t = *o.text();
    EXPECT_EQ(t.X, 3);
    EXPECT_EQ(t.Y, 4);
    EXPECT_EQ(t.Angle, v <= 5 ? 450 : 45); // whole degrees until version 5
    EXPECT_EQ(t.FontIndex, 1);
    EXPECT_EQ(t.FontSize, v >= 13 ? 12.5f : 12.0f);
    const bool trimmed = v <= 4 || v == 7;
    EXPECT_EQ(t.Text, trimmed ? "Main st" : stored);
    EXPECT_EQ(o.DataCount, static_cast<int32_t>(t.Text.size()) + 22);
    EXPECT_EQ(o.Corners[0], (TMapPoint{3, 4}));
    if (v <= 3) {
        EXPECT_EQ(o.Center, (TMapPoint{3, 4}));
    }
    if (v >= 8) {
        EXPECT_GT(o.Corners[1].X, 3.0f) << "text box measured";
    }
    EXPECT_EQ(l.doc.objects[1].ID, 6);
}

TEST_P(EveryVersion, NoteConverts) {
    const int32_t v = GetParam();
    Bytes b = test::mapStart(v, 2);
    Rec r;
    r.id = 5, r.kind = cZametka;
    r.corners = {Pt{7, 8}, {7, 8}, {7, 8}, {7, 8}};
    r.dataCount = v <= 4 ? 272 : v <= 7 ? 330 : 5 + 75;
    test::putRecord(b, v, r);
    if (v <= 4)
        test::putNoteN1(b, 7, 8, 17, "hello");
    else if (v <= 7)
        test::putNoteN2(b, 7, 8, "CITY", "bank", "hello");
    else
        test::putNoteBlock(b, 7, 8, "CITY", "bank", "hello");
    test::putPolygon(b, v, 6);

    const test::Loaded l = loadBytes(b.vec());
    ASSERT_FALSE(l.result.damage) << l.result.damage->message;
    ASSERT_EQ(l.doc.objects.count(), 2);
    const TQEVMapObjectMem& o = l.doc.objects[0];
    ASSERT_TRUE(o.note());
    EXPECT_EQ(o.note()->X, 7);
    EXPECT_EQ(o.note()->Y, 8);
    EXPECT_EQ(o.note()->LibName.str(), v <= 4 ? "DEFAULT" : "CITY");
    EXPECT_EQ(o.note()->IconName.str(), v <= 4 ? "17" : "bank");
    EXPECT_EQ(o.note()->Text, "hello");
    EXPECT_EQ(o.DataCount, 5 + 75);
    EXPECT_EQ(o.Corners, (std::array<TMapPoint, 4>{TMapPoint{7, 8}, {7, 8}, {7, 8}, {7, 8}}));
    EXPECT_EQ(l.doc.objects[1].ID, 6);
}

TEST_P(EveryVersion, TwoPointEllipseBecomesFourCornersUntilVersion12) {
    const int32_t v = GetParam();
    Bytes b = test::mapStart(v, 2);
    Rec r;
    r.kind = cEllipse, r.dataCount = 2;
    test::putRecord(b, v, r);
    test::putPoints(b, {{2, 3}, {8, 9}});
    r.dataCount = 3; // only exactly two points are corners
    test::putRecord(b, v, r);
    test::putPoints(b, {{0, 0}, {1, 0}, {1, 1}});

    const test::Loaded l = loadBytes(b.vec());
    ASSERT_FALSE(l.result.damage);
    ASSERT_EQ(l.doc.objects.count(), 2);
    const TQEVMapObjectMem& e = l.doc.objects[0];
    if (v <= 11) {
        EXPECT_TRUE(std::ranges::equal(e.points(), std::vector<TMapPoint>{{2, 3}, {8, 3}, {8, 9}, {2, 9}}));
        EXPECT_EQ(e.DataCount, 4);
    } else {
        EXPECT_TRUE(std::ranges::equal(e.points(), std::vector<TMapPoint>{{2, 3}, {8, 9}}));
        EXPECT_EQ(e.DataCount, 2);
    }
    EXPECT_EQ(l.doc.objects[1].DataCount, 3);
}

TEST_P(EveryVersion, GroupsNestFromVersion4AndAreSkippedBefore) {
    const int32_t v = GetParam();
    Bytes b = test::mapStart(v, 2);
    Rec g;
    g.id = 1, g.kind = cGroup, g.penWidth = 2;
    g.corners = {Pt{-9, -9}, {9, -9}, {9, 9}, {-9, 9}};
    if (v <= 3) {
        // No child lists yet: the group's DataCount bytes are opaque and are stepped over.
        g.dataCount = 12;
        test::putRecord(b, v, g);
        b.fillBytes(12, 0x41);
    } else {
        g.dataCount = 2;
        test::putRecord(b, v, g);
        test::putPolygon(b, v, 2, {{0, 0}, {4, 4}});
        Rec inner = g;
        inner.id = 3, inner.dataCount = 1, inner.penWidth = 0;
        test::putRecord(b, v, inner);
        test::putPolygon(b, v, 4, {{10, 10}, {12, 20}});
    }
    test::putPolygon(b, v, 5, {{1, 1}, {2, 2}});

    const test::Loaded l = loadBytes(b.vec());
    ASSERT_FALSE(l.result.damage) << l.result.damage->message;
    ASSERT_FALSE(l.doc.objects.empty());
    const TQEVMapObjectMem& last = l.doc.objects[l.doc.objects.count() - 1];
    EXPECT_EQ(last.ID, 5);
    EXPECT_TRUE(std::ranges::equal(last.points(), std::vector<TMapPoint>{{1, 1}, {2, 2}}));
    if (v <= 3) {
        for (const TQEVMapObjectMem& o : l.doc.objects)
            if (o.children()) {
                EXPECT_TRUE(o.children()->empty());
            }
        return;
    }
    ASSERT_EQ(l.doc.objects.count(), 2);
    const TQEVMapObjectMem& grp = l.doc.objects[0];
    ASSERT_TRUE(grp.children());
    ASSERT_EQ(grp.children()->count(), 2);
    EXPECT_EQ(grp.DataCount, 2);
    EXPECT_EQ((*grp.children())[0].ID, 2);
    const TQEVMapObjectMem& inner = (*grp.children())[1];
    ASSERT_TRUE(inner.children());
    ASSERT_EQ(inner.children()->count(), 1);
    EXPECT_EQ((*inner.children())[0].ID, 4);
    if (v >= 8) // children's boxes united, widened by half the group's own pen
        EXPECT_EQ(grp.Corners, (std::array<TMapPoint, 4>{TMapPoint{-1, -1}, {13, -1}, {13, 21}, {-1, 21}}));
    else
        EXPECT_EQ(grp.Corners[2], (TMapPoint{9, 9}));
}

TEST_P(EveryVersion, ObjectsAreCountedByTheHeaderFromVersion4) {
    const int32_t v = GetParam();
    Bytes b = test::mapStart(v, 1);
    for (int32_t id = 1; id <= 3; ++id)
        test::putPolygon(b, v, id);
    const test::Loaded l = loadBytes(b.vec());
    EXPECT_FALSE(l.result.damage);
    EXPECT_EQ(l.doc.objects.count(), v <= 3 ? 3 : 1);
    EXPECT_EQ(l.doc.header.ObjectCount, 1);
}

TEST_P(EveryVersion, ZeroObjectCountReadsNothingElse) {
    const int32_t v = GetParam();
    Bytes b = test::mapStart(v, 0);
    b.patch<int32_t>(v >= 10 ? 598 : 594, 1000); // dictionaries that are not there
    test::putPolygon(b, v, 1);
    const test::Loaded l = loadBytes(b.vec());
    EXPECT_FALSE(l.result.damage);
    EXPECT_EQ(l.doc.objects.count(), 0);
    EXPECT_EQ(l.doc.streets.count(), 0);
}

TEST_P(EveryVersion, DuplicateDictionaryNamesKeepTheFirstCode) {
    const int32_t v = GetParam();
    const std::string upper = "\xCB\xC5\xCD\xC8\xCD\xC0",
                      lower = "\xEB\xE5\xED\xE8\xED\xE0"; // ЛЕНИНА, ленина
    const test::DictList towns = v >= 9 ? test::DictList{{1, "Town"}, {2, "TOWN"}} : test::DictList{};
    Bytes b = test::mapStart(v, 1, {{5, upper}, {9, lower}, {3, "Mira"}, {4, "MIRA"}}, towns);
    test::putPolygon(b, v, 1);
    const test::Loaded l = loadBytes(b.vec());
    ASSERT_FALSE(l.result.damage);
    EXPECT_EQ(l.doc.streets.count(), 2);
    EXPECT_EQ(l.doc.streets.name(5), upper);
    EXPECT_EQ(l.doc.streets.name(9), "");
    EXPECT_EQ(l.doc.streets.name(3), "Mira");
    EXPECT_EQ(l.doc.streets.name(4), "");
    if (v >= 9) {
        EXPECT_EQ(l.doc.towns.count(), 1);
        EXPECT_EQ(l.doc.towns.name(1), "Town");
    }
    EXPECT_EQ(l.doc.objects.count(), 1);
}

class BitmapVersion : public ::testing::TestWithParam<std::tuple<int32_t, int>> {};
INSTANTIATE_TEST_SUITE_P(MapVersions, BitmapVersion,
                         ::testing::Combine(::testing::Values(4, 8, 11, 12, 13, 14), ::testing::Values(0, 5)),
                         [](const auto& p) {
                             return "v" + std::to_string(std::get<0>(p.param)) + "_image" +
                                    std::to_string(std::get<1>(p.param));
                         });

TEST_P(BitmapVersion, ImageAndTransparencyRead) {
    const auto [v, imageSize] = GetParam();
    std::vector<uint8_t> image(static_cast<std::size_t>(imageSize));
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(0xF0 + i);
    Bytes b = test::mapStart(v, 2);
    Rec r;
    r.id = 1, r.kind = cBitmap, r.dataCount = 42, r.penWidth = 4;
    test::putRecord(b, v, r);
    test::putBitmap(b, v, {Pt{10, 20}, {50, 20}, {50, 60}, {10, 60}}, 1, 1, 0x123456, image);
    test::putPolygon(b, v, 2);

    const test::Loaded l = loadBytes(b.vec());
    ASSERT_FALSE(l.result.damage) << l.result.damage->message;
    ASSERT_EQ(l.doc.objects.count(), 2);
    const TQEVMapObjectMem& o = l.doc.objects[0];
    ASSERT_TRUE(o.bitmap());
    const TQEVMapBitmap& bm = *o.bitmap();
    EXPECT_EQ(bm.ImageFormat, 1);
    EXPECT_EQ(bm.Transparent, v == 12 ? 0 : 1);
    EXPECT_EQ(bm.TransparentColor, v == 12 ? 0xFFFFFF : 0x123456);
    EXPECT_EQ(bm.ImageData, image);
    EXPECT_EQ(bm.Corners[2], (TMapPoint{50, 60}));
    // Placement corners are the box: the pen does not widen a picture (computed from version 8).
    if (v >= 8) {
        EXPECT_EQ(o.Corners, (std::array<TMapPoint, 4>{TMapPoint{10, 20}, {50, 20}, {50, 60}, {10, 60}}));
    }
    EXPECT_EQ(l.doc.objects[1].ID, 2);
}

// Version numbers the reader does not know load as an empty map, whatever follows them.
TEST(MapReader, UnknownVersionsLoadEmptyWithoutDamage) {
    for (int32_t v : {15, 0, -1, 1000}) {
        Bytes b = test::mapStart(14, 1, {{1, "A"}});
        test::putPolygon(b, 14, 1);
        b.patch<int32_t>(41, v);
        const test::Loaded l = loadBytes(b.vec());
        EXPECT_FALSE(l.result.damage) << v;
        EXPECT_EQ(l.doc.objects.count(), 0) << v;
        EXPECT_EQ(l.doc.streets.count(), 0) << v;
        EXPECT_EQ(l.doc.header.Version, 0) << "the header stays zero";
        EXPECT_EQ(l.result.unknownVersion, v);
    }
}

TEST(MapReader, LimitCapsVersion14Only) {
    for (int32_t v : {13, 14}) {
        Bytes b = test::mapStart(v, 4);
        for (int32_t id = 1; id <= 4; ++id)
            test::putPolygon(b, v, id);
        for (int32_t limit : {0, 2, 10}) {
            MapReadOptions opts;
            opts.limit = limit;
            const test::Loaded l = loadBytes(b.vec(), opts);
            const int expected = v == 14 && limit == 2 ? 2 : 4;
            EXPECT_FALSE(l.result.damage);
            EXPECT_EQ(l.doc.objects.count(), expected) << "v" << v << " limit " << limit;
            EXPECT_EQ(l.doc.header.ObjectCount, expected);
        }
    }
}

} // namespace
} // namespace kestrum
