#include "qt_draw_object.h"

#include "model/codepage.h"

#include <QPainterPath>
#include <QTransform>

#include <cmath>
#include <numbers>

namespace kestrum::qt {

QString resolveFace(std::string_view face) {
    QString name = QString::fromUtf8(face.data(), int(face.size())).trimmed();
    if (name.endsWith(QLatin1String(" Cyr"), Qt::CaseInsensitive)) name.chop(4);
    const QString lower = name.toLower();
    if (lower == QLatin1String("arial") || lower == QLatin1String("helvetica") || lower.isEmpty())
        return QStringLiteral("Liberation Sans");
    if (lower == QLatin1String("times new roman") || lower == QLatin1String("times"))
        return QStringLiteral("Liberation Serif");
    if (lower == QLatin1String("courier new") || lower == QLatin1String("courier"))
        return QStringLiteral("Liberation Mono");
    return name;
}

QImage wrapImage(TImage& image) {
    return QImage(reinterpret_cast<uchar*>(image.data()), image.width(), image.height(), image.width() * 4,
                  QImage::Format_RGB32);
}

QImage toQImage(const TImage& image) {
    const int w = image.width(), h = image.height();
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    const uint32_t key = image.Transparent ? pixelOf(image.TransparentColor) & 0x00FFFFFFu : 0x01000000u;
    bool opaque = true;
    for (int y = 0; y < h; ++y) {
        const uint32_t* src = image.row(y);
        auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const uint32_t p = src[x];
            dst[x] = (p & 0x00FFFFFFu) == key ? 0 : p;
            opaque &= (p >> 24) == 0xFF;
        }
    }
    if (!opaque) {
        // Pictures with an alpha channel of their own: premultiply them properly.
        for (int y = 0; y < h; ++y) {
            const uint32_t* src = image.row(y);
            auto* dst = reinterpret_cast<uint32_t*>(out.scanLine(y));
            for (int x = 0; x < w; ++x)
                if (dst[x] != 0) dst[x] = qPremultiply(src[x]);
        }
    }
    return out;
}

