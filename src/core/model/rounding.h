#pragma once
// Rounding to the nearest whole number on the paths that run for every coordinate.

#include <cfloat>
#include <cmath>

namespace kestrum {

// Nearest whole number, ties to even: what std::nearbyint gives in the default rounding mode,
// including -0.0 for small negatives, and NaN, infinities and whole values unchanged.
// Where a double is computed as a double (SSE2, every 64-bit target, a 32-bit build with
// -mfpmath=sse), adding and taking away 2^52 leaves no fraction bits and costs no library call.
// The x87 registers hold 64 mantissa bits, so there the sum would keep its fraction: the
// library's rounding instruction serves instead.
inline double roundHalfEven(double x) {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    constexpr double kTwo52 = 4503599627370496.0;
    if (!(std::fabs(x) < kTwo52)) return x; // already whole, or not a number at all
    const double big = std::copysign(kTwo52, x);
    return std::copysign((x + big) - big, x);
#else
    return std::nearbyint(x);
#endif
}

} // namespace kestrum
