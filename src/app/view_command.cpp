#include "commands.h"

#include "open_viewer.h"
#include "viewer_form.h"

#include "io/byte_source.h"
#include "import/map_format.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kestrum::app {

namespace {

constexpr const char* kHelp = R"(usage: kestrum view FILE

Opens a map (.map, .mp, .mif) in the viewer window, the same one the file manager
shows: wheel to zoom about the mouse, arrows to pan, Shift+drag to move the map,
Ctrl+click for the lens, a left click for the address under the pointer, Esc to close.

It needs a display; without one, 'kestrum render' draws the map into a picture.

Exit codes: 0 the window was closed, 1 usage error, no display, or a file that
cannot be shown (missing, empty, unreadable or not a map).
)";

constexpr const char* kNoDisplay =
    "kestrum view: there is no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set, "
    "or the display does not answer).\n"
    "To see the map without a display, draw it into a picture: kestrum render FILE -o OUT.png\n";

bool startsWith(const char* s, std::string_view prefix) { return s && std::string_view(s).starts_with(prefix); }

// Qt's own platforms that draw to a screen need its address; others (offscreen, vnc ...) chosen
// on purpose are the user's business.
bool displayReachable(const char* platform, const char* x11, const char* wayland) {
    const bool haveX11 = x11 && *x11, haveWayland = wayland && *wayland;
    if (!platform || !*platform) return haveX11 || haveWayland;
    if (startsWith(platform, "xcb")) return haveX11;
    if (startsWith(platform, "wayland")) return haveWayland;
    return true;
}

void quietUntilStarted(QtMsgType type, const QMessageLogContext&, const QString&) {
    // Warnings before the application exists are Qt's account of the failed connection.
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(kUsage);
    }
}

// What keeps the file from being shown, before any window opens: the viewer goes by the
// file's name, so content of another format than the name says is refused too.
std::string fileProblem(const std::string& path) {
    MapFileKind kind;
    try {
        kind = identifyMapFile(path);
    } catch (const FileError& e) {
        return e.what();
    }
    if (kind.format == MapFormat::Unknown) return path + ": " + kind.problem;
    if (kind.size == 0) return path + ": is empty: there is nothing to show";
    const MapFormat byName = mapFormatFromExtension(path);
    if (byName != kind.format)
        return path + ": is " + std::string(describeMapFormat(kind.format)) +
               ", but the viewer opens files by their extension (.map, .mp, .mif): give it the extension that "
               "fits, or use 'kestrum render'";
    return {};
}

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
    if (const std::string problem = fileProblem(path); !problem.empty()) {
        std::fprintf(stderr, "kestrum view: %s\n", problem.c_str());
        return kUsage;
    }
    if (!displayReachable(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"))) {
        std::fputs(kNoDisplay, stderr);
        return kUsage;
    }
    // A display named but not answering makes Qt give up with a fatal message and abort; say
    // the same as for no display at all instead.
    qInstallMessageHandler(quietUntilStarted);
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(path, ec).string();
    int argc = 1;
    char name[] = "kestrum";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
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
