// The mouse controller without a map component: a fake site records what the controller asks
// of it (scrolls, zooms, repeats, cursors, events) over a 300 x 200 view at scale 100.

#include "interact/mouse.h"
#include "render/recording_draw_object.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace kestrum;

namespace {

struct FakeSite final : TMouseSite {
    tQevMapOptions options;
    TInstrument instrument = iPick;
    double scale = 100;
    bool threeD = false;
    TMapRect extent{0, 0, 1000, 1000};
    TMapPoint centre{150, 100};
    std::vector<std::string> log;
    std::vector<int> cursorsShown;

    const tQevMapOptions& MouseOptions() const override { return options; }
    TInstrument CurrentInstrument() const override { return instrument; }
    int ClientWidth() const override { return 300; }
    int ClientHeight() const override { return 200; }
    double ViewScale() const override { return scale; }
    bool ThreeDView() const override { return threeD; }
    TMapPoint ClientToWorld(int x, int y) override {
        return {static_cast<float>(x * 100.0 / scale), static_cast<float>(y * 100.0 / scale)};
    }
    TMapPoint ViewCentre() override { return centre; }
    TMapRect WorldExtent() const override { return extent; }
    void Scroll(TScrollDirection d, int dx, int dy) override {
        log.push_back("scroll " + std::to_string(d) + " " + std::to_string(dx) + " " + std::to_string(dy));
    }
    void ZoomAbout(TMapPoint c, double s) override {
        log.push_back("zoom " + std::to_string(int(c.X)) + "," + std::to_string(int(c.Y)) + " " +
                      std::to_string(int(s)));
    }
    void ZoomToFrame(TMapPoint a, TMapPoint b) override {
        log.push_back("frame " + std::to_string(int(a.X)) + "," + std::to_string(int(a.Y)) + " " +
                      std::to_string(int(b.X)) + "," + std::to_string(int(b.Y)));
    }
    void RedrawAll() override { log.push_back("redraw"); }
    void MarkForRedraw() override {}
    void Repaint() override {}
    void ShowCursor(int cursor) override { cursorsShown.push_back(cursor); }
    void StartRepeat(TRepeat kind, int ms) override {
        log.push_back("start " + std::to_string(int(kind)) + " " + std::to_string(ms));
    }
    void StopRepeat(TRepeat kind) override { log.push_back("stop " + std::to_string(int(kind))); }
    void TakeFocus() override { log.push_back("focus"); }
    void MouseDownEvent(TMouseButton, TShiftState, int, int) override { log.push_back("down"); }
    void MouseMoveEvent(TShiftState, int, int) override {}
    void MouseUpEvent(TMouseButton, TShiftState, int, int) override { log.push_back("up"); }
    void MouseLeaveEvent() override {}
    void CursorChangeEvent(int& cursor, bool& active) override {
        if (cursorHook) cursorHook(cursor, active);
    }
    void BeforeScrollEvent() override { log.push_back("before"); }
    void AfterScrollEvent() override { log.push_back("after"); }

    std::function<void(int&, bool&)> cursorHook;
    // The entries of the log that start with `prefix`, and the log emptied.
    std::vector<std::string> take(const std::string& prefix = "") {
        std::vector<std::string> out;
        for (const auto& e : log)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        log.clear();
        return out;
    }
};

using Log = std::vector<std::string>;

struct Fixture {
    FakeSite site;
    TMouseController mouse{site};
    void choose(TInstrument tool) {
        site.instrument = tool;
        mouse.InstrumentChanged();
    }
    void click(TMouseButton b, int x, int y) {
        mouse.MouseDown(b, {}, x, y);
        mouse.MouseUp(b, {}, x, y);
    }
};

} // namespace

TEST(MouseController, AutoScrollFollowsThePointerFromZoneToZoneAndEndsWithTheButton) {
    Fixture f;
    f.choose(iLinza);
    f.mouse.MouseDown(mbLeft, {}, 5, 100); // the left zone, in the middle third
    EXPECT_EQ(f.site.take(), (Log{"down", "focus", "before", "scroll 0 50 50", "start 0 50"}));
    EXPECT_TRUE(f.mouse.AutoScrollActive());
    EXPECT_FALSE(f.mouse.LensActive()) << "a press in a zone scrolls and does not reach the tool";
    f.mouse.RepeatTick(TRepeat::AutoScroll);
    EXPECT_EQ(f.site.take(), (Log{"scroll 0 50 50"}));
    f.mouse.MouseMove({}, 150, 100); // off the zones: the scroll pauses
    f.mouse.RepeatTick(TRepeat::AutoScroll);
    EXPECT_TRUE(f.site.take("scroll").empty());
    f.mouse.MouseMove({}, 150, 5); // the upper zone: the direction changes
    f.mouse.RepeatTick(TRepeat::AutoScroll);
    EXPECT_EQ(f.site.take("scroll"), (Log{"scroll 1 50 50"}));
    f.mouse.MouseUp(mbLeft, {}, 150, 5);
    EXPECT_EQ(f.site.take(), (Log{"up", "stop 0", "after"}));
    EXPECT_FALSE(f.mouse.AutoScrollActive());
    f.mouse.RepeatTick(TRepeat::AutoScroll);
    EXPECT_TRUE(f.site.take().empty()) << "a late tick after the release does nothing";
}

