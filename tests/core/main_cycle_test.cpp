#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/variable_map.h"
#include "tests/support/bridge_fixture.h"
#include "tests/support/frame_names.h"

namespace bridge::testing {
namespace {

using Names = std::vector<std::string>;

class MainCycleTest : public BridgeFixture {
protected:
    void LinkUp() { state.Link.SimLinkUp = true; }

    // A simulator state in which every conversion succeeds.
    void ServeOrdinaryFlight() {
        sim.Set<double>(offsets::kGpsAltitude, 300.0);
        sim.Set<double>(offsets::kAmbientPressure, 2116.22);
        for (const auto& e : offsets::kEngine) {
            sim.Set<double>(e.egt, 1700.0);
            sim.Set<double>(e.cht, 356.0);
            sim.Set<double>(e.oilTemp, 635.67);
            sim.Set<double>(e.fuelFlow, 10.0);
        }
    }
};

// The output schedule written as the table of rates: every N ticks, first at tick F.
Names ExpectedFrames(int tick, unsigned engines) {
    Names names = {"attitude"};
    if (tick % 2 == 1) names.push_back("airdata");
    auto each = [&](const char* kind) {
        for (unsigned n = 0; n < engines; ++n) {
            names.push_back("item " + std::to_string(32 + n) + "/" + kind);
        }
    };
    if (tick % 80 == 0) each("1");
    if (tick % 4 == 0) each("8");
    if (tick % 15 == 3) {
        for (unsigned n = 0; n < engines; ++n) {
            names.push_back("item " + std::to_string(32 + n) + "/5");
            names.push_back("item " + std::to_string(32 + n) + "/6");
        }
    }
    if (tick % 15 == 10) each("7");
    if (tick % 15 == 0) {
        for (unsigned n = 0; n < engines; ++n) {
            for (const char* kind : {"2", "3", "4"}) {
                names.push_back("item " + std::to_string(32 + n) + "/" + kind);
            }
        }
    }
    return names;
}

class ScheduleTest : public MainCycleTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(ScheduleTest, FollowsTheRateTableFor240Ticks) {
    state.Settings.NumberOfEngines = static_cast<std::uint8_t>(GetParam());
    const unsigned engines = std::min(GetParam(), 4u);
    ServeOrdinaryFlight();
    LinkUp();
    const auto ticks = TickFrames(240);
    for (int t = 1; t <= 240; ++t) {
        ASSERT_EQ(FrameNames(ticks[t - 1]), ExpectedFrames(t, engines)) << "tick " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ScheduleTest, ::testing::Values(0u, 2u, 4u, 7u));

TEST_F(MainCycleTest, HalfRateTicksQueueNavigationEnginesAndRadios) {
    state.Settings.NumberOfEngines = 2;
    LinkUp();
    cycle.Tick();  // tick 1: half-rate
    EXPECT_EQ(sim.lastExchangeSize, 33u + 9 * 2);
    cycle.Tick();  // tick 2: polled only
    EXPECT_EQ(sim.lastExchangeSize, 10u);
    state.Altimeter.AltimeterWritePending = true;
    cycle.Tick();
    EXPECT_EQ(sim.lastExchangeSize, 34u + 9 * 2);
    EXPECT_FALSE(state.Altimeter.AltimeterWritePending);
}

// A tick's frames go out in one transfer; echoes in one of their own before
// the exchange, which may be slow or fail.
TEST_F(MainCycleTest, FailedExchangeOnTheFourthTickStillSendsTheRpmItems) {
    state.Settings.NumberOfEngines = 2;
    view.reconnectEnabled = false;
    LinkUp();
    TickFrames(3);
    EXPECT_EQ(port.transfers, (std::vector<int>{2, 1, 6}));
    port.transfers.clear();
    state.Servos.BankEchoPending = true;
    state.Servos.PitchEchoPending = true;
    std::vector<int> sentBeforeTheExchange;
    sim.onExchange = [&] {
        EXPECT_EQ(port.holds, 0);
        sentBeforeTheExchange = port.transfers;
    };
    sim.failNext = SimLinkResult::TimedOut;
    cycle.Tick();
    EXPECT_EQ(sentBeforeTheExchange, (std::vector<int>{2}));
    EXPECT_EQ(port.transfers, (std::vector<int>{2, 2}));
    EXPECT_EQ(FrameNames(SentFrames()),
              (Names{"item 16/1", "item 17/1", "item 32/8", "item 33/8"}));
    EXPECT_FALSE(state.Link.SimLinkUp);
    EXPECT_TRUE(view.reconnectEnabled);
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0], "FlightSim problem: IPC timed out all retries");
    EXPECT_EQ(state.Link.LogLine, view.log[0]);

