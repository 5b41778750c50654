// kestrum render as a user runs it: a picture of the map, clear failures, exit codes.

#include "headless.h"
#include "support/temp_dir.h"

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
