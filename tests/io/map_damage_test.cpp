// Damaged files: cut short at every byte, or carrying counts and lengths that lie. The reader
// must never crash or allocate what a count claims, must say where the damage is, and must keep
// the objects it could read completely.

#include "io/map_reader.h"
#include "support/largest_allocation.h"
#include "support/map_bytes.h"
#include "support/map_compare.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace kestrum {
namespace {

using test::Bytes;
using test::LargestAllocation;
using test::Pt;
using test::Rec;

constexpr std::size_t kSmallAllocation = 1 << 20;

std::optional<test::Loaded> tryLoad(std::span<const uint8_t> bytes) {
    try {
        return test::loadBytes(bytes);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "reader threw: " << e.what();
    } catch (...) {
        ADD_FAILURE() << "reader threw a non-standard exception";
    }
    return std::nullopt;
}

// --- cut short ------------------------------------------------------------------------------

struct Sample {
    std::vector<uint8_t> bytes;
    std::size_t dataStart = 0;     // first object record
    std::vector<std::size_t> ends; // end of each top-level object
};

// One file per version with every kind that version can hold, blocks included.
Sample sampleFile(int32_t v) {
    const test::DictList towns = v >= 9 ? test::DictList{{0, "TOWN"}} : test::DictList{};
    // Versions 1 to 3 read to the end of the file: their count deliberately says less.
    Bytes b = test::mapStart(v, 1, {{1, "MIRA"}, {2, "LENINA"}}, towns);
    Sample s;
    s.dataStart = b.size();
    auto done = [&] { s.ends.push_back(b.size()); };

    Rec r;
    r.id = 1, r.kind = cPolygon, r.dataCount = 3, r.hasAddress = 1, r.hasExtra = 1, r.penWidth = 2;
    test::putRecord(b, v, r);
    test::putAddress(b, v, {0, 1, 2, "7", "7a"});
    const auto extra = test::extraPattern(9);
    b.raw(extra.data(), extra.size());
    test::putPoints(b, {{0, 0}, {5, 5}, {9, 1}});
    done();

    r = Rec{};
    r.id = 2, r.kind = cText, r.dataCount = v <= 7 ? 88 : 5 + 22;
    test::putRecord(b, v, r);
    if (v <= 7)
        test::putFixedText(b, 1, 2, 30, 0, 12, "Label");
    else
        test::putTextBlock(b, v, 1, 2, 30, 0, 12, "Label");
    done();

    r = Rec{};
    r.id = 3, r.kind = cZametka, r.dataCount = v <= 4 ? 272 : v <= 7 ? 330 : 4 + 75;
    test::putRecord(b, v, r);
    if (v <= 4)
        test::putNoteN1(b, 3, 3, 5, "note");
    else if (v <= 7)
        test::putNoteN2(b, 3, 3, "LIB", "ICON", "note");
    else
        test::putNoteBlock(b, 3, 3, "LIB", "ICON", "note");
    done();

    r = Rec{};
    r.id = 4, r.kind = cEllipse, r.dataCount = 2;
    test::putRecord(b, v, r);
    test::putPoints(b, {{0, 0}, {4, 2}});
    done();

    r = Rec{};
    r.id = 5, r.kind = cGroup;
    if (v <= 3) {
        r.dataCount = 20;
        test::putRecord(b, v, r);
        b.fillBytes(20, 0x33);
    } else {
        r.dataCount = 2;
        test::putRecord(b, v, r);
        test::putPolygon(b, v, 51);
        Rec inner = r;
        inner.id = 52, inner.dataCount = 1;
        test::putRecord(b, v, inner);
        test::putPolygon(b, v, 53, {{1, 2}, {3, 4}, {5, 6}});
    }
    done();

    if (v >= 12) {
        r = Rec{};
        r.id = 6, r.kind = cBitmap, r.dataCount = 42;
        test::putRecord(b, v, r);
        test::putBitmap(b, v, {Pt{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 0, 1, 0xFF, {'B', 'M', 1, 2, 3, 4});
        done();
    }

    r = Rec{};
    r.id = 7, r.kind = 77, r.hasExtra = 1;
    test::putRecord(b, v, r);
    b.raw(extra.data(), extra.size());
    done();

    test::putPolygon(b, v, 8, {{-1, -1}, {1, 1}});
    done();

    if (v >= 4) b.patch<int32_t>(574, static_cast<int32_t>(s.ends.size()));
    s.bytes = b.vec();
    return s;
}

class EveryVersionCut : public ::testing::TestWithParam<int32_t> {};
INSTANTIATE_TEST_SUITE_P(MapDamage, EveryVersionCut, ::testing::Range(1, 15),
                         [](const auto& p) { return "v" + std::to_string(p.param); });

TEST_P(EveryVersionCut, EveryPrefixKeepsTheCompleteObjectsAndReportsTheCut) {
    const int32_t v = GetParam();
    const Sample s = sampleFile(v);
    const test::Loaded full = test::loadBytes(s.bytes);
    ASSERT_FALSE(full.result.damage) << full.result.damage->message;
    ASSERT_EQ(static_cast<std::size_t>(full.doc.objects.count()), s.ends.size());
    {
        // The same file through the buffered file reader, which steps over skipped bytes by seeking.
        const test::TempDir dir;
        test::writeFile(dir / "cut.map", s.bytes);
        MapDocument fromFile;
        FileSource src((dir / "cut.map").string());
        const MapReadResult r = readMap(src, fromFile);
        EXPECT_FALSE(r.damage);
        test::expectSameObjects(fromFile.objects, full.doc.objects);
    }

    for (std::size_t len = 0; len < s.bytes.size(); ++len) {
        const std::optional<test::Loaded> l = tryLoad({s.bytes.data(), len});
        ASSERT_TRUE(l) << "cut at " << len;
        const auto complete =
            static_cast<std::size_t>(std::ranges::count_if(s.ends, [&](auto e) { return e <= len; }));
        // Versions 1 to 3 have no object count: a cut between objects looks like a shorter map.
        const bool looksWhole =
            v <= 3 && (len == s.dataStart || std::ranges::find(s.ends, len) != s.ends.end());
        if (looksWhole) {
            EXPECT_FALSE(l->result.damage) << "cut at " << len;
        } else {
            ASSERT_TRUE(l->result.damage) << "cut at " << len << " not reported";
            const std::size_t lastGood = complete             ? s.ends[complete - 1]
                                         : len >= s.dataStart ? s.dataStart
                                                              : 0;
            EXPECT_LE(l->result.damage->offset, len) << "cut at " << len;
            EXPECT_GE(l->result.damage->offset, lastGood) << "cut at " << len;
            EXPECT_FALSE(l->result.damage->message.empty());
        }
        ASSERT_EQ(static_cast<std::size_t>(l->doc.objects.count()), complete) << "cut at " << len;
        if (v == 14 && len >= s.dataStart) {
            EXPECT_EQ(l->doc.header.ObjectCount, static_cast<int32_t>(complete));
        }
        for (std::size_t i = 0; i < complete; ++i) {
            const int k = static_cast<int>(i);
            EXPECT_EQ(l->doc.objects[k].ID, full.doc.objects[k].ID);
            EXPECT_EQ(l->doc.objects[k].DataCount, full.doc.objects[k].DataCount);
        }
    }
}

// --- counts that lie ------------------------------------------------------------------------

enum class Outcome {
    Skip, // the bad object alone is lost; the one after it is read
    Stop, // reading ends at the bad object
    Keep, // the bad object is kept (cut to what its block holds) and reading goes on
};

struct BadCase {
    std::string name;
    std::vector<int32_t> versions;
    std::function<void(Bytes&, int32_t v)> writeBad; // object 2, between two good outlines
    std::function<Outcome(int32_t v)> outcome;
    std::function<void(const TQEVMapObjectMem& bad)> check = {};
};

Outcome skipFrom13(int32_t v) {
    return v >= 13 ? Outcome::Skip : Outcome::Stop;
}
Outcome stop(int32_t) {
    return Outcome::Stop;
}
Outcome keep(int32_t) {
    return Outcome::Keep;
}

void badRecord(Bytes& b, int32_t v, uint8_t kind, int32_t dataCount) {
    Rec r;
    r.id = 2, r.kind = kind, r.dataCount = dataCount, r.hasAddress = 1;
    test::putRecord(b, v, r);
    test::putAddress(b, v, {});
}

auto withCount(uint8_t kind, int32_t count, std::size_t blockBytes = 0) {
    return [=](Bytes& b, int32_t v) {
        badRecord(b, v, kind, count);
        b.fillBytes(blockBytes, 0x20);
    };
}

auto bitmapWithLength(int32_t length) {
    return [=](Bytes& b, int32_t v) {
        badRecord(b, v, cBitmap, 42);
        b.zeros(32).u8(0);
        if (v >= 13) b.u8(0).i32(0);
        b.i32(length);
    };
}

std::vector<BadCase> badCases() {
    auto emptyText = [](const TQEVMapObjectMem& o) { EXPECT_TRUE(!o.text() || o.text()->Text.empty()); };
    auto emptyNote = [](const TQEVMapObjectMem& o) { EXPECT_TRUE(!o.note() || o.note()->Text.empty()); };
    // clang-format off
    std::vector<BadCase> cases = {
        {"NegativePointCount", {2, 5, 9, 11, 12, 13, 14}, withCount(cPolygon, -1), skipFrom13},
        {"NegativeTextSize", {8, 12, 13, 14}, withCount(cText, -5), skipFrom13},
        {"NegativeNoteSize", {8, 13, 14}, withCount(cZametka, -100), skipFrom13},
        {"NegativeChildCount", {2, 4, 10, 13, 14}, withCount(cGroup, -2), skipFrom13},
        {"NegativeImageLength", {12, 13, 14}, bitmapWithLength(-7), skipFrom13},
        {"HugePointCount", {2, 9, 14}, withCount(cBezier, 0x7FFFFFFF), stop},
        {"HugeTextSize", {8, 14}, withCount(cText, 0x7FFFFFF0), stop},
        {"HugeChildCount", {2, 5, 14}, withCount(cGroup, 0x7FFFFFFF), stop},
        {"HugeImageLength", {12, 14}, bitmapWithLength(0x7FFFFFFF), stop},
        // A block too small even for its own fields: its bytes are consumed, so reading goes on.
        {"TextBlockShorterThanItsFields", {8, 14}, withCount(cText, 5, 5), keep, emptyText},
        {"NoteBlockShorterThanItsFields", {8, 14}, withCount(cZametka, 10, 10), keep, emptyNote},
    };
    // clang-format on
    cases.push_back({"GroupsNestedTooDeep",
                     {4, 14},
                     [](Bytes& b, int32_t v) {
                         for (int i = 0; i < 300; ++i)
                             badRecord(b, v, cGroup, 1);
                         test::putPolygon(b, v, 99);
                     },
                     stop});
    cases.push_back({"TextLengthBeyondItsBlock",
                     {9, 13},
                     [](Bytes& b, int32_t v) {
                         badRecord(b, v, cText, 22 + 4);
                         b.f32(0).f32(0).i32(0).u8(0).i32(12).i32(1000).raw("abcd", 4).u8(0);
                     },
                     keep,
                     [](const TQEVMapObjectMem& o) { EXPECT_EQ(o.text()->Text.substr(0, 4), "abcd"); }});
    cases.push_back({"ChildWithNegativeCount",
                     {13, 14},
                     [](Bytes& b, int32_t v) {
                         badRecord(b, v, cGroup, 3);
                         test::putPolygon(b, v, 21);
                         Rec bad;
                         bad.id = 22, bad.kind = cLine, bad.dataCount = -4;
                         test::putRecord(b, v, bad);
                         test::putPolygon(b, v, 23);
                     },
                     keep,
                     [](const TQEVMapObjectMem& o) {
                         ASSERT_TRUE(o.children());
                         ASSERT_EQ(o.children()->count(), 2);
                         EXPECT_EQ((*o.children())[1].ID, 23);
                     }});
    return cases;
}

struct BadFile {
    std::string name;
    int32_t version;
    BadCase c;
};

void PrintTo(const BadFile& f, std::ostream* os) {
    *os << f.name;
}

std::vector<BadFile> badFiles() {
    std::vector<BadFile> out;
    for (const BadCase& c : badCases())
        for (int32_t v : c.versions)
            out.push_back({c.name + "_v" + std::to_string(v), v, c});
    return out;
}

class LyingCount : public ::testing::TestWithParam<BadFile> {};
INSTANTIATE_TEST_SUITE_P(MapDamage, LyingCount, ::testing::ValuesIn(badFiles()),
                         [](const auto& p) { return p.param.name; });

TEST_P(LyingCount, IsReportedWithoutTrustingIt) {
    const BadFile& f = GetParam();
    const int32_t v = f.version;
    Bytes b = test::mapStart(v, 3);
    test::putPolygon(b, v, 1);
    const std::size_t badStart = b.size();
    f.c.writeBad(b, v);
    test::putPolygon(b, v, 3);

    LargestAllocation largest;
    const std::optional<test::Loaded> l = tryLoad(b.vec());
    ASSERT_TRUE(l);
    EXPECT_LT(largest.bytes(), kSmallAllocation);
    ASSERT_TRUE(l->result.damage);
    EXPECT_GE(l->result.damage->offset, badStart);
    EXPECT_LE(l->result.damage->offset, b.size());

    std::vector<int32_t> ids;
    for (const TQEVMapObjectMem& o : l->doc.objects)
        ids.push_back(o.ID);
    switch (f.c.outcome(v)) {
    case Outcome::Skip:
        EXPECT_EQ(ids, (std::vector<int32_t>{1, 3}));
        EXPECT_EQ(l->result.droppedObjects, 1);
        EXPECT_EQ(l->result.damage->offset, badStart);
        if (v == 14) { // what was read, not what was claimed
            EXPECT_EQ(l->doc.header.ObjectCount, 2);
        }
        break;
    case Outcome::Stop:
        EXPECT_EQ(ids, (std::vector<int32_t>{1}));
        break;
    case Outcome::Keep:
        ASSERT_EQ(ids, (std::vector<int32_t>{1, 2, 3}));
        if (f.c.check) f.c.check(l->doc.objects[1]);
        EXPECT_TRUE(std::ranges::equal(l->doc.objects[2].points(), std::vector<TMapPoint>{{0, 0}, {1, 1}}));
        break;
    }
}

TEST(MapDamage, DictionaryAndObjectCountsBeyondTheFile) {
    for (int32_t v : {2, 9, 14}) {
        SCOPED_TRACE("v" + std::to_string(v));
        for (std::size_t field : {std::size_t{0}, std::size_t{1}}) { // street count, town count
            if (field == 1 && v < 9) continue;
            Bytes b = test::mapStart(v, 1, {{1, "A"}}, v >= 9 ? test::DictList{{1, "B"}} : test::DictList{});
            test::putPolygon(b, v, 1);
            const std::size_t at = (v >= 10 ? 598 : 594) + 8 * field;
            b.patch<int32_t>(at, 0x7FFFFFFF);
            LargestAllocation largest;
            const std::optional<test::Loaded> l = tryLoad(b.vec());
            ASSERT_TRUE(l);
            EXPECT_LT(largest.bytes(), kSmallAllocation);
            EXPECT_TRUE(l->result.damage);
            EXPECT_EQ(l->doc.objects.count(), 0);
        }
        // An object count far beyond the file: every object there is kept, the shortfall reported.
        Bytes b = test::mapStart(v, 0x7FFFFFFF);
        for (int32_t id = 1; id <= 3; ++id)
            test::putPolygon(b, v, id);
        LargestAllocation largest;
        const std::optional<test::Loaded> l = tryLoad(b.vec());
        ASSERT_TRUE(l);
        EXPECT_LT(largest.bytes(), kSmallAllocation);
        EXPECT_EQ(l->doc.objects.count(), 3);
        EXPECT_EQ(l->result.damage.has_value(), v >= 4); // versions 1 to 3 never look at the count
        if (v == 14) {
            EXPECT_EQ(l->doc.header.ObjectCount, 3);
        }
    }
}

TEST(MapDamage, GroupsNestedDeeplyButWithinReason) {
    for (int32_t v : {4, 14}) {
        Bytes b = test::mapStart(v, 1);
        for (int i = 0; i < 200; ++i)
            badRecord(b, v, cGroup, 1);
        test::putPolygon(b, v, 7);
        const std::optional<test::Loaded> l = tryLoad(b.vec());
        ASSERT_TRUE(l);
        EXPECT_FALSE(l->result.damage);
        ASSERT_EQ(l->doc.objects.count(), 1);
        const TQEVMapObjectMem* o = &l->doc.objects[0];
        int depth = 0;
        while (o->children() && o->children()->count() == 1)
            o = &(*o->children())[0], ++depth;
        EXPECT_EQ(depth, 200);
        EXPECT_EQ(o->ID, 7);
    }
}

} // namespace
} // namespace kestrum
