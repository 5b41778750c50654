// Version-14 writer against the reader: everything written reads back unchanged, and the bytes
// the writer produces are the documented layout, checked against a file built by hand.

#include "io/map_reader.h"
#include "io/map_writer.h"
#include "support/map_bytes.h"
#include "support/map_compare.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

using test::Bytes;
using test::loadBytes;

// Windows-1251 names, as maps store them.
const std::string kLenina = "\xCB\xC5\xCD\xC8\xCD\xC0"; // ЛЕНИНА
const std::string kMoskva = "\xCC\xCE\xD1\xCA\xC2\xC0"; // МОСКВА

TQEVMapObjectMem shape(uint8_t kind, int32_t id, std::initializer_list<TMapPoint> pts) {
    TQEVMapObjectMem o;
    o.ID = id;
    o.Kind = kind;
    o.Pen = {0x0000FF, 1, 2.5f, kPenSquareEnds};
    o.Brush = {0x00FF00, 2};
    o.setPoints(PointArray(pts));
    return o;
}

TQEVMapObjectMem text(int32_t id, std::string s) {
    TQEVMapObjectMem o;
    o.ID = id;
    o.Kind = cText;
    o.setText({100.5f, -20.25f, 450, 1, 12.5f, std::move(s)});
    return o;
}

TQEVMapObjectMem note(int32_t id) {
    TQEVMapObjectMem o;
    o.ID = id;
    o.Kind = cZametka;
    TQEVMapZametka z;
    z.X = 5, z.Y = 6;
    z.LibName.assign("TOWNICONS");
    z.IconName.assign("church");
    z.Text = "Open 9-18\r\nclosed on Mondays";
    o.setNote(std::move(z));
    return o;
}

TQEVMapObjectMem bitmap(int32_t id, std::vector<uint8_t> image) {
    TQEVMapObjectMem o;
    o.ID = id;
    o.Kind = cBitmap;
    TQEVMapBitmap b;
    b.Corners = {TMapPoint{0, 0}, {64, 0}, {64, 48}, {0, 48}};
    b.ImageFormat = 1;
    b.Transparent = 1;
    b.TransparentColor = 0x00FF00FF;
    b.ImageData = std::move(image);
    o.setBitmap(std::move(b));
    return o;
}

template <class... Kids> TQEVMapObjectMem group(int32_t id, Kids&&... kids) {
    TQEVMapObjectMem o;
    o.ID = id;
    o.Kind = cGroup;
    o.Pen.Width = 4;
    auto list = std::make_unique<TQevMapList>();
    (list->Add(std::forward<Kids>(kids)), ...);
    o.setChildren(std::move(list));
    return o;
}

TAddressCode address(int16_t town, int16_t street, std::string_view house, int16_t street1,
                     std::string_view house1) {
    TAddressCode a;
    a.TownCode = town, a.StreetCode = street, a.Street1Code = street1;
    a.House.assign(house);
    a.House1.assign(house1);
    return a;
}

