// Drawing of one map object: pen set-up, opacity, the border passes and each kind's geometry.
// Bitmap objects and their decoded pictures are in bitmap_object.cpp.

#include "render/map_renderer.h"

#include "render/draw_state.h"
#include "model/polygon_rings.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrum {

namespace {

constexpr int32_t kMaxPenPixels = 4096; // wider pens come only from damaged widths

int32_t roundPixels(double v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::nearbyint(std::clamp(v, -double{kMaxPenPixels}, double{kMaxPenPixels})));
}

int32_t darker(int32_t c) {
    auto d = [](uint8_t v) { return static_cast<int>(std::lround(v * 0.75)); };
    return rgbColor(d(redOf(c)), d(greenOf(c)), d(blueOf(c)));
}

// Bordered shapes draw their outline in the main pass and their fill in the second, so that the
// fills of a plane cover the inner outlines and only the outer border of the group remains.
void bordered(TDrawObject& d, int pass) {
    if (pass == 1)
        d.Pen.Style = psClear;
    else
        d.Brush.Style = bsClear;
}

std::pair<double, double> rotateNeg(double x, double y, double degrees) {
    const double t = degrees * std::numbers::pi / 180.0;
    return {x * std::cos(t) + y * std::sin(t), -x * std::sin(t) + y * std::cos(t)};
}

} // namespace

void TMapRenderer::SetupPen(const TQEVMapObjectMem& obj, int extra) {
    const TQEVMapPen& pen = PenOf(obj);
    const TQEVMapBrush& brush = BrushOf(obj);
    TCanvasPen& p = m_draw->Pen;
    p.Mode = pmCopy;
    p.Color = extra == 0 ? pen.Color : brush.Color;
    const bool screenWidth = penWidthInPixels(pen);
    int32_t width = screenWidth       ? std::max(1, roundPixels(pen.Width))
                    : pen.Width > 0   ? roundPixels(pen.Width * ScaleFactor())
                                      : 1;
    // The pixel-width bit says how wide, not how to draw: such a pen is plain or geometric as
    // its other bits make it.
    const uint32_t flags = screenWidth ? pen.Flags & ~kPenWidthPixels : pen.Flags;
    p.Style = penStyleOf(pen.Style);
    if (flags != 0 || (pen.Style != psSolid && pen.Width > 0)) {
        if ((pen.Flags & kPenBorder) && obj.Kind != cLine) width += 2;
        p.Width = width + extra;
        p.Geometric = true;
        p.SquareCaps = pen.Flags & kPenSquareEnds;
        m_draw->CapsMode = (pen.Flags & kPenSquareEnds) ? 1 : 0;
    } else {
        p.Width = width;
        p.Geometric = false;
        p.SquareCaps = false;
        m_draw->CapsMode = 0;
    }
}

std::size_t TMapRenderer::TransformArea(std::span<const TMapPoint> points, TPoint* out) {
    m_rings.clear();
    const PolygonRings rings(points);
    if (!rings.holed()) return m_view.transformThinned(points, out);
    // Ring by ring, so that thinning never takes a ring's closing point or a connector: the
    // rings reach the back end apart and are joined there, if at all, exactly.
    std::size_t n = 0;
    for (const auto ring : rings) {
        const std::size_t k = m_view.transformThinned(ring, out + n);
        // The outer ring always counts; a hole thinned to less than a line covers nothing.
        if (k < 2 && !m_rings.empty()) continue;
        m_rings.push_back(static_cast<uint32_t>(k));
        n += k;
    }
    if (m_rings.size() == 1) m_rings.clear();
    return n;
}

