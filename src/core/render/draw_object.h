#pragma once
// TDrawObject: the drawing back end the renderer calls for every primitive.
//
// The renderer sets up the canvas pen and brush, the opacity and the text fields, then calls
// one of nine primitives with screen points. The shared entry points do the bookkeeping (no
// target, empty input, clear styles) once; back ends implement the private hooks only. The real
// back ends (plain and anti-aliased) build on the core's scan converter (TRasterDrawObject,
// render/raster_draw_object.h) and the platform layer completes them; the core carries a null
// one and a recording one for tests.

#include "model/map_options.h"
#include "model/codepage.h"
#include "model/text_measure.h"
#include "image/image.h"
#include "view/view_transform.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TPenMode : uint8_t { pmCopy, pmXor, pmNot };

// Styles stored in a file may hold any byte: unknown ones draw solid.
constexpr TPenStyle penStyleOf(uint8_t v) { return v <= psInsideFrame ? static_cast<TPenStyle>(v) : psSolid; }
constexpr TBrushStyle brushStyleOf(uint8_t v) { return v <= bsDiagCross ? static_cast<TBrushStyle>(v) : bsSolid; }

struct TCanvasPen {
    int32_t Color = 0;
    int32_t Width = 1; // pixels
    TPenStyle Style = psSolid;
    bool Geometric = false; // wide pen with the caps below; a plain pen has round ends
    bool SquareCaps = false;
    TPenMode Mode = pmCopy;
    friend bool operator==(const TCanvasPen&, const TCanvasPen&) = default;
};

struct TCanvasBrush {
    int32_t Color = 0xFFFFFF;
    TBrushStyle Style = bsSolid;
    const TImage* Bitmap = nullptr; // tiled when set
    friend bool operator==(const TCanvasBrush&, const TCanvasBrush&) = default;
};

class TDrawObject {
  public:
    virtual ~TDrawObject() = default;

    // --- state the renderer writes before a call ------------------------------------------------
    TCanvasPen Pen;
    TCanvasBrush Brush;
    uint8_t Opacity = 255; // objects are laid over at it in the smoothed mode; the plain one ignores it
    int CapsMode = 0; // 0 round caps and joins, 1 square caps and mitred joins
    std::string TextFace = "Arial";
    int32_t TextHeight = 12; // cell height in pixels
    // TextHeight is the letters' em height instead, and the text's top-left is its cell's, in
    // either mode: a font made by its character height and drawn by the plain engine.
    bool TextEmHeight = false;
    int32_t TextColor = 0;
    bool TextBold = false;
    int ScreenDpi = 96;

    // --- target and mode -----------------------------------------------------------------------
    // Makes `target` the canvas (nullptr ends drawing on the previous one).
    void SetCanvas(TImage* target);
    TImage* Canvas() const { return m_canvas; }
    void SetGDIPlus(bool on);
    bool GDIPlus() const { return m_gdiPlus; }
    void SetSmoothing(qevSmothing mode);
    qevSmothing Smoothing() const { return m_smoothing; }
    // Restricts drawing to a rectangle of the canvas; nullopt lifts the restriction.
    void SetClipRect(std::optional<TRect> rect);
    // Pixels a house number's text height gets beyond its size in points: the plain engine's
    // letters are smaller in the same cell.
    virtual int32_t LabelHeightPadding() const { return m_gdiPlus ? 2 : 4; }

