// Everything the emulator has learnt from the line: the latest value of every
// field, frame counters and rates, and what it has sent. Fixed size: nothing
// here grows with the number of frames.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "tools/box_emulator/commands.h"
#include "tools/box_emulator/frame_tag.h"
#include "tools/box_protocol/box_protocol.h"
#include "tools/box_protocol/frame_fields.h"
#include "tools/box_protocol/radio_sentences.h"

namespace boxemu {

// The radios as their sentences describe them; 0 kHz: not heard yet.
struct RadioPanel {
    std::uint32_t nav1Khz = 0, nav1StandbyKhz = 0;
    std::uint32_t com1Khz = 0, com1StandbyKhz = 0;
    std::uint32_t com2Khz = 0, com2StandbyKhz = 0;
    bool haveDeviation = false;
    std::int8_t cdi = 0;
    std::int8_t glideslope = 0;
    std::uint8_t statusFlags = 0;
    std::optional<std::string> obs;
    std::optional<std::string> nav1Radial, nav2Radial;
    bool nav1RadialValid = false, nav2RadialValid = false;
    RadioPorts ports;
    std::uint64_t sentences = 0;
    std::uint64_t badSentences = 0;  // wrong checksum or line end
};

struct EngineValues {
    // Words of item kinds 1..8 (index 0 unused), as last received.
    std::array<std::array<std::int16_t, 4>, 9> words{};
    std::array<bool, 9> seen{};
    bool Any() const;
};

struct Counter {
    std::uint64_t total = 0;
    std::uint64_t atMark = 0;
    double perSecond = 0;  // over the last whole second
};

class BoxMonitor {
public:
    explicit BoxMonitor(std::uint64_t startMs = 0);

    void OnFrame(const boxproto::Frame& frame, const FrameTag& tag);
    void OnDecoderCounts(std::uint64_t badFrames, std::uint64_t strayBytes);
    void OnSent(const Command& command, std::size_t bytes, std::size_t dropped);
    // Refreshes the per-second rates once a second has passed since the last time.
    void Tick(std::uint64_t nowMs);

    std::uint64_t startMs() const { return startMs_; }
    std::uint64_t frames() const { return frames_; }
    std::uint64_t badFrames() const { return badFrames_; }
    std::uint64_t strayBytes() const { return strayBytes_; }
    const Counter& category(Category c) const { return categories_[static_cast<std::size_t>(c)]; }
    std::uint64_t itemFrames(std::uint8_t address, std::uint8_t itemKind) const;
    std::uint64_t portFrames(std::uint8_t port) const { return ports_[port]; }

    const std::optional<boxproto::AttitudeFields>& attitude() const { return attitude_; }
    const std::optional<boxproto::AirDataFields>& airData() const { return airData_; }
    const std::optional<boxproto::ArincFields>& arinc() const { return arinc_; }
    const std::optional<boxproto::ServoEchoFields>& servoEcho(bool pitch) const {
        return servoEchoes_[pitch ? 1 : 0];
    }
    const EngineValues& engine(unsigned n) const { return engines_[n - 1]; }  // n = 1..4
    const RadioPanel& radios() const { return radios_; }
    // The last text on a port that was not a radio sentence.
    const std::string& otherText(std::uint8_t port) const { return otherTexts_[port]; }

    std::uint64_t sentCommands() const { return sentCommands_; }
    std::uint64_t sentBytes() const { return sentBytes_; }
    std::uint64_t droppedBytes() const { return droppedBytes_; }
    const std::string& lastSent() const { return lastSent_; }

private:
    void OnItem(const boxproto::Frame& frame);
    void OnPortText(const boxproto::Frame& frame);

    std::uint64_t startMs_;
    std::uint64_t markMs_;
    std::uint64_t frames_ = 0;
    std::uint64_t badFrames_ = 0;
    std::uint64_t strayBytes_ = 0;
    std::array<Counter, kCategoryCount> categories_{};
    std::array<std::uint64_t, 256 * 16> items_{};  // by item id
    std::array<std::uint64_t, 256> ports_{};

    std::optional<boxproto::AttitudeFields> attitude_;
    std::optional<boxproto::AirDataFields> airData_;
    std::optional<boxproto::ArincFields> arinc_;
    std::array<std::optional<boxproto::ServoEchoFields>, 2> servoEchoes_;
    std::array<EngineValues, boxproto::kEngines> engines_{};
    RadioPanel radios_;
    std::array<std::string, 256> otherTexts_;

    std::uint64_t sentCommands_ = 0;
    std::uint64_t sentBytes_ = 0;
    std::uint64_t droppedBytes_ = 0;
    std::string lastSent_;
};

}  // namespace boxemu
