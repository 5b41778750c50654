// The render pipeline: collecting the visible objects plane by plane, full and partial rebuilds
// of the back buffer, scrolling with buffer reuse, and the paint.

#include "render/map_renderer.h"

#include "render/draw_state.h"

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

TMapRenderer::TMapRenderer(TRenderSettings& settings, const TRenderEvents& events, TRenderClient& client)
    : m_settings(settings), m_events(events), m_client(client), m_draw(std::make_unique<NullDrawObject>()),
      m_points(kPointBufferSize) {
    for (auto& bucket : m_planes) bucket.reserve(2000);
    for (auto& bucket : m_planes3D) bucket.reserve(2000);
}

void TMapRenderer::SetDrawObject(std::unique_ptr<TDrawObject> draw) {
    m_draw = draw ? std::move(draw) : std::make_unique<NullDrawObject>();
    m_draw->TextCodePage = Document().codePage;
}

void TMapRenderer::Sync() {
    m_draw->TextCodePage = Document().codePage; // importers set the document's code page
    m_view.scale = Scale();
    m_view.scaleFactor = ScaleFactor();
    m_view.xWind = XWind();
    m_view.yWind = YWind();
}

void TMapRenderer::OptionsChanged(TMapPoint viewCentre) {
    const tQevMapOptions& o = Options();
    m_draw->SetGDIPlus(o.UseGDIPlus());
    m_draw->Opacity = o.AlphaBlending();
    m_draw->SetSmoothing(o.AntiAliasing());
    RecomputeEyeLine(viewCentre);
    m_draw->TextFace = o.FontSystem();
    m_draw->TextHeight = HouseNumberTextHeight(); // as the labels are drawn, so that none outgrows this
    const TextExtent e = m_draw->MeasureText("WWWWWWWWWWWWW");
    m_largestLabel = {static_cast<int32_t>(std::lround(e.width)), static_cast<int32_t>(std::lround(e.height))};
}

void TMapRenderer::RecomputeEyeLine(TMapPoint c) {
    const double angle = Options().View3DAngle();
    auto [ax, ay] = rotateNeg(-1e9, -1e9, angle);
    auto [bx, by] = rotateNeg(-1e9, 1e9, angle);
    m_eye[0] = c.X + ax, m_eye[1] = c.Y + ay, m_eye[2] = c.X + bx, m_eye[3] = c.Y + by;
}

bool TMapRenderer::PassesFilter(const TQEVMapObjectMem& o) const {
    if (!*m_src.filter) return true;
    if (!m_src.visibleClasses->contains(o.ClassCode)) return false;
    bool visible = true;
    if (m_events.OnFilteredObject) m_events.OnFilteredObject(o, visible);
    return visible;
}

bool TMapRenderer::IsObjectVisible(const TQevMapList& list, int index) const {
    if (index < 0 || index >= list.count()) return false;
    const auto& c = list[index].Corners;
    if ((regionCode(c[0], m_clip) & regionCode(c[2], m_clip)) == 0) return true;
    return (regionCode(c[1], m_clip) & regionCode(c[3], m_clip)) == 0;
}

