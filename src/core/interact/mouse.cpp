// Mouse handling of the map component for the navigation tools: the work area, scroll zones
// with auto-scroll, middle-button panning, the lens and map dragging. The nested message loops
// of a classic desktop toolkit become repeating steps that the host ticks while a button is held.

#include "component/korvane.h"

#include <algorithm>
#include <cmath>

namespace kestrum {

void TKorvane::SetCursor(int cursor) {
    bool active = false;
    int wanted = cursor;
    if (OnCursorChange) OnCursorChange(wanted, active);
    if (active && wanted == m_cursor) return;
    m_cursor = active ? wanted : cursor;
    if (m_host) m_host->SetCursor(m_cursor);
}

void TKorvane::RestingCursor() {
    if (m_middle) return;
    SetCursor(m_instrument == iLinza ? crLinza : m_instrument == iDragMap ? crHand : crDefault);
}

void TKorvane::Instrument(TInstrument tool) {
    m_instrument = tool;
    SetCursor(tool == iLinza ? crLinza : crDefault);
    // The frame goes; a lens drag under way still zooms when the button comes up (Ctrl let go
    // before the mouse must not lose the zoom).
    m_lensFrame = false;
    if (Options.ShowPointsObject()) {
        NeedsFullRedraw = true;
        Invalidate();
    }
    if (m_host) m_host->Repaint();
    if (OnChangeInstrument) OnChangeInstrument(*this);
}

bool TKorvane::InWorkArea(int x, int y) const {
    return x >= Options.BorderLeft() && y >= Options.BorderTop() && x <= m_width - Options.BorderRight() &&
           y <= m_height - Options.BorderBottom();
}

int TKorvane::ScrollZoneAt(int x, int y) const {
    const int z = Options.ZoneScroll();
    if (z <= 0 || Options.mpNoScroll()) return -1;
    const int w = m_width, h = m_height;
    const int bl = Options.BorderLeft(), br = Options.BorderRight(), bt = Options.BorderTop(),
              bb = Options.BorderBottom();
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

namespace {
constexpr int kZoneCursor[8] = {crZoneLeft, crZoneUp, crZoneRight, crZoneDown, crZoneLeftUp, crZoneRightUp,
                                crZoneRightDown, crZoneLeftDown};
} // namespace

void TKorvane::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
    if (m_swallowPress) {
        m_swallowPress = false;
        return;
    }
    if (m_host) m_host->TakeFocus();
    m_pressed = true;
    m_mouseClient = {x, y};
    if (!InWorkArea(x, y)) {
        SetCursor(crDefault);
        return;
    }
    float wx = float(x), wy = float(y);
    SyncView();
    m_view.ScreenToMap(wx, wy);
    m_mouseWorld = m_pressWorld = {wx, wy};
    m_pressClient = {x, y};
    m_button = button;
    if (button == mbMiddle) {
        m_middle = true;
        m_middlePoint = {x, y};
        MiddlePanStep();
        if (m_host) m_host->StartRepeat(TRepeat::MiddlePan, std::max(Options.DelayScroll(), 1));
        return;
    }
    if (m_autoScrollRunning) return; // a press inside a running auto-scroll is handled by it
    m_zone = ScrollZoneAt(x, y);
    if (m_zone >= 0) {
        m_autoScrollRunning = true;
        m_autoScrollActive = true;
        m_autoScrolled = false;
        if (OnBeforeScroll) OnBeforeScroll(*this);
        AutoScrollStep();
        if (m_host) m_host->StartRepeat(TRepeat::AutoScroll, std::max(Options.DelayScroll(), 1));
        m_pressed = false;
        return;
    }
    switch (m_instrument) {
    case iLinza:
        if (button == mbLeft) {
            m_lens = m_lensFrame = true;
            m_lensA = m_lensB = m_pressWorld;
            if (m_host) m_host->Repaint();
        } else {
            const double s = Options.mpLinzaDouble() ? Scale() / 2 : Scale() * Options.StepLinza() / 100;
            if (Scale() - s > 0) ZoomAt(wx, wy, Scale() - s);
        }
        break;
    case iDragMap:
        m_panCentre = ViewCenter();
        m_panning = true;
        break;
    default:
        break; // editing tools arrive with the editor
    }
}

void TKorvane::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(*this, shift, x, y);
    m_mouseClient = {x, y};
    if (!InWorkArea(x, y)) {
        SetCursor(crDefault);
        return;
    }
    float wx = float(x), wy = float(y);
    SyncView();
    m_view.ScreenToMap(wx, wy);
    m_mouseWorld = {wx, wy};
    const int zone = ScrollZoneAt(x, y);
    m_zone = zone;
    if (zone >= 0)
        SetCursor(kZoneCursor[zone]);
    else
        RestingCursor();
    if (zone >= 0 && !m_autoScrollRunning) return;
    if (m_button != mbLeft && !(m_button == mbRight && m_instrument == iDragMap)) return;
    if (m_instrument == iLinza && m_lens) {
        m_lensB = m_mouseWorld;
        if (m_host) m_host->Repaint();
    } else if (m_instrument == iDragMap && m_panning && !m_panBusy) {
        m_panBusy = true;
        const double k = 100.0 / Scale();
        const float dx = static_cast<float>((x - m_pressClient.X) * k), dy = static_cast<float>((y - m_pressClient.Y) * k);
        const TMapPoint target{m_panCentre.X - dx, m_panCentre.Y - dy};
        const TMapRect& e = m_ownDoc->extent;
        const bool outside = target.X < e.MinX || target.X > e.MaxX || target.Y < e.MinY || target.Y > e.MaxY;
        if (!(Options.LockScrollOutMap() && outside)) ZoomAt(target.X, target.Y, Scale());
        m_panBusy = false;
    }
}

