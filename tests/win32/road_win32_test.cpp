// The whole road through the real simulator link, without the window: the
// main window's start-up and reconnect, the main cycle, the process-wide link
// with its Windows transport and the simulator emulator as a separate
// process, the telemetry and radio sentences as the box receives them, and
// the box's commands through the real receiver back into the simulator.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/seams/sim_link_connection.h"
#include "app/shell/bridge_shell.h"
#include "boxlink/box_frames.h"
#include "boxlink/receiver.h"
#include "core/main_cycle.h"
#include "simlink/sim_link.h"
#include "simlink/win32/sim_link_transport_win32.h"
#include "state/bridge_state.h"
#include "tests/support/emulator_log.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_box_line_control.h"
#include "tests/support/fake_message_pump.h"
#include "tests/support/fake_shell_ui.h"
#include "tests/support/fake_view.h"
#include "tests/support/frame_names.h"
#include "tests/support/test_bridge.h"
#include "tests/win32/road_expected.h"
#include "tests/win32/sim_emulator_process.h"
#include "tools/box_protocol/box_protocol.h"
#include "tools/box_protocol/frame_fields.h"
#include "tools/box_protocol/radio_sentences.h"
#include "tools/sim_emulator/flight_script.h"
#include "tools/sim_emulator/sim_server.h"

