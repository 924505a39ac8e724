// ARINC recordings of any content and size through the playback: the play
// button's handler reads the file record by record while a fake message pump
// runs the real main cycle, which sends each record to the box; a second click
// or the closing window stops it at a tick the input chooses, and a second
// playback may follow. Besides the sanitizers' checks:
// - every byte sent belongs to a valid frame; the ARINC frames are exactly
//   one per tick, 10 bytes each, carrying the records in file order from the
//   first, round and round (the record count is the file size / 5), with the
//   label byte bit-reversed and the check bytes over bytes 3 to 7;
// - the position field shows each record's index and offset as it is handed
//   over;
// - a stop takes effect after the record in hand has gone, and playback
//   ends; a file without a whole record ends at once without waiting for a
//   tick; the pump is bounded, so an endless loop fails the run.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "app/shell/arinc_playback.h"
#include "boxlink/box_frames.h"
#include "tests/fuzz/arinc_recording_format.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_temp_folder.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_message_pump.h"
#include "tests/support/fake_shell_ui.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"

namespace bridge::fuzzing {
namespace {

using testing::FakeBoxLine;
using testing::FakeMessagePump;
using testing::FakeShellUi;
using testing::FakeSimLink;
using testing::FakeView;
using Frame = std::array<std::uint8_t, 10>;

// Far more dispatches than the longest playback of an input needs (two
// playbacks of at most 128 ticks each).
constexpr int kPumpLimit = 1000;

// A static of its own, so that the folder goes when the process ends.
const FuzzTempFolder& Folder() {
    static const FuzzTempFolder folder("bridge-fuzz-arinc");
    return folder;
}

struct World {
    std::string path = Folder().Folder() + "ARINC.REC";
    FakeSimLink sim;
    FakeBoxLine port;
    FakeView view;
    testing::TestBridge bridge{sim, view};
    BridgeState& state = bridge.state;
};

World& TheWorld() {
    static World* world = new World;  // built once: the fake port reserves 1 MiB
    return *world;
}

std::uint8_t Reversed(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (b & (1u << bit)) r = static_cast<std::uint8_t>(r | (0x80u >> bit));
    return r;
}

// The frame record `index` of the recording must produce.
Frame ExpectedFrame(std::span<const std::uint8_t> recording, std::size_t index) {
    const std::uint8_t* r = recording.data() + 5 * index;
    Frame f = {0x05, 0x82, 0x03, r[0], Reversed(r[1]), r[2], r[3], r[4], 0, 0};
    for (std::size_t i = 3; i < 8; ++i) {
        f[8] = static_cast<std::uint8_t>(f[8] + f[i]);
        f[9] = static_cast<std::uint8_t>(f[9] ^ f[i]);
    }
    return f;
}

std::string ExpectedPosition(std::size_t index) {
    char text[32];
    std::snprintf(text, sizeof text, "%zu %08X", index, static_cast<unsigned>(index * 4));
    return text;
}

struct PlaybackRun {
    std::size_t frames = 0;  // ARINC frames expected
    bool byClose = false;
};

// One playback, stopped before tick `stopCode` & 0x7F + 1 from its start.
PlaybackRun Play(World& w, FakeMessagePump& pump, ArincPlayback& playback, FakeShellUi& ui,
                 std::uint8_t stopCode, std::size_t records) {
    PlaybackRun run;
    run.byClose = (stopCode & kStopByCloseBit) != 0;
    const int stopTick = (stopCode & kStopTickMask) + 1;
    const bool timerRunning = w.view.timerEnabled;
    if (run.byClose) {
        pump.BeforeTick(pump.ticks + stopTick, [&w] { w.state.Link.StopRequested = true; });
    } else {
        pump.BeforeTick(pump.ticks + stopTick, [&playback] { playback.PlayButtonClick(); });
    }
    const int ticksBefore = pump.ticks;
    const int callsBefore = pump.calls;
    const std::size_t captionsBefore = ui.playCaptions.size();
    try {
        playback.PlayButtonClick();
    } catch (const testing::PumpedForEver&) {
        FUZZ_CHECK(!"playback pumped messages without end");
    }
    FUZZ_CHECK(!w.state.Arinc.PlaybackRunning && !w.state.Arinc.RecordPending);
    FUZZ_CHECK(ui.playCaption == kPlayArincCaption);
    FUZZ_CHECK(ui.messages.empty());
    if (records == 0) {  // ends at once, without a tick
        FUZZ_CHECK(pump.calls == callsBefore);
        FUZZ_CHECK(ui.playCaptions.size() == captionsBefore);
        return run;
    }
    FUZZ_CHECK(ui.playCaptions.size() == captionsBefore + 2);
    FUZZ_CHECK(ui.playCaptions[captionsBefore] == kPlayingCaption);
    // Stopped after the record handed over before the stop tick has gone.
    run.frames = timerRunning ? static_cast<std::size_t>(stopTick) : 0;
    FUZZ_CHECK(pump.ticks - ticksBefore == static_cast<int>(run.frames));
    FUZZ_CHECK(w.view.timerEnabled == (timerRunning && !run.byClose));
    return run;
}

}  // namespace
}  // namespace bridge::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bridge;
    using namespace bridge::fuzzing;
    if (size < kArincSetupSize) return 0;
    const std::span<const std::uint8_t> recording(data + kArincSetupSize, size - kArincSetupSize);
    const std::size_t records = recording.size() / 5;

    World& w = TheWorld();
    {
        std::ofstream out(w.path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(recording.data()),
                  static_cast<std::streamsize>(recording.size()));
        FUZZ_CHECK(out.good());
    }
    w.state = BridgeState{};
    w.state.Engines.EngineAddressBase = 32;
    const bool linkUp = (data[2] & kLinkUpBit) != 0;
    w.state.Link.SimLinkUp = linkUp;
    w.port.written.clear();
    w.view = FakeView{};
    BindBoxLine(&w.port);
    FakeMessagePump pump(w.bridge.cycle, w.view);
    pump.callLimit = kPumpLimit;
    FakeShellUi ui;
    ui.chosenFile = w.path;
    ArincPlayback playback(w.state.Arinc, ui, pump, Folder().Folder());

    std::vector<PlaybackRun> runs = {Play(w, pump, playback, ui, data[0], records)};
    if (data[1] != 0) runs.push_back(Play(w, pump, playback, ui, data[1], records));
    BindBoxLine(nullptr);

    // Each playback starts from the first record.
    std::vector<Frame> expected;
    std::vector<std::string> positions;
    for (const PlaybackRun& run : runs) {
        for (std::size_t k = 0; k < run.frames; ++k) {
            expected.push_back(ExpectedFrame(recording, k % records));
            positions.push_back(ExpectedPosition(k % records));
        }
    }
    std::vector<Frame> sent;
    for (const auto& frame : DecodeSentFrames(w.port.written)) {
        if (frame.kind != 3) {
            FUZZ_CHECK(linkUp);  // the other frames of a polled tick
            continue;
        }
        FUZZ_CHECK(frame.bytes.size() == 10);
        Frame f{};
        std::copy(frame.bytes.begin(), frame.bytes.end(), f.begin());
        sent.push_back(f);
    }
    FUZZ_CHECK(sent == expected);
    FUZZ_CHECK(ui.positions == positions);
    return 0;
}