void TMapRenderer::DrawPolygon3D(std::size_t count, int32_t hp, TPoint* pts, std::span<const uint32_t> rings) {
    TDrawObject& d = *m_draw;
    // A plain polygon is one ring of all its points.
    const uint32_t whole[1] = {static_cast<uint32_t>(count)};
    const bool holed = rings.size() > 1;
    if (!holed) rings = whole;
    auto area = [&](const TPoint* p) {
        if (holed) d.DrawPolyPolygon({p, count}, rings);
        else d.DrawPolygon({p, count});
    };
    if (!(Options().View3D() && Scale() >= Options().MinScale3D() && hp != 0 && count <= 500)) {
        area(pts);
        return;
    }
    auto [fx, fy] = rotateNeg(hp, 0, Options().View3DAngle());
    const int32_t ox = static_cast<int32_t>(std::lround(fx)), oy = static_cast<int32_t>(std::lround(fy));
    TPoint* roof = pts + count; // the point buffer has room behind any 500-point polygon
    for (std::size_t i = 0; i < count; ++i) roof[i] = {pts[i].X + ox, pts[i].Y + oy};
    struct Wall {
        double key;
        std::size_t i, j;
    };
    Wall walls[500];
    const double ex = m_eye[0], ey = m_eye[1], dx = m_eye[2] - ex, dy = m_eye[3] - ey;
    const double len = std::hypot(dx, dy);
    // Every ring has its walls: a courtyard's stand round it as the building's outer ones do.
    std::size_t w = 0, first = 0;
    for (const uint32_t r : rings) {
        for (std::size_t k = 0; k < r; ++k) {
            const std::size_t i = first + k, j = first + (k + 1) % r;
            // Crossing of the wall's diagonals (roof i to base j, roof j to base i), in world units.
            const double cx = (roof[i].X + pts[j].X + roof[j].X + pts[i].X) / 4.0 / ScaleFactor() + XWind();
            const double cy = (roof[i].Y + pts[j].Y + roof[j].Y + pts[i].Y) / 4.0 / ScaleFactor() + YWind();
            walls[w++] = {std::fabs(dx * (cy - ey) - dy * (cx - ex)) / len, i, j};
        }
        first += r;
    }
    std::sort(walls, walls + w, [](const Wall& a, const Wall& b) { return a.key < b.key; });
    {
        // The walls in a darker shade of the roof's brush.
        const TDrawStateScope keep(d, dsBrush);
        d.Brush.Color = darker(d.Brush.Color);
        for (std::size_t k = w; k-- > 0;) {
            const std::size_t i = walls[k].i, j = walls[k].j;
            const TPoint quad[4] = {roof[i], roof[j], pts[j], pts[i]};
            d.DrawPolygon(quad);
        }
    }
    area(roof);
}

void TMapRenderer::DrawLine(const TQEVMapObjectMem& obj, std::size_t count, TPoint* pts) {
    tQevLine style = qevLineStandart;
    if (m_events.OnPaintPolyLineEvent) m_events.OnPaintPolyLineEvent(obj, style, std::span<TPoint>(pts, m_points.data() + m_points.size()));
    TDrawObject& d = *m_draw;
    if (style != qevLineRailRoad) {
        d.DrawPolyline({pts, count});
        return;
    }
    const TQEVMapPen& pen = PenOf(obj);
    const int32_t brushColor = BrushOf(obj).Color;
    const float w = pen.Width;
    int32_t outer = 5, inner = 3;
    if (w > 0.00001f) {
        const int32_t wp = penWidthInPixels(pen) ? roundPixels(w) : roundPixels(w * ScaleFactor());
        outer = wp + 3, inner = wp + 1;
    }
    const TDrawStateScope keep(d, dsPen);
    d.Pen = {pen.Color, outer, psSolid, true, (pen.Flags & kPenSquareEnds) != 0, pmCopy};
    d.CapsMode = (pen.Flags & kPenSquareEnds) ? 1 : 0;
    d.DrawPolyline({pts, count});
    d.Pen = {brushColor, inner, psDash, true, true, pmCopy};
    d.DrawPolyline({pts, count});
}