namespace bridge::testing {
namespace {

using Names = std::vector<std::string>;
using road::Bytes;

constexpr unsigned kEngines = 2;
constexpr std::uint8_t kSplit = 1;
constexpr std::uint16_t kRadioPortMask = 0x0003;  // SL30 on port 1, SL40 on port 2
constexpr const char* kSettings =
    "[Setup]\r\nCommsPort=0\r\nSL30Port=1\r\nSL40Port=2\r\nEGTCHTSplit=1\r\n"
    "NumberOfEngines=2\r\n";

// The main window's view of the process-wide simulator link.
class ProcessLinkConnection final : public SimLinkConnection {
public:
    ServerCheck CheckServer() override { return ServerCheck::Answers; }
    bool Open(std::int32_t simulator, SimLinkResult& result) override {
        return SimLinkOpen(simulator, result);
    }
    void Close() override { SimLinkClose(); }
    bool IsOpen() const override { return SimLinkIsOpen(); }
    std::uint32_t SimulatorId() const override { return SimLinkSimulatorId(); }
    std::uint32_t LastSendError() const override { return SimLinkLastSendError(); }
};

// A settings file in a folder of its own under the temporary folder.
class TempSettingsFile {
public:
    explicit TempSettingsFile(const char* text) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "bridge-road-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(++made_);
        CreateDirectoryA(folder_.c_str(), nullptr);
        path_ = folder_ + "\\VELMORA.INI";
        if (FILE* file = std::fopen(path_.c_str(), "wb")) {
            std::fputs(text, file);
            std::fclose(file);
        }
    }
    ~TempSettingsFile() {
        DeleteFileA(path_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    const std::string& folder() const { return folder_; }

private:
    static inline int made_ = 0;
    std::string folder_;
    std::string path_;
};

std::string Request(char direction, std::uint32_t offset, std::uint32_t size) {
    char text[32];
    std::snprintf(text, sizeof text, "%c %04X %u", direction, static_cast<unsigned>(offset),
                  static_cast<unsigned>(size));
    return text;
}
std::string Read(std::uint32_t offset, std::uint32_t size) { return Request('R', offset, size); }
// A write of a 1- or 2-byte value, its bytes as the log shows them (low byte first).
std::string Write(std::uint32_t offset, std::uint32_t size, std::uint32_t value) {
    std::string text = Request('W', offset, size) + " ";
    for (std::uint32_t i = 0; i < size; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned>((value >> (8 * i)) & 0xFFu));
        text += byte;
    }
    return text;
}

// What one tick asks of the simulator beyond plain reads.
struct TickRequests {
    bool halfRate = false;
    std::optional<std::uint16_t> altimeterWrite;
    std::optional<std::int16_t> aileronWrite;   // engaged bank servo; else a read
    std::optional<std::int16_t> elevatorWrite;  // engaged pitch servo; else a read
    std::uint8_t controlsDisconnect = 0;
    std::map<std::uint32_t, std::uint16_t> radioWrites;  // offset, BCD
};

// Only reads, besides the controls-disconnect byte of 0.
TickRequests Plain(bool halfRate) {
    TickRequests t;
    t.halfRate = halfRate;
    return t;
}

// The simulator variable map, in queue order, for two engines.
Names ExpectedRequests(const TickRequests& t) {
    Names r = {Read(0x2F70, 8), Read(0x2F78, 8), Read(0x037C, 2), Read(0x036E, 1),
               Read(0x02CC, 8), Read(0x2B00, 8), Read(0x11BA, 2)};
    if (t.altimeterWrite) r.push_back(Write(0x0330, 2, *t.altimeterWrite));
    r.push_back(t.aileronWrite ? Write(0x0BB6, 2, static_cast<std::uint16_t>(*t.aileronWrite))
                               : Read(0x0BB6, 2));
    r.push_back(t.elevatorWrite ? Write(0x0BB2, 2, static_cast<std::uint16_t>(*t.elevatorWrite))
                                : Read(0x0BB2, 2));
    r.push_back(Write(0x310A, 1, t.controlsDisconnect));
    if (!t.halfRate) return r;
    r.insert(r.end(),
             {Read(0x0560, 8), Read(0x0568, 8), Read(0x0580, 4), Read(0x6030, 8), Read(0x6020, 8),
              Read(0x0574, 4), Read(0x02BC, 4), Read(0x02C8, 4), Read(0x0E8C, 2), Read(0x28C8, 8)});
    for (std::uint32_t e = 0; e < kEngines; ++e) {
        const std::uint32_t up = 0x98 * e, down = 0xC0 * e;
        r.insert(r.end(), {Read(0x0898 + up, 2), Read(0x08C8 + up, 2), Read(0x3B70 - down, 8),
                           Read(0x3B58 - down, 8), Read(0x3B60 - down, 8), Read(0x08C0 + up, 2),
                           Read(0x0918 + up, 8), Read(0x08E8 + up, 8), Read(0x3868 - down, 8)});
    }
    r.insert(r.end(), {Read(0x0330, 2), Read(0x2AAC, 4), Read(0x2AB0, 4), Read(0x3300, 2),
                       Read(0x0C4E, 2), Read(0x0C50, 2), Read(0x0C60, 2)});
    for (std::uint32_t radio : {0x034Eu, 0x311Au, 0x0350u, 0x311Eu, 0x3118u, 0x311Cu}) {
        const auto write = t.radioWrites.find(radio);
        r.push_back(write != t.radioWrites.end() ? Write(radio, 2, write->second) : Read(radio, 2));
    }
    return r;
}

// The output schedule of the first ticks after start, SL30 on port 1 and SL40
// on port 2: every tick, every 2 from 1, every 10 from 10, and the engine
// items every 80, 4, and 15 at counts 3, 10 and 15.
Names ExpectedFrameNames(int tick) {
    Names names = {"attitude"};
    if (tick % 2 == 1) names.push_back("airdata");
    if (tick % 10 == 0) {
        names.insert(names.end(), 6, "port 1");
        names.push_back("port 2");
    }
    const auto each = [&](std::initializer_list<int> kinds) {
        for (unsigned n = 0; n < kEngines; ++n) {
            for (int kind : kinds) {
                names.push_back("item " + std::to_string(32 + n) + "/" + std::to_string(kind));
            }
        }
    };
    if (tick % 80 == 0) each({1});
    if (tick % 4 == 0) each({8});
    if (tick % 15 == 3) each({5, 6});
    if (tick % 15 == 10) each({7});
    if (tick % 15 == 0) each({2, 3, 4});
    return names;
}

std::vector<Bytes> ExpectedFrameBytes(int tick, const road::ServedValues& v) {
    std::vector<Bytes> frames = {road::ExpectedAttitudeFrame(v, tick > 1)};
    if (tick % 2 == 1) frames.push_back(road::ExpectedAirDataFrame(v, kRadioPortMask));
    if (tick % 10 == 0) {
        for (const std::string& s : road::ExpectedSl30Sentences(v)) {
            frames.push_back(road::PortFrame(1, s));
        }
        frames.push_back(road::PortFrame(2, road::ExpectedSl40Sentence(v)));
    }
    const auto each = [&](std::uint8_t kind) {
        for (unsigned n = 1; n <= kEngines; ++n) {
            for (Bytes& item : road::ExpectedEngineItems(v, n, kind, kSplit)) {
                frames.push_back(std::move(item));
            }
        }
    };
    if (tick % 80 == 0) each(1);
    if (tick % 4 == 0) each(8);
    if (tick % 15 == 3) {
        for (unsigned n = 1; n <= kEngines; ++n) {
            frames.push_back(road::ExpectedEngineItems(v, n, 5, kSplit).at(0));
            frames.push_back(road::ExpectedEngineItems(v, n, 6, kSplit).at(0));
        }
    }
    if (tick % 15 == 10) each(7);
    if (tick % 15 == 0) each(2);
    return frames;
}

// Empty when equal; otherwise where the lists first part, readably (gtest
// shows only the first 32 elements of a list).
std::string RequestMismatch(const Names& actual, const Names& expected) {
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const std::string a = i < actual.size() ? actual[i] : "nothing";
        const std::string e = i < expected.size() ? expected[i] : "nothing";
        if (a != e) return "request " + std::to_string(i + 1) + ": " + a + " instead of " + e;
    }
    return "";
}

std::string FrameMismatch(const std::vector<boxproto::Frame>& actual,
                          const std::vector<Bytes>& expected) {
    if (actual.size() != expected.size()) {
        return std::to_string(actual.size()) + " frames instead of " +
               std::to_string(expected.size());
    }
    for (std::size_t f = 0; f < actual.size(); ++f) {
        const Bytes& a = actual[f].bytes;
        const Bytes& e = expected[f];
        if (a.size() != e.size()) {
            return "frame " + std::to_string(f + 1) + ": " + std::to_string(a.size()) +
                   " bytes instead of " + std::to_string(e.size());
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] != e[i]) {
                return "frame " + std::to_string(f + 1) + " (" + FrameName(actual[f]) + "), byte " +
                       std::to_string(i) + ": " + std::to_string(a[i]) + " instead of " +
                       std::to_string(e[i]);
            }
        }
    }
    return "";
}

