// kestrum view refuses, before any window, what it cannot show: no display, and files that are
// missing, empty, unreadable or no map; each with a message on standard error and exit 1.

#include "support/run_tool.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using kestrum::test::runTool;
using kestrum::test::TempDir;
using kestrum::test::ToolRun;

std::string q(const fs::path& p) { return "'" + p.string() + "'"; }

const std::string kSample = std::string(KESTRUM_DATA_DIR) + "/sample.map";

TEST(ViewCommand, WithoutADisplaySaysSoAndPointsToRender) {
    // No display named at all, and one named that does not answer (Qt would abort).
    for (const std::string env : {"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ",
                                  "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:919 ",
                                  "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "}) {
        const ToolRun r = runTool("view " + q(kSample), env);
        EXPECT_EQ(r.status, 1) << env << r.out;
        EXPECT_NE(r.out.find("no display"), std::string::npos) << env << r.out;
        EXPECT_NE(r.out.find("kestrum render"), std::string::npos) << env << r.out;
    }
}

TEST(ViewCommand, FilesThatCannotBeShownAreRefusedBeforeAnyWindow) {
    const TempDir dir;
    kestrum::test::writeFile(dir / "empty.map", "");
    kestrum::test::writeFile(dir / "notes.map", "not a map at all\n");
    kestrum::test::writeFile(dir / "lines.mp", "Version 300\nColumns 1\n  a Char(5)\nData\n");
    ASSERT_EQ(::mkfifo((dir / "pipe.map").c_str(), 0600), 0);
    const struct {
        std::string file, says;
    } cases[] = {{"absent.map", "no such file"},
                 {"empty.map", "is empty"},
                 {"notes.map", "not a map"},
                 {"pipe.map", "not a regular file"},
                 {"lines.mp", "is a MIF file"}};
    for (const auto& c : cases) {
        const ToolRun direct = runTool("view " + q(dir / c.file));
        EXPECT_EQ(direct.status, 1) << c.file << direct.out;
        EXPECT_NE(direct.out.find((dir / c.file).string()), std::string::npos) << direct.out;
        EXPECT_NE(direct.out.find(c.says), std::string::npos) << direct.out;
        EXPECT_EQ(direct.out.find("display"), std::string::npos) << direct.out;
    }
}

} // namespace
