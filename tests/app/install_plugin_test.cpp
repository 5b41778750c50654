// Registering the plug-in in Double Commander's configuration: what the host will read afterwards,
// every other setting kept, earlier entries replaced, files that cannot be parsed left alone.

#include "dc_config.h"
#include "plugin_location.h"

#include <QXmlStreamReader>
#include "support/run_tool.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace kestrum::app;

namespace {

namespace fs = std::filesystem;

const WlxPluginEntry kPlugin{"Kestrum", "/opt/k&k/lib/Kestrum.wlx", kDetectString};

struct Entry {
    std::string enabled, name, path, detect;
    bool operator==(const Entry&) const = default;
};

// The lister plug-ins as Double Commander reads them: the first Plugins > WlxPlugins of the root.
std::vector<Entry> wlxEntries(const QByteArray& xml) {
    std::vector<Entry> entries;
    QXmlStreamReader r(xml);
    std::vector<QString> path;
    int pluginsSeen = 0, listsSeen = 0;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            path.push_back(r.name().toString());
            if (path.size() == 2 && path[1] == "Plugins") ++pluginsSeen;
            if (path.size() == 3 && path[1] == "Plugins" && path[2] == "WlxPlugins") ++listsSeen;
            const bool ours = pluginsSeen == 1 && listsSeen == 1 && path.size() >= 3 &&
                              path[1] == "Plugins" && path[2] == "WlxPlugins";
            if (ours && path.size() == 4 && path[3] == "WlxPlugin")
                entries.push_back({r.attributes().value("Enabled").toString().toStdString(), {}, {}, {}});
            if (ours && path.size() == 5) {
                const std::string text = r.readElementText().toStdString();
                path.pop_back();
                if (r.name() == QLatin1String("Name")) entries.back().name = text;
                if (r.name() == QLatin1String("Path")) entries.back().path = text;
                if (r.name() == QLatin1String("DetectString")) entries.back().detect = text;
            }
        } else if (r.isEndElement()) {
            path.pop_back();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString() << "\n" << xml.toStdString();
    return entries;
}

// Every token outside WlxPlugin entries named Kestrum, whitespace-only text left out: what must
// survive an edit unchanged whatever the layout.
std::vector<std::string> tokensBesideKestrum(const QByteArray& xml) {
    std::vector<std::string> tokens, entry; // an entry's tokens wait until its name is known
    bool inEntry = false, ours = false;
    QString element;
    QXmlStreamReader r(xml);
    r.setNamespaceProcessing(false);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isWhitespace()) continue;
        if (r.isStartElement()) element = r.name().toString();
        if (r.isStartElement() && element == "WlxPlugin") inEntry = true, ours = false;
        if (inEntry && r.isCharacters() && element == "Name" && r.text() == QLatin1String("Kestrum"))
            ours = true;
        std::string t = r.tokenString().toStdString() + " " + r.name().toString().toStdString() + " " +
                        r.text().toString().toStdString();
        for (const QXmlStreamAttribute& a : r.attributes())
            t += " " + a.qualifiedName().toString().toStdString() + "=" + a.value().toString().toStdString();
        (inEntry ? entry : tokens).push_back(t);
        if (r.isEndElement() && r.name() == QLatin1String("WlxPlugin")) {
            if (!ours) tokens.insert(tokens.end(), entry.begin(), entry.end());
            entry.clear();
            inEntry = false;
        }
    }
    return tokens;
}

const Entry kExpected{"True", "Kestrum", "/opt/k&k/lib/Kestrum.wlx", R"(EXT="MAP" | EXT="MP" | EXT="MIF")"};

using kestrum::test::readFile;
using kestrum::test::TempDir;
using kestrum::test::writeFile;
using kestrum::test::ToolRun;

ToolRun tool(const std::string& args) { return kestrum::test::runTool("install-plugin " + args); }

std::string q(const fs::path& p) {
    return "'" + p.string() + "'";
}

