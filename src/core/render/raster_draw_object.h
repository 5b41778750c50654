#pragma once
// TRasterDrawObject: the drawing back end of our own scan converter, the base of the platforms'.
//
// A map frame is thousands of fills, lines, captions and icons; the converter draws those into
// the canvas itself (in both modes, the same pixels on every platform), and the platform draws
// the rest: what the converter does not take (square-ended wide pens, raster pen modes, picture
// brushes, ellipses, rotated text, scaled or translucent pictures), everything on a target the
// converter cannot reach (a window), and the letters themselves, which it lays out and hands
// over as masks and pictures. The routing lives here once; a platform implements the hooks.
//
// Hooks that draw are called with the converter's queue drawn already: the platform paints
// over what came before it, in order. Pens, brushes, opacity and text fields are the ones the
// renderer set (TDrawObject's fields); the plain mode draws everything opaque.

#include "render/draw_object.h"
#include "render/raster_batch.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrum {

// A picture the platform made, in premultiplied 0xAARRGGBB words (a bare picture may have no
// pixels). It must stay as it is until the converter's queue is drawn: a platform that drops
// such pictures calls flushRaster() first.
struct TPixels {
    const uint32_t* bits = nullptr;
    int32_t width = 0, height = 0;
    std::size_t stride = 0; // words from one row to the next
    TPoint offset{};        // of its top-left corner from the point it is drawn at
};

// The letters of a text as 8-bit coverage, coloured at each use, and the cell an opaque box
// behind them covers; both from the text's top-left. Kept as TPixels are.
struct TGlyphMask {
    const uint8_t* bits = nullptr;
    int32_t width = 0, height = 0;
    std::size_t stride = 0; // bytes from one row to the next
    TPoint offset{};
    double boxTop = 0, boxWidth = 0, boxHeight = 0;
};

// What a picture of a haloed text holds: all of it, or its halo or letters alone (translucent
// letters over a translucent halo are laid one after the other, as the two would be drawn).
enum class TTextLayer : uint8_t { Whole, Halo, Letters };

class TRasterDrawObject : public TDrawObject {
  public:
    // Hatch brushes as 8 x 8 masks repeating from the canvas's origin: row y & 7, bit x & 7.
    // The platforms' own hatches must match them, or fills would change with the target.
    static const std::array<uint8_t, 8>& HatchPattern(TBrushStyle style);
    // Dashed pens: cells drawn in each repeat of psDash, psDot, psDashDot and psDashDotDot, in
    // pixels for one-pixel pens and in pen widths for wider ones (bit k % period of cell k).
    struct Dash {
        uint32_t cells;
        uint8_t period;
    };
    static constexpr std::array<Dash, 4> kDashes{{{0b001111, 6}, {0b001, 3}, {0b001001111, 9}, {0b001001001111, 12}}};
    // Pictures up to this many pixels are small enough for the platform to keep converted and
    // for the converter to copy (icons by the thousand); larger ones the platform scales itself.
    static constexpr std::size_t kSmallPicturePixels = 128 * 128;

  protected:
    TRasterDrawObject() = default;

    // Draws whatever the converter still holds.
    void flushRaster() { m_batch.flush(); }
    // Whether the converter draws into the canvas (not on a window, not without one).
    bool ownsSurface() const { return !onExternalTarget() && m_surface.pixels; }
    bool antialiased() const;
    // Square ends and mitred joints, as the mode reads the pen.
    bool squareCaps() const { return GDIPlus() ? CapsMode == 1 : Pen.Geometric && Pen.SquareCaps; }
    uint8_t effectiveOpacity() const { return GDIPlus() ? Opacity : 255; }
    // 0xFFRRGGBB of a colour reference; negative ones name the desktop's colours, for which
    // the usual light theme stands in.
    static uint32_t rgbOf(int32_t colorRef);
    // Where the converter may draw: the clip, or the whole canvas.
    TRect clipRect() const;
    static bool smallPicture(const TImage& image) {
        return std::size_t(image.width()) * std::size_t(image.height()) <= kSmallPicturePixels;
    }

