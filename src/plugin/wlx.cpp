// The exported entry points of Kestrum.wlx. Nothing may escape them: an exception or a crash
// here takes the user's file manager down with it.

#include "wlx_abi.h"

#include "open_viewer.h"
#include "print_view.h"
#include "thumbnail.h"
#include "viewer_form.h"

#include <QImage>
#include <QWidget>

#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>

namespace {

std::string moduleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ListLoad), &info) && info.dli_fname)
        return std::filesystem::path(info.dli_fname).parent_path().string();
    return {};
}

} // namespace

namespace {
kestrum::plugin::TfmMain* formOf(WlxWindow win) {
    return dynamic_cast<kestrum::plugin::TfmMain*>(static_cast<QWidget*>(win));
}
} // namespace

KESTRUM_WLX_EXPORT void KESTRUM_WLX_CALL ListGetDetectString(char* detectString, int maxlen) {
    if (!detectString || maxlen <= 0) return;
    static const char kDetect[] = "FORCE | EXT=\"MAP\"";
    // maxlen counts the terminating zero: the host's buffer is never written past its end.
    const std::size_t n = std::min(std::strlen(kDetect), static_cast<std::size_t>(maxlen) - 1);
    std::memcpy(detectString, kDetect, n);
    detectString[n] = '\0';
}

KESTRUM_WLX_EXPORT void KESTRUM_WLX_CALL ListSetDefaultParams(ListDefaultParamStruct*) {}

KESTRUM_WLX_EXPORT WlxWindow KESTRUM_WLX_CALL ListLoad(WlxWindow parentWin, char* fileToLoad, int) {
    try {
        auto* parent = static_cast<QWidget*>(parentWin);
        if (!parent || !fileToLoad) return nullptr;
        const std::string path(fileToLoad);
        if (!kestrum::plugin::isViewableFile(path)) return nullptr;
        return kestrum::plugin::OpenViewer(parent, path, moduleFolder());
    } catch (...) {
        return nullptr;
    }
}

KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListLoadNext(WlxWindow, WlxWindow pluginWin, char* fileToLoad, int) {
    try {
        // The same window shows the next file: no new widget, so the keyboard focus stays with
        // the map. An error makes the host close this window and ask its other viewers.
        auto* form = formOf(pluginWin);
        if (!form || !fileToLoad) return LISTPLUGIN_ERROR;
        return kestrum::plugin::ReloadViewer(*form, fileToLoad, moduleFolder()) ? LISTPLUGIN_OK : LISTPLUGIN_ERROR;
    } catch (...) {
        return LISTPLUGIN_ERROR;
    }
}

KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListSearchText(WlxWindow listWin, char* searchString, int searchParameter) {
    try {
        auto* form = formOf(listWin);
        if (!form || !searchString) return LISTPLUGIN_ERROR;
        // The host hands its text over in the system's encoding.
        const bool found = form->SearchText(QString::fromLocal8Bit(searchString), searchParameter);
        return found ? LISTPLUGIN_OK : LISTPLUGIN_ERROR;
    } catch (...) {
        return LISTPLUGIN_ERROR;
    }
}

KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListSendCommand(WlxWindow listWin, int command, int parameter) {
    try {
        auto* form = formOf(listWin);
        if (!form) return LISTPLUGIN_ERROR;
        switch (command) {
        case lc_copy:
            form->CopyToClipboard();
            return LISTPLUGIN_OK;
        case lc_newparams:
            form->ApplyParams(parameter);
            return LISTPLUGIN_OK;
        default: // lc_selectall has nothing to select in a map; lc_setpercent is for text
            return LISTPLUGIN_ERROR;
        }
    } catch (...) {
        return LISTPLUGIN_ERROR;
    }
}

KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListPrint(WlxWindow listWin, char*, char* defPrinter, int, WlxRect* margins) {
    try {
        auto* form = formOf(listWin);
        if (!form) return LISTPLUGIN_ERROR;
        // The host keeps its margins in tenths of a millimetre.
        QMarginsF mm(10, 10, 10, 10);
        if (margins)
            mm = QMarginsF(margins->left / 10.0, margins->top / 10.0, margins->right / 10.0, margins->bottom / 10.0);
        const QString printer = defPrinter ? QString::fromLocal8Bit(defPrinter) : QString();
        return kestrum::plugin::PrintWithDialog(form, form->ViewPicture(), mm, printer) ? LISTPLUGIN_OK
                                                                                        : LISTPLUGIN_ERROR;
    } catch (...) {
        return LISTPLUGIN_ERROR;
    }
}

KESTRUM_WLX_EXPORT WlxBitmap KESTRUM_WLX_CALL ListGetPreviewBitmap(char* fileToLoad, int width, int height, char*,
                                                                  int) {
    try {
        if (!fileToLoad) return nullptr;
        QImage picture = kestrum::plugin::RenderThumbnail(fileToLoad, width, height);
        return picture.isNull() ? nullptr : new QImage(std::move(picture));
    } catch (...) {
        return nullptr;
    }
}

KESTRUM_WLX_EXPORT void KESTRUM_WLX_CALL ListCloseWindow(WlxWindow listWin) {
    try {
        // Deleting the form runs its close routine once; a host that destroys the window
        // instead reaches the same destructor.
        delete static_cast<QWidget*>(listWin);
    } catch (const std::exception& e) {
        kestrum::plugin::ShowMessage(nullptr, QStringLiteral("DestroyWindow error:\r") + QString::fromUtf8(e.what()));
    } catch (...) {
    }
}