// A configuration as a user's file may look, with room for the plug-in list: `lists` goes inside
// <Plugins>. Comments, entities, CDATA and attribute order must all survive.
QByteArray userConfig(const std::string& lists) {
    return QByteArray::fromStdString(R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- my settings, do not lose -->
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <Viewer Zoom="2" Alpha="a"><WlxPlugins/></Viewer>
  <Editor><Font>Liberation Mono &amp; co</Font><Note><![CDATA[<not a tag>]]></Note></Editor>
  <Plugins>
    <!-- archivers -->
    <WcxPlugins>
      <WcxPlugin Enabled="True"><ArchiveExt>zip</ArchiveExt><Path>%commander_path%/plugins/wcx/zip/zip.wcx</Path></WcxPlugin>
    </WcxPlugins>
)" + lists + R"(
    <AutoTweak>False</AutoTweak>
  </Plugins>
  <Plugins><WlxPlugins/></Plugins>
</doublecmd>
)");
}

const std::string kOtherEntry = R"(<WlxPlugin Enabled="True">
        <Name>imagine</Name>
        <Path>/usr/lib/wlx/imagine.wlx</Path>
        <DetectString>EXT="PNG"</DetectString>
      </WlxPlugin>)";

const Entry kOther{"True", "imagine", "/usr/lib/wlx/imagine.wlx", R"(EXT="PNG")"};

} // namespace

TEST(DcConfig, RegistersWhereverThePluginListStandsAndKeepsEverythingElse) {
    struct Case {
        const char* what;
        QByteArray config;
        std::vector<Entry> before;
        QByteArray sameAs = {}; // with the sections the entry needs, when they are missing
    };
    QByteArray withEmptyList = userConfig("");
    withEmptyList.replace("<AutoTweak>False</AutoTweak>", "<AutoTweak>False</AutoTweak><WlxPlugins/>");
    const Case cases[] = {
        {"a list with an entry",
         userConfig("    <WlxPlugins>\n      " + kOtherEntry + "\n    </WlxPlugins>"),
         {kOther}},
        {"an empty list as Double Commander writes it", userConfig(R"(    <WlxPlugins Note="x" />)"), {}},
        {"a list on one line", userConfig("    <WlxPlugins>" + kOtherEntry + "</WlxPlugins>"), {kOther}},
        {"no list", userConfig(""), {}, withEmptyList},
        {"no Plugins section",
         R"(<?xml version="1.0"?><doublecmd><Viewer/></doublecmd>)",
         {},
         R"(<?xml version="1.0"?><doublecmd><Viewer/><Plugins><WlxPlugins/></Plugins></doublecmd>)"},
        {"a byte order mark",
         "\xEF\xBB\xBF<doublecmd>\n  <Plugins/>\n</doublecmd>\n",
         {},
         "<doublecmd><Plugins><WlxPlugins/></Plugins></doublecmd>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(wlxEntries(c.config), c.before);
        const ConfigEdit edit = editWlxPlugins(c.config, ConfigAction::Register, kPlugin);
        ASSERT_TRUE(edit.error.isEmpty()) << edit.error.toStdString();
        EXPECT_EQ(edit.change, ConfigChange::Added);
        std::vector<Entry> after = c.before;
        after.push_back(kExpected);
        EXPECT_EQ(wlxEntries(edit.text), after) << edit.text.toStdString();
        EXPECT_EQ(tokensBesideKestrum(edit.text),
                  tokensBesideKestrum(c.sameAs.isEmpty() ? c.config : c.sameAs))
            << edit.text.toStdString();
        EXPECT_EQ(edit.text.startsWith("\xEF\xBB\xBF"), c.config.startsWith("\xEF\xBB\xBF"));
    }
    // In a laid-out list the entry is only added: every other byte stays where it was.
    const QByteArray config = cases[0].config;
    const QByteArray added = editWlxPlugins(config, ConfigAction::Register, kPlugin).text;
    const auto at = added.indexOf("      <WlxPlugin Enabled=\"True\">\n        <Name>Kestrum");
    ASSERT_GT(at, 0);
    using Index = std::remove_const_t<decltype(at)>; // int in Qt 5, qsizetype in Qt 6
    const Index end = added.indexOf("</WlxPlugin>\n", at) + Index(sizeof "</WlxPlugin>\n") - 1;
    EXPECT_EQ(added.left(at) + added.mid(end), config);
}

TEST(DcConfig, ReplacesAnEarlierEntryInPlaceAndRemovesOnlyOurs) {
    const std::string earlier = R"(<WlxPlugin Enabled="False">
        <Name>Kestrum</Name>
        <Path>/old/Kestrum.wlx</Path>
        <DetectString>EXT="MAP"</DetectString>
      </WlxPlugin>)";
    // Added by hand under another name: the module's file name makes it ours too.
    const std::string byHand =
        R"(<WlxPlugin Enabled="True"><Name>maps</Name><Path>%commander_path%/KESTRUM.WLX</Path></WlxPlugin>)";
    const QByteArray config = userConfig("    <WlxPlugins>\n      " + earlier + "\n      " + kOtherEntry +
                                         "\n      " + byHand + "\n    </WlxPlugins>");

    const ConfigEdit replaced = editWlxPlugins(config, ConfigAction::Register, kPlugin);
    ASSERT_TRUE(replaced.error.isEmpty()) << replaced.error.toStdString();
    EXPECT_EQ(replaced.change, ConfigChange::Replaced);
    // Double Commander tries plug-ins in order: ours keeps its place before the others.
    EXPECT_EQ(wlxEntries(replaced.text), (std::vector<Entry>{kExpected, kOther}))
        << replaced.text.toStdString();
    EXPECT_EQ(
        tokensBesideKestrum(replaced.text),
        tokensBesideKestrum(userConfig("    <WlxPlugins>\n      " + kOtherEntry + "\n    </WlxPlugins>")));

    const ConfigEdit again = editWlxPlugins(replaced.text, ConfigAction::Register, kPlugin);
    EXPECT_EQ(again.change, ConfigChange::Unchanged);
    EXPECT_EQ(again.text, replaced.text);

    // Removal takes the entries' lines with them and leaves the file as if they never were.
    const ConfigEdit removed = editWlxPlugins(config, ConfigAction::Unregister, kPlugin);
    EXPECT_EQ(removed.change, ConfigChange::Removed);
    EXPECT_EQ(removed.text, userConfig("    <WlxPlugins>\n      " + kOtherEntry + "\n    </WlxPlugins>"));
    EXPECT_EQ(editWlxPlugins(removed.text, ConfigAction::Unregister, kPlugin).change,
              ConfigChange::Unchanged);
}

