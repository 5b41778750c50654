#pragma once
// A map of 200 x 150 pixels at scale 100 (one world unit a pixel, origin at the top-left) that
// draws either through the recording back end, to see the calls, or through Qt, to see pixels.

#include "component/korvane.h"
#include "headless.h"
#include "qt_draw_object.h"
#include "render/recording_draw_object.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrum::test {

struct DrawMap {
    enum Backend { Recording, Pixels };

    TKorvane map;
    RecordingDrawObject* rec = nullptr; // the recording back end, when there is one

    explicit DrawMap(Backend backend = Recording, int32_t background = 0xFFFFFF) {
        if (backend == Recording) {
            auto r = std::make_unique<RecordingDrawObject>();
            rec = r.get();
            map.SetDrawObject(std::move(r));
        } else {
            static const auto app = qt::makeHeadlessApplication();
            map.SetDrawObject(std::make_unique<qt::QtDrawObject>());
        }
        map.BackgroundColor = background;
        map.Options.mpGuideLines(false);
        map.SetClientSize(200, 150);
        map.SetScale(100);
    }
    TQEVMapObjectMem& add(TQEVMapObjectMem o) {
        map.UpdateCorners(o);
        ComputeCenter(o);
        map.Objects().Add(std::move(o));
        return map.Objects()[map.Objects().count() - 1];
    }
    // A full rebuild; the calls recorded before it are dropped.
    const TImage& redraw() {
        if (rec) rec->calls.clear();
        map.RecomputeExtent();
        map.NeedsFullRedraw = true;
        map.RebuildBuffer();
        return map.BackBuffer();
    }
    std::vector<RecordedCall> calls(const std::string& op) const {
        std::vector<RecordedCall> out;
        for (const auto& c : rec->calls)
            if (c.op == op) out.push_back(c);
        return out;
    }
};

} // namespace kestrum::test