void TKorvane::FinishLens() {
    m_lens = false;
    const TMapPoint a = m_lensA, b = m_lensB;
    if (std::fabs(a.X - b.X) >= 3 && std::fabs(a.Y - b.Y) >= 3) {
        ZoomToRect(a.X, a.Y, b.X, b.Y);
        return;
    }
    const double s = Options.mpLinzaDouble() ? Scale() : Scale() * Options.StepLinza() / 100;
    ZoomAt(m_mouseWorld.X, m_mouseWorld.Y, std::min(Scale() + s, 100000.0));
}

void TKorvane::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
    bool repaint = false;
    m_mouseClient = {x, y};
    if (InWorkArea(x, y)) {
        float wx = float(x), wy = float(y);
        SyncView();
        m_view.ScreenToMap(wx, wy);
        m_mouseWorld = {wx, wy};
        m_button = button;
        m_pressed = false;
        if (m_lens) FinishLens();
        if (m_middle) {
            m_middle = false;
            if (m_host) m_host->StopRepeat(TRepeat::MiddlePan);
            SetCursor(m_instrument == iLinza ? crLinza : crDefault);
            repaint = true;
        }
        if (m_instrument == iDragMap && In3DView()) {
            NeedsFullRedraw = true;
            Invalidate();
            repaint = true;
        }
        if (!m_autoScrollActive) m_panning = false;
    } else {
        SetCursor(crDefault);
        if (m_middle) {
            m_middle = false;
            if (m_host) m_host->StopRepeat(TRepeat::MiddlePan);
        }
        m_panning = false;
    }
    if (repaint && m_host) m_host->Repaint();
    if (m_autoScrollRunning) {
        if (m_host) m_host->StopRepeat(TRepeat::AutoScroll);
        m_autoScrollRunning = false;
        if (m_autoScrolled) {
            m_pressed = false;
            if (OnAfterScroll) OnAfterScroll(*this);
        }
    }
    m_autoScrollActive = false;
}

void TKorvane::DblClick() {
    if (m_instrument == iLinza || m_instrument == iPick) return;
    if (Options.CancelAction() == qevRightButton) m_swallowPress = true;
}

void TKorvane::MouseLeave() {
    m_pressed = false;
    if (OnMouseLeave) OnMouseLeave(*this);
}

void TKorvane::RepeatTick(TRepeat kind) {
    if (kind == TRepeat::AutoScroll) {
        if (m_autoScrollActive) AutoScrollStep();
    } else if (m_middle) {
        MiddlePanStep();
    }
}

void TKorvane::AutoScrollStep() {
    // The zone is tested again at the last pointer position: moving changes the direction,
    // leaving the zones pauses without ending the scroll.
    m_zone = ScrollZoneAt(m_mouseClient.X, m_mouseClient.Y);
    if (m_zone >= 0) {
        const int step = Options.StepScroll();
        ScrollView(static_cast<TScrollDirection>(m_zone), step, step);
        m_autoScrolled = true;
    }
    if (m_autoScrolled && m_host) m_host->Repaint();
}

void TKorvane::MiddlePanStep() {
    const int px = m_middlePoint.X, py = m_middlePoint.Y, qx = m_mouseClient.X, qy = m_mouseClient.Y;
    const int d = static_cast<int>(
        std::max(std::nearbyint(std::abs(qy - py) * 2.0 / 3), std::nearbyint(std::abs(qx - px) * 2.0 / 3)));
    const int dx = qx - px, dy = qy - py;
    const int diag = static_cast<int>(std::nearbyint(std::sqrt(double(dx) * dx + double(dy) * dy)));
    int cursor = crDefault;
    if (qx > px + d && qy < py - d) {
        cursor = crScrollRightUp;
        ScrollView(sdRightUp, diag, diag);
    } else if (qx < px - d && qy < py - d) {
        cursor = crScrollLeftUp;
        ScrollView(sdLeftUp, diag, diag);
    } else if (qx < px - d && qy > py + d) {
        cursor = crScrollLeftDown;
        ScrollView(sdLeftDown, diag, diag);
    } else if (qx > px + d && qy > py + d) {
        cursor = crScrollRightDown;
        ScrollView(sdRightDown, diag, diag);
    } else if (qx > px && std::abs(dy) < d) {
        cursor = crScrollRight;
        ScrollView(sdRight, std::abs(dx), 0);
    } else if (qx < px && std::abs(dy) < d) {
        cursor = crScrollLeft;
        ScrollView(sdLeft, std::abs(dx), 0);
    } else if (qy < py) {
        cursor = crScrollUp;
        ScrollView(sdUp, 0, std::abs(dy));
    } else if (qy > py) {
        cursor = crScrollDown;
        ScrollView(sdDown, 0, std::abs(dy));
    }
    if (cursor != crDefault) SetCursor(cursor);
    if (m_host) m_host->Repaint();
    NeedsFullRedraw = true;
    if (OnAfterScroll) OnAfterScroll(*this);
}

} // namespace kestrum
