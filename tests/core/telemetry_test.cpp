#include <gtest/gtest.h>

#include <vector>

#include "core/telemetry.h"
#include "tests/support/bridge_fixture.h"

namespace bridge::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class TelemetryTest : public BridgeFixture {
protected:
    boxproto::Frame OnlyFrame() {
        auto frames = SentFrames();
        EXPECT_EQ(frames.size(), 1u);
        return frames.empty() ? boxproto::Frame{} : frames[0];
    }
    boxproto::Item OnlyItem() {
        const auto item = boxproto::AsItem(OnlyFrame());
        EXPECT_TRUE(item);
        return item.value_or(boxproto::Item{});
    }
    std::vector<std::int16_t> Words(const boxproto::Item& item) {
        std::vector<std::int16_t> w;
        for (std::size_t i = 0; i < item.payload.size() / 2; ++i) w.push_back(item.Word(i));
        return w;
    }
};

TEST_F(TelemetryTest, WholeAttitudeFrame) {
    state.Sim.GForceRaw = 624;
    state.Derived.TurnRateTenths = 30;
    state.Derived.BankCentiDeg = 1500;
    state.Derived.PitchUpCentiDeg = -250;
    state.Derived.GyroHeadingCentiDeg = 9000;
    state.Sim.BallRaw = -10;
    telemetry().SendAttitudeFrame();
    EXPECT_EQ(port.written, (Bytes{0x05, 0x82, 0x01, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x03, 0xE8,
                                   0x03, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xDC,
                                   0x05, 0x06, 0xFF, 0x28, 0x23, 0xFD, 0x22, 0xC8}));
}

TEST_F(TelemetryTest, GForceAndBall) {
    EXPECT_EQ(GForceMilli(624), 1000);
    EXPECT_EQ(GForceMilli(-624), -1000);
    EXPECT_EQ(GForceMilli(1000), 1603);
    EXPECT_EQ(BallValue(-128), -50);
    EXPECT_EQ(BallValue(127), 50);
    EXPECT_EQ(BallValue(1), 0);
    state.Sim.BallRaw = -128;
    telemetry().SendAttitudeFrame();
    EXPECT_EQ(OnlyFrame().bytes[25], 0xCE);
}

TEST_F(TelemetryTest, AirDataFrameFields) {
    state.Derived.AltitudeFeet = 3280;
    state.Derived.Longitude1e7 = -900000000;
    state.Derived.Latitude1e7 = 514777985;
    state.Sim.GpsAltitude = 1000.2567;
    state.Derived.VerticalSpeedFpm = 196;
    state.Derived.GroundSpeedCentiMs = 5123;
    state.Derived.TrueHeading1e5 = 18000000;
    state.Sim.AltimeterSetting = 16211;
    state.Derived.IasTenthsKmh = 1852;
    state.Sim.AmbientPressure = 2116.22;
    state.Sim.OatRaw = -1;
    state.Derived.CompassHeadingCentiDeg = 27015;
    state.BoxPorts.RadioPortMask = 0x0012;
    telemetry().SendAirDataFrame();
    const auto f = OnlyFrame();
    ASSERT_EQ(f.bytes.size(), 73u);
    EXPECT_EQ(f.kind, 0);
    EXPECT_EQ(boxproto::BodyI32(f, 3), 3280);
    EXPECT_EQ(boxproto::BodyI32(f, 7), -900000000);
    EXPECT_EQ(boxproto::BodyI32(f, 11), 514777985);
    EXPECT_EQ(boxproto::BodyI32(f, 19), 1000256);
    EXPECT_EQ(boxproto::BodyI32(f, 35), -98);
    EXPECT_EQ(boxproto::BodyI32(f, 39), 5123);
    EXPECT_EQ(boxproto::BodyI32(f, 43), 18000000);
    EXPECT_EQ(static_cast<std::uint16_t>(boxproto::BodyI16(f, 47)), 10131);
    EXPECT_EQ(boxproto::BodyI16(f, 49), 196);
    EXPECT_EQ(boxproto::BodyI16(f, 51), 1852);
    EXPECT_EQ(boxproto::BodyI16(f, 55), 3346);
    EXPECT_EQ(boxproto::BodyI16(f, 57), 0);
    EXPECT_EQ(boxproto::BodyI16(f, 59), 27015);
    EXPECT_EQ(boxproto::BodyI16(f, 67), 0x0012);
    EXPECT_EQ(f.bytes[69], 3);
    EXPECT_EQ(f.bytes[70], 6);
    for (std::size_t at : {15, 16, 17, 18, 23, 30, 34, 53, 54, 61, 66}) {
        EXPECT_EQ(f.bytes[at], 0) << at;
    }
}

TEST_F(TelemetryTest, OutsideAirTemperatureTruncatesTowardZero) {
    for (const auto& [raw, celsius] : {std::pair{-1, 0}, {-256, -1}, {-257, -1}, {5120, 20}}) {
        state.Sim.OatRaw = static_cast<std::int16_t>(raw);
        telemetry().SendAirDataFrame();
        EXPECT_EQ(boxproto::BodyI16(OnlyFrame(), 57), celsius) << raw;
    }
}

TEST_F(TelemetryTest, StaticPressureCount) {
    EXPECT_EQ(StaticPressureCount(2116.22), 3346);
    EXPECT_EQ(StaticPressureCount(0.0), -389);
    EXPECT_FALSE(StaticPressureCount(std::numeric_limits<double>::quiet_NaN()));
}

