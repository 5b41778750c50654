#include "render/raster_draw_object.h"

#include <cmath>

namespace kestrum {

namespace {

// Indexed by brush style; the solid and clear styles have none.
constexpr std::array<std::array<uint8_t, 8>, 8> kHatches{{
    {},
    {},
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00}, // bsHorizontal
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10}, // bsVertical
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // bsFDiagonal
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // bsBDiagonal
    {0x10, 0x10, 0x10, 0xFF, 0x10, 0x10, 0x10, 0x10}, // bsCross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // bsDiagCross
}};

} // namespace

const std::array<uint8_t, 8>& TRasterDrawObject::HatchPattern(TBrushStyle style) {
    return kHatches[static_cast<std::size_t>(style) < kHatches.size() ? style : bsSolid];
}

uint32_t TRasterDrawObject::rgbOf(int32_t ref) {
    if (ref >= 0) return pixelOf(ref);
    switch (ref & 0xFF) {
    case 5:  // window
    case 14: // highlight text
        return 0xFFFFFFFFu;
    case 15: // button face
        return 0xFFF0F0F0u;
    case 13: // highlight
        return 0xFF0078D7u;
    default:
        return 0xFF000000u;
    }
}

bool TRasterDrawObject::antialiased() const {
    return GDIPlus() && Smoothing() != qevSmoothingModeNone && Smoothing() != qevSmoothingModeHighSpeed &&
           Smoothing() != qevSmoothingModeDefault;
}

// The converter keeps to the canvas by itself.
TRect TRasterDrawObject::clipRect() const { return m_clip.value_or(raster::bounds(m_surface)); }

raster::Paint TRasterDrawObject::paintOf(int32_t colorRef) const {
    raster::Paint paint{rgbOf(colorRef), effectiveOpacity()};
    paint.smooth = antialiased();
    return paint;
}

raster::Paint TRasterDrawObject::fillPaint() const {
    raster::Paint paint = paintOf(Brush.Color);
    if (Brush.Style >= bsHorizontal) paint.pattern = &HatchPattern(Brush.Style);
    return paint;
}

void TRasterDrawObject::doSetCanvas(TImage* target) {
    m_batch.flush();
    m_surface = {};
    if (target && !target->empty()) m_surface = raster::surfaceOf(*target);
    m_batch.setSurface(m_surface);
    platformCanvas(target);
}

void TRasterDrawObject::doSetMode() {
    m_batch.flush();
    platformMode();
}

void TRasterDrawObject::doSetClip(std::optional<TRect> rect) {
    m_batch.flush();
    m_clip = rect;
    platformClip(rect);
}

bool TRasterDrawObject::ownStroke(std::span<const TPoint> pts, bool closed, bool bezier) {
    if (!ownFill() || Pen.Style == psClear) return false;
    const bool solid = Pen.Style == psSolid || Pen.Style == psInsideFrame;
    raster::Paint paint = paintOf(Pen.Color);
    if (Pen.Style >= psDash && Pen.Style <= psDashDotDot) {
        const Dash& d = kDashes[std::size_t(Pen.Style - psDash)];
        paint.dash = d.cells, paint.dashPeriod = d.period;
    } else if (!solid) {
        return false;
    }
    const TRect clip = clipRect();
    // Pens of one pixel, as the platforms' hairlines; smoothed ones are shared between the two
    // pixels along the line.
    if (Pen.Width <= 1) {
        if (bezier) m_batch.strokeBezierHairline(pts, closed, clip, paint);
        else if (antialiased()) m_batch.strokeSmoothHairline(pts, closed, clip, paint);
        else m_batch.strokeHairline(pts, closed, clip, paint);
        return true;
    }
    // Round ends and joints; square ends with mitred joints stay with the platform.
    if (squareCaps() || Pen.Width > 1024) return false;
    if (bezier) m_batch.strokeBezierWide(pts, closed, Pen.Width, clip, paint);
    else m_batch.strokeWide(pts, closed, Pen.Width, clip, paint);
    return true;
}

void TRasterDrawObject::doPolygon(std::span<const TPoint> pts) {
    const bool own = ownFill();
    if (own) {
        if (brushVisible()) m_batch.fillPolygon(pts, clipRect(), fillPaint());
        if (!penVisible() || ownStroke(pts, true, false)) return;
    }
    m_batch.flush();
    platformPolygon(pts, !own);
}

void TRasterDrawObject::doPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings) {
    if (!ownFill()) {
        m_batch.flush();
        platformPolyPolygon(pts, rings, true);
        return;
    }
    // The converter fills the rings joined into one list: its crossings are exact, so each
    // connector, run once each way, cancels to the pixel, smoothed or not.
    if (brushVisible()) {
        joinScreenRings(pts, rings, m_joinedRings);
        m_batch.fillPolygon(m_joinedRings, clipRect(), fillPaint());
    }
    if (!penVisible()) return;
    // Whether a pen is ours depends on the pen alone: the first ring decides for all.
    std::size_t first = 0, stroked = 0;
    for (const uint32_t r : rings) {
        if (!ownStroke(pts.subspan(first, r), true, false)) break;
        first += r, ++stroked;
    }
    if (stroked == rings.size()) return;
    m_batch.flush();
    platformPolyPolygon(pts.subspan(first), rings.subspan(stroked), false);
}

