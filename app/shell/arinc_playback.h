// Replaying a recording of ARINC words to the box: the play button's click
// handler loads one record at a time (see boxlink/arinc.h) and hands it to the
// main cycle, which sends it at its next tick; the file plays from its first
// record again after its last, until a second click stops it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/seams/message_pump.h"
#include "state/bridge_state.h"

namespace bridge {

inline constexpr const char* kPlayArincCaption = "Play ARINC";
inline constexpr const char* kPlayingCaption = "Playing";
inline constexpr const char* kRecordingNotChosenMessage = "ARINC.REC file not found";

// What playback needs of the main window.
class PlaybackView {
public:
    // OpenDialog1, opened in initialFolder; nothing when cancelled.
    virtual std::optional<std::filesystem::path> ChooseFile(
        const std::filesystem::path& initialFolder) = 0;
    // A plain message box with the application's title as caption.
    virtual void ShowMessage(const std::string& text) = 0;
    // The play button's caption.
    virtual void SetPlayCaption(const char* caption) = 0;
    // The position field's text.
    virtual void SetPositionText(const char* text) = 0;

protected:
    ~PlaybackView() = default;
};

// "<i> <i*4 as eight upper-case hexadecimal digits>", e.g. "25 00000064".
// out must hold kPositionTextSize characters.
inline constexpr std::size_t kPositionTextSize = 20;
void FormatPlaybackPosition(std::uint32_t recordIndex, char (&out)[kPositionTextSize]);

class ArincPlayback {
public:
    ArincPlayback(ArincHandOff& handOff, PlaybackView& view, MessagePump& pump,
                  std::filesystem::path executableFolder);
    ArincPlayback(const ArincPlayback&) = delete;
    ArincPlayback& operator=(const ArincPlayback&) = delete;

    // Starts playback, or, while it runs, asks it to stop after the record in
    // hand. Returns when playback ends.
    void PlayButtonClick();

private:
    enum class PlayEnd { Stopped, ReadFailed };

    PlayEnd Play(std::ifstream& file, std::uint32_t recordCount);
    bool WaitUntilSent();

    ArincHandOff& handOff_;
    PlaybackView& view_;
    MessagePump& pump_;
    std::filesystem::path executableFolder_;
};

}  // namespace bridge
