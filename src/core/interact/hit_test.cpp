// Finding the objects under a map point, and the address at a point as the viewer asks for it.

#include "interact/hit_test.h"

#include "model/polygon_rings.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrum {

namespace {

bool nearSegment(TMapPoint a, TMapPoint b, TMapPoint p, double t) {
    const double half = t > 0 ? t / 2 : 0.5;
    if (p.X < std::min(a.X, b.X) - half || p.X > std::max(a.X, b.X) + half || p.Y < std::min(a.Y, b.Y) - half ||
        p.Y > std::max(a.Y, b.Y) + half)
        return false;
    double len = std::hypot(double(b.X) - a.X, double(b.Y) - a.Y);
    if (len == 0) len = 0.001;
    // Twice the triangle's area over its base, rounded to a whole unit.
    const double area2 = std::fabs((double(b.X) - a.X) * (double(p.Y) - a.Y) - (double(b.Y) - a.Y) * (double(p.X) - a.X));
    return std::nearbyint(area2 / len) <= t / 2;
}

bool nearPolyline(std::span<const TMapPoint> pts, TMapPoint p, double t) {
    for (std::size_t i = 0; i + 1 < pts.size(); ++i)
        if (nearSegment(pts[i], pts[i + 1], p, t)) return true;
    return false;
}

// Cubic Bezier chains as polylines, sixteen steps a segment.
std::vector<TMapPoint> flatten(std::span<const TMapPoint> pts) {
    std::vector<TMapPoint> out;
    if (pts.empty()) return out;
    out.push_back(pts[0]);
    for (std::size_t i = 0; i + 3 < pts.size(); i += 3) {
        const TMapPoint a = pts[i], b = pts[i + 1], c = pts[i + 2], d = pts[i + 3];
        for (int k = 1; k <= 16; ++k) {
            const double t = k / 16.0, u = 1 - t;
            const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
            out.push_back({static_cast<float>(w0 * a.X + w1 * b.X + w2 * c.X + w3 * d.X),
                           static_cast<float>(w0 * a.Y + w1 * b.Y + w2 * c.Y + w3 * d.Y)});
        }
    }
    return out;
}

} // namespace

THitTester::View THitTester::CurrentView() const {
    return {m_scene.PickSet(), m_scene.HitOptions(), m_scene.HitScale(), m_scene.HitIn3D()};
}

bool THitTester::HitObject(const TQEVMapObjectMem& o, TMapPoint p) const { return Hit(o, p, CurrentView()); }

bool THitTester::Hit(const TQEVMapObjectMem& o, TMapPoint p, const View& view) const {
    if (!view.pick.contains(o.ClassCode)) return false;
    float minX = std::min({o.Corners[0].X, o.Corners[1].X, o.Corners[2].X, o.Corners[3].X});
    float maxX = std::max({o.Corners[0].X, o.Corners[1].X, o.Corners[2].X, o.Corners[3].X});
    float minY = std::min({o.Corners[0].Y, o.Corners[1].Y, o.Corners[2].Y, o.Corners[3].Y});
    float maxY = std::max({o.Corners[0].Y, o.Corners[1].Y, o.Corners[2].Y, o.Corners[3].Y});
    if (minX == maxX) minX -= 1, maxX += 1;
    if (minY == maxY) minY -= 1, maxY += 1;
    const bool threeD = view.threeD;
    const float height = threeD ? m_scene.DrawnHeight(o) : o.Height;
    const tQevMapOptions& options = view.options;
    const double scale = view.scale;
    const double tolerance = options.ZoneFindLine() * 100.0 / scale + o.Pen.Width;
    if (o.Kind != cText && o.Kind != cZametka) {
        // A line is hit within the slack either side of it: the box of a level or upright one
        // is a unit high or wide, and zoomed out that is less than a pixel.
        const bool line = o.Kind == cLine || o.Kind == cBezier;
        const double g = std::fabs(height) + (line ? tolerance / 2 : 0);
        if (p.X < minX - g || p.X > maxX + g || p.Y < minY - g || p.Y > maxY + g) return false;
    }
    switch (o.Kind) {
    case cPolygon: {
        // An area with holes is hit on its ground, not in a hole, and never along a connector.
        const auto pts = o.points();
        if (pts.size() >= 3 && insideArea(pts, p.X, p.Y)) return true;
        if (threeD && height > 0 && pts.size() >= 3) {
            // Also the roof and the walls of the extruded building, those round its courtyards too.
            const double t = options.View3DAngle() * std::numbers::pi / 180.0;
            const double ox = height * std::cos(t), oy = -height * std::sin(t);
            if (insideArea(pts, p.X - ox, p.Y - oy)) return true;
            for (const auto ring : PolygonRings(pts)) {
                for (std::size_t i = 0; i < ring.size(); ++i) {
                    const TMapPoint a = ring[i], b = ring[(i + 1) % ring.size()];
                    const TMapPoint wall[4] = {a, b, {float(b.X + ox), float(b.Y + oy)}, {float(a.X + ox), float(a.Y + oy)}};
                    if (evenOdd(wall, p.X, p.Y)) return true;
                }
            }
        }
        return false;
    }
    case cLine:
        return nearPolyline(o.points(), p, tolerance);
    case cBezier:
        return nearPolyline(flatten(o.points()), p, tolerance);
    case cBezierFill: {
        const auto outline = flatten(o.points());
        return evenOdd(outline, p.X, p.Y);
    }
    case cText:
        return evenOdd(o.Corners, p.X, p.Y);
    case cBitmap:
        if (const TQEVMapBitmap* b = o.bitmap()) return evenOdd(b->Corners, p.X, p.Y);
        return false;
    case cEllipse: {
        const auto k = o.points();
        if (k.size() < 4) return false;
        const double cx = (k[0].X + k[2].X) / 2.0, cy = (k[0].Y + k[2].Y) / 2.0;
        const double ux = (k[1].X - k[0].X) / 2.0, uy = (k[1].Y - k[0].Y) / 2.0;
        const double vx = (k[3].X - k[0].X) / 2.0, vy = (k[3].Y - k[0].Y) / 2.0;
        std::vector<TMapPoint> ring;
        for (double t = 0; t < 2 * std::numbers::pi; t += 0.05)
            ring.push_back({static_cast<float>(cx + ux * std::cos(t) + vx * std::sin(t)),
                            static_cast<float>(cy + uy * std::cos(t) + vy * std::sin(t))});
        return evenOdd(ring, p.X, p.Y);
    }
    case cZametka: {
        // The icon's rectangle, of the picture drawn for it, in world units at the current scale.
        const TImage& icon = m_scene.NotePicture(o);
        const double k = 100.0 / scale;
        return std::fabs(p.X - o.Corners[0].X) <= icon.width() / 2.0 * k &&
               std::fabs(p.Y - o.Corners[0].Y) <= icon.height() / 2.0 * k;
    }
    case cGroup:
        if (const TQevMapList* kids = o.children())
            for (const TQEVMapObjectMem& kid : *kids)
                if (Hit(kid, p, view)) return true;
        return false;
    case cPixel:
        return true;
    default:
        return false;
    }
}

