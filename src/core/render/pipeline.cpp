// The render pipeline of the map component: collecting the visible objects plane by plane,
// full and partial rebuilds of the back buffer, scrolling with buffer reuse, and the paint.

#include "component/korvane.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace kestrum {

namespace {

// Sets a busy flag for the scope; the caller checks it first so that re-entry does nothing.
class BusyGuard {
  public:
    explicit BusyGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyGuard() { m_flag = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

  private:
    bool& m_flag;
};

int regionCode(TMapPoint p, const TMapRect& w) {
    int code = 0;
    if (p.X < w.MinX) code |= 1;
    else if (p.X > w.MaxX) code |= 4;
    if (p.Y < w.MinY) code |= 2;
    else if (p.Y > w.MaxY) code |= 8;
    return code;
}

TMapRect widened(TMapRect r, float by) { return {r.MinX - by, r.MinY - by, r.MaxX + by, r.MaxY + by}; }

// Rotation of (x, y) by -angle degrees about the origin (screen axes, Y down).
std::pair<double, double> rotateNeg(double x, double y, double degrees) {
    const double t = degrees * std::numbers::pi / 180.0;
    return {x * std::cos(t) + y * std::sin(t), -x * std::sin(t) + y * std::cos(t)};
}

int bucketOf(int32_t plane) { return std::clamp(plane, -64, 64) + 64; }

} // namespace

void TKorvane::RecomputeEyeLine() {
    const TMapPoint c = ViewCenter();
    const double angle = Options.View3DAngle();
    auto [ax, ay] = rotateNeg(-1e9, -1e9, angle);
    auto [bx, by] = rotateNeg(-1e9, 1e9, angle);
    m_eye[0] = c.X + ax, m_eye[1] = c.Y + ay, m_eye[2] = c.X + bx, m_eye[3] = c.Y + by;
}

bool TKorvane::PassesFilter(const TQEVMapObjectMem& o) const {
    if (!m_filter) return true;
    if (!ClassVisibleSet.contains(o.ClassCode)) return false;
    bool visible = true;
    if (OnFilteredObject) OnFilteredObject(o, visible);
    return visible;
}

bool TKorvane::IsObjectVisible(const TQevMapList& list, int index) const {
    if (index < 0 || index >= list.count()) return false;
    const auto& c = list[index].Corners;
    if ((regionCode(c[0], m_clip) & regionCode(c[2], m_clip)) == 0) return true;
    return (regionCode(c[1], m_clip) & regionCode(c[3], m_clip)) == 0;
}

void TKorvane::CollectVisible(const TMapRect& r, bool clearFirst) {
    if (m_collectBusy) return;
    BusyGuard busy(m_collectBusy);
    if (clearFirst) {
        for (auto& b : m_planes) b.clear();
        for (auto& b : m_planes3D) b.clear();
    }
    m_clip = r;
    const TQevMapList& list = m_list->objects;
    if (list.empty()) return;
    const double sf = m_scaleFactor;
    const double objectView = Options.ObjectView();
    const bool threeD = In3DView();
    const double lineMin = Options.mpLineWidthMin();
    const bool notesShown = Scale() >= Options.MinScaleIcon();
    auto consider = [&](int i) {
        if (!IsObjectVisible(list, i)) return;
        const TQEVMapObjectMem& o = list[i];
        if (!PassesFilter(o)) return;
        const int bucket = bucketOf(o.Ploskost);
        if (o.Kind == cLine && o.Pen.Width > 0) {
            const double px = penWidthInPixels(o.Pen) ? double{o.Pen.Width} : o.Pen.Width * sf;
            if (px >= lineMin) m_planes[bucket].push_back(i);
            return;
        }
        if (o.Kind == cZametka) {
            if (notesShown) m_planes[bucket].push_back(i);
            return;
        }
        const double w = std::fabs(o.Corners[2].X - o.Corners[0].X) * sf;
        const double h = std::fabs(o.Corners[2].Y - o.Corners[0].Y) * sf;
        if (w <= objectView && h <= objectView) return;
        (Extruded(o) ? m_planes3D : m_planes)[bucket].push_back(i);
    };
    // A pan strip or a zoomed view shows a small part of a large map: the index hands over the
    // objects near it, in list order, instead of every object.
    if (const std::vector<int>* near = m_index.candidates(list, r))
        for (const int i : *near) consider(i);
    else
        for (int i = 0; i < list.count(); ++i) consider(i);
    if (!threeD) return;
    // Farthest from the eye line first, so that nearer walls cover them.
    for (auto& bucket : m_planes3D) {
        if (bucket.size() < 2) continue;
        m_sortScratch.clear();
        for (int index : bucket) m_sortScratch.emplace_back(index, EyeDistance(list[index]));
        std::stable_sort(m_sortScratch.begin(), m_sortScratch.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        for (std::size_t k = 0; k < bucket.size(); ++k) bucket[k] = m_sortScratch[k].first;
    }
}

bool TKorvane::Extruded(const TQEVMapObjectMem& o) {
    if (o.Kind != cPolygon || !In3DView()) return false;
    float height = o.Height;
    if (OnHeightObject) OnHeightObject(o, height);
    return height > 0.000001f;
}

double TKorvane::EyeDistance(const TQEVMapObjectMem& o) const {
    if (o.Kind != cPolygon) return 0;
    const double ex = m_eye[0], ey = m_eye[1], dx = m_eye[2] - ex, dy = m_eye[3] - ey;
    const double len = std::hypot(dx, dy);
    double key = 0;
    for (const TMapPoint& p : o.points())
        key = std::max(key, std::round(std::fabs(dx * (p.Y - ey) - dy * (p.X - ex)) / len));
    return key;
}

TMapRect TKorvane::CollectionRect(TMapRect q) const {
    if (!In3DView()) return q;
    // Extruded objects lean up to 200 pixels towards the eye: collect from that far out.
    auto [ox, oy] = rotateNeg(20000.0 / Scale(), 0, Options.View3DAngle());
    if (oy >= 0) q.MinY -= static_cast<float>(oy);
    else q.MaxY += static_cast<float>(-oy);
    if (ox >= 0) q.MinX -= static_cast<float>(ox);
    else q.MaxX += static_cast<float>(-ox);
    return q;
}

void TKorvane::FillBackground(TRect rect) {
    TCanvasBrush brush{BackgroundColor, bsSolid, nullptr};
    if (Options.Texture() && !Grass.empty()) brush.Bitmap = &Grass;
    m_draw->FillRect(rect, brush);
}

TKorvane::BlinkStyle TKorvane::BlinkStyleOf(const TQEVMapObjectMem& obj) {
    BlinkStyle style{obj.Pen, obj.Brush};
    if (m_blinkPhase) {
        auto complement = [](int32_t c) { return rgbColor(255 - redOf(c), 255 - greenOf(c), 255 - blueOf(c)); };
        style.pen.Color = complement(style.pen.Color);
        style.brush.Color = complement(style.brush.Color);
        if (OnBlinkObject) OnBlinkObject(obj, style.pen, style.brush);
    }
    return style;
}

void TKorvane::DrawBlinking(const TQEVMapObjectMem& obj, int pass) {
    const BlinkStyle style = BlinkStyleOf(obj);
    const BlinkStyle* outer = m_blink;
    m_blink = &style;
    DrawObject(obj, pass);
    m_blink = outer;
}

void TKorvane::DrawCandidate(const TQEVMapObjectMem& obj, int index, int pass) {
    if (!BlinkList.empty() && std::find(BlinkList.begin(), BlinkList.end(), index) != BlinkList.end())
        DrawBlinking(obj, pass);
    else
        DrawObject(obj, pass);
}

void TKorvane::DrawPlanes() {
    const TQevMapList& list = m_list->objects;
    const bool threeD = Scale() >= Options.MinScale3D();
    // A hook may delete objects while the planes are drawn: indices past the end are skipped.
    auto drawn = [&](int index) {
        return index < list.count() && (list[index].Kind == cZametka || IsObjectVisible(list, index));
    };
    for (std::size_t b = 0; b < m_planes.size(); ++b) {
        for (int index : m_planes[b])
            if (drawn(index)) DrawCandidate(list[index], index, 0);
        // Fills of bordered objects go over the outlines of their neighbours in the plane.
        for (int index : m_planes[b]) {
            if (index >= list.count()) continue;
            const TQEVMapObjectMem& o = list[index];
            if (o.Kind != cText && (o.Pen.Flags & kPenBorder) && IsObjectVisible(list, index)) DrawObject(o, 1);
        }
        if (threeD)
            for (int index : m_planes3D[b])
                if (drawn(index)) DrawCandidate(list[index], index, 0);
    }
}

void TKorvane::RebuildBuffer() {
    if (!m_drawingEnabled || m_rebuildBusy) return;
    if (!NeedsFullRedraw && m_backBuffer.width() == m_width && m_backBuffer.height() == m_height) return;
    BusyGuard busy(m_rebuildBusy);
    SyncView();
    if (m_width <= 0 || m_height <= 0) {
        m_backBuffer.resize(0, 0); // nothing to show: skip the collection as well
        NeedsFullRedraw = false;
        return;
    }
    const double k = 100.0 / Scale();
    const TMapRect v{XWind(), YWind(), static_cast<float>(XWind() + m_width * k),
                     static_cast<float>(YWind() + m_height * k)};
    const TMapRect q = CollectionRect(v);
    m_backBuffer.resize(m_width, m_height);
    m_draw->SetCanvas(&m_backBuffer);
    FillBackground({0, 0, m_width, m_height});
    if (OnBeforeRisovan) OnBeforeRisovan(*m_draw);
    CollectVisible(widened(q, static_cast<float>(500.0 / Scale())), true);
    m_clip = widened(q, 3);
    if (OnPaintBackground) OnPaintBackground(*m_draw, v.MinX, v.MinY, v.MaxX, v.MaxY);
    DrawPlanes();
    if (OnAfterRisovan) OnAfterRisovan(*m_draw);
    m_draw->SetCanvas(nullptr);
    NeedsFullRedraw = false;
}

void TKorvane::RedrawRects(std::span<const TRect> rects) {
    if (!m_drawingEnabled || m_rebuildBusy) return;
    BusyGuard busy(m_rebuildBusy);
    SyncView();
    m_backBuffer.resize(m_width, m_height);
    m_draw->SetCanvas(&m_backBuffer);
    const double k = 100.0 / Scale();
    const TMapRect v{XWind(), YWind(), static_cast<float>(XWind() + m_width * k),
                     static_cast<float>(YWind() + m_height * k)};
    for (const TRect& s : rects) {
        if (s.empty()) continue;
        m_draw->SetClipRect(s);
        float x0 = float(s.Left), y0 = float(s.Top), x1 = float(s.Right), y1 = float(s.Bottom);
        m_view.ScreenToMap(x0, y0);
        m_view.ScreenToMap(x1, y1);
        // Objects that straddle the strip's edge are found through a margin around it.
        const int marginPx = (s.width() < 30 && s.height() < 30) ? 50 : 30;
        const TMapRect w = CollectionRect({x0, y0, x1, y1});
        FillBackground(s);
        if (OnBeforeRisovan) OnBeforeRisovan(*m_draw);
        CollectVisible(widened(w, static_cast<float>(marginPx * k)), true);
        m_clip = widened(w, static_cast<float>(marginPx));
        if (OnPaintBackground) OnPaintBackground(*m_draw, v.MinX, v.MinY, v.MaxX, v.MaxY);
        DrawPlanes();
        m_draw->SetClipRect(std::nullopt);
    }
    if (OnAfterRisovan) OnAfterRisovan(*m_draw);
    m_draw->SetCanvas(nullptr);
    NeedsFullRedraw = false;
}

void TKorvane::DisableDrawing() {
    m_drawingEnabled = false;
    for (TKorvane* peer : m_linked) peer->m_drawingEnabled = false;
    if (m_main) m_main->m_drawingEnabled = false;
}

void TKorvane::EnableDrawing() {
    m_drawingEnabled = true;
    for (TKorvane* peer : m_linked) peer->m_drawingEnabled = true;
    if (m_main) m_main->m_drawingEnabled = true;
    NeedsFullRedraw = true;
    Invalidate();
}

void TKorvane::ScrollView(TScrollDirection direction, int dx, int dy) {
    const double k = 100.0 / Scale();
    const auto dxw = static_cast<float>(dx * k), dyw = static_cast<float>(dy * k);
    const auto third = static_cast<float>(m_width / 3 * k);
    const bool left = direction == sdLeft || direction == sdLeftUp || direction == sdLeftDown;
    const bool right = direction == sdRight || direction == sdRightUp || direction == sdRightDown;
    const bool up = direction == sdUp || direction == sdLeftUp || direction == sdRightUp;
    const bool down = direction == sdDown || direction == sdRightDown || direction == sdLeftDown;
    if (Options.LockScrollOutMap()) {
        const TMapRect& e = m_ownDoc->extent;
        const float vw = static_cast<float>(m_width * k), vh = static_cast<float>(m_height * k);
        if (left && XWind() - dxw < e.MinX - third) return;
        if (up && YWind() - dyw < e.MinY - third) return;
        if (right && XWind() + dxw + vw > e.MaxX + third) return;
        if (down && YWind() + dyw + vh > e.MaxY + third) return;
    }
    const int sx = left ? -dx : right ? dx : 0; // world moves this many pixels to the right
    const int sy = up ? -dy : down ? dy : 0;
    m_ownDoc->header.XWind += left ? -dxw : right ? dxw : 0;
    m_ownDoc->header.YWind += up ? -dyw : down ? dyw : 0;
    SyncView();
    m_backBuffer.resize(m_width, m_height);
    m_backBuffer.shift(-sx, -sy);
    std::vector<TRect> strips;
    if (sx > 0) strips.push_back({m_width - sx, 0, m_width, m_height});
    if (sx < 0) strips.push_back({0, 0, -sx, m_height});
    if (sy > 0) strips.push_back({0, m_height - sy, m_width, m_height});
    if (sy < 0) strips.push_back({0, 0, m_width, -sy});
    RedrawRects(strips);
}

void TKorvane::ZoomAt(float x, float y, double newScale) {
    newScale = SaneScale(newScale);
    const TMapPoint c = ViewCenter();
    const double k = m_scaleFactor;
    const double dxp = (x - c.X) * k, dyp = (y - c.Y) * k;
    if (newScale == Scale() && std::fabs(dxp) < m_width && std::fabs(dyp) < m_height) {
        const int h = dxp < -0.5 ? -1 : dxp > 0.5 ? 1 : 0;
        const int v = dyp < -0.5 ? -1 : dyp > 0.5 ? 1 : 0;
        if (h == 0 && v == 0) return;
        static constexpr TScrollDirection table[3][3] = {
            {sdLeftUp, sdUp, sdRightUp}, {sdLeft, sdLeft, sdRight}, {sdLeftDown, sdDown, sdRightDown}};
        const int px = h ? static_cast<int>(std::nearbyint(std::fabs(dxp))) : 0;
        const int py = v ? static_cast<int>(std::nearbyint(std::fabs(dyp))) : 0;
        ScrollView(table[v + 1][h + 1], px, py);
        if (m_host) m_host->Repaint();
        return;
    }
    m_ownDoc->header.XWind = static_cast<float>(x - (m_width * 100.0 / newScale) / 2);
    m_ownDoc->header.YWind = static_cast<float>(y - (m_height * 100.0 / newScale) / 2);
    m_ownDoc->header.Scale = newScale;
    SetScale(newScale);
}

TRect TKorvane::ObjectScreenRect(const TQEVMapObjectMem& obj) {
    SyncView();
    auto screenBox = [&](TMapRect r) {
        TPoint a = m_view.toScreen({r.MinX, r.MinY}), b = m_view.toScreen({r.MaxX, r.MaxY});
        return TRect{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
    };
    auto boxOf = [](std::span<const TMapPoint> pts) {
        TMapRect r{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
        for (const TMapPoint& p : pts)
            r = {std::min(r.MinX, p.X), std::min(r.MinY, p.Y), std::max(r.MaxX, p.X), std::max(r.MaxY, p.Y)};
        return r;
    };
    TRect s;
    const auto& c = obj.Corners;
    if (obj.Kind == cZametka) {
        const TPoint p = m_view.toScreen(c[0]);
        const TImage& icon = obj.note() ? NoteBitmap(*obj.note(), &obj.Pen) : m_missingIcon;
        // Generous: the note's caption hangs below its icon.
        const int32_t hw = icon.width() + 30, hh = icon.height() + 30;
        s = {p.X - hw, p.Y - hh, p.X + hw, p.Y + hh};
    } else if (obj.Kind == cGroup) {
        s = screenBox(boxOf(c));
        if (const TQevMapList* kids = obj.children())
            for (const TQEVMapObjectMem& kid : *kids)
                if (kid.Kind == cZametka || kid.Kind == cGroup) {
                    const TRect k = ObjectScreenRect(kid);
                    s = {std::min(s.Left, k.Left), std::min(s.Top, k.Top), std::max(s.Right, k.Right),
                         std::max(s.Bottom, k.Bottom)};
                }
    } else {
        TMapRect r = boxOf(c);
        if (obj.Kind == cText) {
            r.MinX -= 10, r.MinY -= 5, r.MaxX += 30, r.MaxY += 10;
        } else if ((obj.Kind == cBezier || obj.Kind == cEllipse || obj.Kind == cBezierFill) && !obj.points().empty()) {
            r = widened(boxOf(obj.points()), obj.Pen.Width / 2);
        }
        if (obj.Kind == cPolygon && In3DView()) {
            float h = obj.Height;
            if (OnHeightObject) OnHeightObject(obj, h);
            if (h > 0) {
                auto [ox, oy] = rotateNeg((h + 1), 0, Options.View3DAngle());
                r = {std::min(r.MinX, r.MinX + float(ox)), std::min(r.MinY, r.MinY + float(oy)),
                     std::max(r.MaxX, r.MaxX + float(ox)), std::max(r.MaxY, r.MaxY + float(oy))};
            }
        }
        if (obj.Kind == cLine && (obj.Pen.Flags & kPenSquareEnds)) r = widened(r, obj.Pen.Width);
        s = screenBox(r);
    }
    const int m = Options.SizeRect() + 8;
    s = {s.Left - m, s.Top - m, s.Right + m, s.Bottom + m};
    if (obj.HasAddress == 1) {
        const int cx = (s.Left + s.Right) / 2, cy = (s.Top + s.Bottom) / 2;
        if (s.width() < m_largestLabel.X) s.Left = cx - m_largestLabel.X / 2, s.Right = cx + (m_largestLabel.X + 1) / 2;
        if (s.height() < m_largestLabel.Y) s.Top = cy - m_largestLabel.Y / 2, s.Bottom = cy + (m_largestLabel.Y + 1) / 2;
    }
    return {std::max(s.Left, 0), std::max(s.Top, 0), std::min(s.Right, m_width), std::min(s.Bottom, m_height)};
}

const TImage& TKorvane::PreparePaint() {
    if (m_paintBusy) return m_backBuffer;
    BusyGuard busy(m_paintBusy);
    const int oldW = m_backBuffer.width(), oldH = m_backBuffer.height();
    if (NeedsFullRedraw) {
        RebuildBuffer();
    } else if (oldW != m_width || oldH != m_height) {
        // Only what the resize uncovered is drawn; the rest of the picture stays.
        std::vector<TRect> strips;
        if (m_width > oldW) strips.push_back({oldW, 0, m_width, m_height});
        if (m_height > oldH) strips.push_back({0, oldH, std::min(oldW, m_width), m_height});
        m_backBuffer.resize(m_width, m_height);
        if (strips.empty()) m_backBuffer.resize(m_width, m_height);
        RedrawRects(strips);
    }
    if (OnBeforePaint) {
        m_paintCopy = m_backBuffer;
        OnBeforePaint(m_paintCopy);
        return m_paintCopy;
    }
    return m_backBuffer;
}

void TKorvane::BlinkTimerTick() {
    m_blinkPhase = !m_blinkPhase;
    if (BlinkList.empty()) return;
    if (m_list->objects.empty()) {
        BlinkList.clear();
        return;
    }
    NeedsFullRedraw = true;
    Invalidate();
}

} // namespace kestrum