TEST(DcConfig, RefusesTextItCannotParse) {
    const char* bad[] = {
        "",
        "<doublecmd><Plugins></doublecmd>",
        "<doublecmd><Plugins/>",                              // cut short
        "<doublecmd/><doublecmd/>",                           // two roots
        "<doublecmd a=\"1\" a=\"2\"/>",                       // an attribute twice
        "<doublecmd>\xC3\x28</doublecmd>",                    // not UTF-8
        "<?xml version=\"1.0\"?><config><Plugins/></config>", // somebody else's file
        "<!DOCTYPE doublecmd [<!ENTITY p \"<Plugins/>\">]><doublecmd>&p;</doublecmd>",
    };
    for (const char* text : bad) {
        const ConfigEdit edit = editWlxPlugins(QByteArray(text), ConfigAction::Register, kPlugin);
        EXPECT_FALSE(edit.error.isEmpty()) << text;
        EXPECT_TRUE(edit.text.isEmpty()) << text;
    }
}

TEST(InstallPluginCommand, CreatesReplacesAndRemovesWithABackup) {
    const TempDir dir;
    const fs::path config = dir / "home/.config/doublecmd/doublecmd.xml";

    // No file yet: one is made in its folder, naming the plug-in of the build tree.
    fs::create_directories(config.parent_path());
    ToolRun r = tool("--config " + q(config));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("new file"), std::string::npos) << r.out;
    const std::vector<Entry> entries = wlxEntries(QByteArray::fromStdString(readFile(config)));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, fs::canonical(KESTRUM_PLUGIN).string());
    EXPECT_EQ(entries[0].detect, kExpected.detect);
    EXPECT_FALSE(fs::exists(config.string() + ".bak"));

    // A private file reached through a link: the link stays, its file changes, the mode is kept.
    const fs::path real = dir / "dotfiles/doublecmd.xml", link = dir / "link.xml";
    fs::create_directories(real.parent_path());
    const std::string user =
        userConfig("    <WlxPlugins>\n      " + kOtherEntry + "\n    </WlxPlugins>").toStdString();
    writeFile(real, user);
    ::chmod(real.c_str(), 0600);
    fs::create_symlink(real, link);
    const fs::path copy = dir / "elsewhere/Kestrum.wlx";
    fs::create_directories(copy.parent_path());
    fs::copy_file(KESTRUM_PLUGIN, copy);
    r = tool("--config " + q(link) + " --plugin " + q(copy));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(link.string() + ".bak"), user);
    EXPECT_EQ(wlxEntries(QByteArray::fromStdString(readFile(real))).back().path, fs::canonical(copy).string());
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    r = tool("--config " + q(link) + " --uninstall");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(real), user);
}

