#include "qt_draw_object.h"

#include "model/codepage.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>

#include <cmath>
#include <map>
#include <numbers>
#include <tuple>

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

// Trims a label's picture to the pixels it sets: it is copied at every draw, and the margins
// kept for the painter's overhangs are mostly empty.
void cropToInk(QImage& image, QPoint& offset) {
    const int bytes = image.depth() / 8, w = image.width(), h = image.height();
    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 0; y < h; ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            bool ink = false;
            for (int b = 0; b < bytes; ++b) ink |= row[x * bytes + b] != 0;
            if (!ink) continue;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    if (right < 0) {
        image = QImage();
        return;
    }
    image = image.copy(left, top, right - left + 1, bottom - top + 1);
    offset += QPoint(left, top);
}

QColor systemColor(int32_t ref) {
    // Negative references name the desktop's colours; the usual light theme stands in for them.
    switch (ref & 0xFF) {
    case 5:  // window
    case 14: // highlight text
        return Qt::white;
    case 15: // button face
        return QColor(240, 240, 240);
    case 13: // highlight
        return QColor(0, 120, 215);
    default:
        return Qt::black;
    }
}

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



// Cell height (ascent + descent) of a face per pixel of em, measured once per face.
double cellRatio(const QString& family) {
    static std::map<QString, double> ratios;
    auto it = ratios.find(family);
    if (it != ratios.end()) return it->second;
    QFont f(family);
    f.setPixelSize(1000);
    const QFontMetricsF m(f);
    const double r = (m.ascent() + m.descent()) / 1000.0;
    return ratios.emplace(family, r > 0.5 ? r : 1.15).first->second;
}

} // namespace

QtDrawObject::QtDrawObject() = default;

QtDrawObject::~QtDrawObject() {
    m_batch.flush();
    if (m_own.isActive()) m_own.end();
}

void QtDrawObject::bindPainter(QPainter* p) {
    m_batch.flush();
    if (m_own.isActive()) m_own.end();
    m_external = p;
    setExternalTarget(p != nullptr);
    if (p) applyHints();
}

void QtDrawObject::doSetCanvas(TImage* target) {
    m_batch.flush();
    if (m_own.isActive()) m_own.end();
    m_external = nullptr;
    setExternalTarget(false);
    m_surface = {};
    m_batch.setSurface({});
    if (!target || target->empty()) return;
    m_surface = raster::surfaceOf(*target);
    m_batch.setSurface(m_surface);
    m_target = wrapImage(*target);
    m_own.begin(&m_target);
    applyHints();
}

