// What the user of the viewer waits for: from the host's open call to the first painted frame,
// and the steps of wheel zoom and arrow panning, each until its frame is on the window. The
// viewer runs on the offscreen platform at 1280 x 900, as the lister pane of a large screen.
//
// Also the thumbnail a file panel asks for (ListGetPreviewBitmap).
//
//   bench_viewer [FILE...]     (default: the sample map, the largest corpus file and generated
//                               maps of 10 MB and of 200k objects)

#include "headless.h"
#include "map_generator.h"
#include "open_viewer.h"
#include "thumbnail.h"
#include "viewer_form.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace kestrum;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The form repaints synchronously: the frame is on the window when this returns.
void paintNow(plugin::TfmMain& form) {
    QCoreApplication::processEvents();
    form.MapWidget().repaint();
}

void measure(const std::string& path) {
    QWidget host;
    host.resize(1280, 900);
    host.show();
    QCoreApplication::processEvents();

    const auto t0 = Clock::now();
    plugin::TfmMain* form = plugin::OpenViewer(&host, path, KESTRUM_MODULE_DIR);
    if (!form) {
        std::printf("%-40s  cannot be opened\n", std::filesystem::path(path).filename().c_str());
        return;
    }
    form->resize(host.size());
    paintNow(*form);
    const double firstFrame = ms(Clock::now() - t0);

    int64_t tick = 0;
    form->Clock = [&tick] { return tick; };
    std::vector<double> zoom, pan;
    qt::KorvaneWidget& w = form->MapWidget();
    const QPointF at(w.width() / 2.0 + 100, w.height() / 2.0 - 50);
    for (int i = 0; i < 8; ++i) {
        ++tick; // a step of its own on the zoom clock
        QWheelEvent wheel(at, QPointF(w.mapToGlobal(at.toPoint())), QPoint(), QPoint(0, i < 4 ? 120 : -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        const auto z0 = Clock::now();
        QCoreApplication::sendEvent(&w, &wheel);
        paintNow(*form);
        zoom.push_back(ms(Clock::now() - z0));
    }
    for (int i = 0; i < 8; ++i) {
        const int key = i % 2 ? Qt::Key_Left : Qt::Key_Right;
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier), up(QEvent::KeyRelease, key, Qt::NoModifier);
        const auto p0 = Clock::now();
        QCoreApplication::sendEvent(&w, &down);
        QCoreApplication::sendEvent(&w, &up);
        paintNow(*form);
        pan.push_back(ms(Clock::now() - p0));
    }
    const auto bytes = static_cast<double>(std::filesystem::file_size(path));
    std::printf("%-40s %8.1f MB %7d objects  first frame %8.1f ms  zoom step %6.1f ms (max %6.1f)  pan step %6.1f ms (max %6.1f)\n",
                std::filesystem::path(path).filename().c_str(), bytes / 1e6, form->Korvane().Objects().count(), firstFrame,
                median(zoom), *std::max_element(zoom.begin(), zoom.end()), median(pan),
                *std::max_element(pan.begin(), pan.end()));
    delete form;

    // A file panel's thumbnail: load and draw the whole map at 256 x 256, no window.
    std::vector<double> thumb;
    for (int i = 0; i < 5; ++i) {
        const auto t1 = Clock::now();
        const QImage picture = plugin::RenderThumbnail(path, 256, 256);
        thumb.push_back(ms(Clock::now() - t1));
        if (picture.isNull()) break;
    }
    std::printf("%-40s  thumbnail 256x256 %8.1f ms (max %6.1f)\n", std::filesystem::path(path).filename().c_str(),
                median(thumb), *std::max_element(thumb.begin(), thumb.end()));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("KESTRUM_NO_MESSAGE_BOXES", "1");
    auto app = qt::makeHeadlessApplication();
    std::vector<std::string> files(argv + 1, argv + argc);
    if (files.empty()) {
        files.push_back(KESTRUM_SOURCE_DIR "/data/sample.map");
        files.push_back(KESTRUM_SOURCE_DIR "/../shared/corpus/mp/imgforge_perf-5mb.mp");
        for (const int32_t objects : {30'000, 200'000}) {
            bench::CityMapParams params;
            params.objects = objects;
            files.push_back(bench::cachedCityMap(KESTRUM_BENCH_DATA_DIR, params));
        }
    }
    for (const std::string& f : files) {
        if (std::filesystem::exists(f)) measure(f);
        else std::printf("%s: not found, skipped\n", f.c_str());
    }
    return 0;
}
