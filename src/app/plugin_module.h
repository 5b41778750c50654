#pragma once
// Whether a file is a lister plug-in the file manager can load: a shared object for this
// machine exporting ListLoad. Read from the ELF file's dynamic symbols, so that nothing of the
// file runs in this process.

#include <string>

namespace kestrum::app {

// Empty when `path` is such a plug-in; otherwise what the file is instead ("is a Windows
// module ...", "exports no ListLoad ...").
std::string pluginModuleProblem(const std::string& path);

} // namespace kestrum::app