    // Down: nothing more goes out and nothing is exchanged.
    const auto exchanges = sim.exchanges;
    for (const auto& frames : TickFrames(20)) EXPECT_TRUE(frames.empty());
    EXPECT_EQ(sim.exchanges, exchanges);
}

TEST_F(MainCycleTest, CountersContinueAfterAReconnect) {
    LinkUp();
    TickFrames(5);
    state.Link.SimLinkUp = false;
    TickFrames(7);
    LinkUp();
    cycle.Tick();  // the sixth polled tick
    EXPECT_EQ(state.Counters.TickPhase, 6);
    EXPECT_EQ(state.Counters.RadioPhase, 6);
    EXPECT_EQ(state.Counters.EnginePhase, 6);
}

TEST_F(MainCycleTest, EchoStaysPendingWhileTheLinkIsDown) {
    state.Servos.BankEchoPending = true;
    state.Servos.BankEngageBit = 1;
    state.Servos.BankServoEngaged = true;
    state.Servos.BankServoCommand = -16384;
    for (const auto& frames : TickFrames(3)) EXPECT_TRUE(frames.empty());
    EXPECT_TRUE(state.Servos.BankEchoPending);

    LinkUp();
    const auto first = TickFrames(1)[0];
    ASSERT_FALSE(first.empty());
    const auto echo = boxproto::AsItem(first[0]);
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->address, 16);
    EXPECT_EQ(echo->payload[0], 1);
    EXPECT_EQ(static_cast<std::int16_t>(echo->payload[1] | (echo->payload[2] << 8)), 1536);
    EXPECT_FALSE(state.Servos.BankEchoPending);
    for (const auto& frames : TickFrames(2)) {
        for (const auto& f : frames) EXPECT_NE(FrameName(f), "item 16/1");
    }
}

// The box's commands are slots the next tick carries out: the last one wins,
// with one echo.
TEST_F(MainCycleTest, CommandsBetweenTwoTicksGiveOneEchoAndWriteWithTheLast) {
    LinkUp();
    for (const std::uint16_t position : {100, 1536}) {
        for (const std::uint8_t b : boxproto::ServoCommandFrame(1, true, position, 0x0011)) {
            receiver.ReceiveByte(b);
        }
    }
    const auto frames = TickFrames(1)[0];
    const auto echoes = std::count_if(frames.begin(), frames.end(),
                                      [](const auto& f) { return FrameName(f) == "item 16/1"; });
    EXPECT_EQ(echoes, 1);
    EXPECT_EQ(sim.Get<std::int16_t>(offsets::kAileron), (1024 - 1536) * 32);
}

TEST_F(MainCycleTest, ServosWriteWhenEngagedAndReadBackWhenFree) {
    LinkUp();
    sim.Set<std::int16_t>(offsets::kAileron, 1000);
    sim.Set<std::int16_t>(offsets::kElevator, -2000);
    cycle.Tick();
    EXPECT_EQ(view.bankLabel, "Not engaged");
    EXPECT_EQ(view.pitchLabel, "Not engaged");
    EXPECT_EQ(sim.Get<std::uint8_t>(offsets::kControlsDisconnect), 0);
    // A free servo's track bar shows the reading of the previous exchange.
    EXPECT_EQ(view.bankTrackBar, 0);
    cycle.Tick();
    EXPECT_EQ(view.bankTrackBar, 1000 / 32);
    EXPECT_EQ(view.pitchTrackBar, 2000 / 32);

    state.Servos.BankServoEngaged = state.Servos.PitchServoEngaged = true;
    state.Servos.BankServoCommand = 16384;
    state.Servos.PitchServoCommand = -16384;
    cycle.Tick();
    EXPECT_EQ(view.bankLabel, "Engaged");
    EXPECT_EQ(view.pitchLabel, "Engaged");
    EXPECT_EQ(sim.Get<std::uint8_t>(offsets::kControlsDisconnect), 3);
    EXPECT_EQ(sim.Get<std::int16_t>(offsets::kAileron), 16384);
    EXPECT_EQ(sim.Get<std::int16_t>(offsets::kElevator), -16384);
    EXPECT_EQ(view.bankTrackBar, 512);
    EXPECT_EQ(view.pitchTrackBar, 512);

    state.Servos.BankServoEngaged = false;
    sim.Set<std::uint8_t>(offsets::kControlsDisconnect, 0xFF);
    cycle.Tick();
    EXPECT_EQ(sim.Get<std::uint8_t>(offsets::kControlsDisconnect), 1);
}

