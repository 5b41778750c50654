// kestrum render as a user runs it: a picture of the map, clear failures, exit codes.

#include "headless.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

int run(const std::string& args) {
    const std::string cmd = std::string(KESTRUM_TOOL) + " render " + args + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(RenderCommand, DrawsTheSampleMapFittedOnWhite) {
    static const auto app = kestrum::qt::makeHeadlessApplication();
    const kestrum::test::TempDir dir;
    const fs::path out = dir / "sample.png";
    ASSERT_EQ(run(std::string(KESTRUM_DATA_DIR) + "/sample.map -o " + out.string() + " --size 400x300"), 0);
    QImage img(QString::fromStdString(out.string()));
    ASSERT_EQ(img.width(), 400);
    ASSERT_EQ(img.height(), 300);
    // The land area fills the fitted view; the river crosses its lower part in light blue.
    const QColor land = img.pixelColor(200, 20);
    EXPECT_EQ(land, QColor(242, 239, 226));
    int blue = 0;
    for (int y = 200; y < 260; ++y) blue += img.pixelColor(20, y) == QColor(160, 200, 240);
    EXPECT_GT(blue, 5);
}

TEST(RenderCommand, ReportsUsageAndFileProblems) {
    const kestrum::test::TempDir dir;
    EXPECT_EQ(run("--help >/dev/null"), 0);
    EXPECT_EQ(run(std::string(KESTRUM_DATA_DIR) + "/sample.map"), 1); // no output named
    EXPECT_EQ(run((dir / "missing.map").string() + " -o " + (dir / "x.png").string()), 1);
    EXPECT_EQ(run(std::string(KESTRUM_DATA_DIR) + "/sample.map -o x.png --size 0x5"), 1);
    // A cut file still renders what it holds and says it is damaged.
    const fs::path cut = dir / "cut.map";
    fs::copy_file(std::string(KESTRUM_DATA_DIR) + "/sample.map", cut, fs::copy_options::overwrite_existing);
    fs::resize_file(cut, fs::file_size(cut) - 100);
    const fs::path png = dir / "cut.png";
    EXPECT_EQ(run(cut.string() + " -o " + png.string() + " --size 100x80 --aa"), 2);
    EXPECT_TRUE(fs::exists(png));
}

TEST(RenderCommand, WritesThePictureFormatItsNameAsksFor) {
    const kestrum::test::TempDir dir;
    const std::string sample = std::string(KESTRUM_DATA_DIR) + "/sample.map --size 120x90 -o ";
    const auto head = [](const fs::path& p) { return kestrum::test::readFile(p).substr(0, 4); };
    for (const char* name : {"a.jpg", "b.JPEG"}) {
        ASSERT_EQ(run(sample + (dir / name).string()), 0) << name;
        EXPECT_EQ(head(dir / name).substr(0, 3), "\xFF\xD8\xFF") << name; // a JPEG start of image
        QImage img;
        ASSERT_TRUE(img.load(QString::fromStdString((dir / name).string()), "JPEG")) << name;
        EXPECT_EQ(img.width(), 120);
    }
    ASSERT_EQ(run(sample + (dir / "c.Png").string()), 0);
    EXPECT_EQ(head(dir / "c.Png"), "\x89PNG");
    // The JPEG is the same picture at quality 90: encoding the PNG's pixels so gives its bytes.
    QImage png(QString::fromStdString((dir / "c.Png").string()));
    QByteArray again;
    QBuffer buffer(&again);
    ASSERT_TRUE(png.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 90));
    EXPECT_EQ(again.toStdString(), kestrum::test::readFile(dir / "a.jpg"));
}

TEST(RenderCommand, UsageErrorsSayWhatIsWrong) {
    const kestrum::test::TempDir dir;
    const std::string sample = std::string(KESTRUM_DATA_DIR) + "/sample.map";
    const auto render = [](const std::string& args) { return kestrum::test::runTool("render " + args); };
    kestrum::test::ToolRun r = render(sample);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("-o OUT is missing"), std::string::npos) << r.out;
    r = render(sample + " -o " + (dir / "x.gif").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(".png, .jpg or .jpeg"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "x.gif"));
    for (const std::string both : {" --fit --view 0,0,100", " --view 0,0,100 --fit"}) {
        r = render(sample + " -o " + (dir / "x.png").string() + both);
        EXPECT_EQ(r.status, 1) << both;
        EXPECT_NE(r.out.find("--fit and --view"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "x.png"));
    for (const char* size : {"0x5", "16385x10", "axb"}) {
        r = render(sample + " -o " + (dir / "x.png").string() + " --size " + size);
        EXPECT_EQ(r.status, 1) << size;
        EXPECT_NE(r.out.find("from 1 to 16384"), std::string::npos) << r.out;
    }
}
