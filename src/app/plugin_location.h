#pragma once
// Where `kestrum install-plugin` finds the plug-in it registers when none is named.

#include <filesystem>
#include <vector>

namespace kestrum::app {

// The file types the plug-in is registered for, in Double Commander's detect-string syntax.
inline constexpr const char* kDetectString = R"(EXT="MAP" | EXT="MP" | EXT="MIF")";

struct PluginSearch {
    std::filesystem::path path;                // empty when no candidate exists
    std::vector<std::filesystem::path> looked; // the candidates, in the order tried
};

// The installed module (the install layout's plug-in folder relative to the program's folder),
// else the module beside the program, as in the build tree.
PluginSearch findInstalledPlugin(const std::filesystem::path& programFolder);

// The folder of the running program.
std::filesystem::path executableFolder();

} // namespace kestrum::app
