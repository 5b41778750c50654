// Which files the tool takes as maps: the format told by content, files that are no map refused
// by every command with the file named, and .MP and .MIF checked like .MAP.

#include "io/byte_source.h"
#include "import/map_format.h"
#include "io/map_writer.h"
#include "support/map_bytes.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

namespace kestrum {
namespace {

namespace fs = std::filesystem;
using test::runTool;
using test::TempDir;
using test::ToolRun;

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

const std::string kCorpus = std::string(KESTRUM_SHARED_DIR) + "/corpus/";

std::span<const uint8_t> bytesOf(std::string_view s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

std::vector<uint8_t> headerOnly(int32_t version) {
    test::Bytes b;
    test::HeaderFields h;
    h.version = version;
    test::putHeader(b, h);
    return b.vec();
}

// A map whose second object cannot be drawn (a coordinate that is not a number).
std::vector<uint8_t> mapWithBrokenObject() {
    MapDocument doc;
    TQEVMapObjectMem good, bad;
    good.ID = 1, good.Kind = cLine;
    good.setPoints(PointArray{{0, 0}, {10, 10}});
    bad.ID = 2, bad.Kind = cLine;
    bad.setPoints(PointArray{{0, 0}, {std::numeric_limits<float>::quiet_NaN(), 1}});
    doc.objects.Add(std::move(good));
    doc.objects.Add(std::move(bad));
    doc.header.ObjectCount = 2;
    return writeMapToBytes(doc);
}

TEST(MapFormat, ContentTellsTheFormatWhateverTheName) {
    for (int32_t v : {1, 8, 9, 13, 14}) EXPECT_EQ(sniffMapFormat(headerOnly(v)), MapFormat::Map) << v;
    EXPECT_EQ(sniffMapFormat(writeMapToBytes(MapDocument())), MapFormat::Map); // no objects, header only
    // Versions the reader does not know are not taken for maps.
    EXPECT_EQ(sniffMapFormat(headerOnly(15)), MapFormat::Unknown);
    EXPECT_EQ(sniffMapFormat(headerOnly(0)), MapFormat::Unknown);

    EXPECT_EQ(sniffMapFormat(bytesOf("; made by hand\r\n\r\n[IMG ID]\r\nName=x\r\n")), MapFormat::Polish);
    EXPECT_EQ(sniffMapFormat(bytesOf("\xEF\xBB\xBF[POLYGON]\nType=0x4\n")), MapFormat::Polish);
    EXPECT_EQ(sniffMapFormat(bytesOf("Version 300\nCharset \"WindowsCyrillic\"\nColumns 1\n")), MapFormat::Mif);
    EXPECT_EQ(sniffMapFormat(bytesOf("\n\nDelimiter \",\"\nColumns 2\n  a Char(10)\n  b Integer\nData\n")),
              MapFormat::Mif);

    EXPECT_EQ(sniffMapFormat(bytesOf("")), MapFormat::Unknown);
    EXPECT_EQ(sniffMapFormat(bytesOf("just some notes\nabout [IMG ID] sections\n")), MapFormat::Unknown);
    EXPECT_EQ(sniffMapFormat(bytesOf("\r\n  Version 450\r\nColumns 1\r\n")), MapFormat::Mif);
    EXPECT_EQ(sniffMapFormat(bytesOf("Columns 2\nno data line\n")), MapFormat::Unknown);
    EXPECT_EQ(sniffMapFormat(bytesOf("Notes\nVersion 2 of the list\n")), MapFormat::Unknown);

    EXPECT_EQ(mapFormatFromExtension("a/b.MaP"), MapFormat::Map);
    EXPECT_EQ(mapFormatFromExtension("b.mp"), MapFormat::Polish);
    EXPECT_EQ(mapFormatFromExtension("b.Mif"), MapFormat::Mif);
    EXPECT_EQ(mapFormatFromExtension("b.mid"), MapFormat::Unknown);
}

TEST(MapFormat, FilesNamedMapThatAreTooShortToTellStayMapsButTextDoesNot) {
    const TempDir dir;
    // Empty and cut before the version: a damaged .MAP, for its reader to report.
    test::writeFile(dir / "empty.map", "");
    EXPECT_EQ(identifyMapFile((dir / "empty.map").string()).format, MapFormat::Map);
    const std::vector<uint8_t> head = headerOnly(14);
    test::writeFile(dir / "cut.map", std::span(head.data(), 30));
    EXPECT_EQ(identifyMapFile((dir / "cut.map").string()).format, MapFormat::Map);
    // The same bytes under another name are no map at all.
    test::writeFile(dir / "cut.bin", std::span(head.data(), 30));
    EXPECT_EQ(identifyMapFile((dir / "cut.bin").string()).format, MapFormat::Unknown);

    test::writeFile(dir / "note.map", "hi\n");
    const MapFileKind note = identifyMapFile((dir / "note.map").string());
    EXPECT_EQ(note.format, MapFormat::Unknown);
    EXPECT_NE(note.problem.find("text file"), std::string::npos) << note.problem;

    test::writeFile(dir / "future.map", headerOnly(15));
    const MapFileKind future = identifyMapFile((dir / "future.map").string());
    EXPECT_EQ(future.format, MapFormat::Unknown);
    EXPECT_NE(future.problem.find("version 15"), std::string::npos) << future.problem;

    fs::create_directory(dir / "folder.map");
    EXPECT_NE(identifyMapFile((dir / "folder.map").string()).problem.find("folder"), std::string::npos);
    test::writeFile(dir / "empty.mp", "");
    EXPECT_NE(identifyMapFile((dir / "empty.mp").string()).problem.find("empty"), std::string::npos);
    EXPECT_THROW(identifyMapFile((dir / "absent.map").string()), FileError);
}

TEST(MapInput, EveryCommandRefusesAFileThatIsNoMapAndNamesIt) {
    const TempDir dir;
    std::string noise;
    for (int i = 0; i < 3000; ++i) noise += char((i * 7919 + 13) % 251); // seeded, not a header
    test::writeFile(dir / "noise.map", noise);
    test::writeFile(dir / "notes.map", "Shopping list\nmilk\nbread\n");
    fs::create_directory(dir / "folder.map");
    for (const char* name : {"noise.map", "notes.map", "folder.map"}) {
        const fs::path file = dir / name;
        const fs::path out = dir / "out.map";
        for (const std::string& cmd : {"info " + q(file), "info --json " + q(file),
                                       "render " + q(file) + " -o " + q(dir / "out.png"),
                                       "check --log " + q(dir / "errors.log") + " " + q(file),
                                       "convert " + q(file) + " " + q(out), "iconlib list " + q(file)}) {
            const ToolRun r = runTool(cmd);
            EXPECT_EQ(r.status, 1) << cmd << "\n" << r.out;
            EXPECT_NE(r.out.find(file.string()), std::string::npos) << cmd << "\n" << r.out;
            EXPECT_NE(r.out.find(" not "), std::string::npos) << cmd << "\n" << r.out; // says what it is not
        }
        EXPECT_FALSE(fs::exists(dir / "out.map")) << name;
        EXPECT_FALSE(fs::exists(dir / "out.png")) << name;
        EXPECT_FALSE(fs::exists(dir / "errors.log")) << name;
    }
    EXPECT_NE(runTool("info " + q(dir / "notes.map")).out.find("text file"), std::string::npos);
    EXPECT_NE(runTool("info " + q(dir / "folder.map")).out.find("folder"), std::string::npos);
}

TEST(MapInput, AMapUnderAnotherNameOpensAndRealMapsKeepTheirExitCodes) {
    const TempDir dir;
    fs::copy_file(kCorpus + "mp/gpsyv_MapaDePrueba.mp", dir / "prueba.txt");
    const ToolRun info = runTool("info " + q(dir / "prueba.txt"));
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("objects        16"), std::string::npos) << info.out;
    const ToolRun conv = runTool("convert " + q(dir / "prueba.txt") + " " + q(dir / "prueba.map"));
    EXPECT_EQ(conv.status, 0) << conv.out;
    EXPECT_NE(conv.out.find("16 objects written"), std::string::npos) << conv.out;

    // A map with no objects is a good map; an empty or cut one is damaged, as before.
    test::writeFile(dir / "none.map", writeMapToBytes(MapDocument()));
    EXPECT_EQ(runTool("info " + q(dir / "none.map")).status, 0);
    const ToolRun one = runTool("convert " + q(dir / "none.map") + " " + q(dir / "none2.map"));
    EXPECT_NE(one.out.find("0 objects written"), std::string::npos) << one.out;
    test::writeFile(dir / "empty.map", "");
    const ToolRun empty = runTool("info " + q(dir / "empty.map"));
    EXPECT_EQ(empty.status, 2) << empty.out;
    EXPECT_NE(empty.out.find("too short"), std::string::npos) << empty.out;

    // One object: the singular.
    MapDocument single;
    TQEVMapObjectMem line;
    line.ID = 1, line.Kind = cLine;
    line.setPoints(PointArray{{0, 0}, {1, 1}});
    single.objects.Add(std::move(line));
    single.header.ObjectCount = 1;
    test::writeFile(dir / "one.map", writeMapToBytes(single));
    const ToolRun conv1 = runTool("convert " + q(dir / "one.map") + " " + q(dir / "one2.map"));
    EXPECT_NE(conv1.out.find("1 object written"), std::string::npos) << conv1.out;
    const ToolRun checked = runTool("check --log " + q(dir / "e.log") + " " + q(dir / "one.map"));
    EXPECT_NE(checked.out.find("1 object drawn, 0 left out"), std::string::npos) << checked.out;
}

TEST(CheckCommand, ChecksImportedMapsLikeMapFiles) {
    const TempDir dir;
    const fs::path log = dir / "errors.log";
    const ToolRun mp = runTool("check --log " + q(log) + " " + q(kCorpus + "mp/gpsyv_58460.mp"));
    EXPECT_EQ(mp.status, 0) << mp.out;
    EXPECT_NE(mp.out.find("3198 objects drawn, 0 left out"), std::string::npos) << mp.out;
    // Every kind of the file is kept, the rectangles, ellipse, arc and collection parts included.
    const ToolRun mif = runTool("check --log " + q(log) + " " + q(kCorpus + "mif/gdal_all_geoms.mif"));
    EXPECT_EQ(mif.status, 0) << mif.out;
    EXPECT_NE(mif.out.find("21 objects drawn, 0 left out"), std::string::npos) << mif.out;
    EXPECT_FALSE(fs::exists(log)); // nothing failed: no log at all
}

TEST(CheckCommand, WritesTheLogOnlyWhenObjectsAreLeftOutAndFailsWhenItCannot) {
    const TempDir dir;
    test::writeFile(dir / "broken.map", mapWithBrokenObject());
    // The default log lands in the current folder.
    const std::string inDir = "cd " + q(dir.path()) + " && ";
    const int status = std::system((inDir + "'" + KESTRUM_TOOL + "' check broken.map >/dev/null 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(test::readFile(dir / "errors.log").find("ID объекта:2"), std::string::npos);

    const ToolRun named = runTool("check --log " + q(dir / "other.log") + " " + q(dir / "broken.map"));
    EXPECT_EQ(named.status, 2) << named.out;
    EXPECT_NE(named.out.find("1 object drawn, 1 left out (see "), std::string::npos) << named.out;

    // A good map leaves no log behind, not even an old one.
    test::writeFile(dir / "good.map", writeMapToBytes(MapDocument()));
    EXPECT_EQ(runTool("check --log " + q(dir / "other.log") + " " + q(dir / "good.map")).status, 0);
    EXPECT_FALSE(fs::exists(dir / "other.log"));

    for (const fs::path& bad : {dir / "no" / "such" / "dir" / "x.log", dir.path()}) {
        const ToolRun r = runTool("check --log " + q(bad) + " " + q(dir / "broken.map"));
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("cannot write the log"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "no"));
}

} // namespace
} // namespace kestrum