std::vector<int> THitTester::HitTest(TMapPoint p) const {
    std::vector<int> hits;
    const TQevMapList& list = m_scene.HitDocument().objects;
    const View view = CurrentView();
    const bool notesShown = view.scale >= view.options.MinScaleIcon();
    for (int i = 0; i < list.count(); ++i) {
        const TQEVMapObjectMem& o = list[i];
        if (o.Kind == cZametka && !notesShown) continue;
        if (!Hit(o, p, view)) continue;
        if (!m_scene.PassesHitFilter(o)) continue;
        hits.push_back(i);
    }
    // In drawing order, so that the last hit is the object drawn on top: by plane, then list
    // order (the hits came in it); in the 3D view extruded buildings after the flat objects of
    // their plane, the farthest from the eye first.
    struct Order {
        int plane;
        bool extruded;
        double depth;
    };
    std::vector<std::pair<int, Order>> keyed;
    keyed.reserve(hits.size());
    for (const int i : hits) {
        const TQEVMapObjectMem& o = list[i];
        // As the drawing tells an extruded building: the 3D view, and a height above zero.
        const bool extruded = o.Kind == cPolygon && view.threeD && m_scene.DrawnHeight(o) > 0.000001f;
        keyed.push_back({i, {std::clamp(o.Ploskost, -64, 64), extruded, extruded ? m_scene.DrawnEyeDistance(o) : 0}});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.second.plane != b.second.plane) return a.second.plane < b.second.plane;
        if (a.second.extruded != b.second.extruded) return b.second.extruded;
        return a.second.depth > b.second.depth;
    });
    for (std::size_t k = 0; k < hits.size(); ++k) hits[k] = keyed[k].first;
    return hits;
}

THitTester::AddressHit THitTester::AddressAt(std::span<const int> hits) const {
    AddressHit result;
    const MapDocument& doc = m_scene.HitDocument();
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
        if (*it < 0 || *it >= doc.objects.count()) continue;
        result.walkedTo = *it;
        const TQEVMapObjectMem& o = doc.objects[*it];
        TFoundAddress& found = result.found;
        bool contributed = false;
        if (o.HasAddress == 1) {
            found.adres = doc.DecodeAddress(o);
            found.hasAddress = true;
            contributed = true;
        }
        if (const TQEVMapZametka* z = o.Kind == cZametka ? o.note() : nullptr; z && !z->Text.empty()) {
            found.noteText = z->Text;
            contributed = true;
        }
        if (contributed) {
            found.found = true;
            break;
        }
    }
    return result;
}

} // namespace kestrum
