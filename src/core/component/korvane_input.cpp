// The component's side of input: the answers its mouse controller and hit tester get from it,
// hit testing with its event, the choice of instrument, and what is drawn on the window over
// the map.

#include "component/korvane.h"

#include <cmath>
#include <cstdio>

namespace kestrum {

// --- the mouse controller's questions ----------------------------------------------------------

const tQevMapOptions& TKorvane::InputSite::MouseOptions() const { return m_k.Options; }
TInstrument TKorvane::InputSite::CurrentInstrument() const { return m_k.m_instrument; }
int TKorvane::InputSite::ClientWidth() const { return m_k.m_width; }
int TKorvane::InputSite::ClientHeight() const { return m_k.m_height; }
double TKorvane::InputSite::ViewScale() const { return m_k.Scale(); }
bool TKorvane::InputSite::ThreeDView() const { return m_k.In3DView(); }

TMapPoint TKorvane::InputSite::ClientToWorld(int x, int y) {
    float wx = float(x), wy = float(y);
    m_k.SyncView();
    m_k.m_renderer.View().ScreenToMap(wx, wy);
    return {wx, wy};
}

TMapPoint TKorvane::InputSite::ViewCentre() { return m_k.ViewCenter(); }
TMapRect TKorvane::InputSite::WorldExtent() const { return m_k.m_ownDoc->extent; }
void TKorvane::InputSite::Scroll(TScrollDirection direction, int dx, int dy) { m_k.ScrollView(direction, dx, dy); }
void TKorvane::InputSite::ZoomAbout(TMapPoint centre, double scale) { m_k.ZoomAt(centre.X, centre.Y, scale); }
void TKorvane::InputSite::ZoomToFrame(TMapPoint a, TMapPoint b) { m_k.ZoomToRect(a.X, a.Y, b.X, b.Y); }

void TKorvane::InputSite::RedrawAll() {
    m_k.NeedsFullRedraw = true;
    m_k.Invalidate();
}

void TKorvane::InputSite::MarkForRedraw() { m_k.NeedsFullRedraw = true; }

void TKorvane::InputSite::Repaint() {
    if (m_k.m_host) m_k.m_host->Repaint();
}

void TKorvane::InputSite::ShowCursor(int cursor) {
    if (m_k.m_host) m_k.m_host->SetCursor(cursor);
}

void TKorvane::InputSite::StartRepeat(TRepeat kind, int ms) {
    if (m_k.m_host) m_k.m_host->StartRepeat(kind, ms);
}

void TKorvane::InputSite::StopRepeat(TRepeat kind) {
    if (m_k.m_host) m_k.m_host->StopRepeat(kind);
}

void TKorvane::InputSite::TakeFocus() {
    if (m_k.m_host) m_k.m_host->TakeFocus();
}

void TKorvane::InputSite::MouseDownEvent(TMouseButton button, TShiftState shift, int x, int y) {
    if (m_k.OnMouseDown) m_k.OnMouseDown(m_k, button, shift, x, y);
}

void TKorvane::InputSite::MouseMoveEvent(TShiftState shift, int x, int y) {
    if (m_k.OnMouseMove) m_k.OnMouseMove(m_k, shift, x, y);
}

void TKorvane::InputSite::MouseUpEvent(TMouseButton button, TShiftState shift, int x, int y) {
    if (m_k.OnMouseUp) m_k.OnMouseUp(m_k, button, shift, x, y);
}

void TKorvane::InputSite::MouseLeaveEvent() {
    if (m_k.OnMouseLeave) m_k.OnMouseLeave(m_k);
}

void TKorvane::InputSite::CursorChangeEvent(int& cursor, bool& active) {
    if (m_k.OnCursorChange) m_k.OnCursorChange(cursor, active);
}

void TKorvane::InputSite::BeforeScrollEvent() {
    if (m_k.OnBeforeScroll) m_k.OnBeforeScroll(m_k);
}

void TKorvane::InputSite::AfterScrollEvent() {
    if (m_k.OnAfterScroll) m_k.OnAfterScroll(m_k);
}

// --- the hit tester's ----------------------------------------------------------------------------

const MapDocument& TKorvane::InputSite::HitDocument() const { return *m_k.m_list; }
const TClassSet& TKorvane::InputSite::PickSet() const { return m_k.ClassPickSet; }
const tQevMapOptions& TKorvane::InputSite::HitOptions() const { return m_k.Options; }
double TKorvane::InputSite::HitScale() const { return m_k.Scale(); }
bool TKorvane::InputSite::HitIn3D() const { return m_k.In3DView(); }

float TKorvane::InputSite::DrawnHeight(const TQEVMapObjectMem& obj) {
    float height = obj.Height;
    if (m_k.OnHeightObject) m_k.OnHeightObject(obj, height);
    return height;
}

const TImage& TKorvane::InputSite::NotePicture(const TQEVMapObjectMem& note) {
    return note.note() ? m_k.NoteBitmap(*note.note(), &note.Pen) : m_k.m_missingIcon;
}

bool TKorvane::InputSite::PassesHitFilter(const TQEVMapObjectMem& obj) const { return m_k.PassesFilter(obj); }
double TKorvane::InputSite::DrawnEyeDistance(const TQEVMapObjectMem& obj) const { return m_k.EyeDistance(obj); }

// --- hit testing, the instrument -----------------------------------------------------------------

std::vector<int> TKorvane::HitTest(TMapPoint p) {
    std::vector<int> hits = m_hitTester.HitTest(p);
    if (OnAfterFind) OnAfterFind(*this, !hits.empty());
    return hits;
}

TFoundAddress TKorvane::AddressAt(TMapPoint p) {
    const THitTester::AddressHit hit = m_hitTester.AddressAt(HitTest(p));
    if (hit.walkedTo >= 0) LoadBuffer(hit.walkedTo);
    return hit.found;
}

void TKorvane::Instrument(TInstrument tool) {
    m_instrument = tool;
    m_mouse.InstrumentChanged();
    if (Options.ShowPointsObject()) {
        NeedsFullRedraw = true;
        Invalidate();
    }
    if (m_host) m_host->Repaint();
    if (OnChangeInstrument) OnChangeInstrument(*this);
}

} // namespace kestrum