std::vector<std::string> PortTexts(const std::vector<boxproto::Frame>& frames) {
    std::vector<std::string> texts;
    for (const auto& f : frames) {
        if (const auto text = boxproto::AsPortText(f)) texts.push_back(text->text);
    }
    return texts;
}

std::optional<boxproto::ServoEchoFields> EchoIn(const std::vector<boxproto::Frame>& frames,
                                                bool pitch) {
    for (const auto& f : frames) {
        const auto item = boxproto::AsItem(f);
        if (!item) continue;
        const auto echo = boxproto::AsServoEcho(*item);
        if (echo && echo->pitch == pitch) return echo;
    }
    return std::nullopt;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

class RoadTest : public ::testing::Test {
protected:
    RoadTest() : bridge(ProcessSimLink(), view), pump(cycle, view), settings(kSettings) {}

    void SetUp() override {
        InstallWin32SimLinkTransport();
        BindBoxLine(&port);
        // A held exchange is answered 405 ms after the emulator takes it: past
        // the client's 400 ms time-out, and before the client's next send (10 ms
        // after the time-out), so every send of a failing tick reaches the
        // emulator. (Held 450 ms, each send waited 40 ms longer than the one
        // before; Wine drops a sent message that times out before it is taken,
        // and on a loaded machine the tenth was now and then lost.)
        ASSERT_TRUE(emulator.Start("--fixed --no-reply-ms 405"));
        shell.emplace(bridge,
                      ShellOutside{port, boxLineControl, connection, view, shellUi, shellUi, pump,
                                   shellUi, shellUi},
                      SettingsLocation(settings.folder(), {}), settings.folder());
        shell->Start();
        ASSERT_TRUE(state.Link.SimLinkUp) << Joined(view.log);
        ASSERT_EQ(view.log, Names{"Connected to FS2004"});
        firstTickExchange = LastExchangeNumber() + 1;
    }

    void TearDown() override {
        SimLinkClose();
        BindBoxLine(nullptr);
    }

    // One tick; the frames it sent to the box, decoded and checked.
    std::vector<boxproto::Frame> Tick() {
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        cycle.Tick();
        QueryPerformanceCounter(&after);
        tickCounts += after.QuadPart - before.QuadPart;
        ++ticks;
        decoder.Feed(port.TakeWritten());
        EXPECT_EQ(decoder.strayBytes(), 0u);
        EXPECT_EQ(decoder.badFrames(), 0u);
        return decoder.TakeFrames();
    }

    // Bytes arriving from the box, handed over in one receive event.
    void FromBox(const Bytes& bytes) {
        port.Receive(bytes);
        bridge.receiver.ReceiveEvent(port, static_cast<std::int32_t>(port.incoming.size()));
    }

    std::vector<LoggedExchange> Exchanges() const { return ParseEmulatorLog(emulator.Log()); }
    std::uint32_t LastExchangeNumber() const {
        const auto all = Exchanges();
        return all.empty() ? 0 : all.back().number;
    }
    // The exchange of the n-th tick (1-based) since start-up.
    LoggedExchange ExchangeOfTick(int n) const {
        const auto all = Exchanges();
        const LoggedExchange* e =
            FindExchange(all, firstTickExchange + static_cast<std::uint32_t>(n - 1));
        return e != nullptr ? *e : LoggedExchange{};
    }

    double TicksPerSecond() const {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return tickCounts == 0 ? 0.0
                               : ticks * static_cast<double>(frequency.QuadPart) /
                                     static_cast<double>(tickCounts);
    }

    FakeView view;
    FakeBoxLine port;
    TestBridge bridge;
    BridgeState& state = bridge.state;
    MainCycle& cycle = bridge.cycle;
    FakeMessagePump pump;
    FakeBoxLineControl boxLineControl;
    FakeShellUi shellUi;
    ProcessLinkConnection connection;
    TempSettingsFile settings;
    SimEmulatorProcess emulator;
    std::optional<BridgeShell> shell;
    boxproto::OutgoingDecoder decoder;
    std::uint32_t firstTickExchange = 0;
    long long tickCounts = 0;
    int ticks = 0;
};

TEST_F(RoadTest, TelemetryReachesTheBoxInOrderAndByteExact) {
    const auto image = road::FixedServedImage();
    const road::ServedValues v = road::ReadServedValues(*image);
    constexpr int kTicks = 160;
    std::vector<std::vector<boxproto::Frame>> frames;
    for (int t = 1; t <= kTicks; ++t) frames.push_back(Tick());
    std::printf("[ measured ] %d ticks against the emulator: %.0f ticks per second\n", ticks,
                TicksPerSecond());

    // One exchange per tick, with the requests of the variable map in order.
    const auto exchanges = Exchanges();
    ASSERT_FALSE(exchanges.empty());
    EXPECT_EQ(exchanges.back().number, firstTickExchange + kTicks - 1);
    for (int t = 1; t <= kTicks; ++t) {
        const LoggedExchange* e =
            FindExchange(exchanges, firstTickExchange + static_cast<std::uint32_t>(t - 1));
        ASSERT_NE(e, nullptr) << "tick " << t;
        ASSERT_EQ(RequestMismatch(e->requests, ExpectedRequests(Plain(t % 2 == 1))), "")
            << "tick " << t;
        ASSERT_EQ(e->count, e->requests.size());
        ASSERT_EQ(e->answer, 1u);
    }
    EXPECT_EQ(ExchangeOfTick(1).requests.size(), 51u);
    EXPECT_EQ(ExchangeOfTick(2).requests.size(), 10u);

    // The schedule, then every frame byte for byte.
    for (int t = 1; t <= kTicks; ++t) {
        ASSERT_EQ(FrameNames(frames[t - 1]), ExpectedFrameNames(t)) << "tick " << t;
        ASSERT_EQ(FrameMismatch(frames[t - 1], ExpectedFrameBytes(t, v)), "") << "tick " << t;
    }

    // A few values worked out by hand from the emulator's fixed flight, so
    // that a slip shared by the bridge and the expectations above shows.
    const auto attitude = boxproto::DecodeAttitude(frames[1][0]);
    ASSERT_TRUE(attitude);
    EXPECT_EQ(attitude->gForceMilli, 1000);
    EXPECT_EQ(attitude->turnRateTenths, 15);  // 256 div 17
    EXPECT_EQ(attitude->bankCentiDeg, 1500);
    EXPECT_EQ(attitude->pitchUpCentiDeg, 300);
    EXPECT_EQ(attitude->gyroHeadingCentiDeg, 12450);
    EXPECT_EQ(attitude->ball, -4);  // -12 / 2.54 = -4.7
    const auto air = boxproto::DecodeAirData(frames[0][1]);
    ASSERT_TRUE(air);
    EXPECT_EQ(air->altitudeFeet, 4999);
    EXPECT_EQ(air->latitude1e7, 514700012);  // 51.47 narrowed to single precision
    EXPECT_EQ(air->longitude1e7, -4543000);
    EXPECT_EQ(air->trueHeading1e5, 18000000);
    EXPECT_EQ(air->verticalSpeedFpm, 492);
    EXPECT_EQ(air->halfSinkRateFpm, -246);
    EXPECT_EQ(air->iasTenthsKmh, 2037);
    EXPECT_EQ(air->staticCount, 2719);
    EXPECT_EQ(air->altimeterTenthsHpa, 10132);
    EXPECT_EQ(air->radioPortMask, 3);
    const auto rpm = boxproto::AsItem(frames[3][1]);
    ASSERT_TRUE(rpm);
    EXPECT_EQ(rpm->Word(0), 2400);
    EXPECT_EQ(rpm->Word(2), 1224);  // 24 inHg

    // The radios' sentences carry the simulator's frequencies as their letters.
    const auto texts = PortTexts(frames[9]);
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[4].substr(0, 13), "$PMRRV28>DAHN");
    EXPECT_EQ(texts[5].substr(0, 14), "$PMRRV35FDIDR0");
    EXPECT_EQ(texts[6].substr(0, 14), "$PMRRC01JPF0R0");
    const simemu::ControlValues served;
    const struct {
        std::size_t index;
        boxproto::SentenceKind kind;
        std::uint16_t active, standby;
    } radios[] = {
        {4, boxproto::SentenceKind::Nav1Frequencies, served.nav1Active, served.nav1Standby},
        {5, boxproto::SentenceKind::Com1Frequencies, served.com1Active, served.com1Standby},
        {6, boxproto::SentenceKind::Com2Frequencies, served.com2Active, served.com2Standby}};
    for (const auto& radio : radios) {
        const auto sentence = boxproto::ParseRadioSentence(texts[radio.index]);
        ASSERT_TRUE(sentence);
        EXPECT_EQ(sentence->kind, radio.kind);
        EXPECT_TRUE(sentence->checksumOk);
        EXPECT_EQ(sentence->activeKhz, road::KhzOfBcd(radio.active));
        EXPECT_EQ(sentence->standbyKhz, road::KhzOfBcd(radio.standby));
    }
}

