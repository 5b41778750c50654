#include "open_viewer.h"

#include "component/viewer_setup.h"
#include "icons/qev_icon.h"
#include "import/mif_import.h"
#include "import/polish_import.h"
#include "progress_window.h"
#include "viewer_form.h"

#include <QMessageBox>
#include <QProgressBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace kestrum::plugin {

namespace fs = std::filesystem;

namespace {

std::string upperExtension(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return ext;
}

// What the form owns besides its widgets: the icon libraries it attaches to its map.
struct FormIcons : QObject {
    TQevIcon icons;
};

} // namespace

bool isViewableFile(const std::string& path) {
    const std::string ext = upperExtension(path);
    return ext == ".MAP" || ext == ".MP" || ext == ".MIF";
}

void ShowMessage(QWidget* owner, const QString& text) {
    if (std::getenv("KESTRUM_NO_MESSAGE_BOXES")) {
        std::fprintf(stderr, "Message: %s\n", text.toUtf8().constData());
        return;
    }
    QMessageBox::information(owner, QStringLiteral("Message"), text);
}

TfmMain* OpenViewer(QWidget* parent, const std::string& path, const std::string& moduleFolder) {
    TfmMain* form = nullptr;
    std::unique_ptr<ProgressWindow> progress;
    try {
        const fs::path file(path);
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::current_path();
        std::error_code ec;
        fs::current_path(folder, ec);
        if (ec) throw std::runtime_error("Error of SetCurrentDir() for Folder: " + folder.string() + "/");

        form = new TfmMain(parent);
        if (parent) form->setGeometry(parent->rect());
        else form->resize(1024, 768);
        TKorvane& map = form->Korvane();
        map.SetClientSize(form->width(), form->height());

        static bool cancel = false; // the importers poll it through the map
        cancel = false;
        progress = std::make_unique<ProgressWindow>(parent ? parent->window() : nullptr, &cancel);
        form->SetProgressBar(progress->bar());
        map.CancelRequested = false;
        progress->show();

        map.BeginUpdate();
        auto* icons = new FormIcons;
        icons->setParent(form);
        const fs::path library = fs::path(moduleFolder) / "icons.lib";
        const bool iconsBeside = fs::exists(library, ec);
        if (iconsBeside) {
            icons->icons.LoadLibrary(library.string());
            map.QevMapIcon(&icons->icons);
        } else {
            map.QevMapIcon(nullptr);
        }
        map.OnProgress = [form, &map](TKorvane&, int position) {
            form->KorvaneProgress(position);
            map.CancelRequested = cancel;
        };

        const std::string ext = upperExtension(path);
        if (ext == ".MAP") {
            form->LoadFromFile1(path);
        } else {
            try {
                if (ext == ".MP")
                    ImportPolishFile(map, path, builtinPolishStyles(),
                                     {iconsBeside ? PolishIconSource::External : PolishIconSource::BuiltIn});
                else {
                    // Set first: a failing import still shows what it read, with every line.
                    map.Options.mpLineWidthMin(0);
                    ImportMIFFile(map, path);
                }
            } catch (...) {
                // What was imported before the failure is shown.
            }
            FinishImportForViewing(map);
        }
        map.EndUpdate();
        form->SetProgressBar(nullptr);
        progress.reset();
        form->show();
        if (!parent || !parent->parentWidget()) form->MapWidget().setFocus();
        return form;
    } catch (const std::exception& e) {
        progress.reset();
        delete form;
        ShowMessage(parent, QStringLiteral("Open error:\r") + QString::fromUtf8(e.what()));
    } catch (...) {
        progress.reset();
        delete form;
        ShowMessage(parent, QStringLiteral("Open error:\r") + QStringLiteral("unknown failure"));
    }
    return nullptr;
}

} // namespace kestrum::plugin