void TMapRenderer::CollectVisible(const TMapRect& r, bool clearFirst) {
    if (m_collectBusy) return;
    BusyGuard busy(m_collectBusy);
    if (clearFirst) {
        for (auto& b : m_planes) b.clear();
        for (auto& b : m_planes3D) b.clear();
    }
    m_clip = r;
    const TQevMapList& list = Document().objects;
    if (list.empty()) return;
    const double sf = ScaleFactor();
    const double objectView = Options().ObjectView();
    const bool threeD = In3DView();
    const double lineMin = Options().mpLineWidthMin();
    const bool notesShown = Scale() >= Options().MinScaleIcon();
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

bool TMapRenderer::Extruded(const TQEVMapObjectMem& o) const {
    if (o.Kind != cPolygon || !In3DView()) return false;
    float height = o.Height;
    if (m_events.OnHeightObject) m_events.OnHeightObject(o, height);
    return height > 0.000001f;
}

double TMapRenderer::EyeDistance(const TQEVMapObjectMem& o) const {
    if (o.Kind != cPolygon) return 0;
    const double ex = m_eye[0], ey = m_eye[1], dx = m_eye[2] - ex, dy = m_eye[3] - ey;
    const double len = std::hypot(dx, dy);
    double key = 0;
    for (const TMapPoint& p : o.points())
        key = std::max(key, std::round(std::fabs(dx * (p.Y - ey) - dy * (p.X - ex)) / len));
    return key;
}

TMapRect TMapRenderer::CollectionRect(TMapRect q) const {
    if (!In3DView()) return q;
    // Extruded objects lean up to 200 pixels towards the eye: collect from that far out.
    auto [ox, oy] = rotateNeg(20000.0 / Scale(), 0, Options().View3DAngle());
    if (oy >= 0) q.MinY -= static_cast<float>(oy);
    else q.MaxY += static_cast<float>(-oy);
    if (ox >= 0) q.MinX -= static_cast<float>(ox);
    else q.MaxX += static_cast<float>(-ox);
    return q;
}

void TMapRenderer::FillBackground(TRect rect) {
    TCanvasBrush brush{m_settings.BackgroundColor, bsSolid, nullptr};
    if (Options().Texture() && !m_settings.Grass.empty()) brush.Bitmap = &m_settings.Grass;
    m_draw->FillRect(rect, brush);
}

TMapRenderer::BlinkStyle TMapRenderer::BlinkStyleOf(const TQEVMapObjectMem& obj) const {
    BlinkStyle style{obj.Pen, obj.Brush};
    if (m_blinkPhase) {
        auto complement = [](int32_t c) { return rgbColor(255 - redOf(c), 255 - greenOf(c), 255 - blueOf(c)); };
        style.pen.Color = complement(style.pen.Color);
        style.brush.Color = complement(style.brush.Color);
        if (m_events.OnBlinkObject) m_events.OnBlinkObject(obj, style.pen, style.brush);
    }
    return style;
}

void TMapRenderer::DrawBlinking(const TQEVMapObjectMem& obj, int pass) {
    const BlinkStyle style = BlinkStyleOf(obj);
    const BlinkStyle* outer = m_blink;
    m_blink = &style;
    DrawObject(obj, pass);
    m_blink = outer;
}

void TMapRenderer::DrawCandidate(const TQEVMapObjectMem& obj, int index, int pass) {
    if (!m_settings.BlinkList.empty() && std::find(m_settings.BlinkList.begin(), m_settings.BlinkList.end(), index) != m_settings.BlinkList.end())
        DrawBlinking(obj, pass);
    else
        DrawObject(obj, pass);
}

void TMapRenderer::DrawPlanes() {
    const TQevMapList& list = Document().objects;
    const bool threeD = Scale() >= Options().MinScale3D();
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

void TMapRenderer::RebuildBuffer() {
    if (!drawingEnabled() || m_rebuildBusy) return;
    if (!m_settings.NeedsFullRedraw && m_backBuffer.width() == Width() && m_backBuffer.height() == Height()) return;
    BusyGuard busy(m_rebuildBusy);
    Sync();
    if (Width() <= 0 || Height() <= 0) {
        m_backBuffer.resize(0, 0); // nothing to show: skip the collection as well
        m_settings.NeedsFullRedraw = false;
        return;
    }
    const double k = 100.0 / Scale();
    const TMapRect v{XWind(), YWind(), static_cast<float>(XWind() + Width() * k),
                     static_cast<float>(YWind() + Height() * k)};
    const TMapRect q = CollectionRect(v);
    m_backBuffer.resize(Width(), Height());
    m_draw->SetCanvas(&m_backBuffer);
    FillBackground({0, 0, Width(), Height()});
    if (m_events.OnBeforeRisovan) m_events.OnBeforeRisovan(*m_draw);
    CollectVisible(widened(q, static_cast<float>(500.0 / Scale())), true);
    m_clip = widened(q, 3);
    if (m_events.OnPaintBackground) m_events.OnPaintBackground(*m_draw, v.MinX, v.MinY, v.MaxX, v.MaxY);
    DrawPlanes();
    if (m_events.OnAfterRisovan) m_events.OnAfterRisovan(*m_draw);
    m_draw->SetCanvas(nullptr);
    m_settings.NeedsFullRedraw = false;
}

void TMapRenderer::RedrawRects(std::span<const TRect> rects) {
    if (!drawingEnabled() || m_rebuildBusy) return;
    BusyGuard busy(m_rebuildBusy);
    Sync();
    m_backBuffer.resize(Width(), Height());
    m_draw->SetCanvas(&m_backBuffer);
    const double k = 100.0 / Scale();
    const TMapRect v{XWind(), YWind(), static_cast<float>(XWind() + Width() * k),
                     static_cast<float>(YWind() + Height() * k)};
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
        if (m_events.OnBeforeRisovan) m_events.OnBeforeRisovan(*m_draw);
        CollectVisible(widened(w, static_cast<float>(marginPx * k)), true);
        m_clip = widened(w, static_cast<float>(marginPx));
        if (m_events.OnPaintBackground) m_events.OnPaintBackground(*m_draw, v.MinX, v.MinY, v.MaxX, v.MaxY);
        DrawPlanes();
        m_draw->SetClipRect(std::nullopt);
    }
    if (m_events.OnAfterRisovan) m_events.OnAfterRisovan(*m_draw);
    m_draw->SetCanvas(nullptr);
    m_settings.NeedsFullRedraw = false;
}

void TMapRenderer::ScrollBuffer(int sx, int sy) {
    Sync();
    const int width = Width(), height = Height();
    m_backBuffer.resize(width, height);
    m_backBuffer.shift(-sx, -sy);
    std::vector<TRect> strips;
    if (sx > 0) strips.push_back({width - sx, 0, width, height});
    if (sx < 0) strips.push_back({0, 0, -sx, height});
    if (sy > 0) strips.push_back({0, height - sy, width, height});
    if (sy < 0) strips.push_back({0, 0, width, -sy});
    RedrawRects(strips);
}

TRect TMapRenderer::ObjectScreenRect(const TQEVMapObjectMem& obj) {
    Sync();
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
        const TImage& icon = obj.note() ? m_client.NotePicture(*obj.note(), &obj.Pen) : m_client.MissingPicture();
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
            if (m_events.OnHeightObject) m_events.OnHeightObject(obj, h);
            if (h > 0) {
                auto [ox, oy] = rotateNeg((h + 1), 0, Options().View3DAngle());
                r = {std::min(r.MinX, r.MinX + float(ox)), std::min(r.MinY, r.MinY + float(oy)),
                     std::max(r.MaxX, r.MaxX + float(ox)), std::max(r.MaxY, r.MaxY + float(oy))};
            }
        }
        if (obj.Kind == cLine && (obj.Pen.Flags & kPenSquareEnds)) r = widened(r, obj.Pen.Width);
        s = screenBox(r);
    }
    const int m = Options().SizeRect() + 8;
    s = {s.Left - m, s.Top - m, s.Right + m, s.Bottom + m};
    if (obj.HasAddress == 1) {
        const int cx = (s.Left + s.Right) / 2, cy = (s.Top + s.Bottom) / 2;
        if (s.width() < m_largestLabel.X) s.Left = cx - m_largestLabel.X / 2, s.Right = cx + (m_largestLabel.X + 1) / 2;
        if (s.height() < m_largestLabel.Y) s.Top = cy - m_largestLabel.Y / 2, s.Bottom = cy + (m_largestLabel.Y + 1) / 2;
    }
    return {std::max(s.Left, 0), std::max(s.Top, 0), std::min(s.Right, Width()), std::min(s.Bottom, Height())};
}

