// Icon libraries in memory: the built-in library, lookups by library and picture name with
// their trimming and case rules, the bitmap cache and the registered clients.

#include "image/bmp_codec.h"
#include "icons/builtin_catalogue.h"
#include "icons/builtin_library.h"
#include "icons/qev_icon.h"
#include "io/byte_source.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>


using namespace kestrum;

namespace {

// A 2 x 2 picture of one colour, so that each picture is told apart by its pixels.
std::vector<uint8_t> solid(uint32_t rgb, int size = 2) {
    BmpImage img;
    img.width = img.height = size;
    img.pixels.assign(std::size_t(size * size), 0xFF000000u | rgb);
    return encodeBmp(img);
}

IconPictureHeader named(std::string name, int32_t key = 0x00FFFF00, uint8_t flag = 1) {
    IconPictureHeader h;
    h.name = std::move(name);
    h.transparentColor = key;
    h.transparent = flag;
    return h;
}

// A library of `n` pictures "P0", "P1", ... of distinct colours.
void fill(TQevIconList& lib, int n) {
    for (int i = 0; i < n; ++i)
        lib.AddPicture(named("P" + std::to_string(i)), solid(uint32_t(i) * 0x010203u));
}

std::vector<uint8_t> libraryBytes(const std::string& name, int32_t version = 1) {
    IconLibraryHeader h;
    h.name = name;
    h.version = version;
    std::vector<IconPicture> pics(2);
    pics[0] = {named("one"), solid(0xFF0000)};
    pics[1] = {named("two"), solid(0x00FF00)};
    return writeIconLibrary(h, pics);
}

class RecordingClient final : public TQevIconClient {
  public:
    int changes = 0;
    void IconLibrariesChanged(TQevIcon&) override { ++changes; }
    void IconComponentDestroyed(TQevIcon&) override {}
};

} // namespace

// The 62 numbered pictures, then those drawn for points of Polish-format maps.
constexpr std::size_t kPolishOwnPictures = 4;
constexpr int kPictureCount = 62 + static_cast<int>(kPolishOwnPictures);

TEST(BuiltinIcons, TheLibraryIsConsumedExactlyAsSixtyTwoEightBitPicturesAndThePolishOnes) {
    const std::span<const uint8_t> bytes = builtinIconLibrary();
    EXPECT_EQ(bytes.size(), 132985u + kPolishOwnPictures * (40 + 2102));
    const IconLibraryFile f = readIconLibrary(bytes);
    ASSERT_TRUE(f.header);
    EXPECT_FALSE(f.damage);
    EXPECT_EQ(f.bytesUsed, bytes.size());
    EXPECT_EQ(f.header->name, "Default");
    EXPECT_EQ(f.header->version, 1);
    ASSERT_EQ(f.pictures.size(), kBuiltinIcons.size() + kPolishOwnPictures);
    for (std::size_t i = 0; i < f.pictures.size(); ++i) {
        const IconPicture& p = f.pictures[i];
        SCOPED_TRACE("picture " + p.header.name);
        if (i < kBuiltinIcons.size())
            EXPECT_EQ(p.header.name, std::to_string(i));
        else
            EXPECT_TRUE(p.header.name.starts_with("MP-"));
        EXPECT_EQ(p.header.transparentColor, 0x00FFFF00);
        EXPECT_EQ(p.header.transparent, 1);
        EXPECT_EQ(p.data.size(), 2102u);
        BmpImage img;
        ASSERT_TRUE(decodeBmp(p.data, img));
        EXPECT_EQ(img.bitsPerPixel, 8);
        EXPECT_EQ(img.width, 32);
        EXPECT_EQ(img.height, 32);
        // The corners lie outside the rounded symbol: the key there is also the picture's own
        // automatic transparent colour (its lower-left pixel).
        EXPECT_EQ(img.at(0, 31), 0xFF00FFFFu);
        EXPECT_EQ(img.at(0, 0), 0xFF00FFFFu);
        // The symbol itself: the centre is covered, and it has a white glyph on its body.
        EXPECT_NE(img.at(16, 16) & 0xFFFFFFu, 0x00FFFFu);
        const auto white = std::count(img.pixels.begin(), img.pixels.end(), 0xFFFFFFFFu);
        EXPECT_GT(white, 20);
    }
}

