// The simulator emulator's portable parts: its defence against bad client
// blocks, its log lines, its fault plan, its command line and its flight.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/emulator_log.h"
#include "tools/sim_emulator/emulator_options.h"
#include "tools/sim_emulator/flight_script.h"
#include "tools/sim_emulator/input_panel.h"
#include "tools/sim_emulator/sim_server.h"

namespace simemu {
namespace {

class BlockWriter {
public:
    BlockWriter& Read(std::uint32_t offset, std::uint32_t size, std::uint32_t reference) {
        return U32(1).U32(offset).U32(size).U32(reference).Zeros(size);
    }
    BlockWriter& Write(std::uint32_t offset, std::vector<std::uint8_t> bytes) {
        U32(2).U32(offset).U32(static_cast<std::uint32_t>(bytes.size()));
        for (std::uint8_t b : bytes) block[at++] = b;
        return *this;
    }
    BlockWriter& U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) block[at++] = static_cast<std::uint8_t>(v >> (8 * i));
        return *this;
    }
    BlockWriter& Zeros(std::size_t n) {
        at += n;
        return *this;
    }
    std::array<std::uint8_t, kBlockSize> block{};
    std::size_t at = 0;
};

TEST(SimServer, CarriesOutRequestsAndLogsThem) {
    SimServer server;
    PutU16(server.image(), 0x0330, 0x3F54);
    BlockWriter w;
    w.Read(0x0330, 2, 1).Write(0x0BB6, {0x34, 0x12}).Write(0x0100, {}).Read(0x0BB6, 2, 0);
    std::string log;
    EXPECT_EQ(server.Serve(w.block, Fault::None, &log), 1u);
    EXPECT_EQ(w.block[16], 0x54);
    EXPECT_EQ(w.block[17], 0x3F);
    EXPECT_EQ(w.block[18 + 14 + 12 + 16], 0x34);  // the write came first
    EXPECT_EQ(log,
              "R 1 0330 2 00000001\nW 1 0BB6 2 3412\nW 1 0100 0 -\nR 1 0BB6 2 00000000\n"
              "X 1 1 4 none\n");
}

TEST(SimServer, StampsOnlyTheExchangeGivenATimeAndStaysReadable) {
    SimServer server;
    BlockWriter w;
    w.Write(0x0BB6, {0x00, 0x40});
    std::string log;
    server.StampNextExchange(18446744073709551615u);  // the widest value fits the line
    EXPECT_EQ(server.Serve(w.block, Fault::None, &log), 1u);
    server.Refuse("atom", Fault::None, &log);
    server.StampNextExchange(7);
    server.Refuse("section", Fault::None, &log);
    EXPECT_EQ(log,
              "W 1 0BB6 2 0040\nX 1 1 1 none qpc_us=18446744073709551615\n"
              "BAD 2 atom 0\nX 2 0 0 none\nBAD 3 section 0\nX 3 0 0 none qpc_us=7\n");

    const auto exchanges = bridge::testing::ParseEmulatorLog(log);
    ASSERT_EQ(exchanges.size(), 3u);
    EXPECT_EQ(exchanges[0].requests, std::vector<std::string>{"W 0BB6 2 0040"});
    EXPECT_EQ(exchanges[0].fault, "none");
    EXPECT_EQ(exchanges[2].number, 3u);
    EXPECT_EQ(exchanges[2].answer, 0u);
}

TEST(SimServer, KeepsItsIdentityAndTheClientStampApart) {
    SimServer server;
    server.SetIdentity(0x3A000000, 0xFADE0007);
    BlockWriter w;
    w.Read(0x3304, 4, 1).Read(0x3308, 4, 2).Write(0x330A, {0xD5, 0x07}).Write(0x3304, {0, 0});
    w.Read(0x3308, 4, 3);
    EXPECT_EQ(server.Serve(w.block, Fault::None, nullptr), 1u);
    EXPECT_EQ(server.clientStamp(), 2005);
    EXPECT_EQ(w.block[20 + 16 + 3], 0xFA);
    EXPECT_EQ(w.block[20 + 20 + 14 + 14 + 16 + 2], 0xDE);  // still 0xFADE after the stamp
    EXPECT_EQ(w.block[16 + 3], 0x3A);
    EXPECT_EQ(server.Serve(w.block, Fault::WrongVersion, nullptr), 1u);
    EXPECT_EQ(w.block[16 + 3], 0x19);
    EXPECT_EQ(w.block[16], 0x04);
}