    // --- the nine primitives -------------------------------------------------------------------
    void DrawPolygon(std::span<const TPoint> pts);
    // An area with holes: `rings` holds the vertex count of each ring, outer first, the points
    // are the rings one after another. Filled by the even-odd rule as one area, every ring
    // outlined closed on itself. One ring is a DrawPolygon.
    void DrawPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings);
    void DrawPolyline(std::span<const TPoint> pts);
    void DrawPolyBezier(std::span<const TPoint> pts);
    void DrawClosedBezier(std::span<const TPoint> pts);
    void DrawEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void DrawText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle);
    void DrawGraphic(int32_t x, int32_t y, const TImage* image);
    void DrawBitmapInRect(TRect rect, const TImage* image);
    void DrawBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage* image);

    // --- surface operations of the pipeline ----------------------------------------------------
    // Fills a rectangle with a brush (the background), ignoring the pen.
    void FillRect(TRect rect, const TCanvasBrush& brush);
    // Extent of a text in the current text fields (map code-page bytes).
    TextExtent MeasureText(std::string_view text);

    // Text of the map is stored in this code page; back ends convert when they draw.
    CodePage TextCodePage = CodePage::Cp1251;

  protected:
    // A back end drawing on a surface it does not own (a window) marks it as a target here.
    void setExternalTarget(bool on) { m_external = on; }
    bool onExternalTarget() const { return m_external; }
    bool penVisible() const { return Pen.Style != psClear; }
    bool brushVisible() const { return Brush.Style != bsClear || Brush.Bitmap; }

  private:
    virtual void doSetCanvas(TImage* target) = 0;
    virtual void doSetMode() {}
    virtual void doSetClip(std::optional<TRect> rect) = 0;
    virtual void doPolygon(std::span<const TPoint> pts) = 0;
    virtual void doPolyline(std::span<const TPoint> pts) = 0;
    // By default the rings joined into one list fill, with the pen clear, then each ring is
    // outlined with the brush clear.
    virtual void doPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings);
    virtual void doPolyBezier(std::span<const TPoint> pts) = 0;
    virtual void doClosedBezier(std::span<const TPoint> pts) = 0;
    virtual void doEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
    virtual void doText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle) = 0;
    virtual void doGraphic(int32_t x, int32_t y, const TImage& image) = 0;
    virtual void doBitmapInRect(TRect rect, const TImage& image) = 0;
    virtual void doBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage& image) = 0;
    virtual void doFillRect(TRect rect, const TCanvasBrush& brush) = 0;
    virtual TextExtent doMeasureText(std::string_view text) = 0;

    bool hasTarget() const { return m_canvas || m_external; }

    std::vector<TPoint> m_joined;

    TImage* m_canvas = nullptr;
    bool m_external = false;
    bool m_gdiPlus = false;
    qevSmothing m_smoothing = qevSmoothingModeHighSpeed;
};

// Draws in the plain mode while it lives, then puts the mode back: pictures made once (the mark
// of a missing icon) look the same in either mode of the view.
class TPlainModeScope {
  public:
    explicit TPlainModeScope(TDrawObject& d) : m_draw(d), m_saved(d.GDIPlus()) { d.SetGDIPlus(false); }
    ~TPlainModeScope() { m_draw.SetGDIPlus(m_saved); }
    TPlainModeScope(const TPlainModeScope&) = delete;
    TPlainModeScope& operator=(const TPlainModeScope&) = delete;

  private:
    TDrawObject& m_draw;
    bool m_saved;
};

// The rings of an area as one closed list for an even-odd fill: each ring closed on its first
// point and followed by the first point of the outer ring, so that every connector is run once
// each way and cancels. Replaces `out`.
void joinScreenRings(std::span<const TPoint> pts, std::span<const uint32_t> rings, std::vector<TPoint>& out);

// Every call a valid no-op: for headless runs that need no pixels.
class NullDrawObject final : public TDrawObject {
  private:
    void doSetCanvas(TImage*) override {}
    void doSetClip(std::optional<TRect>) override {}
    void doPolygon(std::span<const TPoint>) override {}
    void doPolyline(std::span<const TPoint>) override {}
    void doPolyPolygon(std::span<const TPoint>, std::span<const uint32_t>) override {}
    void doPolyBezier(std::span<const TPoint>) override {}
    void doClosedBezier(std::span<const TPoint>) override {}
    void doEllipse(int32_t, int32_t, int32_t, int32_t) override {}
    void doText(int32_t, int32_t, bool, std::string_view, int32_t) override {}
    void doGraphic(int32_t, int32_t, const TImage&) override {}
    void doBitmapInRect(TRect, const TImage&) override {}
    void doBitmapQuad(TPoint, TPoint, TPoint, TPoint, const TImage&) override {}
    void doFillRect(TRect, const TCanvasBrush&) override {}
    TextExtent doMeasureText(std::string_view text) override;
};

} // namespace kestrum
