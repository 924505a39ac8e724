#include <gtest/gtest.h>

#include <vector>

#include "core/variable_map.h"
#include "tests/support/bridge_fixture.h"

namespace bridge::testing {
namespace {

struct Row {
    std::uint32_t offset;
    std::uint32_t size;
    bool write;
    std::uint64_t value;  // the written bytes, little-endian; 0 for reads

    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << std::hex << "{0x" << r.offset << ", " << std::dec << r.size
              << (r.write ? ", write 0x" : ", read") << std::hex << (r.write ? r.value : 0)
              << std::dec << "}";
}

std::vector<Row> Rows(const FakeSimLink& sim) {
    std::vector<Row> rows;
    for (std::size_t i = 0; i < sim.lastExchangeSize; ++i) {
        const FakeRequest& r = sim.lastExchange[i];
        rows.push_back({r.offset, r.size, r.write, r.write ? r.Value() : 0});
    }
    return rows;
}

using VariableMapTest = BridgeFixture;

TEST_F(VariableMapTest, HalfRateTickWithTwoEnginesAServoEngagedAndARadioWrite) {
    state.Link.SimLinkUp = true;
    state.Settings.NumberOfEngines = 2;
    state.Servos.PitchServoEngaged = true;
    state.Servos.PitchServoCommand = -16384;
    state.RadioWrites.Nav1StandbyWrite = 0x1050;
    cycle.Tick();
    const std::vector<Row> expected = {
        {0x2F70, 8, false, 0},
        {0x2F78, 8, false, 0},
        {0x037C, 2, false, 0},
        {0x036E, 1, false, 0},
        {0x02CC, 8, false, 0},
        {0x2B00, 8, false, 0},
        {0x11BA, 2, false, 0},
        {0x0BB6, 2, false, 0},      // bank free: read
        {0x0BB2, 2, true, 0xC000},  // pitch engaged: its command
        {0x310A, 1, true, 0x01},    // controls disconnect: elevator
        {0x0560, 8, false, 0},
        {0x0568, 8, false, 0},
        {0x0580, 4, false, 0},
        {0x6030, 8, false, 0},
        {0x6020, 8, false, 0},
        {0x0574, 4, false, 0},
        {0x02BC, 4, false, 0},
        {0x02C8, 4, false, 0},
        {0x0E8C, 2, false, 0},
        {0x28C8, 8, false, 0},
        // engine 1
        {0x0898, 2, false, 0},
        {0x08C8, 2, false, 0},
        {0x3B70, 8, false, 0},
        {0x3B58, 8, false, 0},
        {0x3B60, 8, false, 0},
        {0x08C0, 2, false, 0},
        {0x0918, 8, false, 0},
        {0x08E8, 8, false, 0},
        {0x3868, 8, false, 0},
        // engine 2
        {0x0930, 2, false, 0},
        {0x0960, 2, false, 0},
        {0x3AB0, 8, false, 0},
        {0x3A98, 8, false, 0},
        {0x3AA0, 8, false, 0},
        {0x0958, 2, false, 0},
        {0x09B0, 8, false, 0},
        {0x0980, 8, false, 0},
        {0x37A8, 8, false, 0},
        {0x0330, 2, false, 0},
        {0x2AAC, 4, false, 0},
        {0x2AB0, 4, false, 0},
        {0x3300, 2, false, 0},
        {0x0C4E, 2, false, 0},
        {0x0C50, 2, false, 0},
        {0x0C60, 2, false, 0},
        {0x034E, 2, false, 0},
        {0x311A, 2, false, 0},
        {0x0350, 2, false, 0},
        {0x311E, 2, true, 0x1050},  // pending NAV1 standby: written, not read
        {0x3118, 2, false, 0},
        {0x311C, 2, false, 0},
    };
    EXPECT_EQ(Rows(sim), expected);
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0);

    cycle.Tick();  // polled only
    cycle.Tick();  // next half-rate tick reads NAV1 standby again
    EXPECT_EQ(Rows(sim)[48], (Row{0x311E, 2, false, 0}));
}

TEST_F(VariableMapTest, FourEngineOffsetsFollowTheirRule) {
    for (unsigned n = 1; n < 4; ++n) {
        const auto& a = offsets::kEngine[n - 1];
        const auto& b = offsets::kEngine[n];
        EXPECT_EQ(b.rpm - a.rpm, 0x98u);
        EXPECT_EQ(b.manifold - a.manifold, 0x98u);
        EXPECT_EQ(b.fuelFlow - a.fuelFlow, 0x98u);
        EXPECT_EQ(a.egt - b.egt, 0xC0u);
        EXPECT_EQ(a.fuelPressure - b.fuelPressure, 0xC0u);
    }
}

TEST_F(VariableMapTest, AltimeterWriteGoesBeforeTheHalfRateRead) {
    state.Link.SimLinkUp = true;
    state.Altimeter.AltimeterWritePending = true;
    state.Altimeter.AltimeterCommand = 16364;
    sim.Set<std::uint16_t>(offsets::kAltimeterSetting, 16211);
    cycle.Tick();
    const auto rows = Rows(sim);
    EXPECT_EQ(rows[7], (Row{0x0330, 2, true, 16364}));
    EXPECT_EQ(rows[rows.size() - 13], (Row{0x0330, 2, false, 0}));
    EXPECT_EQ(state.Sim.AltimeterSetting, 16364);  // read back within the same exchange
}

TEST_F(VariableMapTest, HeadingWithTheTopBitSetIsNotNegative) {
    state.Link.SimLinkUp = true;
    state.Sim.HeadingRaw = ~std::uint64_t{0};  // the cell is zeroed before the 4-byte read
    sim.Set<std::uint32_t>(offsets::kHeading, 2147483648u);
    cycle.Tick();
    EXPECT_EQ(state.Sim.HeadingRaw, 2147483648u);
    EXPECT_EQ(state.Derived.TrueHeading1e5, 18000000);
}

TEST_F(VariableMapTest, EngineCountAboveFourActsAsFour) {
    state.Link.SimLinkUp = true;
    state.Settings.NumberOfEngines = 255;
    cycle.Tick();
    EXPECT_EQ(sim.lastExchangeSize, 33u + 36);
}

}  // namespace
}  // namespace bridge::testing