TEST(SimServer, RefusesMalformedBlocksWithoutCarryingOutAnything) {
    struct Case {
        const char* reason;
        BlockWriter w;
    };
    std::vector<Case> cases(6);
    cases[0].reason = "marker";
    cases[0].w.Write(0x0100, {1}).U32(3);
    cases[1].reason = "size";
    cases[1].w.Write(0x0100, {1}).U32(1).U32(0).U32(0xFFFFFFF0u).U32(0);
    cases[2].reason = "range";
    cases[2].w.Write(0x0100, {1}).Read(0xFFFF, 2, 0);
    cases[3].reason = "range";
    cases[3].w.Write(0x0100, {1}).Write(0xFFFFFFFFu, {1, 2});
    cases[4].reason = "unterminated";  // requests up to the last byte
    cases[4].w.Write(0x0100, std::vector<std::uint8_t>(8, 1));
    while (cases[4].w.at < kBlockSize) cases[4].w.Write(0x0100, {});
    cases[5].reason = "header";  // a read header cut by the end of the block
    cases[5].w.Write(0x0100, std::vector<std::uint8_t>(kBlockSize - 20, 1)).U32(1).U32(0x0100);
    for (Case& c : cases) {
        SCOPED_TRACE(c.reason);
        SimServer server;
        const auto before = c.w.block;
        std::string log;
        EXPECT_EQ(server.Serve(c.w.block, Fault::None, &log), 0u);
        EXPECT_EQ(server.image()[0x0100], 0);  // the good first write was not applied
        EXPECT_EQ(c.w.block, before);
        EXPECT_EQ(log.rfind("BAD 1 " + std::string(c.reason), 0), 0u) << log;
    }
    SimServer server;
    std::array<std::uint8_t, 3> tiny{};
    EXPECT_EQ(server.Serve(tiny, Fault::None, nullptr), 0u);
}

TEST(FaultPlan, FailsTheChosenExchangesOnly) {
    FaultPlan plan;
    EXPECT_EQ(plan.Next(), Fault::None);
    plan.Set(Fault::BadReply, 2, 3);
    std::vector<Fault> seen;
    for (int i = 0; i < 7; ++i) seen.push_back(plan.Next());
    EXPECT_EQ(seen, (std::vector<Fault>{Fault::None, Fault::None, Fault::BadReply, Fault::BadReply,
                                        Fault::BadReply, Fault::None, Fault::None}));
    plan.Set(Fault::NoReply, 0, 0);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(plan.Next(), Fault::NoReply);
    for (std::size_t i = 0; i < kFaultCount; ++i) {
        EXPECT_EQ(ParseFault(FaultName(static_cast<Fault>(i))), static_cast<Fault>(i));
    }
    EXPECT_FALSE(ParseFault("sometimes"));
}

TEST(SlowPlan, DelaysWithinTheRangeForItsTimeOnly) {
    SlowPlan plan(7);
    EXPECT_EQ(plan.Next(0), 0u);
    plan.Set(50, 400, 1000, 100);
    std::set<std::uint32_t> delays;
    for (std::uint64_t now = 100; now < 1100; now += 10) {
        const std::uint32_t delay = plan.Next(now);
        ASSERT_GE(delay, 50u);
        ASSERT_LE(delay, 400u);
        delays.insert(delay);
    }
    EXPECT_GT(delays.size(), 20u) << "drawn, not fixed";
    EXPECT_EQ(plan.Next(1100), 0u) << "over after its time";
    plan.Set(120, 120, 0, 5000);
    EXPECT_EQ(plan.Next(999999), 120u) << "0: until set again";
    plan.Set(0, 0, 0, 0);
    EXPECT_EQ(plan.Next(1), 0u);
    SlowPlan a(3), b(3);
    a.Set(50, 400, 0, 0);
    b.Set(50, 400, 0, 0);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(a.Next(1), b.Next(1)) << "the seed repeats the run";
}

std::optional<EmulatorOptions> Parse(std::vector<std::string_view> args, std::string& error) {
    return ParseOptions(args, error);
}

