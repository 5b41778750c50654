#include "plugin_location.h"

#include <system_error>

namespace kestrum::app {

namespace fs = std::filesystem;

PluginSearch findInstalledPlugin(const fs::path& programFolder) {
    PluginSearch s;
    s.looked = {(programFolder / KESTRUM_PLUGIN_FROM_BIN / "Kestrum.wlx").lexically_normal(),
                programFolder / "Kestrum.wlx"};
    for (const fs::path& p : s.looked) {
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) {
            s.path = p;
            break;
        }
    }
    return s;
}

fs::path executableFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path(ec) : self.parent_path();
}

} // namespace kestrum::app
