#pragma once
// How a note names a MapInfo 3.0 symbol: the built-in library "MapInfo" has a picture per shape
// number (icons/mapinfo_symbols.h draws them), and the MIF importer names them. Both sides keep
// to these numbers, so they live below either.

#include <cstdint>
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

} // namespace kestrum
