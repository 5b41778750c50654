// kestrum install-plugin: registers Kestrum.wlx in Double Commander's configuration, or removes it.

#include "commands.h"
#include "dc_config.h"
#include "plugin_location.h"
#include "plugin_module.h"

#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace kestrum::app {

namespace {

constexpr const char* kHelp = R"(usage: kestrum install-plugin [--config FILE] [--plugin PATH] [--uninstall]

Registers the lister plug-in Kestrum.wlx in Double Commander's configuration, so that
F3 and quick view show .map, .mp and .mif files with it (detect string
EXT="MAP" | EXT="MP" | EXT="MIF").

  --config FILE  the configuration to change
                 (default ~/.config/doublecmd/doublecmd.xml, created with its folder
                 when missing; another file's folder must exist)
  --plugin PATH  the plug-in to register (default: the installed one,
                 ../lib/kestrum/plugins/wlx/Kestrum/Kestrum.wlx from this program,
                 else Kestrum.wlx beside this program); it must be a Linux shared
                 object exporting ListLoad
  --uninstall    remove Kestrum's entry instead
  -h, --help     show this help

Every other setting is kept as it is; an earlier Kestrum entry is replaced, and the
previous file is kept as FILE.bak. Quit Double Commander first: it writes its
configuration when it quits, over any change made meanwhile.

Exit codes: 0 done, 1 usage error, no plug-in found, or a configuration that is not
well-formed XML or cannot be written (it is then left untouched).
)";

int fail(const std::string& message) {
    std::fprintf(stderr, "kestrum install-plugin: %s\n", message.c_str());
    return kUsage;
}

// Double Commander 1.0 takes the home folder from the user database, not from $HOME or
// $XDG_CONFIG_HOME, so neither moves its configuration.
QString defaultConfigPath() {
    const passwd* user = getpwuid(getuid());
    const QString home =
        user && user->pw_dir && *user->pw_dir ? QString::fromLocal8Bit(user->pw_dir) : QDir::homePath();
    return home + QStringLiteral("/.config/doublecmd/doublecmd.xml");
}

// Another user's file manager never writes this user's configuration.
bool doubleCommanderRunning() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string pid = entry.path().filename().string();
        struct stat owner {};
        if (pid.find_first_not_of("0123456789") != std::string::npos ||
            ::stat(entry.path().c_str(), &owner) != 0 || owner.st_uid != getuid())
            continue;
        std::string comm;
        std::getline(std::ifstream(entry.path() / "comm"), comm);
        if (comm == "doublecmd") return true;
    }
    return false;
}

} // namespace

int installPluginCommand(Args args) {
    QString config, pluginPath;
    bool uninstall = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        }
        if (a == "--uninstall") {
            uninstall = true;
        } else if (a == "--config" || a == "--plugin") {
            if (i + 1 >= args.size()) return fail(std::string(a) + " needs a value");
            const std::string_view value = args[++i];
            (a == "--config" ? config : pluginPath) = QString::fromLocal8Bit(value.data(), int(value.size()));
        } else {
            std::fprintf(stderr, "kestrum install-plugin: unknown argument '%s'\n%s", std::string(a).c_str(),
                         kHelp);
            return kUsage;
        }
    }
    // Only Double Commander's own folder is made when missing: a mistyped --config would
    // otherwise leave a tree of folders behind and a configuration nothing reads.
    if (config.isEmpty()) config = defaultConfigPath();
    const QFileInfo configFile(config);
    if (configFile.isDir()) return fail(config.toStdString() + ": is a folder; --config names the file");
    if (!configFile.absoluteDir().exists() &&
        QDir::cleanPath(configFile.absoluteFilePath()) != QDir::cleanPath(defaultConfigPath()))
        return fail(config.toStdString() + ": the folder " + configFile.absolutePath().toStdString() +
                    " does not exist (only the default configuration's folder is created)");

    WlxPluginEntry entry{QStringLiteral("Kestrum"), QStringLiteral("Kestrum.wlx"),
                         QString::fromLatin1(kDetectString)};
    if (!uninstall) {
        if (pluginPath.isEmpty()) {
            const PluginSearch found = findInstalledPlugin(executableFolder());
            if (found.path.empty()) {
                std::string looked;
                for (const auto& p : found.looked)
                    looked += "\n  " + p.string();
                return fail("no Kestrum.wlx found; looked at:" + looked + "\ngive one with --plugin PATH");
            }
            pluginPath = QString::fromStdString(found.path.string());
        }
        const QFileInfo module(pluginPath);
        if (const std::string problem = pluginModuleProblem(pluginPath.toLocal8Bit().toStdString()); !problem.empty())
            return fail(pluginPath.toStdString() + ": " + problem);
        entry.path = QDir::cleanPath(module.absoluteFilePath());
    }

    if (doubleCommanderRunning())
        std::fputs(
            "kestrum install-plugin: Double Commander is running; it rewrites its configuration when it "
            "quits, undoing this change: quit it and run this command again.\n",
            stderr);

    const ConfigFileResult r =
        applyToConfigFile(config, uninstall ? ConfigAction::Unregister : ConfigAction::Register, entry);
    const std::string file = config.toLocal8Bit().toStdString();
    if (!r.error.isEmpty()) return fail(file + ": " + r.error.toStdString() + "; the file was not changed");
    const std::string module = entry.path.toLocal8Bit().toStdString();
    switch (r.change) {
    case ConfigChange::Added:
        std::printf("%s: registered %s%s\n", file.c_str(), module.c_str(), r.created ? " (new file)" : "");
        break;
    case ConfigChange::Replaced:
        std::printf("%s: registered %s in place of the earlier entry\n", file.c_str(), module.c_str());
        break;
    case ConfigChange::Removed:
        std::printf("%s: Kestrum removed\n", file.c_str());
        break;
    case ConfigChange::Unchanged:
        std::printf(uninstall ? "%s: Kestrum is not registered; nothing changed\n"
                              : "%s: already registered as asked; nothing changed\n",
                    file.c_str());
        break;
    }
    if (!r.backup.isEmpty()) std::printf("previous file kept as %s\n", r.backup.toLocal8Bit().constData());
    return kOk;
}

} // namespace kestrum::app