namespace {

Qt::PenStyle qtPenStyle(TPenStyle s) {
    switch (s) {
    case psDash:
        return Qt::DashLine;
    case psDot:
        return Qt::DotLine;
    case psDashDot:
        return Qt::DashDotLine;
    case psDashDotDot:
        return Qt::DashDotDotLine;
    case psClear:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

Qt::BrushStyle qtBrushStyle(TBrushStyle s) {
    switch (s) {
    case bsClear:
        return Qt::NoBrush;
    case bsHorizontal:
        return Qt::HorPattern;
    case bsVertical:
        return Qt::VerPattern;
    case bsFDiagonal:
        return Qt::FDiagPattern;
    case bsBDiagonal:
        return Qt::BDiagPattern;
    case bsCross:
        return Qt::CrossPattern;
    case bsDiagCross:
        return Qt::DiagCrossPattern;
    default:
        return Qt::SolidPattern;
    }
}



} // namespace

QtDrawObject::QtDrawObject() = default;

QtDrawObject::~QtDrawObject() {
    flushRaster();
    if (m_own.isActive()) m_own.end();
}

void QtDrawObject::bindPainter(QPainter* p) {
    flushRaster();
    if (m_own.isActive()) m_own.end();
    m_external = p;
    setExternalTarget(p != nullptr);
    if (p) applyHints();
}

void QtDrawObject::platformCanvas(TImage* target) {
    if (m_own.isActive()) m_own.end();
    m_external = nullptr;
    setExternalTarget(false);
    if (!target || target->empty()) return;
    m_target = wrapImage(*target);
    m_own.begin(&m_target);
    applyHints();
}

QPainter::RenderHints QtDrawObject::renderHints() const {
    QPainter::RenderHints hints;
    hints.setFlag(QPainter::Antialiasing, antialiased());
    hints.setFlag(QPainter::TextAntialiasing, GDIPlus());
    hints.setFlag(QPainter::SmoothPixmapTransform, GDIPlus());
    return hints;
}

void QtDrawObject::applyHints() {
    QPainter& p = painter();
    if (!p.isActive()) return;
    const QPainter::RenderHints hints = renderHints();
    for (const auto hint : {QPainter::Antialiasing, QPainter::TextAntialiasing, QPainter::SmoothPixmapTransform})
        p.setRenderHint(hint, hints.testFlag(hint));
}

void QtDrawObject::platformMode() { applyHints(); }

void QtDrawObject::platformClip(std::optional<TRect> rect) {
    if (rect)
        painter().setClipRect(QRect(rect->Left, rect->Top, rect->width(), rect->height()));
    else
        painter().setClipping(false);
}

QColor QtDrawObject::color(int32_t ref) const {
    QColor c = QColor::fromRgb(rgbOf(ref));
    c.setAlpha(effectiveOpacity());
    return c;
}

void QtDrawObject::applyCompositionFor(TPenMode mode) {
    QPainter& p = painter();
    switch (mode) {
    case pmXor:
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        break;
    case pmNot:
        p.setCompositionMode(QPainter::RasterOp_NotDestination);
        break;
    default:
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    }
}

void QtDrawObject::applyPen() {
    const bool plus = GDIPlus();
    const uint32_t key = CacheKey()
                             .add(Pen.Color)
                             .add(Pen.Width)
                             .add(Pen.Style)
                             .add(Pen.Geometric)
                             .add(Pen.SquareCaps)
                             .add(Opacity)
                             .add(CapsMode)
                             .add(plus)
                             .value();
    QPen* pen = m_pens.find(key);
    if (!pen) {
        QPen p(color(Pen.Color));
        p.setStyle(qtPenStyle(Pen.Style));
        // A one-pixel plain pen is the hairline of a raster canvas.
        p.setWidth(!plus && !Pen.Geometric && Pen.Width <= 1 ? 0 : std::max(Pen.Width, 1));
        const bool square = squareCaps();
        p.setCapStyle(square ? Qt::SquareCap : Qt::RoundCap);
        // GDI's geometric pen keeps its round joins under square caps; GDI+ mitres them.
        p.setJoinStyle(square && plus ? Qt::MiterJoin : Qt::RoundJoin);
        pen = &m_pens.insert(key, p);
    }
    painter().setPen(*pen);
    applyCompositionFor(Pen.Mode);
}

void QtDrawObject::applyBrush() {
    if (Brush.Bitmap) {
        painter().setBrush(QBrush(toQImage(*Brush.Bitmap)));
        return;
    }
    const uint32_t key = CacheKey().add(Brush.Color).add(Brush.Style).add(Opacity).add(GDIPlus()).value();
    QBrush* brush = m_brushes.find(key);
    if (!brush) brush = &m_brushes.insert(key, QBrush(color(Brush.Color), qtBrushStyle(Brush.Style)));
    painter().setBrush(*brush);
}

void QtDrawObject::platformPolygon(std::span<const TPoint> pts, bool withBrush) {
    applyPen();
    if (withBrush) applyBrush();
    else painter().setBrush(Qt::NoBrush);
    painter().drawPolygon(points(pts), int(pts.size()));
}

void QtDrawObject::platformPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings, bool withBrush) {
    applyPen();
    if (withBrush) applyBrush();
    else painter().setBrush(Qt::NoBrush);
    painter().drawPath(ringsPath(pts, rings));
}

QPainterPath QtDrawObject::ringsPath(std::span<const TPoint> pts, std::span<const uint32_t> rings) const {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.reserve(int(pts.size() + 2 * rings.size()));
    std::size_t first = 0;
    for (const uint32_t r : rings) {
        if (r == 0) continue;
        path.moveTo(pts[first].X, pts[first].Y);
        for (std::size_t i = first + 1; i < first + r; ++i) path.lineTo(pts[i].X, pts[i].Y);
        path.closeSubpath();
        first += r;
    }
    return path;
}

void QtDrawObject::platformPolyline(std::span<const TPoint> pts) {
    applyPen();
    painter().setBrush(Qt::NoBrush);
    painter().drawPolyline(points(pts), int(pts.size()));
}

QPainterPath QtDrawObject::bezierPath(std::span<const TPoint> pts) const {
    QPainterPath path(QPointF(pts[0].X, pts[0].Y));
    for (std::size_t i = 1; i + 2 < pts.size(); i += 3)
        path.cubicTo(pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, pts[i + 2].X, pts[i + 2].Y);
    return path;
}

void QtDrawObject::platformPolyBezier(std::span<const TPoint> pts) {
    applyPen();
    painter().setBrush(Qt::NoBrush);
    painter().drawPath(bezierPath(pts));
}

void QtDrawObject::platformClosedBezier(std::span<const TPoint> pts, bool withBrush) {
    QPainterPath path = bezierPath(pts);
    path.closeSubpath();
    applyPen();
    if (withBrush) applyBrush();
    else painter().setBrush(Qt::NoBrush);
    painter().drawPath(path);
}

void QtDrawObject::platformEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    applyPen();
    applyBrush();
    if (x1 == x2 && y1 == y2) {
        // A box of one point leaves only the pen's mark.
        painter().drawPoint(x1, y1);
        return;
    }
    painter().drawEllipse(QRectF(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1)));
}

