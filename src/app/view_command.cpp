#include "commands.h"

#include "open_viewer.h"
#include "viewer_form.h"

#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <string>

namespace kestrum::app {

namespace {

constexpr const char* kHelp = R"(usage: kestrum view FILE

Opens a map (.map, .mp, .mif) in the viewer window, the same one the file manager
shows: wheel to zoom about the mouse, arrows to pan, Shift+drag to move the map,
Ctrl+click for the lens, a left click for the address under the pointer, Esc to close.

Exit codes: 0 the window was closed, 1 usage error or a file that cannot be shown.
)";

} // namespace

int viewCommand(Args args) {
    std::string path;
    for (std::string_view a : args) {
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        }
        if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "kestrum view: unknown option '%s'\n%s", std::string(a).c_str(), kHelp);
            return kUsage;
        }
        if (!path.empty()) return std::fputs("kestrum view: one file at a time\n", stderr), kUsage;
        path = a;
    }
    if (path.empty()) {
        std::fputs(kHelp, stderr);
        return kUsage;
    }
    if (!plugin::isViewableFile(path)) {
        std::fprintf(stderr, "kestrum view: %s: not a map file (.map, .mp or .mif)\n", path.c_str());
        return kUsage;
    }
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(path, ec).string();
    int argc = 1;
    char name[] = "kestrum";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // Beside the program, as the plug-in finds its library beside itself.
    const std::string folder = QCoreApplication::applicationDirPath().toStdString();
    plugin::TfmMain* form = plugin::OpenViewer(nullptr, absolute, folder);
    if (!form) return kUsage;
    form->setAttribute(Qt::WA_DeleteOnClose);
    std::string title = "Kestrum — " + std::filesystem::path(path).filename().string();
    // The name the map gives itself, in its own code page.
    const MapDocument& doc = form->Korvane().Document();
    if (!trimmed(doc.header.NameMap.view()).empty())
        title += " — " + toUtf8(doc.codePage, trimmed(doc.header.NameMap.view()));
    form->setWindowTitle(QString::fromStdString(title));
    form->show();
    return app.exec() == 0 ? kOk : kUsage;
}

} // namespace kestrum::app
