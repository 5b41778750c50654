// The `kestrum info` tool as other programs use it: its exit codes and its JSON.

#include "io/map_writer.h"
#include "support/json_lite.h"
#include "support/map_bytes.h"
#include "support/map_compare.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrum {
namespace {

std::string tempPath(const std::string& name) {
    return ::testing::TempDir() + "kestrum_info_" + std::to_string(::getpid()) + "_" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct ToolRun {
    int code = -1;
    std::string out, err;
};

ToolRun runInfo(const std::string& args) {
    const std::string out = tempPath("stdout"), err = tempPath("stderr");
    const std::string cmd =
        std::string("'") + KESTRUM_TOOL + "' info " + args + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(cmd.c_str());
    ToolRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

const std::string kLenina = "\xCB\xC5\xCD\xC8\xCD\xC0"; // ЛЕНИНА in Windows-1251
const std::string kMoskva = "\xCC\xCE\xD1\xCA\xC2\xC0"; // МОСКВА

MapDocument sampleMap() {
    MapDocument doc;
    doc.header.NameMap.assign(kMoskva);
    doc.streets.addLoaded(kLenina, 4);
    doc.towns.addLoaded(kMoskva, 1);

    TQEVMapObjectMem poly;
    poly.ID = 10, poly.Kind = cPolygon;
    poly.setPoints(PointArray{{0, 0}, {4, 0}, {4, 3}});
    TAddressCode a;
    a.TownCode = 1, a.StreetCode = 4;
    a.House.assign("12\xC0"); // 12А
    poly.setAddress(a);
    poly.setExtra(test::extraPattern(0xF0));
    doc.objects.Add(std::move(poly));

    TQEVMapObjectMem text;
    text.ID = 11, text.Kind = cText;
    text.setText({1, 2, 0, 0, 12, kLenina});
    doc.objects.Add(std::move(text));

    TQEVMapObjectMem odd;
    odd.ID = 12, odd.Kind = 200;
    doc.objects.Add(std::move(odd));
    return doc;
}

class KestrumInfo : public ::testing::Test {
  protected:
    void SetUp() override {
        m_bytes = writeMapToBytes(sampleMap());
        write(m_path, m_bytes);
    }
    void TearDown() override { std::filesystem::remove(m_path); }
    static void write(const std::string& path, std::span<const uint8_t> bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::string m_path = tempPath("sample.map");
    std::vector<uint8_t> m_bytes;
};

TEST_F(KestrumInfo, GoodFileExitsZeroAndPrintsTheDocumentedJson) {
    EXPECT_EQ(runInfo("'" + m_path + "'").code, 0);

    const ToolRun r = runInfo("--json '" + m_path + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    const test::Json j = test::parseJson(r.out);
    EXPECT_EQ(j["header"]["Version"].num(), 14);
    EXPECT_EQ(j["header"]["NameMap"].str(), "МОСКВА");
    EXPECT_EQ(j["streets"][0]["name"].str(), "ЛЕНИНА");
    EXPECT_EQ(j["streets"][0]["code"].num(), 4);
    ASSERT_EQ(j["extent"].arr().size(), 4u);

    const test::Json::Array& objects = j["objects"].arr();
    ASSERT_EQ(objects.size(), 3u);
    const test::Json& poly = objects[0];
    EXPECT_EQ(poly["Kind"].str(), "cPolygon");
    EXPECT_EQ(poly["Points"].arr().size(), 3u);
    EXPECT_EQ(poly["Address"]["Town"].str(), "МОСКВА");
    EXPECT_EQ(poly["Address"]["Street"].str(), "ЛЕНИНА");
    EXPECT_EQ(poly["Address"]["House"].str(), "12А");
    EXPECT_EQ(poly["Address"]["Street1"].str(), "");
    std::string hex;
    for (uint8_t byte : test::extraPattern(0xF0)) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    ASSERT_EQ(poly["Extra"].str().size(), 102u);
    EXPECT_EQ(poly["Extra"].str(), hex);
    EXPECT_EQ(poly["Corners"].arr().size(), 4u);

    EXPECT_EQ(objects[1]["Kind"].str(), "cText");
    EXPECT_EQ(objects[1]["Text"]["Text"].str(), "ЛЕНИНА");
    EXPECT_FALSE(objects[1].has("Address"));
    EXPECT_EQ(objects[2]["Kind"].num(), 200); // not a kind: printed as its number
}

TEST_F(KestrumInfo, TruncatedFileExitsTwoAndNamesTheByte) {
    const std::span<const uint8_t> cut(m_bytes.data(), m_bytes.size() - 3);
    const test::Loaded expected = test::loadBytes(cut);
    ASSERT_TRUE(expected.result.damage);
    const std::string path = tempPath("cut.map");
    write(path, cut);
    const ToolRun r = runInfo("--json '" + path + "'");
    std::filesystem::remove(path);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("byte " + std::to_string(expected.result.damage->offset)), std::string::npos)
        << r.err;
    // What could be read is still printed.
    EXPECT_EQ(test::parseJson(r.out)["objects"].arr().size(), 2u);
}

TEST_F(KestrumInfo, MissingFileExitsOne) {
    const ToolRun r = runInfo("'" + tempPath("absent.map") + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.empty());
}

} // namespace
} // namespace kestrum
