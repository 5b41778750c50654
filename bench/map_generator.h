#pragma once
// Synthetic city maps for benchmarks: a street grid with buildings (addresses included), roads,
// large land-use areas, labels, notes, a few groups and bitmaps, in the proportions and vertex
// counts of real town plans. The same parameters give the same map, byte for byte, on every
// platform: the random source and all its distributions are our own.

#include "model/map_document.h"

#include <cstdint>
#include <string>

namespace kestrum::bench {

struct CityMapParams {
    uint64_t seed = 0x4B657374'72756D31; // "Kestrum1"
    int32_t objects = 1'000'000;          // top-level objects
    // A stress case: land use as large spiky stars (a fresh radius for every vertex) piled about
    // twenty deep, as the first generator made it. Far more edges per row than real plans.
    bool spikyAreas = false;
};

struct CityMapStats {
    int64_t topLevel = 0;
    int64_t allObjects = 0; // group members included
    int64_t points = 0;
    int64_t addresses = 0;
};

// A version-14 map held in memory.
MapDocument generateCityMap(const CityMapParams& params, CityMapStats* stats = nullptr);

// Half addressed buildings and half notes (params.objects in all), over a grid of named streets;
// `labelled` false strips the addresses and the notes and keeps everything else, so the two
// maps differ by their labels and icons alone.
MapDocument generateLabelledMap(const CityMapParams& params, bool labelled);
std::string cachedLabelledMap(const std::string& dir, const CityMapParams& params, bool labelled);

// The file name the map of `params` is cached under; it changes whenever the generator's
// output would, so a stale cache is never reused.
std::string cityMapFileName(const CityMapParams& params);

// Path of the cached map in `dir`, generating and writing it first when absent.
// `generated` tells whether this call had to build it.
std::string cachedCityMap(const std::string& dir, const CityMapParams& params, bool* generated = nullptr);

} // namespace kestrum::bench
