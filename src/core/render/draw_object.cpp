#include "render/draw_object.h"

#include "model/text_measure.h"

namespace kestrum {

void TDrawObject::SetCanvas(TImage* target) {
    m_canvas = target;
    doSetCanvas(target);
}

void TDrawObject::SetGDIPlus(bool on) {
    m_gdiPlus = on;
    doSetMode();
}

void TDrawObject::SetSmoothing(qevSmothing mode) {
    m_smoothing = mode;
    doSetMode();
}

void TDrawObject::SetClipRect(std::optional<TRect> rect) {
    if (hasTarget()) doSetClip(rect);
}

void TDrawObject::DrawPolygon(std::span<const TPoint> pts) {
    if (!hasTarget() || pts.empty() || (!penVisible() && !brushVisible())) return;
    doPolygon(pts);
}

void TDrawObject::DrawPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings) {
    if (!hasTarget() || pts.empty() || (!penVisible() && !brushVisible())) return;
    std::size_t total = 0;
    for (const uint32_t r : rings) total += r;
    // Counts that do not add up to the points are the caller's fault: draw the list as one ring.
    if (rings.size() <= 1 || total != pts.size()) {
        doPolygon(pts);
        return;
    }
    doPolyPolygon(pts, rings);
}

void TDrawObject::doPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings) {
    const TCanvasPen pen = Pen;
    const TCanvasBrush brush = Brush;
    if (brushVisible()) {
        joinScreenRings(pts, rings, m_joined);
        Pen.Style = psClear;
        doPolygon(m_joined);
        Pen = pen;
    }
    if (penVisible()) {
        Brush.Style = bsClear;
        Brush.Bitmap = nullptr;
        std::size_t first = 0;
        for (const uint32_t r : rings) {
            if (r > 0) doPolygon(pts.subspan(first, r));
            first += r;
        }
        Brush = brush;
    }
}

void joinScreenRings(std::span<const TPoint> pts, std::span<const uint32_t> rings, std::vector<TPoint>& out) {
    out.clear();
    std::size_t first = 0;
    for (const uint32_t r : rings) {
        if (r == 0) continue;
        out.insert(out.end(), pts.begin() + std::ptrdiff_t(first), pts.begin() + std::ptrdiff_t(first + r));
        out.push_back(pts[first]);
        if (first != 0) out.push_back(pts[0]);
        first += r;
    }
}

void TDrawObject::DrawPolyline(std::span<const TPoint> pts) {
    if (!hasTarget() || pts.size() < 2 || !penVisible()) return;
    doPolyline(pts);
}

void TDrawObject::DrawPolyBezier(std::span<const TPoint> pts) {
    if (!hasTarget() || pts.size() < 4 || !penVisible()) return;
    doPolyBezier(pts.first(1 + (pts.size() - 1) / 3 * 3));
}

void TDrawObject::DrawClosedBezier(std::span<const TPoint> pts) {
    if (!hasTarget() || pts.size() < 4 || (!penVisible() && !brushVisible())) return;
    doClosedBezier(pts.first(1 + (pts.size() - 1) / 3 * 3));
}

void TDrawObject::DrawEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!hasTarget() || (!penVisible() && !brushVisible())) return;
    doEllipse(x1, y1, x2, y2);
}

void TDrawObject::DrawText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle) {
    if (!hasTarget() || text.empty() || TextHeight <= 0) return;
    doText(x, y, halo, text, angle);
}

void TDrawObject::DrawGraphic(int32_t x, int32_t y, const TImage* image) {
    if (!hasTarget() || !image || image->empty()) return;
    doGraphic(x, y, *image);
}

void TDrawObject::DrawBitmapInRect(TRect rect, const TImage* image) {
    if (!hasTarget() || !image || image->empty()) return;
    doBitmapInRect(rect, *image);
}

void TDrawObject::DrawBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage* image) {
    if (!hasTarget() || !image || image->empty()) return;
    doBitmapQuad(p1, p2, p3, p4, *image);
}

void TDrawObject::FillRect(TRect rect, const TCanvasBrush& brush) {
    if (!hasTarget() || rect.empty()) return;
    doFillRect(rect, brush);
}

TextExtent TDrawObject::MeasureText(std::string_view text) { return doMeasureText(text); }

TextExtent NullDrawObject::doMeasureText(std::string_view text) {
    return defaultTextMeasurer().measure(TextFace, TextHeight, TextBold ? 700 : 400, text);
}

} // namespace kestrum
