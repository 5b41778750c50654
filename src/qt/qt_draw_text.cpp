// The Qt back end's letters: fonts, texts laid out once and kept, and the masks and pictures of
// them that the scan converter lays.

#include "qt_draw_object.h"

#include "model/codepage.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>

#include <cmath>
#include <map>

namespace kestrum::qt {

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
            flushRaster(); // it may still hold pictures of these texts
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

void QtDrawObject::platformText(int32_t x, int32_t y, bool halo, std::string_view bytes, int32_t angle) {
    const QFont& f = font(angle);
    ShapedText& t = shaped(bytes, true);
    QPainter& p = painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.translate(x, y);
    if (angle != 0) p.rotate(-angle / 10.0);
    p.setFont(f);
    paintText(p, t, f, lookOf(halo));
    p.restore();
}

QtDrawObject::TextLook QtDrawObject::lookOf(bool halo) const {
    return {color(TextColor), color(Brush.Color), halo, !halo && Brush.Style == bsSolid};
}

TPixels QtDrawObject::textPicture(std::string_view bytes, TTextLayer layer) {
    const QFont& f = font(0);
    ShapedText& t = shaped(bytes, true);
    const Sprite& s = spriteOf(t, f, lookOf(true), layer);
    return {reinterpret_cast<const uint32_t*>(s.image.constBits()), s.image.width(), s.image.height(),
            static_cast<std::size_t>(s.image.bytesPerLine()) / 4, {s.offset.x(), s.offset.y()}};
}

TGlyphMask QtDrawObject::glyphMask(std::string_view bytes) {
    const QFont& f = font(0);
    ShapedText& t = shaped(bytes, true);
    const QImage& mask = maskOf(t, f);
    return {mask.constBits(), mask.width(), mask.height(), static_cast<std::size_t>(mask.bytesPerLine()),
            {t.maskOffset.x(), t.maskOffset.y()}, lowering(t), t.advance, t.ascent + t.descent};
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

void QtDrawObject::paintText(QPainter& p, ShapedText& t, const QFont& f, const TextLook& look, TTextLayer layer) {
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
        if (layer != TTextLayer::Letters)
            p.strokePath(path, QPen(look.back, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (layer != TTextLayer::Halo) p.fillPath(path, look.ink);
        return;
    } else if (look.box) {
        p.fillRect(QRectF(0, d, t.advance, t.ascent + t.descent), look.back);
    }
    p.setPen(look.ink);
    p.drawStaticText(QPointF(0, d), t.glyphs);
}

const QtDrawObject::Sprite& QtDrawObject::spriteOf(ShapedText& t, const QFont& f, const TextLook& look,
                                                   TTextLayer layer) {
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

TextExtent QtDrawObject::platformMeasureText(std::string_view bytes) {
    const ShapedText& t = shaped(bytes, false);
    return {t.advance, t.ascent + t.descent};
}

} // namespace kestrum::qt