namespace {

// Cohen-Sutherland clipping of a segment to the window; false when it lies wholly outside.
bool clipSegment(double& x0, double& y0, double& x1, double& y1, double w, double h) {
    auto code = [&](double x, double y) {
        int c = 0;
        if (x < 0) c |= 1;
        else if (x > w) c |= 2;
        if (y < 0) c |= 4;
        else if (y > h) c |= 8;
        return c;
    };
    int c0 = code(x0, y0), c1 = code(x1, y1);
    for (int guard = 0; guard < 8; ++guard) {
        if (!(c0 | c1)) return true;
        if (c0 & c1) return false;
        const int out = c0 ? c0 : c1;
        double x = 0, y = 0;
        if (out & 8) x = x0 + (x1 - x0) * (h - y0) / (y1 - y0), y = h;
        else if (out & 4) x = x0 + (x1 - x0) * (0 - y0) / (y1 - y0), y = 0;
        else if (out & 2) y = y0 + (y1 - y0) * (w - x0) / (x1 - x0), x = w;
        else y = y0 + (y1 - y0) * (0 - x0) / (x1 - x0), x = 0;
        // Intersections land on whole pixels.
        x = std::round(x), y = std::round(y);
        if (out == c0) x0 = x, y0 = y, c0 = code(x0, y0);
        else x1 = x, y1 = y, c1 = code(x1, y1);
    }
    return false;
}

} // namespace

void TMapRenderer::DrawPixelLine(const TQEVMapObjectMem& obj, std::size_t count, const TPoint* pts) {
    for (std::size_t i = 0; i + 1 < count; ++i) {
        double x0 = pts[i].X, y0 = pts[i].Y, x1 = pts[i + 1].X, y1 = pts[i + 1].Y;
        if (!clipSegment(x0, y0, x1, y1, Width(), Height())) continue;
        const double dx = x1 - x0, dy = y1 - y0;
        const auto steps = static_cast<int>(std::max(std::fabs(dx), std::fabs(dy)));
        // The segment's last pixel is the next segment's first: it is not visited here.
        for (int k = 0; k < steps; ++k) {
            const int x = static_cast<int>(std::lround(x0 + dx * k / steps));
            const int y = static_cast<int>(std::lround(y0 + dy * k / steps));
            m_events.OnPixelLineEvent(obj, x, y, k, 1.0, *m_draw);
        }
    }
}

int32_t TMapRenderer::HouseNumberTextHeight() const {
    return static_cast<int32_t>(std::lround(Options().mpNumberDomSizeFont() * m_draw->ScreenDpi / 72.0)) +
           m_draw->LabelHeightPadding();
}

void TMapRenderer::DrawHouseNumber(const TQEVMapObjectMem& obj, float height) {
    if (obj.HasAddress != 1 || !obj.Address || !(Scale() > Options().MinScaleAddress()) || !Options().mpNumberDom()) return;
    const TAddressCode& a = *obj.Address;
    std::string label(a.House.view());
    if (!a.House1.empty()) label += "/" + std::string(a.House1.view());
    label = std::string(trimmed(label));

    const auto& c = obj.Corners;
    double ax = c[0].X + (c[2].X - c[0].X) / 2.0, ay = c[0].Y + (c[2].Y - c[0].Y) / 2.0;
    const auto pts = obj.points();
    if (obj.Kind == cPolygon && pts.size() >= 3 && !insideArea(pts, ax, ay)) {
        // A concave outline (a U, an L) has its centre outside: take the grid point nearest to it.
        const double dx = std::fabs(c[1].X - c[0].X) / 7, dy = std::fabs(c[3].Y - c[0].Y) / 7;
        double best = -1, bx = ax, by = ay;
        for (int r = 0; r <= 6; ++r)
            for (int k = 1; k <= 7; ++k) {
                const double x = c[0].X + k * dx, y = c[0].Y + r * dy;
                if (!insideArea(pts, x, y)) continue;
                const double d = (x - ax) * (x - ax) + (y - ay) * (y - ay);
                if (best < 0 || d < best) best = d, bx = x, by = y;
            }
        ax = bx, ay = by;
    }
    m_points[0] = m_view.toScreen({static_cast<float>(ax), static_cast<float>(ay)});

    TDrawObject& d = *m_draw;
    const int32_t objectColor = BrushOf(obj).Color;
    int32_t background = objectColor;
    const int brightest = std::max({redOf(objectColor), greenOf(objectColor), blueOf(objectColor)});
    int32_t fontColor = brightest >= 150 ? 0 : 0xFFFFFF;
    int32_t borderColor = Options().mpNumberDomBorderColor();

    d.TextFace = Options().FontSystem();
    d.TextBold = Options().mpNumberDomBold();
    d.TextHeight = HouseNumberTextHeight();
    const TextExtent e = d.MeasureText(label);
    int x = m_points[0].X - static_cast<int>(std::lround(e.width / 2));
    int y = m_points[0].Y - static_cast<int>(std::lround(e.height / 2));
    if (m_events.OnPaintAddress) m_events.OnPaintAddress(x, y, objectColor, fontColor, background, borderColor);
    if (label.empty()) return;

    d.Brush = {background, Options().mpNumberDomFill() ? bsSolid : bsClear, nullptr};
    if (In3DView() && obj.Kind == cPolygon && height > 0.000001f) {
        // On the roof of an extruded building.
        auto [ox, oy] = rotateNeg(height * ScaleFactor(), 0, Options().View3DAngle());
        x += static_cast<int>(std::lround(ox));
        y += static_cast<int>(std::lround(oy));
    }
    if (Options().mpNumberDomBorder()) d.Brush = {borderColor, bsCross, nullptr};
    d.TextColor = fontColor;
    const TDrawStateScope keep(d, dsOpacity);
    d.Opacity = obj.Alpha; // the plain mode draws it opaque
    d.DrawText(x, y, Options().mpNumberDomBorder(), label, 0);
}

