// kestrum iconlib as a user runs it: bitmaps packed into a library the viewer reads, listings,
// clear failures and exit codes.

#include "image/bmp_codec.h"
#include "icons/icon_file.h"
#include "icons/qev_icon.h"
#include "io/byte_source.h"

#include "support/run_tool.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

using namespace kestrum;

namespace {

namespace fs = std::filesystem;

using test::ToolRun;

ToolRun iconlib(const std::string& args) { return test::runTool("iconlib " + args); }

using test::TempDir;
using test::writeFile;

// A picture on a background colour (its lower-left pixel) with a mark in the middle.
std::vector<uint8_t> bitmap(int size, uint32_t background, uint32_t mark, int bpp) {
    BmpImage img;
    img.width = img.height = size;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            img.pixels.push_back(
                0xFF000000u | (std::abs(x - size / 2) < 3 && std::abs(y - size / 2) < 3 ? mark : background));
    BmpWriteOptions o;
    o.bitsPerPixel = bpp;
    if (bpp <= 8) o.palette = {background, mark};
    return encodeBmp(img, o);
}

std::string q(const fs::path& p) {
    return "'" + p.string() + "'";
}

} // namespace

TEST(IconlibCommand, PackedBitmapsReadBackAsALibraryTheViewerUses) {
    const TempDir dir;
    const auto fuel = bitmap(32, 0x00FFFF, 0xFF0000, 8), cafe = bitmap(24, 0x123456, 0x00FF00, 24);
    writeFile(dir / "fuel.bmp", fuel);
    writeFile(dir / "кафе.bmp", cafe); // a Cyrillic file name becomes a Windows-1251 picture name
    const fs::path lib = dir / "icons.lib";

    const ToolRun packed =
        iconlib("pack " + q(lib) + " --name Town " + q(dir / "fuel.bmp") + " " + q(dir / "кафе.bmp"));
    ASSERT_EQ(packed.status, 0) << packed.out;
    const IconLibraryFile f = readIconLibrary(readWholeFile(lib.string()));
    ASSERT_TRUE(f.header);
    EXPECT_FALSE(f.damage);
    EXPECT_EQ(f.header->name, "Town");
    ASSERT_EQ(f.pictures.size(), 2u);
    EXPECT_EQ(f.pictures[0].header.name, "fuel");
    EXPECT_EQ(f.pictures[1].header.name, "\xea\xe0\xf4\xe5");
    EXPECT_EQ(f.pictures[0].data, fuel); // stored as given
    EXPECT_EQ(f.pictures[1].data, cafe);
    // By default each picture keys out its lower-left colour.
    EXPECT_EQ(f.pictures[0].header.transparentColor, 0x00FFFF00);
    EXPECT_EQ(f.pictures[1].header.transparentColor, 0x00563412);
    EXPECT_EQ(f.pictures[1].header.transparent, 1);

    TQevIcon icons;
    EXPECT_FALSE(icons.LoadLibrary(lib.string()).damage);
    const TImage* cafeIcon = icons.GetBitmap("town", "\xca\xc0\xd4\xc5");
    ASSERT_NE(cafeIcon, nullptr);
    EXPECT_EQ(cafeIcon->colorAt(12, 12), 0x00FF00);

    const ToolRun listed = iconlib("list " + q(lib));
    EXPECT_EQ(listed.status, 0) << listed.out;
    EXPECT_NE(listed.out.find("library \"Town\", version 1, 2 pictures"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"кафе\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("24 x 24"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("key #123456"), std::string::npos) << listed.out;

    ASSERT_EQ(iconlib("pack " + q(lib) + " --name T --transparent none " + q(dir / "fuel.bmp")).status, 0);
    EXPECT_EQ(readIconLibrary(readWholeFile(lib.string())).pictures[0].header.transparent, 0);
    ASSERT_EQ(iconlib("pack " + q(lib) + " --name T --transparent '#FF8000' " + q(dir / "fuel.bmp")).status,
              0);
    EXPECT_EQ(readIconLibrary(readWholeFile(lib.string())).pictures[0].header.transparentColor, 0x000080FF);
}

TEST(IconlibCommand, FailuresNameTheFileAndSetTheExitCode) {
    const TempDir dir;
    writeFile(dir / "good.bmp", bitmap(8, 0, 0xFFFFFF, 24));
    writeFile(dir / "text.bmp", "hello");
    writeFile(dir / (std::string(31, 'x') + ".bmp"), bitmap(8, 0, 0xFFFFFF, 24));
    const std::string out = q(dir / "out.lib");

    EXPECT_EQ(iconlib("--help").status, 0);
    EXPECT_EQ(iconlib("").status, 1);
    EXPECT_EQ(iconlib("unpack x").status, 1);
    EXPECT_EQ(iconlib("pack " + out + " " + q(dir / "good.bmp")).status, 1); // no --name
    EXPECT_EQ(iconlib("pack " + out + " --name N --transparent pink " + q(dir / "good.bmp")).status, 1);
    EXPECT_EQ(iconlib("pack " + out + " --name " + std::string(31, 'n') + " " + q(dir / "good.bmp")).status,
              1);
    EXPECT_EQ(iconlib("pack " + out + " --name N " + q(dir / (std::string(31, 'x') + ".bmp"))).status, 1);

    const ToolRun missing = iconlib("pack " + out + " --name N " + q(dir / "absent.bmp"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("absent.bmp"), std::string::npos) << missing.out;
    const ToolRun text =
        iconlib("pack " + out + " --name N " + q(dir / "good.bmp") + " " + q(dir / "text.bmp"));
    EXPECT_EQ(text.status, 2);
    EXPECT_NE(text.out.find("text.bmp"), std::string::npos) << text.out;
    EXPECT_FALSE(fs::exists(dir / "out.lib")); // nothing half written

    EXPECT_EQ(iconlib("list " + q(dir / "absent.lib")).status, 1);
    ASSERT_EQ(iconlib("pack " + out + " --name N " + q(dir / "good.bmp") + " " + q(dir / "good.bmp")).status,
              0);
    fs::resize_file(dir / "out.lib", fs::file_size(dir / "out.lib") - 4);
    const ToolRun cut = iconlib("list " + out);
    EXPECT_EQ(cut.status, 2);
    EXPECT_NE(cut.out.find("\"good\""), std::string::npos) << cut.out; // the first picture is still listed
    EXPECT_NE(cut.out.find("damaged at byte"), std::string::npos) << cut.out;
}
