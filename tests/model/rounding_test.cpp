#include "model/rounding.h"
#include "view/view_transform.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(RoundHalfEven, TiesGoToTheEvenNeighbourOnBothSides) {
    EXPECT_EQ(roundHalfEven(0.5), 0.0);
    EXPECT_EQ(roundHalfEven(1.5), 2.0);
    EXPECT_EQ(roundHalfEven(2.5), 2.0);
    EXPECT_EQ(roundHalfEven(-0.5), 0.0);
    EXPECT_EQ(roundHalfEven(-1.5), -2.0);
    EXPECT_EQ(roundHalfEven(-2.5), -2.0);
    EXPECT_EQ(roundHalfEven(1234567.5), 1234568.0);
    // Just off a tie rounds to the nearer side, which an 80-bit intermediate gets wrong.
    EXPECT_EQ(roundHalfEven(2.5000000000000004), 3.0);
    EXPECT_EQ(roundHalfEven(0.49999999999999994), 0.0);
    EXPECT_EQ(roundHalfEven(-3.4999999999999996), -3.0);
}

TEST(RoundHalfEven, AgreesWithTheLibraryAcrossMagnitudes) {
    for (double x = -5000.0; x <= 5000.0; x += 0.125) EXPECT_EQ(roundHalfEven(x), std::nearbyint(x)) << x;
    for (double x = 1.0; x < 1e300; x *= 3.7) {
        EXPECT_EQ(roundHalfEven(x + 0.3), std::nearbyint(x + 0.3)) << x;
        EXPECT_EQ(roundHalfEven(-x - 0.6), std::nearbyint(-x - 0.6)) << x;
    }
    // At and beyond 2^52 every double is whole already.
    EXPECT_EQ(roundHalfEven(4503599627370495.5), 4503599627370496.0);
    EXPECT_EQ(roundHalfEven(4503599627370497.0), 4503599627370497.0);
    EXPECT_EQ(roundHalfEven(-9007199254740993.0), -9007199254740993.0);
    EXPECT_EQ(roundHalfEven(1e300), 1e300);
}

TEST(RoundHalfEven, ZeroIsPositiveAndNaNAndInfinitiesPass) {
    // Rounded coordinates are stored and printed: a "-0" would differ from what was always written.
    EXPECT_FALSE(std::signbit(roundHalfEven(-0.0)));
    EXPECT_FALSE(std::signbit(roundHalfEven(-0.25)));
    EXPECT_FALSE(std::signbit(roundHalfEven(-0.5)));
    EXPECT_FALSE(std::signbit(roundHalfEven(0.25)));
    EXPECT_TRUE(std::signbit(roundHalfEven(-0.75)));
    EXPECT_TRUE(std::isnan(roundHalfEven(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(roundHalfEven(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity());
    EXPECT_EQ(roundHalfEven(-std::numeric_limits<double>::infinity()), -std::numeric_limits<double>::infinity());
}

TEST(RoundScreen, RoundsTiesToEvenClampsAndParksNaN) {
    EXPECT_EQ(roundScreen(10.5), 10);
    EXPECT_EQ(roundScreen(11.5), 12);
    EXPECT_EQ(roundScreen(-10.5), -10);
    EXPECT_EQ(roundScreen(-0.4), 0);
    EXPECT_EQ(roundScreen(1e30), int32_t{16777216});
    EXPECT_EQ(roundScreen(-1e30), int32_t{-16777216});
    EXPECT_EQ(roundScreen(std::numeric_limits<double>::quiet_NaN()), 0);
}

} // namespace
} // namespace kestrum
