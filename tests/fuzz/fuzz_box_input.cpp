// Arbitrary bytes from the box go through the receiver into the servo command
// handler, the command dispatcher and the radio reply parsers, with the main
// cycle running against a fake simulator between bursts. Besides the
// sanitizers' checks, it holds the bridge to its own promises: every byte it
// sends belongs to a frame with a valid envelope and check bytes, radio
// sentences go only to configured ports 1..5 and carry a valid checksum, and
// the state fed by the box stays within its ranges.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>
#include <string>

#include "boxlink/box_frames.h"
#include "boxlink/receiver.h"
#include "core/main_cycle.h"
#include "core/variable_map.h"
#include "radio/radio_cycle.h"
#include "radio/reply_parser.h"
#include "state/bridge_state.h"
#include "tests/fuzz/box_input_format.h"
#include "tests/fuzz/cycle_world.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::fuzzing {
namespace {

using testing::FakeBoxLine;
using testing::FakeSimLink;
using testing::FakeView;

constexpr unsigned kTickBudget = 400;  // per input, so that every run stays short
constexpr unsigned kTicksUntilFirstSentences = 10;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::array<float, 8> kCdiDeflections = {0.0f,  127.0f, -127.0f, -1.3f,
                                                  1e30f, -kInf,  kNaN,    -12.5f};
constexpr std::array<float, 4> kGsDeflections = {0.0f, 50.0f, kNaN, -3e38f};

// A flight whose NAV state the input chooses and whose frequencies the box
// may change through its replies.
void ServeRadios(FakeSimLink& sim, std::uint8_t navState) {
    sim = FakeSimLink{};
    std::uint16_t flags = 0;
    if (navState & 1u) flags |= kNav1RadialValidFlag;
    if (navState & 2u) flags |= kNav2RadialValidFlag;
    if (navState & 4u) flags |= kNav1GlideslopeFlag;
    sim.Set<std::uint16_t>(offsets::kNavRadioFlags, flags);
    sim.Set<float>(offsets::kNav1Cdi, kCdiDeflections[(navState >> 3) & 7u]);
    sim.Set<float>(offsets::kNav1Gs, kGsDeflections[navState >> 6]);
    sim.Set<std::uint16_t>(offsets::kNav1Obs, 275);
    sim.Set<std::uint16_t>(offsets::kNav1Radial, 0x8000);
    sim.Set<std::uint16_t>(offsets::kNav2Radial, 0xFFFF);
    sim.Set<std::uint16_t>(offsets::kNav1Active, 0x1050);
    sim.Set<std::uint16_t>(offsets::kNav1Standby, 0x0800);
    sim.Set<std::uint16_t>(offsets::kCom1Active, 0x2150);
    sim.Set<std::uint16_t>(offsets::kCom1Standby, 0x1800);
    sim.Set<std::uint16_t>(offsets::kCom2Active, 0x1800);
    sim.Set<std::uint16_t>(offsets::kCom2Standby, 0x3600);
}

BridgeState& State() { return TheCycleWorld().state; }

bool IsConfiguredRadioPort(std::uint8_t port) {
    return port >= 1 && port <= 5 &&
           (port == State().Settings.SL30Port || port == State().Settings.SL40Port);
}

void CheckSentence(const boxproto::PortText& text) {
    FUZZ_CHECK(IsConfiguredRadioPort(text.port));
    CheckRadioSentence(text.text);
}

void CheckItem(const boxproto::Item& item) {
    const bool echo = item.address == 16 || item.address == 17;
    const unsigned engines = std::min<unsigned>(State().Settings.NumberOfEngines, 4);
    const bool engine = item.address >= 32 && item.address < 32 + engines;
    FUZZ_CHECK(echo || engine);
}

// Everything written since the last check: whole frames with valid check bytes.
void CheckSentFrames(FakeBoxLine& port) {
    for (const auto& frame : DecodeSentFrames(port.TakeWritten())) {
        if (const auto text = boxproto::AsPortText(frame)) CheckSentence(*text);
        if (const auto item = boxproto::AsItem(frame)) CheckItem(*item);
        FUZZ_CHECK(frame.kind != 2 || boxproto::AsPortText(frame) || boxproto::AsItem(frame));
    }
}

void CheckBridgeState() {
    const BridgeState& s = State();
    FUZZ_CHECK((s.BoxPorts.RadioPortMask & ~0x1Fu) == 0);
    FUZZ_CHECK(s.ReplyParse.Step <= kReplyLastStep);
    FUZZ_CHECK(s.ReplyParse.FieldPosition <= s.ReplyParse.Field.size());
    for (std::size_t i = 0; i < s.BoxPorts.PortReplyHandlers.size(); ++i) {
        const ReplyHandler h = s.BoxPorts.PortReplyHandlers[i];
        if (h == ReplyHandler{}) continue;
        ReplyParser& parser = TheCycleWorld().cycle.Replies();
        FUZZ_CHECK(h == parser.Sl30Handler() || h == parser.Sl40Handler());
        FUZZ_CHECK(IsConfiguredRadioPort(static_cast<std::uint8_t>(i + 1)));
    }
    FUZZ_CHECK(s.Servos.BankServoRaw >= 0 && s.Servos.BankServoRaw <= 2048);
    FUZZ_CHECK(s.Servos.PitchServoRaw >= 0 && s.Servos.PitchServoRaw <= 2048);
    FUZZ_CHECK(s.Servos.BankEngageBit <= 1 && s.Servos.PitchEngageBit <= 1);
    FUZZ_CHECK(s.Servos.ControlsDisconnect <= 3);
}

class Run {
public:
    explicit Run(CycleWorld& world) : world_(world) {}