    // --- the platform's part -------------------------------------------------------------------
    // The canvas changed (nullptr: none); the converter's queue for the old one is drawn.
    virtual void platformCanvas(TImage* target) = 0;
    virtual void platformMode() {}
    virtual void platformClip(std::optional<TRect> rect) = 0;
    // With the pen as set; withBrush false leaves the inside alone (the converter filled it).
    virtual void platformPolygon(std::span<const TPoint> pts, bool withBrush) = 0;
    // Rings filled by the even-odd rule, each outlined closed on itself.
    virtual void platformPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings, bool withBrush) = 0;
    virtual void platformPolyline(std::span<const TPoint> pts) = 0;
    virtual void platformPolyBezier(std::span<const TPoint> pts) = 0;
    virtual void platformClosedBezier(std::span<const TPoint> pts, bool withBrush) = 0;
    // A box of one point leaves only the pen's mark.
    virtual void platformEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
    // Texts the converter does not lay: rotated, or plain ones on a target it cannot reach.
    virtual void platformText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle) = 0;
    // An unrotated haloed text (colours: TextColor, halo Brush.Color) drawn into a picture.
    virtual TPixels textPicture(std::string_view text, TTextLayer layer) = 0;
    // An unrotated text's letters as a mask, in the text fields.
    virtual TGlyphMask glyphMask(std::string_view text) = 0;
    // A small picture with its colour key applied as transparency, premultiplied.
    virtual TPixels picturePixels(const TImage& image) = 0;
    // Lays a premultiplied picture at one to one over the target at (x, y), its offset added.
    virtual void platformPixels(int32_t x, int32_t y, const TPixels& picture) = 0;
    // Pictures at the current opacity: at a point, into a rectangle by two corners, onto a
    // parallelogram given by three of its corners and the fourth.
    virtual void platformGraphic(int32_t x, int32_t y, const TImage& image) = 0;
    virtual void platformBitmapInRect(TRect rect, const TImage& image) = 0;
    virtual void platformBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage& image) = 0;
    // The background: always opaque, whatever the opacity of the objects on it.
    virtual void platformFillRect(TRect rect, const TCanvasBrush& brush) = 0;
    virtual TextExtent platformMeasureText(std::string_view text) = 0;

  private:
    void doSetCanvas(TImage* target) final;
    void doSetMode() final;
    void doSetClip(std::optional<TRect> rect) final;
    void doPolygon(std::span<const TPoint> pts) final;
    void doPolyline(std::span<const TPoint> pts) final;
    void doPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings) final;
    void doPolyBezier(std::span<const TPoint> pts) final;
    void doClosedBezier(std::span<const TPoint> pts) final;
    void doEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) final;
    void doText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle) final;
    void doGraphic(int32_t x, int32_t y, const TImage& image) final;
    void doBitmapInRect(TRect rect, const TImage& image) final;
    void doBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage& image) final;
    void doFillRect(TRect rect, const TCanvasBrush& brush) final;
    TextExtent doMeasureText(std::string_view text) final;

    // Fills on our own canvas go through the converter, unless a raster pen mode or a picture
    // brush asks for the platform.
    bool ownFill() const { return ownsSurface() && Pen.Mode == pmCopy && !Brush.Bitmap; }
    // Draws the pen's line through the converter when it can; false leaves it to the platform.
    bool ownStroke(std::span<const TPoint> pts, bool closed, bool bezier);
    raster::Paint fillPaint() const;
    raster::Paint paintOf(int32_t colorRef) const; // a colour at the current opacity and smoothing
    void lay(int32_t x, int32_t y, const TPixels& picture);

    raster::RasterBatch m_batch;
    raster::Surface m_surface; // the canvas, while there is one
    std::optional<TRect> m_clip;
    std::vector<TPoint> m_joinedRings; // an area with holes as one list, for the converter
};

} // namespace kestrum
