#pragma once
// Opening a map file into a viewer form, as the lister plug-in and the standalone viewer do it.

#include "import/import_result.h"
#include "io/map_reader.h"

#include <QWidget>

#include <optional>

#include <string>

namespace kestrum::plugin {

class TfmMain;

// ".MAP", ".MP" and ".MIF" in any letter case.
bool isViewableFile(const std::string& path);

// Creates the viewer form as a child of `parent` (or a top-level window when parent is null),
// loads the file with a progress window that Esc cancels, fits the whole map and shows the
// form. Returns null, after telling the user why, when the open fails. Never throws.
TfmMain* OpenViewer(QWidget* parent, const std::string& path, const std::string& moduleFolder);

// Loads another file into an open viewer (the host's "next file" in the same window): the view
// starts afresh, fitted to the whole map, and the keyboard focus stays with the map. False,
// leaving the viewer as it was, for a file this viewer does not show; false after telling the
// user when its folder cannot be entered. Never throws.
bool ReloadViewer(TfmMain& form, const std::string& path, const std::string& moduleFolder);

// The notice a partial load leaves in the viewer: the byte a ".MAP" file broke at, the line of
// a text format's first damage, or a cancelled load; empty when the file was read whole.
QString DamageNotice(const std::optional<ReadDiagnostic>& mapDamage, const std::optional<ImportProblem>& importDamage,
                     bool cancelled);

// A message box captioned "Message" (or a line on stderr when KESTRUM_NO_MESSAGE_BOXES is set,
// for unattended runs).
void ShowMessage(QWidget* owner, const QString& text);

} // namespace kestrum::plugin
