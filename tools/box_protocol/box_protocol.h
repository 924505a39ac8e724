// The box's side of the serial protocol, for the box emulator and the tests:
// decoding the frames the bridge sends, and encoding the frames a box sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace boxproto {

struct Frame {
    std::uint8_t kind = 0;
    std::vector<std::uint8_t> bytes;  // the whole frame, sync bytes to xor byte
};

// An item frame (kind 2, route 0).
struct Item {
    std::uint8_t address = 0;
    std::uint8_t itemKind = 0;
    std::vector<std::uint8_t> payload;
    std::int16_t Word(std::size_t i) const;  // payload word i, little-endian
};

// A port frame (kind 2, route 1).
struct PortText {
    std::uint8_t port = 0;
    std::string text;
};

// Reassembles frames to the box from any split of the byte stream, checking
// the sum and xor bytes. Bytes that do not start a valid frame are counted and
// skipped one at a time, so a damaged frame costs only itself.
class OutgoingDecoder {
public:
    void Feed(std::span<const std::uint8_t> bytes);
    // Frames completed since the last call, in order.
    std::vector<Frame> TakeFrames();

    std::uint64_t strayBytes() const { return strayBytes_; }
    std::uint64_t badFrames() const { return badFrames_; }

private:
    static std::size_t FrameLength(const std::uint8_t* p, std::size_t available);

    std::vector<std::uint8_t> pending_;
    std::vector<Frame> frames_;
    std::uint64_t strayBytes_ = 0;
    std::uint64_t badFrames_ = 0;
};

std::optional<Item> AsItem(const Frame& frame);
std::optional<PortText> AsPortText(const Frame& frame);
std::int16_t BodyI16(const Frame& frame, std::size_t at);  // frame offset, little-endian
std::int32_t BodyI32(const Frame& frame, std::size_t at);

// Frames a box sends: 0x05 0x82, LEN, frame kind, LEN payload bytes. Throws
// std::length_error for a payload of more than 255 bytes.
std::vector<std::uint8_t> EncodeBoxFrame(std::uint8_t kind, std::span<const std::uint8_t> payload);
// selector 1 = bank, 2 = pitch; position 0..2048 with 1024 the centre.
std::vector<std::uint8_t> ServoCommandFrame(std::uint8_t selector, bool engage,
                                            std::int16_t position,
                                            std::uint16_t checkWord = 0x0011);
std::vector<std::uint8_t> AltimeterFrame(std::uint16_t tenthsHpa);
// Text that arrived on box RS232 port 1..5, followed by one trailing byte that
// the bridge does not read (the box's own check byte).
std::vector<std::uint8_t> PortDataFrame(std::uint8_t port, std::string_view text);
// A frequency selection in the radio's reply format, with its checksum:
// "$PMRRV" (SL30) or "$PMRRC" (SL40), the message id, the frequency letters
// and a third data character.
std::string RadioReplySentence(bool sl40, std::uint8_t messageId, std::uint32_t kHz);

}  // namespace boxproto
