// The object sink importers post into: a bare document filled through TDocumentSink must come
// out as the map component's document does for the same files (one posting code serves both),
// and the sink's own rules (what is stored, numbering, Center, extent, addresses, progress and
// cancel) hold without a component.

#include "component/korvane.h"
#include "component/korvane_import.h"
#include "import/document_sink.h"
#include "io/byte_source.h"
#include "io/file_open.h"
#include "io/map_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(KESTRUM_SHARED_DIR) / "corpus";

std::span<const uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// The component's document and the bare one hold the same header counts, extent, code page,
// dictionaries and objects (compared as the bytes of the ".MAP" file each would write).
void expectSameDocument(TKorvane& map, MapDocument& doc, const std::string& what) {
    SCOPED_TRACE(what);
    const MapHeader& a = map.Header();
    MapHeader& b = doc.header;
    EXPECT_EQ(a.ObjectCount, b.ObjectCount);
    EXPECT_EQ(a.NextID, b.NextID);
    EXPECT_EQ(a.StreetCount, b.StreetCount);
    EXPECT_EQ(a.NextStreetCode, b.NextStreetCode);
    EXPECT_EQ(a.TownCount, b.TownCount);
    EXPECT_EQ(a.NextTownCode, b.NextTownCode);
    EXPECT_EQ(a.NameMap.str(), b.NameMap.str());
    EXPECT_EQ(map.MapExtent(), doc.extent);
    EXPECT_EQ(map.Document().codePage, doc.codePage);
    ASSERT_EQ(map.Objects().count(), doc.objects.count());
    for (int i = 0; i < doc.objects.count(); ++i) {
        EXPECT_EQ(map.Objects()[i].Center, doc.objects[i].Center) << "object " << i;
        EXPECT_EQ(map.Objects()[i].Corners, doc.objects[i].Corners) << "object " << i;
    }
    // What only a component sets (date, view) is no part of the comparison.
    b.Date = a.Date, b.Scale = a.Scale, b.XWind = a.XWind, b.YWind = a.YWind;
    EXPECT_EQ(writeMapToBytes(map.Document()), writeMapToBytes(doc));
}

TEST(DocumentSink, CorpusFilesImportAsIntoTheComponent) {
    int files = 0;
    for (const char* dir : {"mif", "mp"}) {
        std::error_code ec;
        for (const fs::directory_entry& e : fs::directory_iterator(kCorpus / dir, ec)) {
            const std::string ext = pathToUtf8(e.path().extension());
            const bool mif = ext == ".mif" || ext == ".MIF";
            if (!(mif || ext == ".mp") || e.file_size() > (std::uintmax_t{1} << 20)) continue;
            TKorvane map;
            MapDocument doc;
            TDocumentSink sink(doc);
            ImportResult a, b;
            if (mif) {
                a = ImportMIFFile(map, e.path());
                b = ImportMIFFile(sink, e.path());
            } else {
                a = ImportPolishFile(map, pathToUtf8(e.path()), builtinPolishStyles());
                b = ImportPolishFile(sink, pathToUtf8(e.path()), builtinPolishStyles());
            }
            EXPECT_EQ(a.objects, b.objects);
            EXPECT_EQ(a.problems, b.problems);
            EXPECT_EQ(a.warnings, b.warnings);
            EXPECT_GT(b.objects, 0) << e.path();
            expectSameDocument(map, doc, pathToUtf8(e.path()));
            ++files;
        }
    }
    if (files == 0) GTEST_SKIP() << "no corpus at " << kCorpus;
}

