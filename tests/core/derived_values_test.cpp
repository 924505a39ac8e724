#include <gtest/gtest.h>

#include <limits>

#include "base/numeric.h"
#include "state/bridge_state.h"
#include "core/derived_values.h"

namespace bridge::testing {
namespace {

class DerivedValuesTest : public ::testing::Test {
protected:
    DerivedValuesTest() { ResetBridgeState(); }
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
    Bridge.LatitudeRaw = 21478594576384000;
    ComputeNavigationValues();
    EXPECT_EQ(Bridge.LatitudeDeg, 45.0);
    EXPECT_EQ(Bridge.Latitude1e7, 450000000);
}

TEST_F(DerivedValuesTest, DegreesAreNarrowedToSinglePrecisionFirst) {
    Bridge.LatitudeRaw = 24570462130759564;        // 51.4778 degrees
    Bridge.LongitudeRaw = -std::int64_t{1} << 62;  // -90 degrees
    ComputeNavigationValues();
    EXPECT_EQ(Bridge.Latitude1e7, 514777985);
    EXPECT_EQ(Bridge.LongitudeDeg, -90.0);
    EXPECT_EQ(Bridge.Longitude1e7, -900000000);
}

TEST_F(DerivedValuesTest, HalfRateConversions) {
    Bridge.VerticalSpeedRaw = 256;
    Bridge.AltitudeMetres = 1000;
    Bridge.HeadingRaw = 2147483648u;  // top bit set: half a circle
    Bridge.IasRaw = 100 * 128;
    Bridge.TurnRateRaw = -35;
    Bridge.GpsGroundSpeed = 51.239;
    Bridge.GyroHeadingDeg = 359.999;
    Bridge.CompassHeadingDeg = -0.019;
    ComputeNavigationValues();
    EXPECT_EQ(Bridge.VerticalSpeedFpm, 196);
    EXPECT_EQ(Bridge.AltitudeFeet, 3280);
    EXPECT_EQ(Bridge.TrueHeading1e5, 18000000);
    EXPECT_EQ(Bridge.IasTenthsKmh, 1852);
    EXPECT_EQ(Bridge.TurnRateTenths, -2);
    EXPECT_EQ(Bridge.GroundSpeedCentiMs, 5123);
    EXPECT_EQ(Bridge.GyroHeadingCentiDeg, 35999);
    EXPECT_EQ(Bridge.CompassHeadingCentiDeg, -1);
}

// Beyond about 8,400 ft/min a 32-bit product would wrap into nonsense.
TEST_F(DerivedValuesTest, FastVerticalSpeedDoesNotWrap) {
    Bridge.VerticalSpeedRaw = 20000;  // 78 m/s
    ComputeNavigationValues();
    EXPECT_EQ(Bridge.VerticalSpeedFpm, 15375);
    Bridge.VerticalSpeedRaw = -20000;
    ComputeNavigationValues();
    EXPECT_EQ(Bridge.VerticalSpeedFpm, -15375);
}

TEST_F(DerivedValuesTest, FailedConversionKeepsOnlyThatField) {
    Bridge.GpsGroundSpeed = 10.0;
    Bridge.GyroHeadingDeg = 90.0;
    ComputeNavigationValues();
    Bridge.GpsGroundSpeed = std::numeric_limits<double>::quiet_NaN();
    Bridge.GyroHeadingDeg = 1e30;
    Bridge.AltitudeMetres = 10;
    ComputeNavigationValues();
    EXPECT_EQ(Bridge.GroundSpeedCentiMs, 1000);
    EXPECT_EQ(Bridge.GyroHeadingCentiDeg, 9000);
    EXPECT_EQ(Bridge.AltitudeFeet, 32);  // later fields still computed
}

TEST_F(DerivedValuesTest, AttitudePairStopsAtTheFirstFailure) {
    Bridge.BankDeg = -15.005;
    Bridge.PitchDeg = 2.5;
    ComputeAttitudeValues();
    EXPECT_EQ(Bridge.BankCentiDeg, -1500);
    EXPECT_EQ(Bridge.PitchUpCentiDeg, -250);
    Bridge.BankDeg = 5;
    Bridge.PitchDeg = std::numeric_limits<double>::infinity();
    ComputeAttitudeValues();
    EXPECT_EQ(Bridge.BankCentiDeg, 500);
    EXPECT_EQ(Bridge.PitchUpCentiDeg, -250);
}

}  // namespace
}  // namespace bridge::testing
