#include "headless.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace kestrum::qt {

std::shared_ptr<QApplication> makeHeadlessApplication() {
    static std::weak_ptr<QApplication> shared;
    if (auto app = shared.lock()) return app;
    if (QCoreApplication::instance()) return {};
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        namespace fs = std::filesystem;
        const fs::path dir = fs::temp_directory_path() / ("kestrum-runtime-" + std::to_string(getuid()));
        std::error_code ec;
        fs::create_directories(dir, ec);
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
        if (!ec) setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    static int argc = 1;
    static char name[] = "kestrum";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down from static destructors at exit crashes in its post
    // routines, and the process is ending anyway.
    static QApplication* instance = new QApplication(argc, argv);
    auto app = std::shared_ptr<QApplication>(instance, [](QApplication*) {});
    shared = app;
    return app;
}

} // namespace kestrum::qt