void TRasterDrawObject::doPolyline(std::span<const TPoint> pts) {
    if (ownStroke(pts, false, false)) return;
    m_batch.flush();
    platformPolyline(pts);
}

void TRasterDrawObject::doPolyBezier(std::span<const TPoint> pts) {
    if (ownStroke(pts, false, true)) return;
    m_batch.flush();
    platformPolyBezier(pts);
}

void TRasterDrawObject::doClosedBezier(std::span<const TPoint> pts) {
    const bool own = ownFill();
    if (own) {
        if (brushVisible()) m_batch.fillClosedBezier(pts, clipRect(), fillPaint());
        if (!penVisible() || ownStroke(pts, true, true)) return;
    }
    m_batch.flush();
    platformClosedBezier(pts, !own);
}

void TRasterDrawObject::doEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    // Point objects by the hundred: a one-pixel mark is the hairline's single pixel.
    const TPoint mark{x1, y1};
    if (x1 == x2 && y1 == y2 && Pen.Width <= 1 && !antialiased() && ownStroke({&mark, 1}, false, false)) return;
    m_batch.flush();
    platformEllipse(x1, y1, x2, y2);
}

void TRasterDrawObject::lay(int32_t x, int32_t y, const TPixels& picture) {
    const int32_t px = x + picture.offset.X, py = y + picture.offset.Y;
    if (ownsSurface()) {
        m_batch.blendImage(px, py, picture.bits, picture.width, picture.height, picture.stride, clipRect());
        return;
    }
    m_batch.flush();
    platformPixels(x, y, picture);
}

void TRasterDrawObject::doText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle) {
    if (angle == 0 && halo) {
        // A halo costs a path fill or four extra draws: unrotated haloed labels (house numbers)
        // are drawn once into a picture and copied.
        if (GDIPlus() && Opacity != 255) {
            lay(x, y, textPicture(text, TTextLayer::Halo));
            lay(x, y, textPicture(text, TTextLayer::Letters));
        } else {
            lay(x, y, textPicture(text, TTextLayer::Whole));
        }
        return;
    }
    if (angle == 0 && ownsSurface()) {
        // Captions by the thousand, each in colours of its own: the letters are drawn once as a
        // mask and coloured at every use.
        const TGlyphMask mask = glyphMask(text);
        const TRect clip = clipRect();
        if (Brush.Style == bsSolid) {
            // The platforms' aliased box has its corners rounded to the nearest pixel edge; a
            // smoothed one keeps them to a sixteenth of a pixel and shades its edges.
            const double left = x, top = y + mask.boxTop;
            const double right = left + mask.boxWidth, bottom = top + mask.boxHeight;
            const long step = antialiased() ? 1 : 16; // in sixteenths
            auto at = [step](double v) { return static_cast<int32_t>(std::lround(v * 16.0 / double(step)) * step); };
            m_batch.fillBox({at(left), at(top)}, {at(right), at(bottom)}, clip, paintOf(Brush.Color));
        }
        const raster::Paint ink = paintOf(TextColor);
        m_batch.blendMask(x + mask.offset.X, y + mask.offset.Y, mask.bits, mask.width, mask.height, mask.stride, clip,
                          ink.pixel, ink.alpha);
        return;
    }
    m_batch.flush();
    platformText(x, y, halo, text, angle);
}

void TRasterDrawObject::doGraphic(int32_t x, int32_t y, const TImage& image) {
    // Icons by the thousand: the converted picture is copied in the converter's queue, in its
    // turn, unless it is translucent as a whole.
    if (ownsSurface() && smallPicture(image) && effectiveOpacity() == 255) {
        const TPixels pixels = picturePixels(image);
        m_batch.blendImage(x, y, pixels.bits, pixels.width, pixels.height, pixels.stride, clipRect());
        return;
    }
    m_batch.flush();
    platformGraphic(x, y, image);
}

void TRasterDrawObject::doBitmapInRect(TRect rect, const TImage& image) {
    if (rect.width() == image.width() && rect.height() == image.height()) {
        doGraphic(rect.Left, rect.Top, image); // notes' icons: a copy, not a scaling
        return;
    }
    m_batch.flush();
    platformBitmapInRect(rect, image);
}

void TRasterDrawObject::doBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage& image) {
    m_batch.flush();
    platformBitmapQuad(p1, p2, p3, p4, image);
}

void TRasterDrawObject::doFillRect(TRect rect, const TCanvasBrush& brush) {
    m_batch.flush();
    platformFillRect(rect, brush);
}

TextExtent TRasterDrawObject::doMeasureText(std::string_view text) { return platformMeasureText(text); }

} // namespace kestrum