TEST(IconLookup, GetBitmapTrimsAndIgnoresCaseWhileTheOtherLookupsTakeNamesAsGiven) {
    TQevIcon icons;
    MemorySource src(builtinIconLibrary());
    icons.AddLibrary("Default").LoadFromStream(src);

    const TImage* five = icons.GetBitmap("default ", "  5 ");
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(five, icons.GetBitmap("Default", "5"));
    EXPECT_EQ(five->width(), 32);
    EXPECT_TRUE(five->Transparent);
    EXPECT_EQ(five->TransparentColor, 0x00FFFF00);
    EXPECT_NE(icons.GetBitmapByIndex(" DEFAULT", 61), nullptr);

    EXPECT_EQ(icons.PictureCount("default "), 0);
    EXPECT_EQ(icons.PictureCount("DEFAULT"), kPictureCount);
    EXPECT_EQ(icons.IndexOfLibrary(" Default"), -1);
    EXPECT_EQ(icons.IndexOfLibrary("dEfAuLt"), 0);
    EXPECT_EQ(icons.IndexOfPicture("Default", " 5"), -1);
    EXPECT_EQ(icons.IndexOfPicture("Default", "5"), 5);
    EXPECT_EQ(icons.PictureName("Default", 61), "61");
    EXPECT_EQ(icons.PictureName("Default", 62), "MP-SERVICES");
    EXPECT_EQ(icons.PictureName("Default", kPictureCount), "");
    EXPECT_EQ(icons.PictureName("Default", -1), "");
    EXPECT_EQ(icons.PictureName("Default ", 0), "");
    EXPECT_EQ(icons.LibraryName(0), "Default");
    EXPECT_EQ(icons.LibraryName(1), "");
    EXPECT_EQ(icons.GetBitmapByIndex("Default", kPictureCount), nullptr);
    EXPECT_EQ(icons.GetBitmap("Default", "62"), nullptr);
    EXPECT_EQ(icons.GetBitmap("Other", "5"), nullptr);

    // An empty set answers as for a missing library.
    icons.ClearLibraries();
    EXPECT_EQ(icons.GetBitmap("Default", "5"), nullptr);
    EXPECT_EQ(icons.PictureCount("Default"), 0);
    EXPECT_EQ(icons.IndexOfPicture("Default", "5"), -1);
}

TEST(IconLookup, OfTwoLibrariesWithOneNameOnlyTheFirstIsEverUsed) {
    TQevIcon icons;
    fill(icons.AddLibrary("Twin"), 1);
    TQevIconList& second = icons.AddLibrary("TWIN");
    second.AddPicture(named("P0"), solid(0xABCDEF));
    second.AddPicture(named("only-here"), solid(0xABCDEF));
    EXPECT_EQ(icons.IndexOfLibrary("twin"), 0);
    EXPECT_EQ(icons.PictureCount("Twin"), 1);
    EXPECT_EQ(icons.GetBitmap("Twin", "only-here"), nullptr);
    const TImage* p0 = icons.GetBitmap("TWIN", "P0");
    ASSERT_NE(p0, nullptr);
    EXPECT_EQ(p0->pixel(0, 0), 0xFF000000u); // the first library's picture 0 is black
}

TEST(IconLibrary, PicturesAreNamedTrimmedUpperCaseAndCut) {
    TQevIconList lib;
    lib.AddPicture(named("  fuel pump \t"), solid(1));
    lib.AddPicture(named(std::string(40, 'x')), solid(2));
    lib.AddPicture(named("\xe0\xe7\xf1"), solid(3)); // Cyrillic small letters in Windows-1251
    lib.AddPicture(named("FUEL PUMP"), solid(4));    // duplicates are kept; by name the first wins
    EXPECT_EQ(lib.Strings(0), "FUEL PUMP");
    EXPECT_EQ(lib.Strings(1), std::string(30, 'X'));
    EXPECT_EQ(lib.Strings(2), "\xc0\xc7\xd1");
    EXPECT_EQ(lib.Header().pictureCount, 4);
    EXPECT_EQ(lib.IndexOfPicture("Fuel Pump"), 0);
    EXPECT_EQ(lib.IndexOfPicture("\xe0\xe7\xf1"), 2);
    lib.Delete(0);
    EXPECT_EQ(lib.IndexOfPicture("fuel pump"), 2);
    EXPECT_EQ(lib.Header().pictureCount, 3);
    lib.Delete(7); // past the end: nothing happens
    EXPECT_EQ(lib.Count(), 3);
    lib.NameLibrary(std::string(31, 'n'));
    EXPECT_EQ(lib.NameLibrary(), std::string(30, 'n'));
}

TEST(IconLibrary, BitmapsCarryThePictureRecordsColourKey) {
    TQevIconList lib;
    lib.AddPicture(named("keyed", 0x0000FF, 1), solid(0x00FF00));
    lib.AddPicture(named("opaque", 0x0000FF, 0), solid(0x00FF00));
    lib.AddPicture(named("broken"), {'B', 'M', 1, 2, 3});
    const TImage* keyed = lib.GetBitmapByName("keyed");
    ASSERT_NE(keyed, nullptr);
    EXPECT_TRUE(keyed->Transparent);
    EXPECT_EQ(keyed->TransparentColor, 0x0000FF);
    EXPECT_EQ(keyed->colorAt(1, 1), 0x00FF00);
    EXPECT_FALSE(lib.GetBitmapByName("opaque")->Transparent);
    // Data that is no bitmap answers as a missing picture and takes no cache slot.
    EXPECT_EQ(lib.GetBitmapByName("broken"), nullptr);
    EXPECT_EQ(lib.Cache().size(), 2u);
}

