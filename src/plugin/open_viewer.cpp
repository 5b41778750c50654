#include "open_viewer.h"

#include "component/viewer_setup.h"
#include "icons/qev_icon.h"
#include "component/korvane_import.h"
#include "progress_window.h"
#include "viewer_form.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QProgressBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

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

QString DamageNotice(const std::optional<ReadDiagnostic>& mapDamage, const std::optional<ImportProblem>& importDamage,
                     bool cancelled) {
    if (mapDamage)
        return QStringLiteral("Файл повреждён: показаны объекты до байта %1").arg(qulonglong(mapDamage->offset));
    if (importDamage && importDamage->line > 0)
        return QStringLiteral("Файл повреждён (строка %1): показано то, что удалось прочитать")
            .arg(qlonglong(importDamage->line));
    if (importDamage) return QStringLiteral("Файл повреждён: показано то, что удалось прочитать");
    if (cancelled) return QStringLiteral("Загрузка прервана: показана часть карты");
    return {};
}

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

namespace {

// Reads `path` into the form's (empty) map with a progress window that Esc cancels, fits the
// whole map and puts up the notice of a partial load. Throws when the file's folder cannot be
// entered; failures of the file itself leave what was read.
enum class Setup { AsCreated, Again };
void LoadIntoForm(TfmMain& form, QWidget* parent, const std::string& path, const std::string& moduleFolder,
                  Setup setup) {
    const fs::path file(path);
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::current_path();
    std::error_code ec;
    fs::current_path(folder, ec);
    if (ec) throw std::runtime_error("Error of SetCurrentDir() for Folder: " + folder.string() + "/");

    TKorvane& map = form.Korvane();
    form.StartNewFile();
    if (setup == Setup::Again) {
        // The next file starts from the viewer's own set-up: an import changes options.
        map.Instrument(iNone);
        ApplyViewerSetup(map);
    }
    map.SetClientSize(form.width(), form.height());
    static bool cancel = false; // the importers poll it through the map
    cancel = false;
    auto progress = std::make_unique<ProgressWindow>(parent ? parent->window() : nullptr, &cancel);
    form.SetProgressBar(progress->bar());
    map.CancelRequested = false;
    progress->show();

    map.BeginUpdate();
    // Not findChild: without its own meta-object that would take any child for the icons.
    FormIcons* icons = nullptr;
    for (QObject* child : form.children())
        if ((icons = dynamic_cast<FormIcons*>(child))) break;
    if (!icons) {
        icons = new FormIcons;
        icons->setParent(&form);
    }
    const fs::path library = fs::path(moduleFolder) / "icons.lib";
    const bool iconsBeside = fs::exists(library, ec);
    if (iconsBeside) {
        if (icons->icons.LibraryCount() == 0) icons->icons.LoadLibrary(library.string());
        map.QevMapIcon(&icons->icons);
    } else {
        map.QevMapIcon(nullptr);
    }
    map.OnProgress = [&form, &map](TKorvane&, int position) {
        form.KorvaneProgress(position);
        map.CancelRequested = cancel;
    };

    std::optional<ReadDiagnostic> mapDamage;
    std::optional<ImportProblem> importDamage;
    bool cancelled = false;
    const std::string ext = upperExtension(path);
    if (ext == ".MAP") {
        const MapReadResult r = form.LoadFromFile1(path);
        mapDamage = r.damage;
        cancelled = r.cancelled;
    } else {
        map.Clear();
        try {
            ImportResult r;
            if (ext == ".MP")
                r = ImportPolishFile(map, path, builtinPolishStyles(),
                                     {iconsBeside ? PolishIconSource::External : PolishIconSource::BuiltIn});
            else {
                // Set first: a failing import still shows what it read, with every line.
                map.Options.mpLineWidthMin(0);
                r = ImportMIFFile(map, path);
            }
            importDamage = r.firstProblem;
            cancelled = r.cancelled;
        } catch (const std::exception& e) {
            // What was imported before the failure is shown.
            importDamage = ImportProblem{path, 0, e.what()};
        }
        FinishImportForViewing(map);
    }
    map.EndUpdate();
    form.SetProgressBar(nullptr);
    progress.reset();
    // Loading fitted the whole map (the viewer's set-up asks for it).
    form.MapWidget().KeepFittedOnResize();
    form.ShowNotice(DamageNotice(mapDamage, importDamage, cancelled));
}

// The map takes the keys unless they are with a visible control of the host in the same window (the
// file panel beside a quick view keeps them). The host gives a new viewer the focus at the first
// open, but when it comes back from its own viewer on the next file it gives it to its window
// itself: the keys then reach no one, not even the host's own next-file key.
void takeFocusIfFree(TfmMain& form) {
    QWidget* focus = QApplication::focusWidget();
    const bool hostHasIt = focus && focus->isVisible() && !focus->isWindow() && focus->window() == form.window() &&
                           !form.isAncestorOf(focus);
    if (!hostHasIt && form.isVisible()) form.MapWidget().setFocus(Qt::OtherFocusReason);
}

} // namespace

TfmMain* OpenViewer(QWidget* parent, const std::string& path, const std::string& moduleFolder) {
    TfmMain* form = nullptr;
    try {
        form = new TfmMain(parent);
        if (parent) form->setGeometry(parent->rect());
        else form->resize(1024, 768);
        LoadIntoForm(*form, parent, path, moduleFolder, Setup::AsCreated);
        form->show();
        if (!parent || !parent->parentWidget()) {
            form->MapWidget().setFocus();
        } else {
            takeFocusIfFree(*form);
            // Again once the host has finished its own part of the open.
            QTimer::singleShot(0, form, [form] { takeFocusIfFree(*form); });
        }
        return form;
    } catch (const std::exception& e) {
        delete form;
        ShowMessage(parent, QStringLiteral("Open error:\r") + QString::fromUtf8(e.what()));
    } catch (...) {
        delete form;
        ShowMessage(parent, QStringLiteral("Open error:\r") + QStringLiteral("unknown failure"));
    }
    return nullptr;
}

bool ReloadViewer(TfmMain& form, const std::string& path, const std::string& moduleFolder) {
    if (!isViewableFile(path)) return false;
    try {
        const bool hadFocus = form.MapWidget().hasFocus();
        LoadIntoForm(form, form.parentWidget(), path, moduleFolder, Setup::Again);
        if (hadFocus) form.MapWidget().setFocus(Qt::OtherFocusReason);
        return true;
    } catch (const std::exception& e) {
        ShowMessage(&form, QStringLiteral("Open error:\r") + QString::fromUtf8(e.what()));
    } catch (...) {
    }
    return false;
}

} // namespace kestrum::plugin