TEST(DocumentSink, PostsOnlyObjectsWithDataAndNumbersThem) {
    MapDocument doc;
    doc.header.NextID = 7;
    TDocumentSink sink(doc);

    TQEVMapObjectMem& line = sink.NewObject();
    EXPECT_EQ(line.ID, 7);
    line.Kind = cLine;
    line.setPoints({{0, 0}, {10, 4}});
    line.Center = {99, 99}; // an append sets it from the corners
    sink.AddressNames().Street = "Mira";
    sink.AddressNames().House = "5";
    ASSERT_TRUE(sink.Post());

    // No points, and a text without text: nothing is stored, nothing numbered.
    sink.NewObject().Kind = cLine;
    EXPECT_FALSE(sink.Post());
    TQEVMapObjectMem& empty = sink.NewObject();
    empty.Kind = cText;
    sink.EncodeText(empty, TQEVMapText{});
    EXPECT_FALSE(sink.Post());

    TQEVMapObjectMem& text = sink.NewObject();
    EXPECT_EQ(text.ID, 8);
    EXPECT_TRUE(sink.AddressNames().Street.empty()); // names belong to one object
    text.Kind = cText;
    TQEVMapText t;
    t.X = -20, t.Y = 30, t.FontSize = 10, t.Text = "abc";
    sink.EncodeText(text, t);
    ASSERT_TRUE(sink.Post());

    ASSERT_EQ(doc.objects.count(), 2);
    EXPECT_EQ(doc.header.NextID, 9);
    EXPECT_EQ(doc.header.ObjectCount, 2);
    EXPECT_EQ(doc.objects[0].Center, (TMapPoint{5, 2}));
    EXPECT_EQ(doc.objects[1].Center, (TMapPoint{-20, 30}));
    const TAdres a = doc.DecodeAddress(doc.objects[0]);
    EXPECT_EQ(a.Street, "MIRA");
    EXPECT_EQ(a.House, "5");
    EXPECT_EQ(doc.header.StreetCount, 1);
    EXPECT_EQ(doc.objects[1].HasAddress, 0);
    // The extent covers both, the text's measured box included.
    EXPECT_EQ(doc.extent.MinX, -20);
    EXPECT_EQ(doc.extent.MaxX, 10);
    EXPECT_LE(doc.extent.MinY, 0);
    EXPECT_GE(doc.extent.MaxY, 30);

    // A block of another kind is refused.
    TQEVMapObjectMem& note = sink.NewObject();
    note.Kind = cLine;
    sink.EncodeNote(note, TQEVMapZametka{});
    EXPECT_EQ(note.note(), nullptr);
}

TEST(DocumentSink, ProgressAndCancelAreTheSinksCallbacks) {
    std::string mif = "Version 300\nCharset \"WindowsCyrillic\"\nColumns 1\n  a Char(5)\nData\n";
    for (int i = 0; i < 200; ++i) mif += "Point " + std::to_string(i) + " 1\n";
    {
        MapDocument doc;
        TDocumentSink sink(doc);
        std::vector<int> seen;
        sink.progress = [&seen](int p) { seen.push_back(p); };
        MemorySource src(bytesOf(mif));
        const ImportResult r = ImportMIF(sink, src, nullptr, "p.mif");
        EXPECT_EQ(r.objects, 200);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), 0);
        EXPECT_EQ(seen.back(), 100);
    }
    {
        MapDocument doc;
        TDocumentSink sink(doc);
        int polls = 0;
        sink.cancelled = [&polls] { return ++polls > 50; };
        MemorySource src(bytesOf(mif));
        const ImportResult r = ImportMIF(sink, src, nullptr, "p.mif");
        EXPECT_TRUE(r.cancelled);
        EXPECT_GT(r.objects, 0);
        EXPECT_LT(r.objects, 200);
        EXPECT_EQ(doc.objects.count(), r.objects);
    }
    {
        std::string mp;
        for (int i = 0; i < 50; ++i) mp += "[POLYLINE]\nType=0x1\nData0=(1," + std::to_string(i) + "),(2,2)\n[END]\n";
        MapDocument doc;
        TDocumentSink sink(doc);
        int polls = 0;
        sink.cancelled = [&polls] { return ++polls > 10; };
        MemorySource src(bytesOf(mp));
        const ImportResult r = ImportPolish(sink, src, builtinPolishStyles(), "p.mp");
        EXPECT_TRUE(r.cancelled);
        EXPECT_LT(r.objects, 50);
        EXPECT_EQ(doc.objects.count(), r.objects);
    }
}

// The component's sink keeps the component's own behaviour: its events fire for each object.
TEST(KorvaneSink, ImportsFireTheEditBufferEvents) {
    TKorvane map;
    int appended = 0, posted = 0, progress = 0;
    map.OnAfterAppendObject = [&appended](TKorvane&) { ++appended; };
    map.OnAfterPostObject = [&posted](TKorvane&) { ++posted; };
    map.OnProgress = [&progress](TKorvane&, int) { ++progress; };
    const std::string mp = "[POI]\nType=0x2f00\nLabel=A\nData0=(55.1,37.2)\n[END]\n"
                           "[POLYLINE]\nType=0x1\nData0=(55.1,37.2),(55.2,37.3)\n[END]\n";
    MemorySource src(bytesOf(mp));
    const ImportResult r = ImportPolish(map, src, builtinPolishStyles(), "e.mp");
    EXPECT_EQ(r.objects, 2);
    EXPECT_EQ(appended, 2);
    EXPECT_EQ(posted, 2);
    EXPECT_GT(progress, 0);
    EXPECT_TRUE(map.Modified);
    EXPECT_FALSE(map.BufferHoldsObject()); // importers post with Release
}

} // namespace
} // namespace kestrum
