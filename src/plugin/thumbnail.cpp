#include "thumbnail.h"

#include "component/viewer_setup.h"
#include "component/korvane_import.h"
#include "open_viewer.h"
#include "qt_draw_object.h"
#include "qt_image_decoder.h"
#include "qt_text_measurer.h"

#include <QGuiApplication>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kestrum::plugin {

namespace {

std::string upperExtension(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return ext;
}

} // namespace

QImage RenderThumbnail(const std::string& path, int maxWidth, int maxHeight) {
    // Text is measured and drawn with the toolkit's fonts.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
    if (maxWidth <= 0 || maxHeight <= 0 || !isViewableFile(path)) return {};
    // A file panel asks for icons, not posters: a bound on memory whatever the host asks.
    maxWidth = std::min(maxWidth, 4096);
    maxHeight = std::min(maxHeight, 4096);
    try {
        qt::QtTextMeasurer measurer;
        qt::QtImageDecoder decoder;
        TKorvane map;
        map.SetTextMeasurer(&measurer);
        map.SetImageDecoder(&decoder);
        map.SetDrawObject(std::make_unique<qt::QtDrawObject>());
        ApplyViewerSetup(map);
        ViewerHooks hooks;
        InstallViewerHooks(map, hooks);
        map.SetClientSize(maxWidth, maxHeight);
        const std::string ext = upperExtension(path);
        map.BeginUpdate();
        if (ext == ".MAP") {
            LoadMapForViewing(map, path);
        } else {
            if (ext == ".MP") ImportPolishFile(map, path, builtinPolishStyles(), {PolishIconSource::BuiltIn});
            else {
                map.Options.mpLineWidthMin(0);
                ImportMIFFile(map, path);
            }
            FinishImportForViewing(map);
        }
        if (map.Objects().empty()) {
            map.EndUpdate();
            return {};
        }
        // The picture takes the map's proportions: smaller than asked along one side.
        map.RecomputeExtent();
        const TMapRect& e = map.MapExtent();
        const double dx = std::max(double(e.MaxX - e.MinX), 1e-9), dy = std::max(double(e.MaxY - e.MinY), 1e-9);
        int w = maxWidth, h = maxHeight;
        if (dx / dy > double(maxWidth) / maxHeight) h = std::clamp(int(std::lround(maxWidth * dy / dx)), 1, maxHeight);
        else w = std::clamp(int(std::lround(maxHeight * dx / dy)), 1, maxWidth);
        map.SetClientSize(w, h);
        map.ZoomToMap();
        map.EndUpdate();
        const TImage& img = map.PreparePaint();
        return QImage(reinterpret_cast<const uchar*>(img.data()), img.width(), img.height(), img.width() * 4,
                      QImage::Format_RGB32)
            .copy();
    } catch (...) {
        return {};
    }
}

} // namespace kestrum::plugin