void TMapRenderer::DrawVertexMarks(std::size_t n, const TPoint* pts) {
    if (!Options().ShowPointsObject() || !m_client.MarksVertices()) return;
    TDrawObject& d = *m_draw;
    const TDrawStateScope keep(d, dsPen | dsBrush);
    const int32_t r = Options().SizeRect();
    for (std::size_t i = 0; i < n; ++i) {
        const TPoint p = pts[i];
        if (p.X < 0 || p.Y < 0 || p.X >= Width() || p.Y >= Height()) continue;
        // Inverted twice a pixel would vanish: the frame takes the rectangle's outer ring, as a
        // plain rectangle's pen does (its right and bottom edges one short), the fill what is inside.
        const int32_t left = p.X - r, top = p.Y - r, right = p.X + r - 1, bottom = p.Y + r - 1;
        d.Pen = {0xFFFFFF, 1, psClear, false, false, pmXor};
        d.Brush = {rgbColor(255, 0, 0), bsSolid, nullptr};
        const TPoint inside[4] = {{left + 1, top + 1}, {right, top + 1}, {right, bottom}, {left + 1, bottom}};
        if (right > left + 1 && bottom > top + 1) d.DrawPolygon(inside);
        d.Pen.Style = psSolid;
        const TPoint frame[5] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top + 1}};
        d.DrawPolyline(frame);
    }
}

void TMapRenderer::DrawGroup(const TQEVMapObjectMem& group, bool blinking) {
    const TQevMapList* kids = group.children();
    if (!kids) return;
    const double objectView = Options().ObjectView();
    auto pixels = [&](const TQEVMapObjectMem& o, int axis) {
        return std::fabs(axis == 0 ? o.Corners[2].X - o.Corners[0].X : o.Corners[2].Y - o.Corners[0].Y) *
               ScaleFactor();
    };
    for (int i = 0; i < kids->count(); ++i) {
        const TQEVMapObjectMem& kid = (*kids)[i];
        if (!IsObjectVisible(*kids, i)) continue;
        if (kid.Kind != cZametka && pixels(kid, 0) <= objectView && pixels(kid, 1) <= objectView) continue;
        // A blinking group blinks in its members' own colours, not in its own.
        if (blinking) DrawBlinking(kid, 0);
        else DrawObject(kid, 0);
    }
    const BlinkStyle* outer = m_blink;
    m_blink = nullptr;
    for (int i = 0; i < kids->count(); ++i) {
        const TQEVMapObjectMem& kid = (*kids)[i];
        if (kid.Kind != cZametka && (kid.Pen.Flags & kPenBorder) && pixels(kid, 0) > objectView)
            DrawObject(kid, 1);
    }
    m_blink = outer;
}