// A map with every kind, every block and the odd values a real file can carry.
MapDocument richDocument() {
    MapDocument doc;
    MapHeader& h = doc.header;
    h.Version = 14;
    h.Signature.assign("Kestrum map");
    h.NameMap.assign(kMoskva + " centre");
    h.CreatedBy.assign("round trip");
    h.Kept557 = {9, 8, 7, 6, 5};
    h.Mashtab = 10000;
    h.Date = 45123.75;
    h.NextID = 500;
    h.Scale = 333.5;
    h.XWind = -1.5f, h.YWind = 2.75f;
    h.NextStreetCode = 3;
    h.NextTownCode = 1;
    h.Kept614 = 0xA5;
    doc.streets.addLoaded(kLenina, 1);
    doc.streets.addLoaded("MIRA", 2);
    doc.towns.addLoaded(kMoskva, 0);
    h.StreetCount = 2, h.TownCount = 1;

    TQEVMapObjectMem poly = shape(cPolygon, 1, {{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    poly.Reserved1 = 7, poly.Reserved2 = 9;
    poly.Ploskost = -64, poly.ClassCode = 512031, poly.Locked = 1, poly.Alpha = 128, poly.Height = 12.5f;
    poly.Center = {5, 5};
    poly.setAddress(address(0, 1, "12\xC0", 2, "3")); // 12А
    poly.setExtra(test::extraPattern(3));

    TQEVMapObjectMem line = shape(cLine, 2, {{1, 1}, {2, 3}});
    line.Pen.Flags = kPenPixelLine;
    TQEVMapObjectMem odd10;
    odd10.ID = 12, odd10.Kind = 10;
    TQEVMapObjectMem odd255;
    odd255.ID = 13, odd255.Kind = 255, odd255.DataCount = 77; // carried, never read as a length
    odd255.setExtra(test::extraPattern(200));
    odd255.HasAddress = 2; // not 1: promises no block

    TQEVMapObjectMem inner =
        group(22, text(23, "inner"), note(24), group(25, shape(cLine, 26, {{-5, -5}, {1, 2}})));
    inner.setAddress(address(-1, 2, "1", -1, ""));

    std::vector<TQEVMapObjectMem> all;
    all.push_back(std::move(poly));
    all.push_back(std::move(line));
    all.push_back(shape(cPixel, 3, {{7, 7}}));
    all.push_back(text(4, kLenina + " street"));
    all.push_back(text(5, ""));
    all.push_back(bitmap(6, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0xFF, 0xD9}));
    all.push_back(bitmap(7, {}));
    all.push_back(shape(cBezier, 8, {{0, 0}, {1, 5}, {2, -5}, {3, 0}}));
    all.push_back(shape(cEllipse, 9, {{0, 0}, {8, 0}, {8, 4}, {0, 4}}));
    all.push_back(shape(cBezierFill, 10, {{0, 0}, {1, 1}, {2, 0}, {1, -1}}));
    all.push_back(note(11));
    all.push_back(std::move(odd10));
    all.push_back(std::move(odd255));
    all.push_back(group(20, shape(cPolygon, 21, {{100, 100}, {110, 120}}), std::move(inner)));
    all.push_back(shape(cPolygon, 30, {})); // an empty outline is legal
    const MapReadOptions defaults;
    for (auto& o : all) {
        ComputeCorners(o, defaultTextMeasurer(), defaults.fonts);
        doc.objects.Add(std::move(o));
    }
    h.ObjectCount = doc.objects.count();
    return doc;
}

TEST(MapRoundTrip, EveryKindAndBlockReadsBackAndRewritesIdentically) {
    const MapDocument doc = richDocument();
    const std::vector<uint8_t> bytes = writeMapToBytes(doc);
    const test::Loaded back = loadBytes(bytes);
    ASSERT_FALSE(back.result.damage) << back.result.damage->message;
    EXPECT_EQ(back.result.droppedObjects, 0);

    EXPECT_EQ(back.doc.header, doc.header);
    ASSERT_EQ(back.doc.streets.count(), 2);
    EXPECT_EQ(back.doc.streets.name(1), kLenina);
    EXPECT_EQ(back.doc.streets.name(2), "MIRA");
    EXPECT_EQ(back.doc.towns.name(0), kMoskva);
    test::expectSameObjects(back.doc.objects, doc.objects);

    const TAdres a = back.doc.DecodeAddress(back.doc.objects[0]);
    EXPECT_EQ(a, (TAdres{kMoskva, kLenina, "12\xC0", "MIRA", "3"}));

    EXPECT_EQ(writeMapToBytes(back.doc), bytes);
}

TEST(MapRoundTrip, EmptyMapIsAHeaderAlone) {
    MapDocument doc;
    doc.streets.addLoaded("UNUSED", 4); // an empty map carries no dictionaries
    const std::vector<uint8_t> bytes = writeMapToBytes(doc);
    ASSERT_EQ(bytes.size(), 615u);
    const test::Loaded back = loadBytes(bytes);
    EXPECT_FALSE(back.result.damage);
    EXPECT_EQ(back.doc.objects.count(), 0);
    EXPECT_EQ(back.doc.header.Version, 14);
}

// Objects whose counts and flags disagree with the blocks they hold (as editing can leave them)
// must still produce a file that reads back cleanly.
TEST(MapRoundTrip, WriterDescribesTheBlocksItHolds) {
    MapDocument doc;
    TQEVMapObjectMem poly = shape(cPolygon, 1, {{0, 0}, {1, 1}, {2, 0}});
    poly.DataCount = 99;
    poly.HasAddress = 1; // no block behind it
    TQEVMapObjectMem bareText;
    bareText.ID = 2, bareText.Kind = cText; // no text block yet
    TQEVMapObjectMem bareNote;
    bareNote.ID = 3, bareNote.Kind = cZametka;
    TQEVMapObjectMem bareBitmap;
    bareBitmap.ID = 4, bareBitmap.Kind = cBitmap;
    doc.objects.Add(std::move(poly));
    doc.objects.Add(std::move(bareText));
    doc.objects.Add(std::move(bareNote));
    doc.objects.Add(std::move(bareBitmap));
    doc.objects.Add(shape(cLine, 5, {{3, 3}, {4, 4}}));

    const test::Loaded back = loadBytes(writeMapToBytes(doc));
    EXPECT_FALSE(back.result.damage) << back.result.damage->message;
    ASSERT_EQ(back.doc.objects.count(), 5);
    EXPECT_EQ(back.doc.objects[0].DataCount, 3);
    EXPECT_EQ(back.doc.objects[0].HasAddress, 0);
    EXPECT_EQ(back.doc.objects[4].ID, 5);
    EXPECT_EQ(back.doc.objects[4].points().size(), 2u);
}

// The writer's bytes for a small map, against the same map laid out by hand.
TEST(MapWriter, ProducesTheVersion14Layout) {
    MapDocument doc;
    MapHeader& h = doc.header;
    h.Signature.assign("SIG");
    h.NameMap.assign("N");
    h.CreatedBy.assign("C");
    h.Kept557 = {1, 2, 3, 4, 5};
    h.Mashtab = 2000, h.Date = 45000.5, h.NextID = 77, h.Scale = 250.0, h.XWind = -12.5f, h.YWind = 33.25f;
    h.NextStreetCode = 9, h.NextTownCode = 4, h.Kept614 = 0x5A;
    doc.streets.addLoaded("ZETA", 8); // written in name order
    doc.streets.addLoaded("ALFA", 3);
    doc.towns.addLoaded("T", 2);

    TQEVMapObjectMem poly = shape(cPolygon, 1, {{1, 2}, {3, 4}});
    poly.Reserved1 = -1, poly.Reserved2 = 3, poly.Center = {2, 3}, poly.Ploskost = -5, poly.ClassCode = 70000;
    poly.Locked = 1, poly.Alpha = 200, poly.Height = 7.5f;
    poly.setAddress(address(2, 3, "10", 8, "2B"));
    poly.setExtra(test::extraPattern(1));
    doc.objects.Add(std::move(poly));
    doc.objects.Add(group(2, text(3, "ab"), note(4), bitmap(5, {1, 2, 3})));

    Bytes b;
    test::HeaderFields hf;
    hf.signature = "SIG", hf.name = "N", hf.createdBy = "C", hf.stringFill = 0;
    hf.objectCount = 2, hf.nextID = 77, hf.streetCount = 2, hf.nextStreetCode = 9, hf.townCount = 1;
    hf.nextTownCode = 4;
    test::putHeader(b, hf);
    test::putDictEntry(b, 3, "ALFA", 0);
    test::putDictEntry(b, 8, "ZETA", 0);
    test::putDictEntry(b, 2, "T", 0);

    test::Rec r;
    r.id = 1, r.reserved1 = -1, r.reserved2 = 3, r.center = {2, 3}, r.ploskost = -5, r.classCode = 70000;
    r.locked = 1, r.kind = cPolygon, r.dataCount = 2, r.alpha = 200, r.penColor = 0x0000FF, r.penStyle = 1;
    r.penWidth = 2.5f, r.penFlags = 1, r.brushColor = 0x00FF00, r.brushStyle = 2, r.hasAddress = 1,
    r.hasExtra = 1;
    r.height = 7.5f;
    test::putRecord(b, 14, r);
    test::putAddress(b, 14, {2, 3, 8, "10", "2B"});
    const auto extra = test::extraPattern(1);
    b.raw(extra.data(), extra.size());
    test::putPoints(b, {{1, 2}, {3, 4}});

    test::Rec g;
    g.id = 2, g.kind = cGroup, g.dataCount = 3, g.penWidth = 4;
    test::putRecord(b, 14, g);
    test::Rec t;
    t.id = 3, t.kind = cText, t.dataCount = 2 + 22;
    test::putRecord(b, 14, t);
    test::putTextBlock(b, 14, 100.5f, -20.25f, 450, 1, 12.5f, "ab");
    test::Rec n;
    n.id = 4, n.kind = cZametka, n.dataCount = 28 + 75;
    test::putRecord(b, 14, n);
    test::putNoteBlock(b, 5, 6, "TOWNICONS", "church", "Open 9-18\r\nclosed on Mondays");
    test::Rec bm;
    bm.id = 5, bm.kind = cBitmap, bm.dataCount = 42;
    test::putRecord(b, 14, bm);
    test::putBitmap(b, 14, {test::Pt{0, 0}, {64, 0}, {64, 48}, {0, 48}}, 1, 1, 0x00FF00FF, {1, 2, 3});

    const std::vector<uint8_t> written = writeMapToBytes(doc);
    ASSERT_EQ(written.size(), b.size());
    for (std::size_t i = 0; i < written.size(); ++i)
        ASSERT_EQ(written[i], b.vec()[i]) << "first difference at byte " << i;
}

} // namespace
} // namespace kestrum
