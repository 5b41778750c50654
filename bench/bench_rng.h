#pragma once
// SplitMix64: tiny, fast and defined to the bit, unlike the standard distributions whose output
// differs between library implementations. Every generated benchmark file depends on it.

#include <cstdint>

namespace kestrum::bench {

class Rng {
  public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    int32_t range(int32_t lo, int32_t hi) {
        const auto span = static_cast<uint64_t>(int64_t{hi} - lo + 1);
        return static_cast<int32_t>(lo + static_cast<int64_t>((next() >> 32) * span >> 32));
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    float real(double lo, double hi) { return static_cast<float>(lo + (hi - lo) * unit()); }
    bool chance(double p) { return unit() < p; }

  private:
    uint64_t m_state;
};

} // namespace kestrum::bench