TEST(IconCache, TheThirtySecondPictureEvictsTheLeastUsedCountingFromEntryZero) {
    TQevIconList lib;
    fill(lib, 40);
    for (int i = 0; i < 31; ++i)
        ASSERT_NE(lib.GetBitmapByIndex(i), nullptr);
    ASSERT_EQ(lib.Cache().size(), TQevIconList::kCacheSize);

    // All counts equal: entry 0 goes.
    lib.GetBitmapByName("p31");
    ASSERT_EQ(lib.Cache().size(), 31u);
    EXPECT_EQ(lib.Cache()[0].Number, 31);
    EXPECT_EQ(lib.Cache()[0].Name, "P31");
    EXPECT_EQ(lib.Cache()[0].UseCount, 0);

    // Hits count: with every entry but 5 and 9 used once more, entry 5 is the first least used.
    for (int i = 0; i < 31; ++i)
        if (i != 5 && i != 9) lib.GetBitmapByIndex(lib.Cache()[std::size_t(i)].Number);
    EXPECT_EQ(lib.Cache()[1].UseCount, 1);
    lib.GetBitmapByIndex(35);
    EXPECT_EQ(lib.Cache()[5].Number, 35);
    lib.GetBitmapByIndex(35); // a hit: the new entry no longer ties with entry 9
    lib.GetBitmapByIndex(36);
    EXPECT_EQ(lib.Cache()[9].Number, 36);
    EXPECT_EQ(lib.Cache()[5].Number, 35);

    // The evicted picture decodes again; cached pictures come back from the cache, named or
    // numbered.
    const TImage* p0 = lib.GetBitmapByName("P0");
    ASSERT_NE(p0, nullptr);
    EXPECT_EQ(p0, lib.GetBitmapByIndex(0));
}

TEST(IconCache, EveryChangeOfTheLibraryEmptiesTheCache) {
    TQevIconList lib;
    fill(lib, 2);
    const auto loaded = libraryBytes("Loaded");
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"add", [&] { lib.AddPicture(named("new"), solid(5)); }},
        {"delete", [&] { lib.Delete(2); }},
        {"rename", [&] { lib.NameLibrary("Renamed"); }},
        {"load", [&] { MemorySource src(loaded); lib.LoadFromStream(src); }},
        {"clear", [&] { lib.Clear(); }},
    };
    for (const auto& [what, change] : changes) {
        lib.GetBitmapByIndex(0);
        ASSERT_EQ(lib.Cache().size(), 1u) << what;
        change();
        EXPECT_TRUE(lib.Cache().empty()) << what;
    }
    EXPECT_EQ(lib.Header().pictureCount, 0);
}

TEST(IconLibrary, LoadingKeepsWhatADamagedStreamHoldsAndAFutureVersionOnlyItsName) {
    TQevIconList lib;
    const auto future = libraryBytes("Future", 2);
    MemorySource f(future);
    EXPECT_FALSE(lib.LoadFromStream(f).damage);
    EXPECT_EQ(lib.Count(), 0);
    EXPECT_EQ(lib.NameLibrary(), "Future");

    auto cut = libraryBytes("Cut");
    cut.resize(cut.size() - 10);
    MemorySource c(cut);
    const IconLoadResult r = lib.LoadFromStream(c);
    ASSERT_TRUE(r.damage);
    EXPECT_EQ(lib.NameLibrary(), "Cut");
    ASSERT_EQ(lib.Count(), 1);
    EXPECT_EQ(lib.Strings(0), "ONE");
    EXPECT_EQ(lib.Header().pictureCount, 1);
    EXPECT_NE(lib.GetBitmapByName("one"), nullptr);
}

TEST(IconComponent, LoadLibraryAppendsFilesUnderTheirOwnNameAndNotifiesClients) {
    const test::TempDir dir;
    const auto file = dir / "icons.lib";
    test::writeFile(file, libraryBytes("FromFile"));
    TQevIcon icons;
    RecordingClient a, b;
    icons.AddClient(&a);
    icons.AddClient(&b);
    icons.AddClient(&a); // once only
    ASSERT_EQ(icons.Clients().size(), 2u);

    icons.AddLibrary("Empty");
    EXPECT_FALSE(icons.LoadLibrary(file.string()).damage);
    EXPECT_THROW(icons.LoadLibrary((dir / "missing.lib").string()), FileError);
    EXPECT_EQ(icons.LibraryCount(), 2);
    EXPECT_EQ(icons.LibraryName(1), "FromFile");
    EXPECT_EQ(icons.PictureCount("fromfile"), 2);
    EXPECT_EQ(a.changes, 2);
    icons.ClearLibraries();
    EXPECT_EQ(a.changes, 3);
    EXPECT_EQ(b.changes, 3);

    icons.RemoveClient(&a);
    icons.AddClient(&a);
    ASSERT_EQ(icons.Clients().size(), 2u);
    EXPECT_EQ(icons.Clients()[0], &b); // removal closes the gap in order
}
