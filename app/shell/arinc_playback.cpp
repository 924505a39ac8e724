#include "app/shell/arinc_playback.h"

#include <array>
#include <charconv>
#include <utility>

#include "app/settings/path_text.h"
#include "boxlink/arinc.h"

namespace bridge {
namespace {

std::optional<std::uint32_t> RecordCount(std::ifstream& file) {
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (!file || size < 0) return std::nullopt;
    return ArincRecordCount(static_cast<std::uint64_t>(size));
}

bool ReadRecord(std::ifstream& file, ArincHandOff& handOff) {
    std::array<std::uint8_t, kArincRecordSize> bytes{};
    if (!file.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) return false;
    const ArincRecord record = DecodeArincRecord(bytes);
    handOff.LeadByte = record.leadByte;
    handOff.ArincWord = record.word;
    return true;
}

}  // namespace

void FormatPlaybackPosition(std::uint32_t recordIndex, char (&out)[kPositionTextSize]) {
    constexpr char kHex[] = "0123456789ABCDEF";
    char* p = std::to_chars(out, out + 10, recordIndex).ptr;  // at most 10 digits
    *p++ = ' ';
    const std::uint32_t offset = recordIndex * 4u;  // wraps like the 32-bit original
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = kHex[(offset >> shift) & 0xFu];
    *p = '\0';
}

ArincPlayback::ArincPlayback(ArincHandOff& handOff, PlaybackView& view, MessagePump& pump,
                             std::filesystem::path executableFolder)
    : handOff_(handOff), view_(view), pump_(pump), executableFolder_(std::move(executableFolder)) {}

void ArincPlayback::PlayButtonClick() {
    ArincHandOff& s = handOff_;
    if (s.PlaybackRunning) {  // a click nested in the playback loop stops it
        s.PlaybackStopRequested = true;
        return;
    }
    s.PlaybackStopRequested = false;
    const std::optional<std::filesystem::path> path = view_.ChooseFile(executableFolder_);
    if (!path) {
        view_.ShowMessage(kRecordingNotChosenMessage);
        return;
    }
    // Read access only: a read-only recording plays too.
    std::ifstream file(*path, std::ios::binary);
    const std::optional<std::uint32_t> recordCount =
        file.is_open() ? RecordCount(file) : std::nullopt;
    if (!recordCount) {
        view_.ShowMessage("Cannot open " + PathText(*path));
        return;
    }
    // A file without a whole record has nothing to play; looping over it would
    // spin without ever waiting.
    if (*recordCount == 0) return;

    view_.SetPlayCaption(kPlayingCaption);
    s.PlaybackRunning = true;
    const PlayEnd end = Play(file, *recordCount);
    file.close();
    s.PlaybackRunning = false;
    view_.SetPlayCaption(kPlayArincCaption);
    if (end == PlayEnd::ReadFailed) view_.ShowMessage("Cannot read " + PathText(*path));
}

// Plays the file round and round until a stop request, or until the timer has
// stopped (the window is closing), which no tick would follow.
ArincPlayback::PlayEnd ArincPlayback::Play(std::ifstream& file, std::uint32_t recordCount) {
    ArincHandOff& s = handOff_;
    char position[kPositionTextSize];
    for (;;) {
        file.clear();
        file.seekg(0);
        for (std::uint32_t i = 0; i < recordCount; ++i) {
            if (s.PlaybackStopRequested || !pump_.TimerEnabled()) return PlayEnd::Stopped;
            FormatPlaybackPosition(i, position);
            view_.SetPositionText(position);
            if (!ReadRecord(file, s)) return PlayEnd::ReadFailed;
            s.RecordPending = true;
            if (!WaitUntilSent()) return PlayEnd::Stopped;
        }
    }
}

// False when the timer stopped first; the unsent record is dropped.
bool ArincPlayback::WaitUntilSent() {
    ArincHandOff& s = handOff_;
    while (s.RecordPending) {
        if (!pump_.TimerEnabled()) {
            s.RecordPending = false;
            return false;
        }
        pump_.ProcessMessages();
    }
    return true;
}

}  // namespace bridge