TEST(MouseController, MiddleButtonPansTowardsThePointerAndGivesTheToolItsCursorBack) {
    Fixture f;
    f.choose(iLinza);
    f.mouse.MouseDown(mbMiddle, {}, 150, 100);
    EXPECT_EQ(f.site.take(), (Log{"down", "focus", "after", "start 1 50"})) << "no distance yet, no scroll";
    EXPECT_TRUE(f.mouse.MiddlePanActive());
    f.site.cursorsShown.clear();
    f.mouse.MouseMove({}, 190, 100);
    EXPECT_TRUE(f.site.cursorsShown.empty()) << "the resting cursor waits while the middle button pans";
    f.mouse.RepeatTick(TRepeat::MiddlePan);
    EXPECT_EQ(f.site.take("scroll"), (Log{"scroll 2 40 0"}));
    EXPECT_EQ(f.mouse.Cursor(), crScrollRight);
    f.mouse.MouseMove({}, 150, 40);
    f.mouse.RepeatTick(TRepeat::MiddlePan);
    EXPECT_EQ(f.site.take("scroll"), (Log{"scroll 1 0 60"}));
    f.mouse.MouseMove({}, 180, 70); // 30 right, 30 up: diagonal, by the distance
    f.mouse.RepeatTick(TRepeat::MiddlePan);
    EXPECT_EQ(f.site.take("scroll"), (Log{"scroll 5 42 42"}));
    EXPECT_EQ(f.mouse.Cursor(), crScrollRightUp);
    f.mouse.MouseUp(mbMiddle, {}, 180, 70);
    EXPECT_EQ(f.site.take(), (Log{"up", "stop 1"}));
    EXPECT_FALSE(f.mouse.MiddlePanActive());
    EXPECT_EQ(f.mouse.Cursor(), crLinza);
    f.mouse.RepeatTick(TRepeat::MiddlePan);
    EXPECT_TRUE(f.site.take().empty());
}

TEST(MouseController, LensFrameZoomsToItsRectangleAndClicksZoomOneStep) {
    Fixture f;
    f.choose(iLinza);
    f.mouse.MouseDown(mbLeft, {}, 50, 50);
    f.mouse.MouseMove({}, 150, 120);
    EXPECT_TRUE(f.mouse.LensActive());
    RecordingDrawObject window;
    TImage screen(300, 200);
    window.SetCanvas(&screen);
    f.mouse.PaintToolOverlay(window, ViewTransform{});
    ASSERT_EQ(window.calls.size(), 1u);
    EXPECT_EQ(window.calls[0].points, (std::vector<TPoint>{{50, 50}, {150, 50}, {150, 120}, {50, 120}, {50, 50}}));
    EXPECT_EQ(window.calls[0].pen.Mode, pmXor);
    f.site.take();
    f.mouse.MouseUp(mbLeft, {}, 150, 120);
    EXPECT_EQ(f.site.take("frame"), (Log{"frame 50,50 150,120"}));
    EXPECT_FALSE(f.mouse.LensActive());

    f.click(mbLeft, 60, 60); // a frame under 3 units: one step in
    EXPECT_EQ(f.site.take("zoom"), (Log{"zoom 60,60 150"}));
    f.click(mbRight, 60, 60);
    EXPECT_EQ(f.site.take("zoom"), (Log{"zoom 60,60 50"}));
    f.site.options.mpLinzaDouble(true);
    f.click(mbLeft, 60, 60);
    f.click(mbRight, 60, 60);
    EXPECT_EQ(f.site.take("zoom"), (Log{"zoom 60,60 200", "zoom 60,60 50"}));
}

