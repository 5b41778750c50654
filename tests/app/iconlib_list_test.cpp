// kestrum iconlib list: columns that line up on screen whatever the script of the names, and
// files that are no library refused rather than listed as empty.

#include "image/bmp_codec.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kestrum::test::runTool;
using kestrum::test::TempDir;

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

std::vector<uint8_t> square(int size) {
    kestrum::BmpImage img;
    img.width = img.height = size;
    img.pixels.assign(static_cast<std::size_t>(size * size), 0xFF00FF00u);
    kestrum::BmpWriteOptions o;
    o.bitsPerPixel = 24;
    return kestrum::encodeBmp(img, o);
}

// Screen columns of a UTF-8 line up to the first occurrence of `what`.
std::size_t columnOf(const std::string& line, const std::string& what) {
    const std::size_t at = line.find(what);
    if (at == std::string::npos) return std::string::npos;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < at; ++i) chars += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
    return chars;
}

TEST(IconlibList, ColumnsLineUpByCharactersAndOnePictureIsSingular) {
    const TempDir dir;
    kestrum::test::writeFile(dir / "fuel.bmp", square(8));
    kestrum::test::writeFile(dir / "кафе.bmp", square(8));
    kestrum::test::writeFile(dir / "мост.bmp", square(8));
    const fs::path lib = dir / "icons.lib";
    ASSERT_EQ(runTool("iconlib pack " + q(lib) + " --name T " + q(dir / "fuel.bmp") + " " + q(dir / "кафе.bmp") +
                      " " + q(dir / "мост.bmp"))
                  .status,
              0);
    const kestrum::test::ToolRun r = runTool("iconlib list " + q(lib));
    ASSERT_EQ(r.status, 0) << r.out;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::size_t> columns;
    while (std::getline(lines, line))
        if (line.find(" x ") != std::string::npos) columns.push_back(columnOf(line, " x "));
    ASSERT_EQ(columns.size(), 3u) << r.out;
    EXPECT_EQ(columns[0], columns[1]) << r.out;
    EXPECT_EQ(columns[0], columns[2]) << r.out;

    ASSERT_EQ(runTool("iconlib pack " + q(lib) + " --name T " + q(dir / "fuel.bmp")).status, 0);
    EXPECT_NE(runTool("iconlib list " + q(lib)).out.find("version 1, 1 picture\n"), std::string::npos);
}

TEST(IconlibList, FilesThatAreNoLibraryAreRefused) {
    const TempDir dir;
    kestrum::test::writeFile(dir / "empty.lib", "");
    kestrum::test::writeFile(dir / "short.lib", "icons");
    kestrum::test::writeFile(dir / "text.lib", std::string(2000, 'a'));
    fs::create_directory(dir / "folder.lib");
    for (const char* name : {"empty.lib", "short.lib", "text.lib", "folder.lib"}) {
        const kestrum::test::ToolRun r = runTool("iconlib list " + q(dir / name));
        EXPECT_EQ(r.status, 1) << name << r.out;
        EXPECT_NE(r.out.find((dir / name).string()), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("not an icon library"), std::string::npos) << r.out;
    }
}

} // namespace
