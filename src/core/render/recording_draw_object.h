#pragma once
// A back end that draws nothing and lists every call with its arguments and the pen, brush and
// opacity in force: pipeline tests assert on the calls instead of on pixels.

#include "render/draw_object.h"

#include <string>
#include <vector>

namespace kestrum {

struct RecordedCall {
    std::string op; // "polygon", "polyPolygon", "polyline", "bezier", "closedBezier", "ellipse", "text", "graphic",
                    // "bitmapInRect", "bitmapQuad", "fillRect"
    std::vector<TPoint> points;
    TCanvasPen pen;
    TCanvasBrush brush;
    uint8_t opacity = 255;
    std::string text;
    int32_t angle = 0;
    bool halo = false;
    std::vector<uint32_t> rings; // of a polyPolygon: each ring's vertex count
};

class RecordingDrawObject final : public TDrawObject {
  public:
    std::vector<RecordedCall> calls;
    std::vector<std::optional<TRect>> clips;

  private:
    RecordedCall& record(std::string op, std::span<const TPoint> pts = {}) {
        calls.push_back({std::move(op), {pts.begin(), pts.end()}, Pen, Brush, Opacity, {}, 0, false, {}});
        return calls.back();
    }
    void doSetCanvas(TImage*) override {}
    void doSetClip(std::optional<TRect> rect) override { clips.push_back(rect); }
    void doPolygon(std::span<const TPoint> p) override { record("polygon", p); }
    void doPolyline(std::span<const TPoint> p) override { record("polyline", p); }
    void doPolyPolygon(std::span<const TPoint> p, std::span<const uint32_t> rings) override {
        record("polyPolygon", p).rings.assign(rings.begin(), rings.end());
    }
    void doPolyBezier(std::span<const TPoint> p) override { record("bezier", p); }
    void doClosedBezier(std::span<const TPoint> p) override { record("closedBezier", p); }
    void doEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
        const TPoint p[2] = {{x1, y1}, {x2, y2}};
        record("ellipse", p);
    }
    void doText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle) override {
        const TPoint p[1] = {{x, y}};
        RecordedCall& c = record("text", p);
        c.text = std::string(text), c.angle = angle, c.halo = halo;
    }
    void doGraphic(int32_t x, int32_t y, const TImage&) override {
        const TPoint p[1] = {{x, y}};
        record("graphic", p);
    }
    void doBitmapInRect(TRect r, const TImage&) override {
        const TPoint p[2] = {{r.Left, r.Top}, {r.Right, r.Bottom}};
        record("bitmapInRect", p);
    }
    void doBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage&) override {
        const TPoint p[4] = {p1, p2, p3, p4};
        record("bitmapQuad", p);
    }
    void doFillRect(TRect r, const TCanvasBrush& brush) override {
        const TPoint p[2] = {{r.Left, r.Top}, {r.Right, r.Bottom}};
        record("fillRect", p).brush = brush;
    }
    TextExtent doMeasureText(std::string_view text) override {
        return {double(text.size()) * TextHeight * 0.5, double(TextHeight)};
    }
};

} // namespace kestrum