TEST(InstallPluginCommand, LeavesAFileItCannotParseUntouchedAndReportsUsageErrors) {
    const TempDir dir;
    const fs::path config = dir / "doublecmd.xml";
    const std::string broken = "<doublecmd>\n  <Plugins>\n    <WlxPlugins>\n  </Plugins>\n</doublecmd>\n";
    writeFile(config, broken);
    const auto stamp = fs::last_write_time(config);
    ToolRun r = tool("--config " + q(config));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(config.string()), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("line 4"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(config), broken);
    EXPECT_EQ(fs::last_write_time(config), stamp);
    EXPECT_FALSE(fs::exists(config.string() + ".bak"));
    EXPECT_EQ(tool("--config " + q(config) + " --uninstall").status, 1);
    EXPECT_EQ(readFile(config), broken);

    EXPECT_EQ(tool("--help").status, 0);
    EXPECT_EQ(tool("--config").status, 1);
    EXPECT_EQ(tool("--frobnicate").status, 1);
    r = tool("--config " + q(dir / "new.xml") + " --plugin " + q(dir / "missing.wlx"));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "new.xml"));
}

TEST(InstallPluginCommand, RefusesAConfigFolderThatIsNotThereAndFilesThatAreNoPlugin) {
    const TempDir dir;
    const fs::path deep = dir / "no/such/dir/x.xml";
    ToolRun r = tool("--config " + q(deep));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("does not exist"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "no"));
    EXPECT_EQ(tool("--config " + q(dir.path())).status, 1); // a folder, not a file

    writeFile(dir / "noise.wlx", std::string(4096, '\x5A'));
    writeFile(dir / "win.wlx", "MZ" + std::string(200, '\0'));
    std::string cut = readFile(KESTRUM_PLUGIN).substr(0, 2000); // its section table is cut off
    writeFile(dir / "cut.wlx", cut);
    fs::create_directory(dir / "folder.wlx");
    const fs::path config = dir / "doublecmd.xml";
    const struct {
        fs::path plugin;
        std::string says;
    } cases[] = {{dir / "noise.wlx", "not an ELF shared object"},
                 {dir / "win.wlx", "Windows module"},
                 {dir / "cut.wlx", "damaged shared object"},
                 {dir / "folder.wlx", "folder"},
                 {KESTRUM_TOOL, "exports no ListLoad"}, // a shared object (PIE) of ours, no plug-in
                 {fs::path(::testing::TempDir()) / "absent.wlx", "no such plug-in"}};
    for (const auto& c : cases) {
        r = tool("--config " + q(config) + " --plugin " + q(c.plugin));
        EXPECT_EQ(r.status, 1) << c.plugin << r.out;
        EXPECT_NE(r.out.find(c.plugin.string()), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(config));
    // A library of the system: loadable, but no plug-in.
    for (const char* lib : {"/lib/x86_64-linux-gnu/libz.so.1", "/usr/lib/x86_64-linux-gnu/libz.so.1"}) {
        if (!fs::exists(lib)) continue;
        r = tool("--config " + q(config) + " --plugin " + lib);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("exports no ListLoad"), std::string::npos) << r.out;
        break;
    }
    r = tool("--config " + q(config) + " --plugin " + q(KESTRUM_PLUGIN));
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST(PluginLocation, PrefersTheInstalledModuleOverOneBesideTheProgram) {
    const TempDir dir;
    const fs::path bin = dir / "bin", installed = dir / "lib/kestrum/plugins/wlx/Kestrum/Kestrum.wlx";
    fs::create_directories(bin);
    fs::create_directories(installed.parent_path());
    EXPECT_TRUE(findInstalledPlugin(bin).path.empty());
    writeFile(bin / "Kestrum.wlx", "x");
    EXPECT_EQ(findInstalledPlugin(bin).path, bin / "Kestrum.wlx");
    writeFile(installed, "x");
    EXPECT_EQ(findInstalledPlugin(bin).path, installed);
}