void TMapRenderer::DrawObject(const TQEVMapObjectMem& obj, int pass) {
    TDrawObject& d = *m_draw;
    const TQEVMapBrush& brush = BrushOf(obj);
    const TQEVMapPen& pen = PenOf(obj);
    const bool border = (pen.Flags & kPenBorder) != 0;
    TPoint* pts = m_points.data() + 1;
    const auto points = obj.points();
    // The point buffer bounds what one object can draw.
    const std::size_t maxPoints = m_points.size() - 2;
    uint8_t alpha = obj.Alpha;
    auto paintHook = [&] {
        if (m_events.OnPaintObject) m_events.OnPaintObject(obj, alpha, d.Pen, d.Brush);
    };

    switch (obj.Kind) {
    case cPolygon: {
        if (points.size() > maxPoints) break;
        d.Brush = {brush.Color, brushStyleOf(brush.Style), nullptr};
        const std::size_t n = TransformArea(points, pts);
        SetupPen(obj, 0);
        paintHook();
        float h = obj.Height;
        if (Options().View3D() && m_events.OnHeightObject) m_events.OnHeightObject(obj, h);
        if (n >= 2) {
            TOpacityScope op(d, Options().AlphaBlending(), alpha);
            if (!border || h != 0) {
                DrawPolygon3D(n, roundPixels(double{h} * ScaleFactor()), pts, m_rings);
            } else {
                bordered(d, pass);
                if (m_rings.size() > 1) d.DrawPolyPolygon({pts, n}, m_rings);
                else d.DrawPolygon({pts, n});
            }
        }
        DrawHouseNumber(obj, h);
        DrawVertexMarks(n, pts);
        break;
    }
    case cLine: {
        if (points.size() > maxPoints) break;
        const std::size_t n = m_view.transformThinned(points, pts);
        d.Brush.Color = brush.Color;
        if (pen.Flags == kPenPixelLine) {
            if (m_events.OnPixelLineEvent) {
                paintHook();
                DrawPixelLine(obj, n, pts);
                break;
            }
            DrawHouseNumber(obj, 0); // nothing drew the line, yet its number shows
            break;
        }
        if (n >= 2) {
            SetupPen(obj, border && pass == 0 ? 3 : 0);
            paintHook();
            TOpacityScope op(d, Options().AlphaBlending(), alpha);
            DrawLine(obj, n, pts);
        }
        DrawHouseNumber(obj, 0);
        DrawVertexMarks(n, pts);
        break;
    }
    case cPixel: {
        if (points.size() > maxPoints) break;
        d.Brush = {brush.Color, bsSolid, nullptr};
        SetupPen(obj, 0);
        paintHook();
        TOpacityScope op(d, Options().AlphaBlending(), alpha);
        const std::size_t n = m_view.transformAll(points, pts);
        for (std::size_t i = 0; i < n; ++i) d.DrawEllipse(pts[i].X, pts[i].Y, pts[i].X, pts[i].Y);
        DrawHouseNumber(obj, 0);
        break;
    }
    case cBezier:
    case cBezierFill: {
        if (points.size() > maxPoints) break;
        const std::size_t n = m_view.transformAll(points, pts);
        d.Brush = {brush.Color, brushStyleOf(brush.Style), nullptr};
        if (obj.Kind == cBezier) {
            paintHook();
            TOpacityScope op(d, Options().AlphaBlending(), alpha);
            SetupPen(obj, border && pass == 0 ? 2 : 0);
            d.DrawPolyBezier({pts, n});
        } else {
            SetupPen(obj, 0);
            paintHook();
            TOpacityScope op(d, Options().AlphaBlending(), alpha);
            if (border) bordered(d, pass);
            d.DrawClosedBezier({pts, n});
        }
        DrawHouseNumber(obj, 0);
        break;
    }
    case cEllipse: {
        if (points.size() < 4) break;
        TPoint k[4];
        for (int i = 0; i < 4; ++i) k[i] = m_view.toScreen(points[std::size_t(i)]);
        d.Brush = {brush.Color, brushStyleOf(brush.Style), nullptr};
        SetupPen(obj, 0);
        paintHook();
        TOpacityScope op(d, Options().AlphaBlending(), alpha);
        if (border) bordered(d, pass);
        // A closed cubic Bezier of four arcs inscribed in the quadrilateral K1..K4.
        constexpr double c = 0.2761423749154;
        auto mid = [](TPoint a, TPoint b) { return std::pair<double, double>{(a.X + b.X) / 2.0, (a.Y + b.Y) / 2.0}; };
        const double lenH = std::round(std::hypot(k[1].X - k[0].X, k[1].Y - k[0].Y));
        const double lenV = std::round(std::hypot(k[3].X - k[0].X, k[3].Y - k[0].Y));
        auto toward = [&](std::pair<double, double> m, TPoint corner, double sideLen) {
            const double dx = corner.X - m.first, dy = corner.Y - m.second;
            const double dist = std::hypot(dx, dy);
            const double t = dist > 0 ? c * sideLen / dist : 0;
            return TPoint{roundScreen(m.first + dx * t), roundScreen(m.second + dy * t)};
        };
        auto at = [](std::pair<double, double> m) { return TPoint{roundScreen(m.first), roundScreen(m.second)}; };
        const auto m12 = mid(k[0], k[1]), m23 = mid(k[1], k[2]), m34 = mid(k[2], k[3]), m41 = mid(k[3], k[0]);
        const TPoint curve[13] = {at(m41),
                                  toward(m41, k[0], lenV), toward(m12, k[0], lenH), at(m12),
                                  toward(m12, k[1], lenH), toward(m23, k[1], lenV), at(m23),
                                  toward(m23, k[2], lenV), toward(m34, k[2], lenH), at(m34),
                                  toward(m34, k[3], lenH), toward(m41, k[3], lenV), at(m41)};
        d.DrawClosedBezier(curve);
        DrawHouseNumber(obj, 0);
        break;
    }
    case cText: {
        const TQEVMapText* t = obj.text();
        if (!t) break;
        d.Brush.Color = brush.Color;
        d.Brush.Style = border ? bsCross : brushStyleOf(brush.Style);
        d.Brush.Bitmap = nullptr;
        const int32_t size = roundPixels(double{t->FontSize} * ScaleFactor());
        if (size > 4) {
            d.Pen.Color = pen.Color;
            const TPoint at = m_view.toScreen({t->X, t->Y});
            d.TextFace = t->FontIndex == 1 ? Options().FontSystem1() : Options().FontSystem();
            paintHook();
            d.TextColor = d.Pen.Color;
            d.TextBold = false;
            d.TextHeight = size;
            TOpacityScope op(d, Options().AlphaBlending(), alpha);
            d.DrawText(at.X, at.Y, border, t->Text, t->Angle);
        }
        DrawHouseNumber(obj, 0);
        break;
    }
    case cZametka: {
        const TQEVMapZametka* z = obj.note();
        if (!z) break;
        const TPoint at = m_view.toScreen({z->X, z->Y});
        d.Brush = {0, bsClear, nullptr};
        paintHook();
        TOpacityScope op(d, Options().AlphaBlending(), alpha);
        // Looked up after the hook: a hook that asks the libraries for pictures could free a
        // cached bitmap taken before it.
        const TImage& icon = m_client.NotePicture(*z, &obj.Pen);
        const int32_t left = roundScreen(at.X - icon.width() / 2.0), top = roundScreen(at.Y - icon.height() / 2.0);
        d.DrawBitmapInRect({left, top, left + icon.width(), top + icon.height()}, &icon);
        break;
    }
    case cBitmap:
        DrawBitmapObject(obj);
        DrawHouseNumber(obj, 0);
        break;
    case cGroup:
        DrawGroup(obj, m_blink != nullptr);
        break;
    default:
        break;
    }
}

} // namespace kestrum
