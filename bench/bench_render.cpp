// Render timings of a large generated city at 1920 x 1080: the whole map, a zoomed view of a
// sixteenth of it, and one 50-pixel pan step, with the plain and the anti-aliased back ends.
// Then the price of labels: 50k addressed buildings with 50k notes over named streets, against
// the same map with the addresses and notes taken out.
//
//   bench_render [--objects=N] [--spiky-areas] [google benchmark flags]
//
// --spiky-areas draws the stress variant of the city, whose land use is piled twenty deep.

#include "component/viewer_setup.h"
#include "headless.h"
#include "map_generator.h"
#include "qt_draw_object.h"
#include "qt_text_measurer.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

using namespace kestrum;

namespace {

int32_t g_objects = 200'000;
bool g_spiky = false;

struct Setup {
    std::shared_ptr<QApplication> app = qt::makeHeadlessApplication();
    qt::QtTextMeasurer measurer;
    TKorvane map;
    ViewerHooks hooks;

    // The component's own pipeline, or with the viewer's paint adjustments (street names, note
    // captions) on top; the viewer also redraws the whole view after every scroll.
    Setup(const std::string& path, bool viewerHooks) {
        map.SetTextMeasurer(&measurer);
        map.SetDrawObject(std::make_unique<qt::QtDrawObject>());
        map.SetClientSize(1920, 1080);
        ApplyViewerSetup(map);
        if (viewerHooks) InstallViewerHooks(map, hooks);
        LoadMapForViewing(map, path);
    }

    void mode(bool aa) {
        map.Options.UseGDIPlus(aa);
        map.Options.AntiAliasing(aa ? qevSmoothingModeAntiAlias : qevSmoothingModeNone);
    }
};

Setup& setup() {
    static Setup s([] {
        bench::CityMapParams params;
        params.objects = g_objects;
        params.spikyAreas = g_spiky;
        return bench::cachedCityMap(KESTRUM_BENCH_DATA_DIR, params);
    }(), false);
    return s;
}

Setup& labelSetup(bool labelled) {
    auto path = [](bool withLabels) {
        bench::CityMapParams params;
        params.objects = 100'000;
        return bench::cachedLabelledMap(KESTRUM_BENCH_DATA_DIR, params, withLabels);
    };
    static Setup bare(path(false), true), full(path(true), true);
    return labelled ? full : bare;
}

void fitWhole(TKorvane& map) {
    map.DisableDrawing();
    map.ZoomToMap();
    map.EnableDrawing();
}

// A quarter of the width and of the height: a sixteenth of the area, about the centre.
void zoomToSixteenth(TKorvane& map) {
    const TMapPoint c = map.ViewCenter();
    map.DisableDrawing();
    map.ZoomAt(c.X, c.Y, map.Scale() * 4);
    map.EnableDrawing();
}

void BM_FullExtent(benchmark::State& state) {
    Setup& s = setup();
    s.mode(state.range(0) != 0);
    fitWhole(s.map);
    for (auto _ : state) {
        s.map.NeedsFullRedraw = true;
        s.map.RebuildBuffer();
    }
    state.counters["objects"] = s.map.Objects().count();
}

void BM_ZoomedSixteenth(benchmark::State& state) {
    Setup& s = setup();
    s.mode(state.range(0) != 0);
    fitWhole(s.map);
    zoomToSixteenth(s.map);
    for (auto _ : state) {
        s.map.NeedsFullRedraw = true;
        s.map.RebuildBuffer();
    }
}

void BM_PanStep(benchmark::State& state) {
    Setup& s = setup();
    s.mode(state.range(0) != 0);
    fitWhole(s.map);
    zoomToSixteenth(s.map);
    bool right = true;
    for (auto _ : state) {
        s.map.ScrollView(right ? sdRight : sdLeft, 50, 0);
        right = !right;
    }
}

// Args: labelled, aa, zoom. The whole map is at a scale where house numbers, icons and street
// names show but buildings are below the size drawn; a sixteenth of it shows them all.
void BM_Labels(benchmark::State& state) {
    Setup& s = labelSetup(state.range(0) != 0);
    s.mode(state.range(1) != 0);
    fitWhole(s.map);
    if (state.range(2) != 0) zoomToSixteenth(s.map);
    for (auto _ : state) {
        s.map.NeedsFullRedraw = true;
        s.map.RebuildBuffer();
    }
    state.counters["objects"] = s.map.Objects().count();
    state.counters["scale%"] = s.map.Scale();
}

} // namespace

BENCHMARK(BM_Labels)->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})->ArgNames({"labelled", "aa", "zoom"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullExtent)->Arg(0)->Arg(1)->ArgName("aa")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomedSixteenth)->Arg(0)->Arg(1)->ArgName("aa")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PanStep)->Arg(0)->Arg(1)->ArgName("aa")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--objects=", 10) == 0) g_objects = std::stoi(argv[i] + 10);
        else if (std::strcmp(argv[i], "--spiky-areas") == 0) g_spiky = true;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