TEST_F(RoadTest, CommandsFromTheBoxReachTheSimulatorAndReadBack) {
    for (int t = 1; t <= 11; ++t) Tick();  // tick 10 installed the radios' reply parsers

    // Servo commands, the altimeter setting and two frequency selections,
    // split across two receive events in the middle of a frame.
    Bytes fromBox;
    for (const Bytes& frame :
         {boxproto::ServoCommandFrame(1, true, 512), boxproto::ServoCommandFrame(2, true, 1536),
          boxproto::AltimeterFrame(10228),
          boxproto::PortDataFrame(1, boxproto::RadioReplySentence(false, 0x28, 110500)),
          boxproto::PortDataFrame(2, boxproto::RadioReplySentence(true, 0x01, 119250))}) {
        fromBox.insert(fromBox.end(), frame.begin(), frame.end());
    }
    FromBox(Bytes(fromBox.begin(), fromBox.begin() + 7));
    FromBox(Bytes(fromBox.begin() + 7, fromBox.end()));

    // Tick 12, not a half-rate tick: servos and altimeter go out at once, the
    // echoes before the exchange.
    std::vector<std::vector<boxproto::Frame>> frames;
    frames.push_back(Tick());
    TickRequests engaged = Plain(false);
    engaged.aileronWrite = 16384;
    engaged.elevatorWrite = -16384;
    engaged.controlsDisconnect = 3;
    TickRequests withAltimeter = engaged;
    withAltimeter.altimeterWrite = 16364;
    EXPECT_EQ(RequestMismatch(ExchangeOfTick(12).requests, ExpectedRequests(withAltimeter)), "");
    EXPECT_EQ(FrameNames(frames[0]),
              (Names{"item 16/1", "item 17/1", "attitude", "item 32/8", "item 33/8"}));
    EXPECT_EQ(view.bankLabel, "Engaged");
    EXPECT_EQ(view.pitchLabel, "Engaged");
    EXPECT_EQ(view.bankTrackBar, 512);
    EXPECT_EQ(view.pitchTrackBar, 512);

    // Tick 13, half-rate: the frequencies are written instead of read, and
    // the altimeter setting reads back.
    frames.push_back(Tick());
    TickRequests withRadios = engaged;
    withRadios.halfRate = true;
    withRadios.radioWrites = {{0x311E, 0x1050}, {0x311C, 0x1925}};
    EXPECT_EQ(RequestMismatch(ExchangeOfTick(13).requests, ExpectedRequests(withRadios)), "");
    EXPECT_EQ(state.Sim.AltimeterSetting, 16364);
    ASSERT_EQ(FrameNames(frames[1]), (Names{"attitude", "airdata"}));
    const auto air = boxproto::DecodeAirData(frames[1][1]);
    ASSERT_TRUE(air);
    EXPECT_EQ(air->altimeterTenthsHpa, 10227);  // 16364 * 10 >> 4

    // The next half-rate tick reads the frequencies back; the next radio
    // cycle sends them to the box.
    for (int t = 14; t <= 20; ++t) frames.push_back(Tick());
    TickRequests laterHalfRate = engaged;
    laterHalfRate.halfRate = true;
    EXPECT_EQ(RequestMismatch(ExchangeOfTick(15).requests, ExpectedRequests(laterHalfRate)), "");
    EXPECT_EQ(state.Sim.Nav1Standby, 0x1050);
    EXPECT_EQ(state.Sim.Com2Standby, 0x1925);
    const auto texts = PortTexts(frames.back());
    ASSERT_EQ(texts.size(), 7u);
    const auto nav = boxproto::ParseRadioSentence(texts[4]);
    const auto com2 = boxproto::ParseRadioSentence(texts[6]);
    ASSERT_TRUE(nav && com2);
    EXPECT_EQ(nav->standbyKhz, 110500u);
    EXPECT_EQ(com2->standbyKhz, 119250u);

    // Each servo's echo left once, with its engage bit and position.
    int bankEchoes = 0, pitchEchoes = 0;
    for (const auto& tick : frames) {
        const Names names = FrameNames(tick);
        bankEchoes += static_cast<int>(std::count(names.begin(), names.end(), "item 16/1"));
        pitchEchoes += static_cast<int>(std::count(names.begin(), names.end(), "item 17/1"));
    }
    EXPECT_EQ(bankEchoes, 1);
    EXPECT_EQ(pitchEchoes, 1);
    const auto bankEcho = EchoIn(frames[0], false);
    const auto pitchEcho = EchoIn(frames[0], true);
    ASSERT_TRUE(bankEcho && pitchEcho);
    EXPECT_EQ(bankEcho->engageBit, 1);
    EXPECT_EQ(bankEcho->position, 512);
    EXPECT_EQ(pitchEcho->engageBit, 1);
    EXPECT_EQ(pitchEcho->position, 1536);

    // Both servos released: the control inputs are read again, and hold what
    // the servos wrote.
    Bytes release = boxproto::ServoCommandFrame(1, false, 1024);
    const Bytes pitchRelease = boxproto::ServoCommandFrame(2, false, 1024);
    release.insert(release.end(), pitchRelease.begin(), pitchRelease.end());
    FromBox(release);
    const auto released = Tick();  // tick 21
    EXPECT_EQ(RequestMismatch(ExchangeOfTick(21).requests, ExpectedRequests(Plain(true))), "");
    const auto bankReleased = EchoIn(released, false);
    ASSERT_TRUE(bankReleased);
    EXPECT_EQ(bankReleased->engageBit, 0);
    EXPECT_EQ(bankReleased->position, 512);  // the last command, until the read arrives
    EXPECT_EQ(state.Servos.BankServoPosition, 16384);
    EXPECT_EQ(state.Servos.PitchServoPosition, -16384);
    EXPECT_EQ(view.bankLabel, "Not engaged");
    EXPECT_EQ(view.pitchLabel, "Not engaged");
}

