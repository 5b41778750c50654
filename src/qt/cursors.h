#pragma once
// The map component's own cursors (scroll-zone and panning arrows, lens, rotate, move-vertex,
// eyedropper, hand), drawn at run time so that they read on any map colour.

#include <QCursor>

namespace kestrum::qt {

// The cursor for one of the component's cursor numbers (TCursorId); numbers without a picture
// of their own give the standard arrow. The pictures are drawn the first time any is asked for
// and kept for the process, so call this only once the application object exists.
QCursor cursorFor(int cursor);

} // namespace kestrum::qt