const TImage& TMapRenderer::PreparePaint() {
    if (m_paintBusy) return m_backBuffer;
    BusyGuard busy(m_paintBusy);
    const int oldW = m_backBuffer.width(), oldH = m_backBuffer.height();
    if (m_settings.NeedsFullRedraw) {
        RebuildBuffer();
    } else if (oldW != Width() || oldH != Height()) {
        // Only what the resize uncovered is drawn; the rest of the picture stays.
        std::vector<TRect> strips;
        if (Width() > oldW) strips.push_back({oldW, 0, Width(), Height()});
        if (Height() > oldH) strips.push_back({0, oldH, std::min(oldW, Width()), Height()});
        m_backBuffer.resize(Width(), Height());
        if (strips.empty()) m_backBuffer.resize(Width(), Height());
        RedrawRects(strips);
    }
    if (m_events.OnBeforePaint) {
        m_paintCopy = m_backBuffer;
        m_events.OnBeforePaint(m_paintCopy);
        return m_paintCopy;
    }
    return m_backBuffer;
}

void TMapRenderer::PaintGuideLines(TDrawObject& window) {
    const TDrawStateScope keep(window, dsPen | dsBrush | dsText);
    window.Pen = {m_settings.GuideColor, 1, psDot, false, false, pmCopy};
    window.Brush = {0, bsClear, nullptr};
    window.TextFace = Options().FontSystem();
    window.TextHeight = 7 * window.ScreenDpi / 72;
    window.TextColor = m_settings.GuideColor;
    window.TextBold = false;
    const double k = 100.0 / Scale();
    auto label = [&](double v) {
        // Thousands grouped, two decimals, as a Russian reader writes numbers.
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f", std::fabs(v));
        const std::string digits(buf);
        const std::size_t intLen = digits.find('.');
        if (intLen == std::string::npos) return digits; // "inf" or "nan" of a view set from outside
        std::string s = v < 0 ? "-" : "";
        for (std::size_t i = 0; i < intLen; ++i) {
            if (i > 0 && (intLen - i) % 3 == 0) s += ' ';
            s += digits[i];
        }
        s += ',';
        s += digits.substr(intLen + 1);
        return s;
    };
    if (m_settings.GuideStepX > 0)
        for (int kx = 0; kx <= Width() / m_settings.GuideStepX; ++kx) {
            const int x = kx * m_settings.GuideStepX;
            const TPoint line[2] = {{x, 0}, {x, Height()}};
            window.DrawPolyline(line);
            if (m_settings.GuideStepX > 20) window.DrawText(x + 2, 1, false, label(XWind() + x * k), 0);
        }
    if (m_settings.GuideStepY > 0)
        for (int ky = 1; ky <= Height() / m_settings.GuideStepY; ++ky) {
            const int y = ky * m_settings.GuideStepY;
            const TPoint line[2] = {{0, y}, {Width(), y}};
            window.DrawPolyline(line);
            if (m_settings.GuideStepY > 20) window.DrawText(2, y + 2, false, label(YWind() + y * k), 0);
        }
}

} // namespace kestrum