const QPoint* QtDrawObject::points(std::span<const TPoint> pts) {
    // One buffer for every call: its capacity settles at the largest object drawn.
    m_points.resize(int(pts.size()));
    QPoint* out = m_points.data();
    for (const TPoint& p : pts) *out++ = QPoint(p.X, p.Y);
    return m_points.constData();
}

TPixels QtDrawObject::picturePixels(const TImage& image) {
    const QImage& img = prepared(image);
    return {reinterpret_cast<const uint32_t*>(img.constBits()), img.width(), img.height(),
            static_cast<std::size_t>(img.bytesPerLine()) / 4, {}};
}

void QtDrawObject::platformPixels(int32_t x, int32_t y, const TPixels& picture) {
    const QImage img(reinterpret_cast<const uchar*>(picture.bits), picture.width, picture.height,
                     static_cast<int>(picture.stride * 4), QImage::Format_ARGB32_Premultiplied);
    QPainter& p = painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.drawImage(x + picture.offset.X, y + picture.offset.Y, img);
    p.restore();
}

void QtDrawObject::platformGraphic(int32_t x, int32_t y, const TImage& image) {
    QPainter& p = painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (GDIPlus()) p.setOpacity(Opacity / 255.0);
    p.drawImage(x, y, prepared(image));
    p.restore();
}

void QtDrawObject::platformBitmapInRect(TRect r, const TImage& image) {
    QPainter& p = painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (GDIPlus()) p.setOpacity(Opacity / 255.0);
    stretchInto(p, r, prepared(image));
    p.restore();
}

void QtDrawObject::stretchInto(QPainter& p, TRect r, const QImage& img) {
    const int32_t w = r.width(), h = r.height();
    if (GDIPlus()) {
        p.drawImage(QRect(r.Left, r.Top, std::abs(w), std::abs(h)), img);
        return;
    }
    // A plain stretch into a reversed rectangle mirrors the picture.
    const QRect to(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::abs(w), std::abs(h));
    if (w < 0 || h < 0) p.drawImage(to, img.mirrored(w < 0, h < 0));
    else p.drawImage(to, img);
}

void QtDrawObject::platformBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage& image) {
    const double angle = std::atan2(-(p2.Y - p1.Y), double(p2.X - p1.X)) * 180.0 / std::numbers::pi;
    QPainter& p = painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (GDIPlus()) p.setOpacity(Opacity / 255.0);
    const QImage& img = prepared(image);
    if (std::fabs(angle) <= 0.0001) {
        stretchInto(p, {p1.X, p1.Y, p3.X, p3.Y}, img);
    } else {
        const double w = img.width(), h = img.height();
        const QTransform t((p2.X - p1.X) / w, (p2.Y - p1.Y) / w, (p4.X - p1.X) / h, (p4.Y - p1.Y) / h, p1.X, p1.Y);
        p.setTransform(t, true);
        p.setRenderHint(QPainter::SmoothPixmapTransform, GDIPlus());
        p.drawImage(0, 0, img);
    }
    p.restore();
}

void QtDrawObject::platformFillRect(TRect r, const TCanvasBrush& brush) {
    QPainter& p = painter();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QRect rect(r.Left, r.Top, r.width(), r.height());
    if (brush.Bitmap) {
        p.fillRect(rect, QBrush(toQImage(*brush.Bitmap)));
        return;
    }
    if (brush.Style == bsClear) return;
    const int32_t c = brush.Color;
    // The background is always opaque, whatever the opacity of the objects on it.
    p.fillRect(rect, QBrush(QColor::fromRgb(rgbOf(c)), qtBrushStyle(brush.Style)));
}

const QImage& QtDrawObject::prepared(const TImage& image) {
    // Icons are drawn thousands of times a frame: each is converted once. Large pictures are
    // converted per draw, so that the cache stays small.
    if (!smallPicture(image)) return m_scratch = toQImage(image);
    const uint32_t key = CacheKey().add(image.id()).add(image.Transparent).add(image.TransparentColor).value();
    if (PreparedImage* hit = m_images.find(key);
        hit && hit->id == image.id() && hit->transparent == image.Transparent && hit->key == image.TransparentColor)
        return hit->image;
    flushRaster(); // the picture an insertion drops may still be queued for copying
    return m_images.insert(key, {image.id(), image.Transparent, image.TransparentColor, toQImage(image)}).image;
}

} // namespace kestrum::qt