TEST_F(MainCycleTest, TrackBarsTruncateTowardZeroAndStayInRange) {
    LinkUp();
    state.Servos.BankServoEngaged = state.Servos.PitchServoEngaged = true;
    struct Case {
        std::int16_t position;
        int bank;
        int pitch;
    };
    for (const Case c : {Case{-16384, -512, 512}, Case{-31, 0, 0}, Case{31, 0, 0}, Case{-33, -1, 1},
                         Case{-32768, -512, 512}, Case{32767, 512, -512}}) {
        state.Servos.BankServoCommand = state.Servos.PitchServoCommand = c.position;
        cycle.Tick();
        EXPECT_EQ(view.bankTrackBar, c.bank) << c.position;
        EXPECT_EQ(view.pitchTrackBar, c.pitch) << c.position;
    }
}

TEST_F(MainCycleTest, ArincRecordGoesOutWhileTheLinkIsDown) {
    state.Arinc.RecordPending = true;
    state.Arinc.LeadByte = 0x01;
    state.Arinc.ArincWord = 0x601234C8;
    cycle.Tick();
    EXPECT_FALSE(state.Arinc.RecordPending);
    const auto bytes = port.TakeWritten();
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x05, 0x82, 0x03, 0x01, 0x13, 0x34, 0x12, 0x60,
                                                0xBA, 0x54}));
}

TEST_F(MainCycleTest, StopRequestIsAnsweredWhileTheLinkIsDown) {
    state.Link.StopRequested = true;
    EXPECT_TRUE(cycle.Tick());  // answered: no further tick
    EXPECT_FALSE(state.Link.StopRequested);
    EXPECT_FALSE(state.Link.SimLinkUp);
}

TEST_F(MainCycleTest, StopRequestEndsTheTickAfterTheArincHandOff) {
    LinkUp();
    state.Link.StopRequested = true;
    state.Arinc.RecordPending = true;
    EXPECT_TRUE(cycle.Tick());
    EXPECT_EQ(FrameNames(SentFrames()), (Names{"arinc"}));
    EXPECT_FALSE(state.Link.SimLinkUp);
    EXPECT_EQ(sim.exchanges, 0u);
}

TEST_F(MainCycleTest, BankNotANumberKeepsAttitudeValuesAndStillSendsTheFrame) {
    LinkUp();
    sim.Set<double>(offsets::kBank, 12.5);
    sim.Set<double>(offsets::kPitch, -3.0);
    cycle.Tick();
    EXPECT_EQ(state.Derived.BankCentiDeg, 1250);
    EXPECT_EQ(state.Derived.PitchUpCentiDeg, 300);
    SentFrames();
    sim.Set<double>(offsets::kBank, std::numeric_limits<double>::quiet_NaN());
    sim.Set<double>(offsets::kPitch, 5.0);
    cycle.Tick();
    EXPECT_EQ(state.Derived.BankCentiDeg, 1250);
    EXPECT_EQ(state.Derived.PitchUpCentiDeg, 300);  // skipped with the bank
    EXPECT_EQ(FrameNames(SentFrames()), (Names{"attitude"}));
}

// A value the box cannot be given costs only its own frame or field; the rest
// of the tick (items, sentences, counters) goes on.
TEST_F(MainCycleTest, ConversionFaultsCostOnlyTheirOwnFrameOrField) {
    state.Settings.NumberOfEngines = 1;
    ServeOrdinaryFlight();
    sim.Set<double>(offsets::kGpsGroundSpeed, 50.0);
    LinkUp();
    TickFrames(14);
    EXPECT_EQ(state.Derived.GroundSpeedCentiMs, 5000);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    sim.Set<double>(offsets::kGpsGroundSpeed, nan);
    sim.Set<double>(offsets::kGpsAltitude, nan);
    sim.Set<double>(offsets::kEngine[0].egt, std::numeric_limits<double>::infinity());
    const auto frames = TickFrames(1)[0];  // tick 15: half-rate, thermocouples due
    EXPECT_EQ(FrameNames(frames), (Names{"attitude"}));
    EXPECT_EQ(state.Derived.GroundSpeedCentiMs, 5000);
    EXPECT_EQ(state.Counters.EnginePhase, 0);  // the counters ran

    sim.Set<double>(offsets::kGpsAltitude, 1e300);  // beyond 64 bits in millimetres
    sim.Set<double>(offsets::kEngine[0].egt, 1700.0);
    sim.Set<double>(offsets::kEngine[0].fuelFlow, nan);
    const auto later = TickFrames(65);                                   // ticks 16 to 80
    EXPECT_EQ(FrameNames(later[1]), (Names{"attitude"}));                // tick 17: no air data
    EXPECT_EQ(FrameNames(later[64]), (Names{"attitude", "item 32/8"}));  // no fuel flow
}

}  // namespace
}  // namespace bridge::testing