TEST_F(TelemetryTest, ServoEchoMapsThePositionBack) {
    EXPECT_EQ(ServoEchoPosition(0), 1024);
    EXPECT_EQ(ServoEchoPosition(-16384), 1536);
    EXPECT_EQ(ServoEchoPosition(16384), 512);
    EXPECT_EQ(ServoEchoPosition(-31), 1024);
    EXPECT_EQ(ServoEchoPosition(-32768), 2048);
    EXPECT_EQ(ServoEchoPosition(32767), 1);

    state.Servos.PitchEngageBit = 1;
    state.Servos.PitchServoPosition = 16384;
    telemetry().SendServoEcho(Servo::Pitch);
    const auto item = OnlyItem();
    EXPECT_EQ(item.address, 17);
    EXPECT_EQ(item.itemKind, 1);
    EXPECT_EQ(item.payload, (Bytes{0x01, 0x00, 0x02, 0x46, 0x00}));
}

TEST_F(TelemetryTest, WholeRpmItemFrame) {
    state.Engines.Snapshot[0].RpmRaw = 9600;
    state.Engines.Snapshot[0].RpmScaler = 16384;
    state.Engines.Snapshot[0].ManifoldRaw = 30720;
    telemetry().SendRpmItem(1);
    EXPECT_EQ(port.written, (Bytes{0x05, 0x82, 0x02, 0x0E, 0x00, 0x01, 0x88, 0x20, 0x60, 0x09, 0x60,
                                   0x09, 0xFA, 0x05, 0x00, 0x08, 0x90, 0x50}));
}

TEST_F(TelemetryTest, EngineTwoUsesAddress33) {
    state.Engines.Snapshot[1].FuelFlowPph = 10;
    telemetry().SendFuelFlowItem(2);
    const auto item = OnlyItem();
    EXPECT_EQ(item.address, 33);
    EXPECT_EQ(item.itemKind, 1);
    EXPECT_EQ(Words(item), (std::vector<std::int16_t>{49, 500, 0, 500}));
}

TEST_F(TelemetryTest, ThermocoupleChannelsFollowTheSplit) {
    state.Engines.Snapshot[0].EgtRankine = 1700;
    state.Engines.Snapshot[0].ChtFahrenheit = 356;
    EXPECT_EQ(EgtCelsius(1700), 671);
    EXPECT_EQ(ChtCelsius(356), 178);
    using W = std::vector<std::int16_t>;
    struct Case {
        std::uint8_t split;
        W tc1to4, tc5to8, tc9to12;
    };
    const W z = {0, 0, 0, 0};
    for (const Case& c : {Case{0, {671, 178, 0, 0}, z, z}, Case{1, {671, 671, 178, 178}, z, z},
                          Case{2, {671, 671, 671, 671}, {178, 178, 178, 178}, z},
                          Case{3, {671, 671, 671, 671}, {671, 671, 178, 178}, {178, 178, 178, 178}},
                          Case{4, z, z, z}}) {
        state.Settings.EGTCHTSplit = c.split;
        telemetry().SendThermocoupleItems(1);
        const auto frames = SentFrames();
        ASSERT_EQ(frames.size(), 3u);
        const W expected[] = {c.tc1to4, c.tc5to8, c.tc9to12};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto item = boxproto::AsItem(frames[i]);
            ASSERT_TRUE(item);
            EXPECT_EQ(item->itemKind, 2 + i);
            EXPECT_EQ(Words(*item), expected[i]) << "split " << int{c.split} << " item " << i;
        }
    }
}

TEST_F(TelemetryTest, SenderCountsAndTheirLimits) {
    EXPECT_EQ(OilTemperatureCount(635.67), 2887);
    EXPECT_EQ(OilTemperatureCount(0.0), 0);
    EXPECT_EQ(OilTemperatureCount(5000.0), 4095);
    EXPECT_EQ(OilTemperatureCount(1e15), 4095);
    EXPECT_FALSE(OilTemperatureCount(1e300));  // beyond 64 bits: no count at all
    EXPECT_EQ(PressureCount(8640), 1694);
    EXPECT_EQ(PressureCount(28800), 4095);
    EXPECT_EQ(PressureCount(-5), 0);
    EXPECT_FALSE(PressureCount(std::numeric_limits<double>::quiet_NaN()));

    state.Engines.Snapshot[0].OilTempRankine = 635.67;
    state.Engines.Snapshot[0].OilPressurePsf = 8640;
    state.Engines.Snapshot[0].FuelPressurePsf = 28800;
    telemetry().SendOilItem(1);
    EXPECT_EQ(Words(OnlyItem()), (std::vector<std::int16_t>{2887, 1694, 0, 0}));
    telemetry().SendFuelPressureItem(1);
    EXPECT_EQ(Words(OnlyItem()), (std::vector<std::int16_t>{4095, 0, 0, 0}));
    telemetry().SendBlankItem(1);
    const auto blank = OnlyItem();
    EXPECT_EQ(blank.itemKind, 7);
    EXPECT_EQ(blank.payload, (Bytes{0, 0, 0, 0}));
}

TEST_F(TelemetryTest, ItemsWithAValueTheBoxCannotTakeAreNotSent) {
    state.Engines.Snapshot[0].OilTempRankine = std::numeric_limits<double>::quiet_NaN();
    telemetry().SendOilItem(1);
    state.Engines.Snapshot[0].FuelFlowPph = 1e300;
    telemetry().SendFuelFlowItem(1);
    state.Engines.Snapshot[0].ChtFahrenheit = -std::numeric_limits<double>::infinity();
    telemetry().SendThermocoupleItems(1);
    state.Sim.GpsAltitude = std::numeric_limits<double>::quiet_NaN();
    telemetry().SendAirDataFrame();
    EXPECT_TRUE(port.written.empty());
}

}  // namespace
}  // namespace bridge::testing
