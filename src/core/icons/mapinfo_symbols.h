#pragma once
// The built-in "MapInfo" icon library: MapInfo's 3.0 symbol shapes 31 to 67 as pictures named
// by their numbers, drawn by tools/mapinfo_symbols.cpp at build time. The pictures are drawn in
// one ink colour that the map replaces by the note's pen colour, and are scaled to the note's
// symbol size, so a MIF point keeps its shape, colour and size.

#include "model/mapinfo_symbol_numbers.h"

#include <cstdint>
#include <span>

namespace kestrum {

std::span<const uint8_t> builtinMapInfoLibrary();

} // namespace kestrum
