#include "interact/mouse.h"

#include <algorithm>
#include <cmath>

namespace kestrum {

namespace {
constexpr int kZoneCursor[8] = {crZoneLeft, crZoneUp, crZoneRight, crZoneDown, crZoneLeftUp, crZoneRightUp,
                                crZoneRightDown, crZoneLeftDown};
} // namespace

TMouseController::TMouseController(TMouseSite& site)
    : m_site(site), m_lens(site), m_dragMap(site), m_pick(site), m_plain(site),
      m_tools{&m_lens, &m_dragMap, &m_pick, &m_plain} {}

// The one place that tells which tool serves an instrument.
TTool& TMouseController::ToolFor(TInstrument instrument) {
    switch (instrument) {
    case iLinza:
        return m_lens;
    case iDragMap:
        return m_dragMap;
    case iPick:
        return m_pick;
    default:
        return m_plain;
    }
}

const TTool& TMouseController::ToolFor(TInstrument instrument) const {
    return const_cast<TMouseController*>(this)->ToolFor(instrument);
}

TToolEvent TMouseController::Event(TMouseButton button) const {
    return {button, m_client, m_world, m_pressClient, m_pressWorld, m_autoScrollActive};
}

void TMouseController::SetCursor(int cursor) {
    bool active = false;
    int wanted = cursor;
    m_site.CursorChangeEvent(wanted, active);
    if (active && wanted == m_cursor) return;
    m_cursor = active ? wanted : cursor;
    m_site.ShowCursor(m_cursor);
}

void TMouseController::RestingCursor() {
    if (m_middle) return;
    SetCursor(CurrentTool().RestingCursor());
}

void TMouseController::InstrumentChanged() {
    SetCursor(CurrentTool().ChosenCursor());
    for (TTool* tool : m_tools) tool->InstrumentChanged();
}

bool TMouseController::InWorkArea(int x, int y) const {
    const tQevMapOptions& o = m_site.MouseOptions();
    return x >= o.BorderLeft() && y >= o.BorderTop() && x <= m_site.ClientWidth() - o.BorderRight() &&
           y <= m_site.ClientHeight() - o.BorderBottom();
}

int TMouseController::ScrollZoneAt(int x, int y) const {
    const tQevMapOptions& o = m_site.MouseOptions();
    const int z = o.ZoneScroll();
    if (z <= 0 || o.mpNoScroll()) return -1;
    const int w = m_site.ClientWidth(), h = m_site.ClientHeight();
    const int bl = o.BorderLeft(), br = o.BorderRight(), bt = o.BorderTop(), bb = o.BorderBottom();
    auto in = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
    const bool left = in(x, 0, z + bl), right = in(x, w - z - br, w);
    const bool top = in(y, 0, z + bt), bottom = in(y, h - z - bb, h);
    const bool midY = in(y, h / 3, h - h / 3), midX = in(x, w / 3, w - w / 3);
    if (left && midY) return sdLeft;
    if (right && midY) return sdRight;
    if (midX && top) return sdUp;
    if (midX && bottom) return sdDown;
    if ((left && in(y, 0, h / 3)) || (in(x, 0, w / 3) && top)) return sdLeftUp;
    if ((right && in(y, 0, h / 3)) || (in(x, w - w / 3, w) && top)) return sdRightUp;
    if ((right && in(y, h - h / 3, h)) || (in(x, w - w / 3, w) && bottom)) return sdRightDown;
    if ((left && in(y, h - h / 3, h)) || (in(x, 0, w / 3) && bottom)) return sdLeftDown;
    return -1;
}

void TMouseController::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    m_site.MouseDownEvent(button, shift, x, y);
    if (m_swallowPress) {
        m_swallowPress = false;
        return;
    }
    m_site.TakeFocus();
    m_pressed = true;
    m_client = {x, y};
    if (!InWorkArea(x, y)) {
        SetCursor(crDefault);
        return;
    }
    m_world = m_pressWorld = m_site.ClientToWorld(x, y);
    m_pressClient = {x, y};
    m_button = button;
    if (button == mbMiddle) {
        m_middle = true;
        m_middlePoint = {x, y};
        MiddlePanStep();
        m_site.StartRepeat(TRepeat::MiddlePan, std::max(m_site.MouseOptions().DelayScroll(), 1));
        return;
    }
    if (m_autoScrollRunning) return; // a press inside a running auto-scroll is handled by it
    m_zone = ScrollZoneAt(x, y);
    if (m_zone >= 0) {
        m_autoScrollRunning = true;
        m_autoScrollActive = true;
        m_autoScrolled = false;
        m_site.BeforeScrollEvent();
        AutoScrollStep();
        m_site.StartRepeat(TRepeat::AutoScroll, std::max(m_site.MouseOptions().DelayScroll(), 1));
        m_pressed = false;
        return;
    }
    CurrentTool().Press(Event(button));
}

void TMouseController::MouseMove(TShiftState shift, int x, int y) {
    m_site.MouseMoveEvent(shift, x, y);
    m_client = {x, y};
    if (!InWorkArea(x, y)) {
        SetCursor(crDefault);
        return;
    }
    m_world = m_site.ClientToWorld(x, y);
    const int zone = ScrollZoneAt(x, y);
    m_zone = zone;
    if (zone >= 0)
        SetCursor(kZoneCursor[zone]);
    else
        RestingCursor();
    if (zone >= 0 && !m_autoScrollRunning) return;
    TTool& tool = CurrentTool();
    if (tool.Follows(m_button)) tool.Drag(Event(m_button));
}

