#pragma once
// The drawing back ends over QPainter: a plain one without anti-aliasing (hard pixel edges, the
// look of a classic raster canvas) and an anti-aliasing one with per-object opacity. One object
// holds both; SetGDIPlus picks the set, the renderer never branches on it. The core's scan
// converter decides what it draws itself (TRasterDrawObject); the painter draws the rest, the
// letters (qt_draw_text.cpp) and everything on a window.

#include "render/object_cache.h"
#include "render/raster_draw_object.h"

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QVector>
#include <QStaticText>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrum::qt {

// "Arial Cyr" and friends name Windows faces; the metric-compatible free faces stand in for them.
QString resolveFace(std::string_view face);
QImage wrapImage(TImage& image);
QImage toQImage(const TImage& image); // a copy with the colour key applied as transparency

class QtDrawObject final : public TRasterDrawObject {
  public:
    QtDrawObject();
    ~QtDrawObject() override;

    // Draw on a painter owned by someone else (the window during a paint); nullptr releases it.
    void bindPainter(QPainter* painter);

  private:
    void platformCanvas(TImage* target) override;
    void platformMode() override;
    void platformClip(std::optional<TRect> rect) override;
    void platformPolygon(std::span<const TPoint> pts, bool withBrush) override;
    void platformPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings, bool withBrush) override;
    void platformPolyline(std::span<const TPoint> pts) override;
    void platformPolyBezier(std::span<const TPoint> pts) override;
    void platformClosedBezier(std::span<const TPoint> pts, bool withBrush) override;
    void platformEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
    void platformText(int32_t x, int32_t y, bool halo, std::string_view text, int32_t angle) override;
    TPixels textPicture(std::string_view text, TTextLayer layer) override;
    TGlyphMask glyphMask(std::string_view text) override;
    TPixels picturePixels(const TImage& image) override;
    void platformPixels(int32_t x, int32_t y, const TPixels& picture) override;
    void platformGraphic(int32_t x, int32_t y, const TImage& image) override;
    void platformBitmapInRect(TRect rect, const TImage& image) override;
    void platformBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage& image) override;
    void platformFillRect(TRect rect, const TCanvasBrush& brush) override;
    TextExtent platformMeasureText(std::string_view text) override;

    // Whatever the scan converter still holds is drawn before the painter touches the picture.
    QPainter& painter() {
        flushRaster();
        return m_external ? *m_external : m_own;
    }
    QPainter::RenderHints renderHints() const; // as the mode wants them
    void applyHints();
    void applyPen();
    void applyBrush();
    void applyCompositionFor(TPenMode mode);
    QColor color(int32_t ref) const;
    const QFont& font(int32_t angle);
    uint32_t textFontKey(int32_t angle = 0) const;

    // How a text is drawn: its colours, a halo or an opaque box.
    struct TextLook {
        QColor ink, back;
        bool halo, box;
    };
    TextLook lookOf(bool halo) const;
    // An unrotated text with its halo or box, drawn once into a picture of its own.
    struct Sprite {
        QRgb ink, back;
        bool halo, box;
        TTextLayer layer;
        QPoint offset; // of the picture's corner from the text's top-left
        QImage image;
    };
    // A text laid out once in a font and reused for every later measure and draw of it: maps
    // repeat their labels, and every pan or zoom draws them all again.
    struct ShapedText {
        QString string;
        double advance = 0, ascent = 0, descent = 0;
        QStaticText glyphs; // laid out on the first draw; measuring alone does not need it
        bool prepared = false;
        std::vector<Sprite> sprites; // one per look it was drawn in
        const QPainterPath& outline(const QFont& f, double baseline);
        const QPainterPath& halo(const QFont& f); // a 3-pixel stroke round the outline
        QPainterPath outlinePath, haloPath;
        bool hasOutline = false, hasHalo = false;
        QImage mask;       // the letters' coverage, drawn on first use and coloured at each
        QPoint maskOffset; // of the mask's corner from the text's top-left
    };
    ShapedText& shaped(std::string_view bytes, bool forDrawing);
    ShapedText& prepareShaped(ShapedText& t, bool forDrawing);
    void paintText(QPainter& p, ShapedText& t, const QFont& f, const TextLook& look,
                   TTextLayer layer = TTextLayer::Whole);
    const Sprite& spriteOf(ShapedText& t, const QFont& f, const TextLook& look, TTextLayer layer);
    const QImage& maskOf(ShapedText& t, const QFont& f);
    static constexpr std::size_t kShapedTextLimit = 16384;
    static constexpr std::size_t kSpriteBudget = 32u << 20; // bytes of pictures kept
    QString text(std::string_view bytes) const;
    QPainterPath bezierPath(std::span<const TPoint> pts) const;
    QPainterPath ringsPath(std::span<const TPoint> pts, std::span<const uint32_t> rings) const;
    const QImage& prepared(const TImage& image);
    double lowering(const ShapedText& t) const;
    // Into a rectangle given by two corners: GDI+ takes its size as absolute, GDI mirrors.
    void stretchInto(QPainter& p, TRect r, const QImage& img);
    const QPoint* points(std::span<const TPoint> pts);

    QPainter m_own;
    QPainter* m_external = nullptr;
    QImage m_target;
    TObjectCache<QFont> m_fonts{100};
    TObjectCache<QPen> m_pens{100};
    TObjectCache<QBrush> m_brushes{100};
    struct PreparedImage {
        uint64_t id;
        bool transparent;
        int32_t key;
        QImage image;
    };
    TObjectCache<PreparedImage> m_images{100};
    QImage m_scratch;
    QVector<QPoint> m_points;
    std::unordered_map<std::string, ShapedText> m_shaped;
    std::pair<const std::string, ShapedText>* m_lastShaped = nullptr; // the entry asked for last
    std::size_t m_spriteBytes = 0;
    std::string m_shapeKey;
};

} // namespace kestrum::qt