TEST_F(RoadTest, AFailedExchangeStopsPollingUntilTheLinkIsReopened) {
    for (int t = 1; t <= 19; ++t) Tick();
    ASSERT_TRUE(emulator.SetFault(static_cast<unsigned>(simemu::Fault::NoReply), 0, 0));

    // Tick 20: the exchange times out; what falls due still goes out, from
    // the values of earlier exchanges.
    const auto failed = Tick();
    EXPECT_EQ(view.log,
              (Names{"Connected to FS2004", "FlightSim problem: IPC timed out all retries"}));
    EXPECT_FALSE(state.Link.SimLinkUp);
    EXPECT_TRUE(view.reconnectEnabled);
    Names due(6, "port 1");
    due.insert(due.end(), {"port 2", "item 32/8", "item 33/8"});
    EXPECT_EQ(FrameNames(failed), due);

    // While the link is down a tick neither asks the simulator nor sends.
    EXPECT_TRUE(Tick().empty());
    // Waits until the emulator has let go of the answers it held back.
    ASSERT_TRUE(emulator.SetFault(static_cast<unsigned>(simemu::Fault::None), 0, 0));
    const auto held = Exchanges();
    int unanswered = 0;
    for (const auto& e : held) {
        if (e.number >= firstTickExchange + 19) {
            EXPECT_EQ(e.fault, "no-reply");
            ++unanswered;
        }
    }
    EXPECT_EQ(unanswered, 10);  // the sends of tick 20

    // The reconnect button closes and reopens the link; the counters go on.
    shell->ReconnectClick(GetTickCount64());
    EXPECT_EQ(view.log.size(), 3u);  // nothing more from the tick while down
    EXPECT_EQ(view.log.back(), "Connected to FS2004");
    EXPECT_TRUE(state.Link.SimLinkUp);
    EXPECT_FALSE(view.reconnectEnabled);
    EXPECT_EQ(FrameNames(Tick()), (Names{"attitude", "airdata"}));  // tick 21
    const auto resumed = Exchanges().back();
    EXPECT_EQ(RequestMismatch(resumed.requests, ExpectedRequests(Plain(true))), "");
    EXPECT_EQ(resumed.answer, 1u);
    for (int t = 22; t <= 23; ++t) Tick();
    EXPECT_EQ(FrameNames(Tick()), (Names{"attitude", "item 32/8", "item 33/8"}));  // tick 24
}

}  // namespace
}  // namespace bridge::testing