void TMouseController::EndMiddlePan() {
    m_middle = false;
    m_site.StopRepeat(TRepeat::MiddlePan);
}

void TMouseController::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    m_site.MouseUpEvent(button, shift, x, y);
    bool repaint = false;
    m_client = {x, y};
    if (InWorkArea(x, y)) {
        m_world = m_site.ClientToWorld(x, y);
        m_button = button;
        m_pressed = false;
        const TToolEvent e = Event(button);
        bool redraw = false;
        for (TTool* tool : m_tools)
            if (tool->Release(e, tool == &CurrentTool())) redraw = true;
        if (m_middle) {
            EndMiddlePan();
            SetCursor(CurrentTool().ChosenCursor());
            repaint = true;
        }
        if (redraw) {
            m_site.RedrawAll();
            repaint = true;
        }
    } else {
        SetCursor(crDefault);
        if (m_middle) EndMiddlePan();
        for (TTool* tool : m_tools) tool->Abandon();
    }
    if (repaint) m_site.Repaint();
    if (m_autoScrollRunning) {
        m_site.StopRepeat(TRepeat::AutoScroll);
        m_autoScrollRunning = false;
        if (m_autoScrolled) {
            m_pressed = false;
            m_site.AfterScrollEvent();
        }
    }
    m_autoScrollActive = false;
}

void TMouseController::DblClick() {
    if (CurrentTool().IgnoresDoubleClick()) return;
    if (m_site.MouseOptions().CancelAction() == qevRightButton) m_swallowPress = true;
}

void TMouseController::MouseLeave() {
    m_pressed = false;
    m_site.MouseLeaveEvent();
}

void TMouseController::RepeatTick(TRepeat kind) {
    if (kind == TRepeat::AutoScroll) {
        if (m_autoScrollActive) AutoScrollStep();
    } else if (m_middle) {
        MiddlePanStep();
    }
}

void TMouseController::AutoScrollStep() {
    // The zone is tested again at the last pointer position: moving changes the direction,
    // leaving the zones pauses without ending the scroll.
    m_zone = ScrollZoneAt(m_client.X, m_client.Y);
    if (m_zone >= 0) {
        const int step = m_site.MouseOptions().StepScroll();
        m_site.Scroll(static_cast<TScrollDirection>(m_zone), step, step);
        m_autoScrolled = true;
    }
    if (m_autoScrolled) m_site.Repaint();
}

void TMouseController::MiddlePanStep() {
    const int px = m_middlePoint.X, py = m_middlePoint.Y, qx = m_client.X, qy = m_client.Y;
    const int d = static_cast<int>(
        std::max(std::nearbyint(std::abs(qy - py) * 2.0 / 3), std::nearbyint(std::abs(qx - px) * 2.0 / 3)));
    const int dx = qx - px, dy = qy - py;
    const int diag = static_cast<int>(std::nearbyint(std::sqrt(double(dx) * dx + double(dy) * dy)));
    int cursor = crDefault;
    if (qx > px + d && qy < py - d) {
        cursor = crScrollRightUp;
        m_site.Scroll(sdRightUp, diag, diag);
    } else if (qx < px - d && qy < py - d) {
        cursor = crScrollLeftUp;
        m_site.Scroll(sdLeftUp, diag, diag);
    } else if (qx < px - d && qy > py + d) {
        cursor = crScrollLeftDown;
        m_site.Scroll(sdLeftDown, diag, diag);
    } else if (qx > px + d && qy > py + d) {
        cursor = crScrollRightDown;
        m_site.Scroll(sdRightDown, diag, diag);
    } else if (qx > px && std::abs(dy) < d) {
        cursor = crScrollRight;
        m_site.Scroll(sdRight, std::abs(dx), 0);
    } else if (qx < px && std::abs(dy) < d) {
        cursor = crScrollLeft;
        m_site.Scroll(sdLeft, std::abs(dx), 0);
    } else if (qy < py) {
        cursor = crScrollUp;
        m_site.Scroll(sdUp, 0, std::abs(dy));
    } else if (qy > py) {
        cursor = crScrollDown;
        m_site.Scroll(sdDown, 0, std::abs(dy));
    }
    if (cursor != crDefault) SetCursor(cursor);
    m_site.Repaint();
    m_site.MarkForRedraw();
    m_site.AfterScrollEvent();
}

void TMouseController::PaintPanMark(TDrawObject& window) const {
    if (!m_middle) return;
    // Where the middle button went down: panning speed grows with the distance from here.
    window.Pen = {0, 1, psSolid, false, false, pmCopy};
    window.Brush = {0xFFFFFF, bsSolid, nullptr};
    const TPoint c = m_middlePoint;
    window.DrawEllipse(c.X - 8, c.Y - 8, c.X + 8, c.Y + 8);
    window.DrawEllipse(c.X - 1, c.Y - 1, c.X + 1, c.Y + 1);
}

void TMouseController::PaintToolOverlay(TDrawObject& window, const ViewTransform& view) const {
    ToolFor(m_site.CurrentInstrument()).PaintOverlay(window, view);
}

} // namespace kestrum
