#pragma once
// The mouse controller's view of the map component it drives (TMouseSite), and one instrument's
// handling of the mouse (TTool). The controller owns the tools and hands each event to the tool
// of the component's current instrument; an editing tool is one more TTool.

#include "interact/input.h"
#include "model/map_options.h"
#include "model/types.h"
#include "render/draw_object.h"
#include "view/scroll_direction.h"
#include "view/view_transform.h"

namespace kestrum {

// What the mouse controller asks of the component. The component implements it; tests drive
// the controller through a fake.
class TMouseSite {
  public:
    virtual ~TMouseSite() = default;

    // --- the view
    virtual const tQevMapOptions& MouseOptions() const = 0;
    virtual TInstrument CurrentInstrument() const = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    virtual double ViewScale() const = 0;
    // The 3D view is drawn at the scale in force.
    virtual bool ThreeDView() const = 0;
    virtual TMapPoint ClientToWorld(int x, int y) = 0;
    virtual TMapPoint ViewCentre() = 0;
    // The component's own extent of the map.
    virtual TMapRect WorldExtent() const = 0;

    // --- moving it (as the component's ScrollView, ZoomAt and ZoomToRect)
    virtual void Scroll(TScrollDirection direction, int dx, int dy) = 0;
    virtual void ZoomAbout(TMapPoint centre, double scale) = 0;
    virtual void ZoomToFrame(TMapPoint a, TMapPoint b) = 0;
    // The whole picture is drawn again now, or only at the next paint.
    virtual void RedrawAll() = 0;
    virtual void MarkForRedraw() = 0;

    // --- the window system
    virtual void Repaint() = 0;
    virtual void ShowCursor(int cursor) = 0;
    virtual void StartRepeat(TRepeat kind, int ms) = 0;
    virtual void StopRepeat(TRepeat kind) = 0;
    virtual void TakeFocus() = 0;

    // --- the component's events
    virtual void MouseDownEvent(TMouseButton button, TShiftState shift, int x, int y) = 0;
    virtual void MouseMoveEvent(TShiftState shift, int x, int y) = 0;
    virtual void MouseUpEvent(TMouseButton button, TShiftState shift, int x, int y) = 0;
    virtual void MouseLeaveEvent() = 0;
    // The application may replace the cursor; with `active` set an unchanged one is not set again.
    virtual void CursorChangeEvent(int& cursor, bool& active) = 0;
    virtual void BeforeScrollEvent() = 0;
    virtual void AfterScrollEvent() = 0;
};

// A mouse event over the work area as a tool sees it.
struct TToolEvent {
    TMouseButton button = mbLeft; // the button of the press or release; for a drag, the one held
    TPoint client;
    TMapPoint world;
    TPoint pressClient; // where the button went down
    TMapPoint pressWorld;
    bool autoScrolling = false; // the release ends an auto-scroll
};

class TTool {
  public:
    explicit TTool(TMouseSite& site) : m_site(site) {}
    virtual ~TTool() = default;
    TTool(const TTool&) = delete;
    TTool& operator=(const TTool&) = delete;

    // Over the work area with no zone under the pointer.
    virtual int RestingCursor() const { return crDefault; }
    // Shown when the instrument is chosen and when a middle-button pan ends.
    virtual int ChosenCursor() const { return crDefault; }
    // A move with this button held drives the tool.
    virtual bool Follows(TMouseButton held) const { return held == mbLeft; }
    // A double click ends nothing of this tool (no figure under way).
    virtual bool IgnoresDoubleClick() const { return false; }

    virtual void Press(const TToolEvent& /*e*/) {}
    virtual void Drag(const TToolEvent& /*e*/) {}
    // The button came up over the work area. Every tool hears it, `current` tells the one of
    // the instrument in force: a gesture begun with one instrument ends with its button,
    // whichever instrument is chosen by then. Returns whether the whole map is to be redrawn.
    virtual bool Release(const TToolEvent& /*e*/, bool /*current*/) { return false; }
    // The button came up outside the work area.
    virtual void Abandon() {}
    // An instrument was chosen (this one or another).
    virtual void InstrumentChanged() {}
    // Drawn on the window over the map while the tool is current.
    virtual void PaintOverlay(TDrawObject& /*window*/, const ViewTransform& /*view*/) const {}

  protected:
    TMouseSite& m_site;
};

} // namespace kestrum