bool QtDrawObject::antialiased() const {
    return GDIPlus() && Smoothing() != qevSmoothingModeNone && Smoothing() != qevSmoothingModeHighSpeed &&
           Smoothing() != qevSmoothingModeDefault;
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

void QtDrawObject::doSetMode() { applyHints(); }

void QtDrawObject::doSetClip(std::optional<TRect> rect) {
    m_clip = rect;
    if (rect)
        painter().setClipRect(QRect(rect->Left, rect->Top, rect->width(), rect->height()));
    else
        painter().setClipping(false);
}

QColor QtDrawObject::color(int32_t ref) const {
    QColor c = ref < 0 ? systemColor(ref) : QColor(redOf(ref), greenOf(ref), blueOf(ref));
    if (GDIPlus()) c.setAlpha(Opacity);
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
        const bool square = plus ? CapsMode == 1 : Pen.Geometric && Pen.SquareCaps;
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

bool QtDrawObject::ownFill() const {
    return !m_external && m_surface.pixels && Pen.Mode == pmCopy && !Brush.Bitmap;
}

bool QtDrawObject::ownStroke(std::span<const TPoint> pts, bool closed, bool bezier) {
    if (!ownFill() || Pen.Style == psClear) return false;
    const bool solid = Pen.Style == psSolid || Pen.Style == psInsideFrame;
    // The painter's dashes, in pixels for its hairlines and in pen widths for wider pens: cells
    // drawn in each repeat of psDash, psDot, psDashDot and psDashDotDot.
    static constexpr std::pair<uint32_t, uint8_t> kDashes[] = {
        {0b001111, 6}, {0b001, 3}, {0b001001111, 9}, {0b001001001111, 12}};
    raster::Paint paint = paintOf(Pen.Color);
    if (Pen.Style >= psDash && Pen.Style <= psDashDotDot) std::tie(paint.dash, paint.dashPeriod) = kDashes[Pen.Style - psDash];
    else if (!solid) return false;
    // Smoothed pens of one pixel are shared between the two pixels along the line.
    if (Pen.Width <= 1 && antialiased()) {
        if (bezier) m_batch.strokeBezierHairline(pts, closed, clipRect(), paint);
        else m_batch.strokeSmoothHairline(pts, closed, clipRect(), paint);
        return true;
    }
    // Pens of one pixel, as the painter's hairlines.
    if (Pen.Width <= 1) {
        if (bezier) m_batch.strokeBezierHairline(pts, closed, clipRect(), paint);
        else m_batch.strokeHairline(pts, closed, clipRect(), paint);
        return true;
    }
    // Round ends and joints; square ends with mitred joints stay with the painter.
    const bool square = GDIPlus() ? CapsMode == 1 : Pen.Geometric && Pen.SquareCaps;
    if (square || Pen.Width > 1024) return false;
    if (bezier) m_batch.strokeBezierWide(pts, closed, Pen.Width, clipRect(), paint);
    else m_batch.strokeWide(pts, closed, Pen.Width, clipRect(), paint);
    return true;
}

// The scan converter keeps to the image by itself.
TRect QtDrawObject::clipRect() const { return m_clip.value_or(raster::bounds(m_surface)); }

raster::Paint QtDrawObject::fillPaint() {
    if (!m_hatchesRead) {
        // Hatches exactly as the painter lays them, so that both paths give the same picture.
        for (std::size_t style = bsHorizontal; style <= bsDiagCross; ++style) {
            QImage tile(8, 8, QImage::Format_RGB32);
            tile.fill(Qt::white);
            QPainter p(&tile);
            p.fillRect(0, 0, 8, 8, QBrush(Qt::black, qtBrushStyle(TBrushStyle(style))));
            p.end();
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    if (qRed(tile.pixel(x, y)) < 128) m_hatches[style][std::size_t(y)] |= uint8_t(1u << x);
        }
        m_hatchesRead = true;
    }
    raster::Paint paint = paintOf(Brush.Color);
    const auto style = static_cast<std::size_t>(Brush.Style);
    if (style >= bsHorizontal) paint.pattern = &m_hatches[style];
    return paint;
}

raster::Paint QtDrawObject::paintOf(int32_t colorRef) const {
    const QColor c = color(colorRef);
    raster::Paint paint{0xFF000000u | c.rgb(), static_cast<uint8_t>(c.alpha())};
    paint.smooth = antialiased();
    return paint;
}

void QtDrawObject::doPolygon(std::span<const TPoint> pts) {
    if (ownFill()) {
        if (brushVisible()) m_batch.fillPolygon(pts, clipRect(), fillPaint());
        if (!penVisible() || ownStroke(pts, true, false)) return;
        applyPen();
        painter().setBrush(Qt::NoBrush);
    } else {
        applyPen();
        applyBrush();
    }
    painter().drawPolygon(points(pts), int(pts.size()));
}

void QtDrawObject::doPolyPolygon(std::span<const TPoint> pts, std::span<const uint32_t> rings) {
    if (ownFill()) {
        // The scan converter fills the rings joined into one list: its crossings are exact, so
        // each connector, run once each way, cancels to the pixel, smoothed or not.
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
        applyPen();
        painter().setBrush(Qt::NoBrush);
        painter().drawPath(ringsPath(pts.subspan(first), rings.subspan(stroked)));
        return;
    }
    applyPen();
    applyBrush();
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

void QtDrawObject::doPolyline(std::span<const TPoint> pts) {
    if (ownStroke(pts, false, false)) return;
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

void QtDrawObject::doPolyBezier(std::span<const TPoint> pts) {
    if (ownStroke(pts, false, true)) return;
    applyPen();
    painter().setBrush(Qt::NoBrush);
    painter().drawPath(bezierPath(pts));
}

void QtDrawObject::doClosedBezier(std::span<const TPoint> pts) {
    if (ownFill()) {
        if (brushVisible()) m_batch.fillClosedBezier(pts, clipRect(), fillPaint());
        if (!penVisible() || ownStroke(pts, true, true)) return;
    }
    QPainterPath path = bezierPath(pts);
    path.closeSubpath();
    applyPen();
    if (ownFill()) painter().setBrush(Qt::NoBrush);
    else applyBrush();
    painter().drawPath(path);
}

void QtDrawObject::doEllipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    // Point objects by the hundred: a one-pixel mark is the hairline's single pixel.
    const TPoint mark{x1, y1};
    if (x1 == x2 && y1 == y2 && Pen.Width <= 1 && !antialiased() && ownStroke({&mark, 1}, false, false)) return;
    applyPen();
    applyBrush();
    if (x1 == x2 && y1 == y2) {
        // A box of one point leaves only the pen's mark.
        painter().drawPoint(x1, y1);
        return;
    }
    painter().drawEllipse(QRectF(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1)));
}

QString QtDrawObject::text(std::string_view bytes) const {
    const std::string utf8 = toUtf8(TextCodePage, bytes);
    return QString::fromUtf8(utf8.data(), int(utf8.size()));
}

uint32_t QtDrawObject::textFontKey(int32_t angle) const {
    return CacheKey()
        .add(std::string_view(TextFace).substr(0, 30))
        .add(TextHeight)
        .add(angle)
        .add(TextBold)
        .add(GDIPlus())
        .add(TextEmHeight)
        .value();
}

const QFont& QtDrawObject::font(int32_t angle) {
    const bool plus = GDIPlus();
    const uint32_t key = textFontKey(angle);
    if (QFont* f = m_fonts.find(key)) return *f;
    const QString family = resolveFace(TextFace);
    QFont f(family);
    int px;
    if (TextEmHeight)
        px = TextHeight;
    else if (plus)
        px = static_cast<int>(std::nearbyint(TextHeight * 73.0 / ScreenDpi)) + 1;
    else
        px = static_cast<int>(std::lround(TextHeight / cellRatio(family)));
    f.setPixelSize(std::max(px, 1));
    f.setBold(TextBold);
    f.setStyleStrategy(plus ? QFont::PreferAntialias : QFont::NoAntialias);
    f.setHintingPreference(QFont::PreferFullHinting);
    return m_fonts.insert(key, f);
}

const QPoint* QtDrawObject::points(std::span<const TPoint> pts) {
    // One buffer for every call: its capacity settles at the largest object drawn.
    m_points.resize(int(pts.size()));
    QPoint* out = m_points.data();
    for (const TPoint& p : pts) *out++ = QPoint(p.X, p.Y);
    return m_points.constData();
}

QtDrawObject::ShapedText& QtDrawObject::shaped(std::string_view bytes, bool forDrawing) {
    const uint32_t fontKey = textFontKey();
    m_shapeKey.assign(reinterpret_cast<const char*>(&fontKey), sizeof fontKey);
    m_shapeKey += static_cast<char>(TextCodePage);
    m_shapeKey += bytes;
    // A label is measured and then drawn: the second asks what the first did.
    if (m_lastShaped && m_lastShaped->first == m_shapeKey) return prepareShaped(m_lastShaped->second, forDrawing);
    auto it = m_shaped.find(m_shapeKey);
    if (it == m_shaped.end()) {
        // Every label of a map may pass through here; the cache must not grow with the map.
        if (m_shaped.size() >= kShapedTextLimit || m_spriteBytes > kSpriteBudget) {
            m_batch.flush(); // it may still hold pictures of these texts
            m_shaped.clear();
            m_lastShaped = nullptr;
            m_spriteBytes = 0;
        }
        const QFont& f = font(0);
        const QFontMetricsF m(f);
        ShapedText t;
        t.string = text(bytes);
        t.advance = m.horizontalAdvance(t.string);
        t.ascent = m.ascent();
        t.descent = m.descent();
        it = m_shaped.emplace(m_shapeKey, std::move(t)).first;
    }
    // Entries stay where they are until the cache is cleared, which happens only above.
    m_lastShaped = &*it;
    return prepareShaped(it->second, forDrawing);
}

QtDrawObject::ShapedText& QtDrawObject::prepareShaped(ShapedText& t, bool forDrawing) {
    if (forDrawing && !t.prepared) {
        t.glyphs.setText(t.string);
        t.glyphs.setTextFormat(Qt::PlainText);
        t.glyphs.prepare(QTransform(), font(0));
        t.prepared = true;
    }
    return t;
}

const QPainterPath& QtDrawObject::ShapedText::outline(const QFont& f, double baseline) {
    if (!hasOutline) {
        outlinePath.addText(0, baseline, f, string);
        hasOutline = true;
    }
    return outlinePath;
}

const QPainterPath& QtDrawObject::ShapedText::halo(const QFont& f) {
    if (!hasHalo) {
        QPainterPathStroker stroker;
        stroker.setWidth(3);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        haloPath = stroker.createStroke(outline(f, ascent));
        hasHalo = true;
    }
    return haloPath;
}

void QtDrawObject::doText(int32_t x, int32_t y, bool halo, std::string_view bytes, int32_t angle) {
    const QFont& f = font(angle);
    ShapedText& t = shaped(bytes, true);
    const TextLook look{color(TextColor), color(Brush.Color), halo, !halo && Brush.Style == bsSolid};
    const bool own = !m_external && m_surface.pixels;
    if (halo && angle == 0) {
        // A halo costs a path fill or four extra draws: unrotated haloed labels (house numbers)
        // are drawn once into a picture and copied. Translucent letters over a translucent halo
        // are two pictures, laid one after the other as the two would be drawn.
        const bool layered = GDIPlus() && Opacity != 255;
        const std::array layers{layered ? SpriteLayer::Halo : SpriteLayer::Whole, SpriteLayer::Letters};
        for (std::size_t i = 0; i < (layered ? 2u : 1u); ++i) {
            const Sprite& sprite = spriteOf(t, f, look, layers[i]);
            const int32_t sx = x + sprite.offset.x(), sy = y + sprite.offset.y();
            if (own) {
                m_batch.blendImage(sx, sy, reinterpret_cast<const uint32_t*>(sprite.image.constBits()), sprite.image.width(),
                                   sprite.image.height(), static_cast<std::size_t>(sprite.image.bytesPerLine()) / 4,
                                   clipRect());
            } else {
                QPainter& p = painter();
                p.save();
                p.setCompositionMode(QPainter::CompositionMode_SourceOver);
                p.drawImage(sx, sy, sprite.image);
                p.restore();
            }
        }
        return;
    }
    if (!halo && angle == 0 && own) {
        // Captions by the thousand, each in colours of its own: the letters are drawn once as
        // a mask and coloured at every use.
        if (look.box) {
            // The painter's aliased box has its corners rounded to the nearest pixel edge; a
            // smoothed one keeps them to a sixteenth of a pixel and shades its edges.
            const QRectF box(x, y + lowering(t), t.advance, t.ascent + t.descent);
            const long step = antialiased() ? 1 : 16; // in sixteenths
            auto at = [step](double v) { return static_cast<int32_t>(std::lround(v * 16.0 / double(step)) * step); };
            m_batch.fillBox({at(box.left()), at(box.top())}, {at(box.right()), at(box.bottom())}, clipRect(),
                            paintOf(Brush.Color));
        }
        const QImage& mask = maskOf(t, f);
        m_batch.blendMask(x + t.maskOffset.x(), y + t.maskOffset.y(), mask.constBits(), mask.width(), mask.height(),
                          static_cast<std::size_t>(mask.bytesPerLine()), clipRect(), 0xFF000000u | look.ink.rgb(),
                          static_cast<uint8_t>(look.ink.alpha()));
        return;
    }
    QPainter& p = painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.translate(x, y);
    if (angle != 0) p.rotate(-angle / 10.0);
    p.setFont(f);
    paintText(p, t, f, look);
    p.restore();
}

double QtDrawObject::lowering(const ShapedText& t) const {
    // The anti-aliased engine places text one descent lower than its cell; a font made by its
    // em height is drawn the plain way, at the top of its cell.
    return GDIPlus() && !TextEmHeight ? t.descent : 0;
}

const QImage& QtDrawObject::maskOf(ShapedText& t, const QFont& f) {
    if (!t.mask.isNull()) return t.mask;
    // On the same whole-pixel grid as on the map, as the pictures of haloed labels are.
    const QRect r = QRectF(-4, -4, t.advance + 8, t.ascent + 2 * t.descent + 8).toAlignedRect();
    t.mask = QImage(r.size(), QImage::Format_Alpha8);
    t.mask.fill(0);
    t.maskOffset = r.topLeft();
    QPainter mp(&t.mask);
    mp.setRenderHints(renderHints());
    mp.translate(-r.left(), -r.top());
    mp.setFont(f);
    mp.setPen(Qt::black);
    mp.drawStaticText(QPointF(0, lowering(t)), t.glyphs);
    mp.end();
    cropToInk(t.mask, t.maskOffset);
    m_spriteBytes += static_cast<std::size_t>(t.mask.sizeInBytes());
    return t.mask;
}

void QtDrawObject::paintText(QPainter& p, ShapedText& t, const QFont& f, const TextLook& look, SpriteLayer layer) {
    if (!GDIPlus()) {
        if (look.halo) {
            p.fillPath(t.halo(f), look.back);
        } else if (look.box) {
            p.fillRect(QRectF(0, 0, t.advance, t.ascent + t.descent), look.back);
        }
        p.setPen(look.ink);
        p.drawStaticText(QPointF(0, 0), t.glyphs);
        return;
    }
    const double d = lowering(t);
    if (look.halo && Opacity == 255) {
        p.setPen(look.back);
        p.drawStaticText(QPointF(-1, d), t.glyphs);
        p.drawStaticText(QPointF(0, d - 1), t.glyphs);
        p.drawStaticText(QPointF(1, d), t.glyphs);
        p.drawStaticText(QPointF(0, d + 1), t.glyphs);
    } else if (look.halo) {
        const QPainterPath& path = t.outline(f, d + t.ascent);
        if (layer != SpriteLayer::Letters)
            p.strokePath(path, QPen(look.back, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (layer != SpriteLayer::Halo) p.fillPath(path, look.ink);
        return;
    } else if (look.box) {
        p.fillRect(QRectF(0, d, t.advance, t.ascent + t.descent), look.back);
    }
    p.setPen(look.ink);
    p.drawStaticText(QPointF(0, d), t.glyphs);
}

const QtDrawObject::Sprite& QtDrawObject::spriteOf(ShapedText& t, const QFont& f, const TextLook& look,
                                                   SpriteLayer layer) {
    for (const Sprite& s : t.sprites)
        if (s.ink == look.ink.rgba() && s.back == look.back.rgba() && s.halo == look.halo && s.box == look.box &&
            s.layer == layer)
            return s;
    // Drawn on the same whole-pixel grid as on the map: the copy looks exactly as if the label
    // were drawn in place.
    QRectF area(-4, -4, t.advance + 8, t.ascent + 2 * t.descent + 8);
    if (look.halo && !GDIPlus()) area = area.united(t.halo(f).boundingRect().adjusted(-1, -1, 1, 1));
    const QRect r = area.toAlignedRect();
    Sprite s{look.ink.rgba(), look.back.rgba(), look.halo, look.box, layer, r.topLeft(),
             QImage(r.size(), QImage::Format_ARGB32_Premultiplied)};
    s.image.fill(Qt::transparent);
    QPainter sp(&s.image);
    sp.setRenderHints(renderHints());
    sp.translate(-r.left(), -r.top());
    sp.setFont(f);
    paintText(sp, t, f, look, layer);
    sp.end();
    cropToInk(s.image, s.offset);
    m_spriteBytes += static_cast<std::size_t>(s.image.sizeInBytes());
    t.sprites.push_back(std::move(s));
    return t.sprites.back();
}

void QtDrawObject::doGraphic(int32_t x, int32_t y, const TImage& image) {
    // Icons by the thousand: the cached picture is copied in the raster batch, in its turn,
    // unless it is translucent as a whole.
    if (!m_external && m_surface.pixels && cacheable(image) && !(GDIPlus() && Opacity != 255)) {
        const QImage& img = prepared(image);
        m_batch.blendImage(x, y, reinterpret_cast<const uint32_t*>(img.constBits()), img.width(), img.height(),
                           static_cast<std::size_t>(img.bytesPerLine()) / 4, clipRect());
        return;
    }
    QPainter& p = painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (GDIPlus()) p.setOpacity(Opacity / 255.0);
    p.drawImage(x, y, prepared(image));
    p.restore();
}

void QtDrawObject::doBitmapInRect(TRect r, const TImage& image) {
    if (r.width() == image.width() && r.height() == image.height()) {
        doGraphic(r.Left, r.Top, image); // notes' icons: a copy, not a scaling
        return;
    }
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

void QtDrawObject::doBitmapQuad(TPoint p1, TPoint p2, TPoint p3, TPoint p4, const TImage& image) {
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

void QtDrawObject::doFillRect(TRect r, const TCanvasBrush& brush) {
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
    p.fillRect(rect, QBrush(c < 0 ? systemColor(c) : QColor(redOf(c), greenOf(c), blueOf(c)), qtBrushStyle(brush.Style)));
}

const QImage& QtDrawObject::prepared(const TImage& image) {
    // Icons are drawn thousands of times a frame: each is converted once. Large pictures are
    // converted per draw, so that the cache stays small.
    if (!cacheable(image)) return m_scratch = toQImage(image);
    const uint32_t key = CacheKey().add(image.id()).add(image.Transparent).add(image.TransparentColor).value();
    if (PreparedImage* hit = m_images.find(key);
        hit && hit->id == image.id() && hit->transparent == image.Transparent && hit->key == image.TransparentColor)
        return hit->image;
    m_batch.flush(); // the picture an insertion drops may still be queued for copying
    return m_images.insert(key, {image.id(), image.Transparent, image.TransparentColor, toQImage(image)}).image;
}

TextExtent QtDrawObject::doMeasureText(std::string_view bytes) {
    const ShapedText& t = shaped(bytes, false);
    return {t.advance, t.ascent + t.descent};
}

} // namespace kestrum::qt
