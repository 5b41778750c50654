#pragma once
// Lister plug-in entries in Double Commander's configuration (doublecmd.xml):
//   <doublecmd> <Plugins> <WlxPlugins> <WlxPlugin Enabled="True"> <Name/> <Path/> <DetectString/>
// The file holds every other setting of the user's file manager, so it is edited as text: the
// parser only locates elements, and everything outside the entries we touch stays byte for byte.

#include <QByteArray>
#include <QString>

namespace kestrum::app {

struct WlxPluginEntry {
    QString name;
    QString path; // the module; entries whose module has the same file name are ours too
    QString detectString;
};

enum class ConfigAction { Register, Unregister };
enum class ConfigChange { Added, Replaced, Removed, Unchanged };

struct ConfigEdit {
    QByteArray text; // the whole new file when `error` is empty
    ConfigChange change = ConfigChange::Unchanged;
    QString error; // why the text cannot be edited; it must then stay as it is
};

// Registers `plugin` (replacing, in place, the first entry with its name or module file name and
// dropping any further one) or removes every such entry. Text that is not a well-formed UTF-8
// Double Commander configuration is refused.
ConfigEdit editWlxPlugins(const QByteArray& config, ConfigAction action, const WlxPluginEntry& plugin);

// A configuration holding only the entry, for a user who has not run Double Commander yet.
QByteArray newConfigWith(const WlxPluginEntry& plugin);

struct ConfigFileResult {
    ConfigChange change = ConfigChange::Unchanged;
    bool created = false;
    QString backup; // the copy of the previous file, when one was made
    QString error;  // the file is untouched when set
};

// Edits the file at `path`: creates it (and its folders) when missing, keeps the previous
// contents as `path`.bak, and replaces the file in one rename so a failure never leaves half of
// it. A symbolic link is followed: the file it points to is replaced.
ConfigFileResult applyToConfigFile(const QString& path, ConfigAction action, const WlxPluginEntry& plugin);

} // namespace kestrum::app
