#pragma once
// Directions the view scrolls in, shared by the mouse's scroll zones and the scrolling of the
// picture.

#include <cstdint>

namespace kestrum {

// The window moves towards smaller X for "left".
enum TScrollDirection : uint8_t {
    sdLeft, sdUp, sdRight, sdDown, sdLeftUp, sdRightUp, sdRightDown, sdLeftDown,
};

} // namespace kestrum
