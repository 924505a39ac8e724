#include <gtest/gtest.h>

#include <limits>

#include "base/numeric.h"
#include "core/derived_values.h"
#include "state/bridge_state.h"

namespace bridge::testing {
namespace {

class DerivedValuesTest : public ::testing::Test {
protected:
    BridgeState state{};
};

TEST(Numeric, RoundTiesToEvenAndTruncTowardZero) {
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(-1.5), -2);
    EXPECT_EQ(Round(-2.6), -3);
    EXPECT_EQ(Trunc(-3.9), -3);
    EXPECT_EQ(Trunc(3.9), 3);
}

TEST(Numeric, NotANumberAndOutOfRangeGiveNoResult) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const double x : {nan, inf, -inf, 9223372036854775808.0, -9223372036854777856.0}) {
        EXPECT_FALSE(Trunc(x)) << x;
        EXPECT_FALSE(Round(x)) << x;
    }
    EXPECT_EQ(Trunc(-9223372036854775808.0), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Low32(0x123456789), 0x23456789);
    EXPECT_EQ(Low16(-32769), 32767);
}

TEST_F(DerivedValuesTest, LatitudeOf45DegreesIsExact) {
    state.Sim.LatitudeRaw = 21478594576384000;
    ComputeNavigationValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.LatitudeDeg, 45.0);
    EXPECT_EQ(state.Derived.Latitude1e7, 450000000);
}

TEST_F(DerivedValuesTest, DegreesAreNarrowedToSinglePrecisionFirst) {
    state.Sim.LatitudeRaw = 24570462130759564;        // 51.4778 degrees
    state.Sim.LongitudeRaw = -std::int64_t{1} << 62;  // -90 degrees
    ComputeNavigationValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.Latitude1e7, 514777985);
    EXPECT_EQ(state.Derived.LongitudeDeg, -90.0);
    EXPECT_EQ(state.Derived.Longitude1e7, -900000000);
}

TEST_F(DerivedValuesTest, HalfRateConversions) {
    state.Sim.VerticalSpeedRaw = 256;
    state.Sim.AltitudeMetres = 1000;
    state.Sim.HeadingRaw = 2147483648u;  // top bit set: half a circle
    state.Sim.IasRaw = 100 * 128;
    state.Sim.TurnRateRaw = -1000;  // -58 by 17 only: 16 gives -62, 18 -55, a floor -59
    state.Sim.GpsGroundSpeed = 51.239;
    state.Sim.GyroHeadingDeg = 359.999;
    state.Sim.CompassHeadingDeg = -0.019;
    ComputeNavigationValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.VerticalSpeedFpm, 196);
    EXPECT_EQ(state.Derived.AltitudeFeet, 3280);
    EXPECT_EQ(state.Derived.TrueHeading1e5, 18000000);
    EXPECT_EQ(state.Derived.IasTenthsKmh, 1852);
    EXPECT_EQ(state.Derived.TurnRateTenths, -58);
    EXPECT_EQ(state.Derived.GroundSpeedCentiMs, 5123);
    EXPECT_EQ(state.Derived.GyroHeadingCentiDeg, 35999);
    EXPECT_EQ(state.Derived.CompassHeadingCentiDeg, -1);
}

// Beyond about 8,400 ft/min a 32-bit product would wrap into nonsense.
TEST_F(DerivedValuesTest, FastVerticalSpeedDoesNotWrap) {
    state.Sim.VerticalSpeedRaw = 20000;  // 78 m/s
    ComputeNavigationValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.VerticalSpeedFpm, 15375);
    state.Sim.VerticalSpeedRaw = -20000;
    ComputeNavigationValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.VerticalSpeedFpm, -15375);
}

TEST_F(DerivedValuesTest, FailedConversionKeepsOnlyThatField) {
    state.Sim.GpsGroundSpeed = 10.0;
    state.Sim.GyroHeadingDeg = 90.0;
    ComputeNavigationValues(state.Sim, state.Derived);
    state.Sim.GpsGroundSpeed = std::numeric_limits<double>::quiet_NaN();
    state.Sim.GyroHeadingDeg = 1e30;
    state.Sim.AltitudeMetres = 10;
    ComputeNavigationValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.GroundSpeedCentiMs, 1000);
    EXPECT_EQ(state.Derived.GyroHeadingCentiDeg, 9000);
    EXPECT_EQ(state.Derived.AltitudeFeet, 32);  // later fields still computed
}

TEST_F(DerivedValuesTest, AttitudePairStopsAtTheFirstFailure) {
    state.Sim.BankDeg = -15.005;
    state.Sim.PitchDeg = 2.5;
    ComputeAttitudeValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.BankCentiDeg, -1500);
    EXPECT_EQ(state.Derived.PitchUpCentiDeg, -250);
    state.Sim.BankDeg = 5;
    state.Sim.PitchDeg = std::numeric_limits<double>::infinity();
    ComputeAttitudeValues(state.Sim, state.Derived);
    EXPECT_EQ(state.Derived.BankCentiDeg, 500);
    EXPECT_EQ(state.Derived.PitchUpCentiDeg, -250);
}

}  // namespace
}  // namespace bridge::testing