TEST(MouseController, ALensDragOutlivesAChangeOfInstrumentButLosesItsFrame) {
    Fixture f;
    f.choose(iLinza);
    f.mouse.MouseDown(mbLeft, {}, 50, 50);
    f.mouse.MouseMove({}, 150, 120);
    f.choose(iPick); // the viewer does this when Ctrl comes up before the button
    RecordingDrawObject window;
    TImage screen(300, 200);
    window.SetCanvas(&screen);
    f.mouse.PaintToolOverlay(window, ViewTransform{});
    f.choose(iLinza);
    f.mouse.PaintToolOverlay(window, ViewTransform{});
    EXPECT_TRUE(window.calls.empty());
    f.choose(iPick);
    f.mouse.MouseMove({}, 160, 130); // no longer the lens's
    f.site.take();
    f.mouse.MouseUp(mbLeft, {}, 160, 130);
    EXPECT_EQ(f.site.take("frame"), (Log{"frame 50,50 150,120"}));
}

TEST(MouseController, DragMapFollowsEitherButtonStaysOnTheMapWhenLockedAndRedrawsIn3D) {
    Fixture f;
    f.choose(iDragMap);
    f.mouse.MouseDown(mbRight, {}, 100, 100);
    f.mouse.MouseMove({}, 130, 110);
    EXPECT_EQ(f.site.take("zoom"), (Log{"zoom 120,90 100"})) << "the centre moves against the pointer";
    f.mouse.MouseUp(mbRight, {}, 130, 110);
    EXPECT_TRUE(f.site.take("redraw").empty());
    f.mouse.MouseMove({}, 160, 110);
    EXPECT_TRUE(f.site.take("zoom").empty()) << "the drag ended with the button";

    f.site.options.LockScrollOutMap(true);
    f.site.extent = {0, 0, 200, 200};
    f.mouse.MouseDown(mbLeft, {}, 100, 100);
    f.mouse.MouseMove({}, 250, 100); // the centre would go to x = 0: still on the map
    f.mouse.MouseMove({}, 260, 100); // x = -10: off it
    EXPECT_EQ(f.site.take("zoom"), (Log{"zoom 0,100 100"}));
    f.site.threeD = true;
    f.mouse.MouseUp(mbLeft, {}, 260, 100);
    EXPECT_EQ(f.site.take("redraw"), (Log{"redraw"}));
    f.choose(iPick);
    f.click(mbLeft, 100, 100);
    EXPECT_TRUE(f.site.take("redraw").empty()) << "only the drag tool's release redraws";
}

TEST(MouseController, CursorsOfToolsZonesAndBordersAndTheApplicationsHook) {
    Fixture f;
    f.choose(iDragMap);
    EXPECT_EQ(f.mouse.Cursor(), crDefault) << "the hand shows once the pointer moves";
    f.mouse.MouseMove({}, 150, 100);
    EXPECT_EQ(f.mouse.Cursor(), crHand);
    f.mouse.MouseMove({}, 295, 100);
    EXPECT_EQ(f.mouse.Cursor(), crZoneRight);
    EXPECT_EQ(f.mouse.ScrollZoneAt(295, 195), sdRightDown);
    f.site.options.BorderLeft(20);
    f.mouse.MouseMove({}, 10, 100);
    EXPECT_EQ(f.mouse.Cursor(), crDefault) << "the border is no work area";
    EXPECT_FALSE(f.mouse.InWorkArea(10, 100));

    f.site.cursorHook = [](int& cursor, bool& active) {
        cursor = crEyeDropper;
        active = true;
    };
    f.site.cursorsShown.clear();
    f.mouse.MouseMove({}, 150, 100);
    f.mouse.MouseMove({}, 151, 100);
    EXPECT_EQ(f.site.cursorsShown, (std::vector<int>{crEyeDropper})) << "an unchanged cursor is not set again";
}

TEST(MouseController, ADoubleClickOfAnEditingToolSwallowsTheNextPress) {
    Fixture f;
    f.choose(iLine);
    f.mouse.DblClick();
    f.mouse.MouseDown(mbLeft, {}, 100, 100);
    EXPECT_EQ(f.site.take(), (Log{"down"})) << "the event fires, nothing else";
    f.mouse.MouseDown(mbLeft, {}, 100, 100);
    EXPECT_EQ(f.site.take(), (Log{"down", "focus"}));
    for (TInstrument tool : {iLinza, iPick}) {
        f.choose(tool);
        f.mouse.DblClick();
        f.mouse.MouseDown(mbLeft, {}, 100, 100);
        EXPECT_EQ(f.site.take("focus").size(), 1u) << int(tool);
    }
    f.choose(iLine);
    f.site.options.CancelAction(qevDblClick);
    f.mouse.DblClick();
    f.mouse.MouseDown(mbLeft, {}, 100, 100);
    EXPECT_EQ(f.site.take("focus").size(), 1u);
}
