#include "app/shell/arinc_playback.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/settings/settings_file.h"
#include "app/shell/bridge_shell.h"
#include "tests/app/shell_fixture.h"
#include "tests/support/without_file_override.h"

namespace bridge::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// Two records and two trailing bytes that make no record.
const std::string kTwoRecords(
    "\x01\xC8\x34\x12\x60"
    "\x02\x01\x00\x00\x00"
    "\xFF\xFF",
    12);
const Bytes kRecord0Frame = {0x05, 0x82, 0x03, 0x01, 0x13, 0x34, 0x12, 0x60, 0xBA, 0x54};
const Bytes kRecord1Frame = {0x05, 0x82, 0x03, 0x02, 0x80, 0x00, 0x00, 0x00, 0x82, 0x82};

class ArincPlaybackTest : public ShellFixture {
protected:
    ArincPlaybackTest() {
        WriteFile(recording, kTwoRecords);
        ui.chosenFile = recording;
    }

    std::vector<Bytes> FramesSent() {
        std::vector<Bytes> frames;
        for (const auto& frame : SentFrames()) frames.push_back(frame.bytes);
        return frames;
    }

    std::string recording = PathOf("ARINC.REC");
    ArincPlayback playback{state.Arinc, ui, pump, Folder()};
};

TEST(PlaybackPositionTest, ShowsTheRecordAndItsOffsetInHexadecimal) {
    char text[kPositionTextSize];
    FormatPlaybackPosition(0, text);
    EXPECT_STREQ(text, "0 00000000");
    FormatPlaybackPosition(3, text);
    EXPECT_STREQ(text, "3 0000000C");
    FormatPlaybackPosition(25, text);
    EXPECT_STREQ(text, "25 00000064");
    FormatPlaybackPosition(0xFFFFFFFFu, text);
    EXPECT_STREQ(text, "4294967295 FFFFFFFC");
}

TEST_F(ArincPlaybackTest, RecordsAlternateOnePerTickUntilASecondClickAfterTheRecordInHand) {
    pump.BeforeTick(3, [&] {
        EXPECT_TRUE(state.Arinc.PlaybackRunning);
        EXPECT_EQ(ui.playCaption, "Playing");
    });
    pump.BeforeTick(6, [&] { playback.PlayButtonClick(); });
    playback.PlayButtonClick();

    EXPECT_EQ(ui.dialogFolders, (Strings{Folder()}));
    EXPECT_EQ(FramesSent(), (std::vector<Bytes>{kRecord0Frame, kRecord1Frame, kRecord0Frame,
                                                kRecord1Frame, kRecord0Frame, kRecord1Frame}));
    EXPECT_EQ(ui.positions, (Strings{"0 00000000", "1 00000004", "0 00000000", "1 00000004",
                                     "0 00000000", "1 00000004"}));
    EXPECT_EQ(pump.ticks, 6);
    EXPECT_EQ(ui.playCaptions, (Strings{"Playing", "Play ARINC"}));
    EXPECT_FALSE(state.Arinc.PlaybackRunning);
    EXPECT_FALSE(state.Arinc.RecordPending);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ArincPlaybackTest, PlayingAgainStartsFromTheFirstRecord) {
    pump.BeforeTick(3, [&] { playback.PlayButtonClick(); });
    playback.PlayButtonClick();
    EXPECT_EQ(FramesSent(), (std::vector<Bytes>{kRecord0Frame, kRecord1Frame, kRecord0Frame}));

    pump.BeforeTick(5, [&] { playback.PlayButtonClick(); });
    playback.PlayButtonClick();
    EXPECT_EQ(FramesSent(), (std::vector<Bytes>{kRecord0Frame, kRecord1Frame}));
    EXPECT_EQ(ui.positions.at(3), "0 00000000");
    EXPECT_FALSE(state.Arinc.PlaybackRunning);
}

TEST_F(ArincPlaybackTest, ACancelledChoiceOrAnUnreadableFileStartsNothing) {
    ui.chosenFile.reset();
    playback.PlayButtonClick();
    ui.chosenFile = PathOf("nothing-here.rec");
    playback.PlayButtonClick();

    EXPECT_EQ(ui.messages, (Strings{"ARINC.REC file not found", "Cannot open " + *ui.chosenFile}));
    EXPECT_EQ(ui.dialogFolders, (Strings{Folder(), Folder()}));
    EXPECT_FALSE(state.Arinc.PlaybackRunning);
    EXPECT_TRUE(ui.playCaptions.empty());
    EXPECT_EQ(pump.calls, 0);
}

TEST_F(ArincPlaybackTest, AFileWithoutAWholeRecordEndsAtOnce) {
    for (const std::string& bytes : {std::string("\x01\x02\x03\x04", 4), std::string()}) {
        WriteFile(recording, bytes);
        playback.PlayButtonClick();
        EXPECT_FALSE(state.Arinc.PlaybackRunning);
        EXPECT_FALSE(state.Arinc.RecordPending);
    }
    EXPECT_EQ(pump.calls, 0);
    EXPECT_TRUE(ui.playCaptions.empty());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ArincPlaybackTest, AReadOnlyRecordingPlays) {
    ASSERT_EQ(::chmod(recording.c_str(), 0444), 0);
    const WithoutFileOverride asAUser;
    ASSERT_NE(::faccessat(AT_FDCWD, recording.c_str(), W_OK, AT_EACCESS), 0)
        << "the recording is still writable";
    pump.BeforeTick(2, [&] { playback.PlayButtonClick(); });
    playback.PlayButtonClick();
    EXPECT_EQ(FramesSent(), (std::vector<Bytes>{kRecord0Frame, kRecord1Frame}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ArincPlaybackTest, ClosingTheWindowDuringPlaybackEndsPlaybackAndTheProgramCleanly) {
    const std::filesystem::path settingsPath = SettingsFilePath(Folder());
    simLink.failWith = SimLinkResult::NoServer;
    shell.Start();
    std::optional<bool> canClose;
    pump.BeforeTick(3, [&] { canClose = shell.CloseRequested(); });
    playback.PlayButtonClick();

    EXPECT_EQ(canClose, true);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_TRUE(std::filesystem::exists(settingsPath));
    // The record in hand at the close still went out with the stopping tick.
    EXPECT_EQ(FramesSent(), (std::vector<Bytes>{kRecord0Frame, kRecord1Frame, kRecord0Frame}));
    EXPECT_FALSE(state.Arinc.PlaybackRunning);
    EXPECT_FALSE(state.Arinc.RecordPending);
    EXPECT_EQ(ui.playCaption, "Play ARINC");

    // With the timer stopped (the window stays open after a failed save, say),
    // a new playback ends at once instead of waiting for a tick.
    const int calls = pump.calls;
    playback.PlayButtonClick();
    EXPECT_EQ(pump.calls, calls);
    EXPECT_FALSE(state.Arinc.PlaybackRunning);
    EXPECT_FALSE(state.Arinc.RecordPending);
}

}  // namespace
}  // namespace bridge::testing
