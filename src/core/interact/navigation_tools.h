#pragma once
// The tools that move the view rather than the map: the lens and map dragging; and the
// pick tool, whose clicks the viewer answers itself.

#include "interact/tool.h"

namespace kestrum {

// A left-button frame zooms to what it encloses, a click zooms in one step, the right button
// zooms out one step.
class TLensTool final : public TTool {
  public:
    using TTool::TTool;
    int RestingCursor() const override { return crLinza; }
    int ChosenCursor() const override { return crLinza; }
    bool IgnoresDoubleClick() const override { return true; }
    void Press(const TToolEvent& e) override;
    void Drag(const TToolEvent& e) override;
    bool Release(const TToolEvent& e, bool current) override;
    // The frame goes; a drag under way still zooms when the button comes up (Ctrl let go
    // before the mouse must not lose the zoom).
    void InstrumentChanged() override { m_frameShown = false; }
    void PaintOverlay(TDrawObject& window, const ViewTransform& view) const override;

    bool Active() const { return m_active; }

  private:
    bool m_active = false;
    bool m_frameShown = false;
    TMapPoint m_a{}, m_b{};
};

// The map follows the pointer while the left or the right button is held.
class TDragMapTool final : public TTool {
  public:
    using TTool::TTool;
    // The hand shows once the pointer moves over the map.
    int RestingCursor() const override { return crHand; }
    bool Follows(TMouseButton held) const override { return held == mbLeft || held == mbRight; }
    void Press(const TToolEvent& e) override;
    void Drag(const TToolEvent& e) override;
    bool Release(const TToolEvent& e, bool current) override;
    void Abandon() override { m_panning = false; }

  private:
    bool m_panning = false;
    bool m_busy = false;
    TMapPoint m_centre{};
};

class TPickTool final : public TTool {
  public:
    using TTool::TTool;
    bool IgnoresDoubleClick() const override { return true; }
};

} // namespace kestrum