TEST(EmulatorOptions, ReadsEveryOptionAndRejectsMistakes) {
    std::string error;
    const auto defaults = Parse({}, error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->windowClass, "UIPCMAIN");
    EXPECT_EQ(defaults->simulatorWord, 0xFADE0007u);

    const std::vector<std::string_view> all = {"--class",
                                               "FS98MAIN",
                                               "--version",
                                               "0x19980004",
                                               "--simulator",
                                               "6",
                                               "--fixed",
                                               "--log",
                                               "C:\\tmp\\x.log",
                                               "--ready-event",
                                               "ev",
                                               "--fault",
                                               "bad-size",
                                               "--fault-after",
                                               "3",
                                               "--fault-count",
                                               "2",
                                               "--no-reply-ms",
                                               "450",
                                               "--show",
                                               "--stop",
                                               "--send-fault",
                                               "--log-times",
                                               "--keep-mapped",
                                               "--slow-min-ms",
                                               "50",
                                               "--slow-max-ms",
                                               "400",
                                               "--slow-for-ms",
                                               "9000",
                                               "--seed",
                                               "42"};
    const auto o = Parse(all, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->windowClass, "FS98MAIN");
    EXPECT_EQ(o->version, 0x19980004u);
    EXPECT_EQ(o->simulatorWord, 0xFADE0006u);
    EXPECT_TRUE(o->fixed && o->show && o->stopRunning && o->sendFault && o->logTimes);
    EXPECT_EQ(o->keepMapped, KeptSections::ByAtom);
    EXPECT_EQ(Parse({"--keep-mapped-by-name"}, error)->keepMapped, KeptSections::ByName);
    EXPECT_FALSE(defaults->logTimes);
    EXPECT_EQ(defaults->keepMapped, KeptSections::None);
    EXPECT_EQ(o->logPath, "C:\\tmp\\x.log");
    EXPECT_EQ(o->readyEvent, "ev");
    EXPECT_EQ(o->fault, Fault::BadSize);
    EXPECT_EQ(o->faultAfter, 3u);
    EXPECT_EQ(o->faultCount, 2u);
    EXPECT_EQ(o->noReplyMs, 450u);
    EXPECT_EQ(o->slowMinMs, 50u);
    EXPECT_EQ(o->slowMaxMs, 400u);
    EXPECT_EQ(o->slowForMs, 9000u);
    EXPECT_EQ(o->seed, 42u);
    EXPECT_TRUE(o->faultGiven && o->holdGiven && o->slowGiven);
    EXPECT_FALSE(defaults->faultGiven || defaults->holdGiven || defaults->slowGiven);
    EXPECT_EQ(Parse({"--simulator-word", "0x12345678"}, error)->simulatorWord, 0x12345678u);

    const std::vector<std::vector<std::string_view>> mistakes = {
        {"--class", "OTHER"},      {"--version", "12x"}, {"--version"},         {"--fault", "odd"},
        {"--simulator", "70000"},  {"--colour", "red"},  {"--fault-after", ""}, {"--bogus"},
        {"--slow-max-ms", "70000"}};
    for (const auto& bad : mistakes) {
        error.clear();
        EXPECT_FALSE(Parse(bad, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(InputPanel, ShowsWhatClientsWroteInPlainUnits) {
    Image m{};
    WriteControlValues(ControlValues{}, m);
    PutI16(m, at::kAileron, -12288);
    PutU8(m, at::kDisconnect, 0x02);
    PutU16(m, at::kAltimeter, 16365);  // 1022.8 hPa, as the bridge writes it
    PutU16(m, at::kCom2Standby, 0x2485);
    PutF64(m, at::kBank, -48.25);
    PutF64(m, at::kPitch, -3.0);  // the simulator holds pitch nose down
    EXPECT_EQ(InputPanelText(m, 42),
              "Exchanges   42\r\n"
              "Aileron     -12288   Elevator     +0\r\n"
              "Controls disconnected: aileron\r\n"
              "Bank         -48.2   Pitch up   +3.0\r\n"
              "Altimeter   1022.8 hPa\r\n"
              "NAV1        110.50   standby 113.60\r\n"
              "COM1        118.50   standby 121.50\r\n"
              "COM2        122.80   standby 124.85\r\n");
}

TEST(FixedFlight, EncodesEachVariableAtItsOffset) {
    Image m{};
    WriteFlightValues(FixedFlightValues(), m);
    WriteControlValues(ControlValues{}, m);
    EXPECT_EQ(GetF64(m, at::kPitch), -3.0);
    EXPECT_EQ(GetI16(m, at::kTurnRate), 256);  // 1.5 degrees per second
    EXPECT_EQ(static_cast<std::int8_t>(m[at::kBall]), -12);
    EXPECT_EQ(GetI16(m, at::kGForce), 624);
    EXPECT_EQ(GetLittle<std::uint64_t>(m, at::kLatitude),
              static_cast<std::uint64_t>(std::llround(51.47 / 90.0 * 10001750.0 * 4294967296.0)));
    EXPECT_EQ(static_cast<std::int64_t>(GetLittle<std::uint64_t>(m, at::kLongitude)),
              std::llround(-0.4543 / 360.0 * 18446744073709551616.0));
    EXPECT_EQ(GetU32(m, at::kHeading), 0x80000000u);  // 180 degrees
    EXPECT_EQ(GetU32(m, at::kAltitude), 1524u);
    EXPECT_EQ(GetU32(m, at::kIas), 14080u);
    EXPECT_EQ(GetU32(m, at::kVerticalSpeed), 640u);
    EXPECT_EQ(GetI16(m, at::kOat), 1280);
    EXPECT_EQ(GetU16(m, at::kEngines[0].rpm), 9600);
    EXPECT_EQ(GetU16(m, at::kEngines[3].rpmScaler), 16384);
    EXPECT_EQ(GetF64(m, at::kEngines[1].egt), 1310.0 + 459.67);
    EXPECT_EQ(GetU16(m, at::kEngines[0].manifold), 24576);
    EXPECT_EQ(GetF64(m, at::kEngines[0].fuelFlow), 57.0);
    EXPECT_EQ(GetF64(m, at::kEngines[0].oilPressure), 60.0 * 144.0);
    EXPECT_EQ(GetU16(m, at::kNavFlags), 0x46);
    EXPECT_EQ(GetU16(m, at::kNav1Radial), 0x4000);
    EXPECT_EQ(GetU16(m, at::kNav2Radial), 0xC000);
    EXPECT_EQ(GetU16(m, at::kAltimeter), 16212);
    EXPECT_EQ(GetU16(m, at::kNav1Active), 0x1050);
}

// Every variable the bridge reads changes over a climb and descent; those it
// writes keep what was written.
TEST(ScriptedFlight, MovesEveryReadVariableAndKeepsWrites) {
    Image m{};
    FlightScript flight(m);
    const Image start = m;
    PutI16(m, at::kAileron, 1000);
    PutU16(m, at::kCom1Standby, 0x3600);
    PutU16(m, at::kAltimeter, 16000);

    std::vector<std::uint32_t> offsets = {
        at::kPitch,    at::kBank,        at::kTurnRate,  at::kBall,      at::kCompass,
        at::kGyro,     at::kGForce,      at::kLatitude,  at::kLongitude, at::kHeading,
        at::kGpsSpeed, at::kGpsAltitude, at::kAltitude,  at::kIas,       at::kVerticalSpeed,
        at::kOat,      at::kPressure,    at::kNav1Cdi,   at::kNav1Gs,    at::kNavFlags,
        at::kNav1Obs,  at::kNav1Radial,  at::kNav2Radial};
    for (const auto& e : at::kEngines) {
        offsets.insert(offsets.end(), {e.rpm, e.egt, e.oilTemp, e.oilPressure, e.manifold,
                                       e.fuelFlow, e.cht, e.fuelPressure});
    }
    std::vector<bool> moved(offsets.size(), false);
    for (int step = 0; step < 450; ++step) {
        flight.Advance(1.0);
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            if (GetU16(m, offsets[i]) != GetU16(start, offsets[i]) ||
                m[offsets[i] + 2] != start[offsets[i] + 2]) {
                moved[i] = true;
            }
        }
        const FlightValues& v = flight.values();
        ASSERT_LE(std::abs(v.bankDeg), 30.0);
        ASSERT_LE(std::abs(v.pitchDownDeg), 12.0);
        ASSERT_GE(v.altitudeM, 999.0);
        ASSERT_LE(v.altitudeM, 2501.0);
        ASSERT_GT(v.iasKnots, 90.0);
        ASSERT_GT(v.engines[3].rpm, 2000.0);
    }
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_TRUE(moved[i]) << std::hex << offsets[i];
    }
    EXPECT_EQ(GetI16(m, at::kAileron), 1000);
    EXPECT_EQ(GetU16(m, at::kCom1Standby), 0x3600);
    EXPECT_EQ(GetU16(m, at::kAltimeter), 16000);
}

TEST(ScriptedFlight, FollowsTheServosWhenTheControlsAreDisconnected) {
    Image m{};
    FlightScript flight(m);
    PutU8(m, at::kDisconnect, 0x03);
    PutI16(m, at::kAileron, 8192);    // half deflection: 5 degrees per second
    PutI16(m, at::kElevator, -8192);  // nose down at 2 degrees per second
    flight.Advance(4.0);
    EXPECT_NEAR(flight.values().bankDeg, 20.0, 1e-6);
    EXPECT_NEAR(flight.values().pitchDownDeg, 6.0, 1e-6);  // from 2 up to 6 down
    EXPECT_GT(flight.values().turnRateDegS, 0.0);
}

}  // namespace
}  // namespace simemu
