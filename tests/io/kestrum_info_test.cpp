// The `kestrum info` tool as other programs use it: its exit codes and its JSON.

#include "io/map_writer.h"
#include "support/map_bytes.h"
#include "support/map_compare.h"
#include "support/temp_dir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

namespace kestrum {
namespace {

struct ToolRun {
    int code = -1;
    std::string out, err;
};

ToolRun runInfo(const test::TempDir& dir, const std::string& args) {
    const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
    const std::string cmd = std::string("'") + KESTRUM_TOOL + "' info " + args + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::readFile(out), test::readFile(err)};
}

// Anything but well-formed JSON in UTF-8 fails the test.
QJsonObject parseJson(const std::string& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text;
    EXPECT_TRUE(doc.isObject()) << text;
    return doc.object();
}

std::string str(const QJsonValue& v) {
    EXPECT_TRUE(v.isString());
    return v.toString().toStdString();
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
    void SetUp() override { test::writeFile(m_path, m_bytes); }

    test::TempDir m_dir;
    std::string m_path = (m_dir / "sample.map").string();
    std::vector<uint8_t> m_bytes = writeMapToBytes(sampleMap());
};

TEST_F(KestrumInfo, GoodFileExitsZeroAndPrintsTheDocumentedJson) {
    EXPECT_EQ(runInfo(m_dir, "'" + m_path + "'").code, 0);

    const ToolRun r = runInfo(m_dir, "--json '" + m_path + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject j = parseJson(r.out);
    EXPECT_EQ(j["header"]["Version"].toDouble(), 14);
    EXPECT_EQ(str(j["header"]["NameMap"]), "МОСКВА");
    EXPECT_EQ(str(j["streets"][0]["name"]), "ЛЕНИНА");
    EXPECT_EQ(j["streets"][0]["code"].toDouble(), 4);
    ASSERT_EQ(j["extent"].toArray().size(), 4);

    const QJsonArray objects = j["objects"].toArray();
    ASSERT_EQ(objects.size(), 3);
    const QJsonValue poly = objects[0];
    EXPECT_EQ(str(poly["Kind"]), "cPolygon");
    EXPECT_EQ(poly["Points"].toArray().size(), 3);
    EXPECT_EQ(str(poly["Address"]["Town"]), "МОСКВА");
    EXPECT_EQ(str(poly["Address"]["Street"]), "ЛЕНИНА");
    EXPECT_EQ(str(poly["Address"]["House"]), "12А");
    EXPECT_EQ(str(poly["Address"]["Street1"]), "");
    std::string hex;
    for (uint8_t byte : test::extraPattern(0xF0)) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    ASSERT_EQ(str(poly["Extra"]).size(), 102u);
    EXPECT_EQ(str(poly["Extra"]), hex);
    EXPECT_EQ(poly["Corners"].toArray().size(), 4);

    EXPECT_EQ(str(objects[1]["Kind"]), "cText");
    EXPECT_EQ(str(objects[1]["Text"]["Text"]), "ЛЕНИНА");
    EXPECT_FALSE(objects[1].toObject().contains("Address"));
    EXPECT_EQ(objects[2]["Kind"].toDouble(), 200); // not a kind: printed as its number
}

TEST_F(KestrumInfo, TruncatedFileExitsTwoAndNamesTheByte) {
    const std::span<const uint8_t> cut(m_bytes.data(), m_bytes.size() - 3);
    const test::Loaded expected = test::loadBytes(cut);
    ASSERT_TRUE(expected.result.damage);
    const std::string path = (m_dir / "cut.map").string();
    test::writeFile(path, cut);
    const ToolRun r = runInfo(m_dir, "--json '" + path + "'");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("byte " + std::to_string(expected.result.damage->offset)), std::string::npos)
        << r.err;
    // What could be read is still printed.
    EXPECT_EQ(parseJson(r.out)["objects"].toArray().size(), 2);
}

TEST_F(KestrumInfo, MissingFileExitsOne) {
    const ToolRun r = runInfo(m_dir, "'" + (m_dir / "absent.map").string() + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.empty());
}

} // namespace
} // namespace kestrum
