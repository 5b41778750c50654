#pragma once
// Large synthetic files for the import benchmarks: one town written as a Polish-format ".MP"
// and as a MapInfo ".MIF" with its ".MID". Buildings carry labels and addresses, roads street
// names, points of interest names, with the vertex counts of real town plans. The same
// parameters give the same bytes on every platform: the random source is our own.

#include <cstdint>
#include <string>

namespace kestrum::bench {

struct ImportCityParams {
    uint64_t seed = 0x4B657374'72756D32; // "Kestrum2"
    int32_t objects = 200'000;            // map features in the file
};

struct ImportFileStats {
    int64_t buildings = 0;
    int64_t roads = 0;
    int64_t pois = 0;
    int64_t points = 0; // vertices of all features
    uint64_t bytes = 0; // both files for MIF/MID
};

// Writes a Polish-format town to `path`.
ImportFileStats writePolishCity(const std::string& path, const ImportCityParams& params);

// Writes a MIF/MID town: `mifPath` and the same name with the extension "MID".
ImportFileStats writeMifCity(const std::string& mifPath, const ImportCityParams& params);

// Paths of the cached files in `dir`, generating them first when absent. The names change
// whenever the generator's output would, so a stale cache is never reused.
std::string cachedPolishCity(const std::string& dir, const ImportCityParams& params, bool* generated = nullptr);
std::string cachedMifCity(const std::string& dir, const ImportCityParams& params, bool* generated = nullptr);

// The MID beside a MIF written by writeMifCity.
std::string midPathFor(const std::string& mifPath);

} // namespace kestrum::bench
