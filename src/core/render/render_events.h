#pragma once
// The render-time events and settings of a map view. The map component derives from both, so
// that its users set `map.OnPaintObject` or `map.BackgroundColor` as before; the renderer reads
// them as it draws.

#include "image/image.h"
#include "model/map_object.h"
#include "render/draw_object.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace kestrum {

enum tQevLine : uint8_t { qevLineStandart, qevLineRailRoad };

struct TRenderEvents {
    std::function<void(TDrawObject& canvas)> OnBeforeRisovan, OnAfterRisovan;
    std::function<void(TDrawObject& canvas, float x, float y, float x1, float y1)> OnPaintBackground;
    std::function<void(const TQEVMapObjectMem&, bool& visible)> OnFilteredObject;
    std::function<void(const TQEVMapObjectMem&, float& height)> OnHeightObject;
    std::function<void(const TQEVMapObjectMem&, TQEVMapPen& pen, TQEVMapBrush& brush)> OnBlinkObject;
    std::function<void(TImage& bitmap)> OnBeforePaint;
    std::function<void(const TQEVMapObjectMem&, uint8_t& alpha, TCanvasPen& pen, TCanvasBrush& brush)> OnPaintObject;
    std::function<void(const TQEVMapObjectMem&, tQevLine& style, std::span<TPoint> points)> OnPaintPolyLineEvent;
    std::function<void(const TQEVMapObjectMem&, int x, int y, int numberPixel, double koef, TDrawObject& canvas)>
        OnPixelLineEvent;
    std::function<void(int& x, int& y, int32_t objectColor, int32_t& fontColor, int32_t& backgroundColor,
                       int32_t& borderColor)>
        OnPaintAddress;
};

struct TRenderSettings {
    int32_t BackgroundColor = 0x008000;
    int32_t GuideColor = 0xC0C0C0;
    int32_t GuideStepX = 50, GuideStepY = 50;
    TImage Grass; // background texture, tiled when the option Texture is on
    // Indices of the objects drawn blinking (inverted colours every other blink tick).
    std::vector<int> BlinkList;
    // Set by whoever changes what the map shows; the next rebuild redraws it all and clears it.
    bool NeedsFullRedraw = true;
};

} // namespace kestrum
