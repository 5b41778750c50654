// The component's side of drawing: suspending it across linked components, moving the view with
// the back buffer reused, the overlays of the tools on the window, and the blink timer. The
// drawing itself is the renderer's.

#include "component/korvane.h"

#include "render/draw_state.h"

#include <cmath>

namespace kestrum {

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
    m_renderer.ScrollBuffer(sx, sy);
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

void TKorvane::PaintOverlays(TDrawObject& window) {
    SyncView();
    // The window's back end outlives the paint: what the tools set on it goes back afterwards.
    const TDrawStateScope keep(window, dsPen | dsBrush);
    m_mouse.PaintPanMark(window);
    if (Options.mpGuideLines()) m_renderer.PaintGuideLines(window);
    m_mouse.PaintToolOverlay(window, m_renderer.View());
}

void TKorvane::BlinkTimerTick() {
    m_renderer.ToggleBlinkPhase();
    if (BlinkList.empty()) return;
    if (m_list->objects.empty()) {
        BlinkList.clear();
        return;
    }
    NeedsFullRedraw = true;
    Invalidate();
}

} // namespace kestrum
