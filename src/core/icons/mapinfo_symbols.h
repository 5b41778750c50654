#pragma once
// The built-in "MapInfo" icon library: MapInfo's 3.0 symbol shapes 31 to 67 as pictures named
// by their numbers, drawn by tools/mapinfo_symbols.cpp at build time. The pictures are drawn in
// one ink colour that the map replaces by the note's pen colour, and are scaled to the note's
// symbol size, so a MIF point keeps its shape, colour and size.

#include <cstdint>
#include <span>
#include <string_view>

namespace kestrum {

inline constexpr std::string_view kMapInfoLibrary = "MapInfo";
inline constexpr int kMapInfoFirstSymbol = 31, kMapInfoLastSymbol = 67;
// MapInfo's own default, Symbol (35,0,12): a black star of 12 points.
inline constexpr int kMapInfoDefaultSymbol = 35;
inline constexpr float kMapInfoDefaultSize = 12;
// The shape a symbol from a font or a bitmap file (which this library cannot draw) is shown as:
// a filled circle in its colour.
inline constexpr int kMapInfoStandInSymbol = 34;
// Pixels of this colour take the note's colour; others (shadows) keep their own.
inline constexpr int32_t kMapInfoInk = 0x000000;

std::span<const uint8_t> builtinMapInfoLibrary();

} // namespace kestrum
