#pragma once
// Rounding to the nearest whole number on the paths that run for every coordinate.

#include <cfloat>
#include <cmath>

namespace kestrum {

// Nearest whole number, ties to even, as std::nearbyint gives it in the default rounding mode,
// except that a zero result is always +0.0 (-0.3 gives 0, not -0): coordinates rounded here are
// stored and printed, and "-0" there would be a change nobody asked for. NaN, infinities and
// whole values come back unchanged.
// Where a double is computed as a double (SSE2, every 64-bit target, a 32-bit build with
// -mfpmath=sse), adding and taking away 2^52 leaves no fraction bits and costs no library call.
// The x87 registers hold 64 mantissa bits, so there the sum would keep its fraction (2.5 would
// stay 2.5): the library's rounding serves instead.
inline double roundHalfEven(double x) {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    constexpr double kTwo52 = 4503599627370496.0;
    if (!(std::fabs(x) < kTwo52)) return x; // already whole, or not a number at all
    const double big = std::copysign(kTwo52, x);
    return (x + big) - big;
#else
    return std::nearbyint(x) + 0.0; // -0.0 + 0.0 is +0.0
#endif
}

} // namespace kestrum
