#pragma once
// The vocabulary of pointer input: buttons, modifier keys, the component's cursors, the
// instruments and the repeating steps a held button drives.

#include <cstdint>

namespace kestrum {

enum TInstrument : uint8_t {
    iNone, iMeasure, iPick, iPolygon, iRectangle, iLine, iPixel, iBezier, iBezierFill, iEllipse,
    iText, iBitmap, iZametka, iLinza, iRegion, iRegionRect, iDragMap, iGraphVertex, iGraphEdge, iGraphModify,
};

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

struct TShiftState {
    bool Shift = false;
    bool Ctrl = false;
    bool Alt = false;
};

// Cursor numbers: 0 the default arrow; the component's own cursors from 1000.
enum TCursorId : int {
    crDefault = 0,
    crZoneLeft = 1000, crZoneUp, crZoneRight, crZoneDown, crZoneLeftUp, crZoneRightUp, crZoneRightDown,
    crZoneLeftDown, crLinza, crRotate, crMovePixel, crScrollLeft, crScrollUp, crScrollRight, crScrollDown,
    crScrollLeftUp, crScrollRightUp, crScrollRightDown, crScrollLeftDown, crEyeDropper, crHand,
};

// The repeating steps that nested message loops ran: the host ticks them while they are active.
enum class TRepeat : uint8_t { AutoScroll, MiddlePan };

} // namespace kestrum
