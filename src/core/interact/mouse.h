#pragma once
// The mouse of the map component: the work area inside the borders, the scroll zones along the
// edges with auto-scroll, middle-button panning, the cursors, and the tools. The nested message
// loops of a classic desktop toolkit become repeating steps that the host ticks while a button
// is held (TMouseSite::StartRepeat, RepeatTick).

#include "interact/navigation_tools.h"
#include "interact/tool.h"

#include <array>

namespace kestrum {

class TMouseController {
  public:
    explicit TMouseController(TMouseSite& site);
    TMouseController(const TMouseController&) = delete;
    TMouseController& operator=(const TMouseController&) = delete;

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void MouseMove(TShiftState shift, int x, int y);
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    void DblClick();
    void MouseLeave();
    void RepeatTick(TRepeat kind);
    // The component's instrument changed: its cursor shows, the tools hear of it.
    void InstrumentChanged();

    int Cursor() const { return m_cursor; }
    TPoint MouseClient() const { return m_client; }
    TMapPoint MouseWorld() const { return m_world; }
    bool Pressed() const { return m_pressed; }
    bool LensActive() const { return m_lens.Active(); }
    bool MiddlePanActive() const { return m_middle; }
    bool AutoScrollActive() const { return m_autoScrollActive; }
    // The scroll zone under a client point (a TScrollDirection), or -1.
    int ScrollZoneAt(int x, int y) const;
    bool InWorkArea(int x, int y) const;

    // The tool that handles an instrument (the plain one for instruments without their own).
    TTool& ToolFor(TInstrument instrument);
    const TTool& ToolFor(TInstrument instrument) const;

    // Window overlays: the mark where the middle button went down, and the current tool's.
    void PaintPanMark(TDrawObject& window) const;
    void PaintToolOverlay(TDrawObject& window, const ViewTransform& view) const;

  private:
    TTool& CurrentTool() { return ToolFor(m_site.CurrentInstrument()); }
    TToolEvent Event(TMouseButton button) const;
    void SetCursor(int cursor);
    void RestingCursor();
    void AutoScrollStep();
    void MiddlePanStep();
    void EndMiddlePan();

    TMouseSite& m_site;
    TLensTool m_lens;
    TDragMapTool m_dragMap;
    TPickTool m_pick;
    TTool m_plain; // instruments whose tools come with the editor
    // Every tool, in the order they hear a release.
    std::array<TTool*, 4> m_tools;

    int m_cursor = crDefault;
    TPoint m_client{};
    TMapPoint m_world{};
    TMouseButton m_button = mbLeft;
    TPoint m_pressClient{};
    TMapPoint m_pressWorld{};
    bool m_pressed = false;
    bool m_swallowPress = false;
    bool m_middle = false;
    TPoint m_middlePoint{};
    int m_zone = -1;
    bool m_autoScrollRunning = false;
    bool m_autoScrollActive = false;
    bool m_autoScrolled = false;
};

} // namespace kestrum