    void Ticks(unsigned n) {
        for (unsigned i = 0; i < n && ticks_ < kTickBudget; ++i, ++ticks_) {
            world_.cycle.Tick();
        }
        CheckSentFrames(world_.port);
        CheckBridgeState();
    }

    // One burst of bytes: receive events of at most 1000 bytes until none wait.
    void Receive(std::span<const std::uint8_t> burst, std::uint8_t burstMode) {
        FakeBoxLine& port = world_.port;
        port.Receive(burst);
        if (burstMode & 4u) {
            port.failReads = true;
            world_.bridge.receiver.ReceiveEvent(port,
                                                static_cast<std::int32_t>(port.incoming.size()));
            port.failReads = false;
        }
        const std::int32_t factor = (burstMode & 8u) ? 2 : 1;
        while (!port.incoming.empty()) {
            world_.bridge.receiver.ReceiveEvent(
                port, factor * static_cast<std::int32_t>(port.incoming.size()));
        }
        world_.bridge.receiver.ReceiveEvent(port, 0);
        CheckBridgeState();
    }

private:
    CycleWorld& world_;
    unsigned ticks_ = 0;
};

}  // namespace
}  // namespace bridge::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bridge;
    using namespace bridge::fuzzing;
    if (size < kBoxInputSetupSize) return 0;
    const BoxInputSetup setup{data[0], data[1], data[2], data[3], data[4], data[5]};
    const std::span<const std::uint8_t> stream(data + kBoxInputSetupSize,
                                               size - kBoxInputSetupSize);

    CycleWorld& world = TheCycleWorld();
    world.state = BridgeState{};
    ServeRadios(world.sim, setup.navState);
    world.port.written.clear();
    world.port.incoming.clear();
    world.view = FakeView{};
    BindBoxLine(&world.port);
    State().Engines.EngineAddressBase = 32;
    State().Settings.SL30Port = setup.sl30Port;
    State().Settings.SL40Port = setup.sl40Port;
    State().Settings.NumberOfEngines = setup.numberOfEngines;
    ComputeRadioPortMask(State().Settings, State().BoxPorts);
    State().Link.SimLinkUp = true;

    Run run(world);
    run.Ticks(kTicksUntilFirstSentences);  // the radios' parsers are installed from here
    const std::size_t chunk = setup.chunkSize == 0 ? stream.size() : setup.chunkSize;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        run.Receive(stream.subspan(at, std::min(chunk, stream.size() - at)), setup.burstMode);
        run.Ticks(setup.burstMode & 3u);
    }
    run.Ticks(kTicksUntilFirstSentences);  // carry out whatever is still pending
    BindBoxLine(nullptr);
    return 0;
}
