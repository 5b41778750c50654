#pragma once
// The 615-byte header block of a map, kept by the component for the life of the map.

#include "model/types.h"

#include <array>
#include <cstdint>

namespace kestrum {

struct MapHeader {
    ShortString<40> Signature;
    int32_t Version = 0;
    ShortString<255> NameMap;
    ShortString<255> CreatedBy;
    std::array<uint8_t, 5> Kept557{}; // bytes 557..561: carried, not interpreted
    int32_t Mashtab = 0;
    double Date = 0; // days since 30 December 1899
    int32_t ObjectCount = 0;
    int32_t NextID = 0;
    double Scale = 100.0;
    float XWind = 0;
    float YWind = 0;
    int32_t StreetCount = 0;
    int32_t NextStreetCode = 0;
    int32_t TownCount = 0;
    int32_t NextTownCode = 0;
    uint8_t Kept614 = 0;

    friend bool operator==(const MapHeader&, const MapHeader&) = default;
};

constexpr int32_t kCurrentMapVersion = 14;
constexpr std::size_t kHeaderSize = 615;   // versions 10..14
constexpr std::size_t kHeaderSizeV9 = 610;
constexpr std::size_t kHeaderSizeV1 = 602; // versions 1..8
constexpr std::size_t kVersionOffset = 41;

// Today as days since 30 December 1899, the date stamp of new maps.
double currentDateStamp();

} // namespace kestrum
