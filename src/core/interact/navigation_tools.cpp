#include "interact/navigation_tools.h"

#include <algorithm>
#include <cmath>

namespace kestrum {

void TLensTool::Press(const TToolEvent& e) {
    if (e.button == mbLeft) {
        m_active = m_frameShown = true;
        m_a = m_b = e.pressWorld;
        m_site.Repaint();
        return;
    }
    const tQevMapOptions& o = m_site.MouseOptions();
    const double scale = m_site.ViewScale();
    const double s = o.mpLinzaDouble() ? scale / 2 : scale * o.StepLinza() / 100;
    if (scale - s > 0) m_site.ZoomAbout(e.world, scale - s);
}

void TLensTool::Drag(const TToolEvent& e) {
    if (!m_active) return;
    m_b = e.world;
    m_site.Repaint();
}

bool TLensTool::Release(const TToolEvent& e, bool /*current*/) {
    if (!m_active) return false;
    m_active = false;
    if (std::fabs(m_a.X - m_b.X) >= 3 && std::fabs(m_a.Y - m_b.Y) >= 3) {
        m_site.ZoomToFrame(m_a, m_b);
        return false;
    }
    const tQevMapOptions& o = m_site.MouseOptions();
    const double scale = m_site.ViewScale();
    const double s = o.mpLinzaDouble() ? scale : scale * o.StepLinza() / 100;
    m_site.ZoomAbout(e.world, std::min(scale + s, 100000.0));
    return false;
}

void TLensTool::PaintOverlay(TDrawObject& window, const ViewTransform& view) const {
    if (!m_active || !m_frameShown) return;
    const TPoint a = view.toScreen(m_a), b = view.toScreen(m_b);
    window.Pen = {0xFFFFFF, m_site.MouseOptions().WidthRectLinza(), psDot, false, false, pmXor};
    window.Brush = {0, bsClear, nullptr};
    const TPoint frame[5] = {a, {b.X, a.Y}, b, {a.X, b.Y}, a};
    window.DrawPolyline(frame);
    window.Pen.Mode = pmCopy;
}

void TDragMapTool::Press(const TToolEvent& /*e*/) {
    m_centre = m_site.ViewCentre();
    m_panning = true;
}

void TDragMapTool::Drag(const TToolEvent& e) {
    if (!m_panning || m_busy) return;
    m_busy = true;
    const double k = 100.0 / m_site.ViewScale();
    const float dx = static_cast<float>((e.client.X - e.pressClient.X) * k),
                dy = static_cast<float>((e.client.Y - e.pressClient.Y) * k);
    const TMapPoint target{m_centre.X - dx, m_centre.Y - dy};
    const TMapRect e2 = m_site.WorldExtent();
    const bool outside = target.X < e2.MinX || target.X > e2.MaxX || target.Y < e2.MinY || target.Y > e2.MaxY;
    if (!(m_site.MouseOptions().LockScrollOutMap() && outside)) m_site.ZoomAbout(target, m_site.ViewScale());
    m_busy = false;
}

bool TDragMapTool::Release(const TToolEvent& e, bool current) {
    // Dragging scrolls the picture it has; in the 3D view the buildings lean from the new
    // centre, so the map is drawn anew when the drag ends.
    const bool redraw = current && m_site.ThreeDView();
    if (!e.autoScrolling) m_panning = false;
    return redraw;
}

} // namespace kestrum
