#pragma once
// A map component drawing with the real fonts and back ends, for the commands that draw.

#include "component/korvane.h"
#include "headless.h"
#include "qt_draw_object.h"
#include "qt_image_decoder.h"
#include "qt_text_measurer.h"

#include <memory>

namespace kestrum::app {

struct QtMap {
    std::shared_ptr<QApplication> app = qt::makeHeadlessApplication();
    qt::QtTextMeasurer measurer;
    qt::QtImageDecoder decoder;
    TKorvane map;

    QtMap() {
        map.SetTextMeasurer(&measurer);
        map.SetImageDecoder(&decoder);
        map.SetDrawObject(std::make_unique<qt::QtDrawObject>());
    }
};

} // namespace kestrum::app
