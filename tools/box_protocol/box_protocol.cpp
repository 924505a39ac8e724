#include "tools/box_protocol/box_protocol.h"

#include <algorithm>
#include <stdexcept>

namespace boxproto {
namespace {

constexpr std::uint8_t kSync1 = 0x05;
constexpr std::uint8_t kSync2 = 0x82;

std::uint32_t LittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i) v |= static_cast<std::uint32_t>(bytes.at(at + i)) << (8 * i);
    return v;
}

}  // namespace

std::int16_t Item::Word(std::size_t i) const {
    return static_cast<std::int16_t>(LittleEndian(payload, 2 * i, 2));
}

// Length of the frame that starts at p, 0 while too few bytes are in to tell.
std::size_t OutgoingDecoder::FrameLength(const std::uint8_t* p, std::size_t available) {
    switch (p[2]) {
        case 0: return 73;
        case 1: return 28;
        case 3: return 10;
        default: return available < 4 ? 0 : std::size_t{p[3]} + 4;
    }
}

void OutgoingDecoder::Feed(std::span<const std::uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t start = 0;
    while (start < pending_.size()) {
        const std::uint8_t* p = pending_.data() + start;
        const std::size_t left = pending_.size() - start;
        if (p[0] != kSync1 || (left >= 2 && p[1] != kSync2) || (left >= 3 && p[2] > 3)) {
            ++start;
            ++strayBytes_;
            continue;
        }
        const std::size_t length = left < 3 ? 0 : FrameLength(p, left);
        if (length == 0 || left < length) break;  // wait for the rest
        std::uint8_t sum = 0;
        std::uint8_t x = 0;
        for (std::size_t i = 3; i + 2 < length; ++i) {
            sum = static_cast<std::uint8_t>(sum + p[i]);
            x = static_cast<std::uint8_t>(x ^ p[i]);
        }
        if (length < 6 || sum != p[length - 2] || x != p[length - 1]) {
            ++badFrames_;
            ++start;  // look for the next frame from the byte after this sync byte
            continue;
        }
        frames_.push_back(Frame{p[2], std::vector<std::uint8_t>(p, p + length)});
        start += length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
}

std::vector<Frame> OutgoingDecoder::TakeFrames() {
    std::vector<Frame> out;
    out.swap(frames_);
    return out;
}

std::optional<Item> AsItem(const Frame& frame) {
    const auto& b = frame.bytes;
    if (frame.kind != 2 || b.size() < 10 || b[4] != 0) return std::nullopt;
    const std::uint16_t key = static_cast<std::uint16_t>(LittleEndian(b, 6, 2));
    const std::size_t n = key & 0x0Fu;
    if (b.size() != n + 10) return std::nullopt;
    Item item;
    item.address = static_cast<std::uint8_t>(key >> 8);
    item.itemKind = static_cast<std::uint8_t>((key >> 4) & 0x0Fu);
    item.payload.assign(b.begin() + 8, b.begin() + 8 + static_cast<std::ptrdiff_t>(n));
    return item;
}

std::optional<PortText> AsPortText(const Frame& frame) {
    const auto& b = frame.bytes;
    if (frame.kind != 2 || b.size() < 8 || b[4] != 1) return std::nullopt;
    PortText text;
    text.port = b[5];
    text.text.assign(b.begin() + 6, b.end() - 2);
    return text;
}

std::int16_t BodyI16(const Frame& frame, std::size_t at) {
    return static_cast<std::int16_t>(LittleEndian(frame.bytes, at, 2));
}

std::int32_t BodyI32(const Frame& frame, std::size_t at) {
    return static_cast<std::int32_t>(LittleEndian(frame.bytes, at, 4));
}

std::vector<std::uint8_t> EncodeBoxFrame(std::uint8_t kind, std::span<const std::uint8_t> payload) {
    // LEN is one byte: a longer payload cannot be framed, and cutting LEN
    // would send a frame whose tail the bridge reads as the next frame.
    if (payload.size() > 255) throw std::length_error("box frame payload over 255 bytes");
    std::vector<std::uint8_t> out(4 + payload.size());
    out[0] = kSync1;
    out[1] = kSync2;
    out[2] = static_cast<std::uint8_t>(payload.size());
    out[3] = kind;
    std::copy(payload.begin(), payload.end(), out.begin() + 4);
    return out;
}

std::vector<std::uint8_t> ServoCommandFrame(std::uint8_t selector, bool engage,
                                            std::int16_t position, std::uint16_t checkWord) {
    const auto p = static_cast<std::uint16_t>(position);
    const std::uint8_t payload[] = {static_cast<std::uint8_t>(checkWord & 0xFFu),
                                    static_cast<std::uint8_t>(checkWord >> 8),
                                    selector,
                                    static_cast<std::uint8_t>(engage ? 1 : 0),
                                    static_cast<std::uint8_t>(p & 0xFFu),
                                    static_cast<std::uint8_t>(p >> 8)};
    return EncodeBoxFrame(0, payload);
}

std::vector<std::uint8_t> AltimeterFrame(std::uint16_t tenthsHpa) {
    const std::uint8_t payload[] = {6, static_cast<std::uint8_t>(tenthsHpa & 0xFFu),
                                    static_cast<std::uint8_t>(tenthsHpa >> 8)};
    return EncodeBoxFrame(1, payload);
}

std::vector<std::uint8_t> PortDataFrame(std::uint8_t port, std::string_view text) {
    std::vector<std::uint8_t> payload;
    payload.push_back(static_cast<std::uint8_t>(port - 1));
    payload.insert(payload.end(), text.begin(), text.end());
    payload.push_back(0);  // the box's trailing byte
    return EncodeBoxFrame(1, payload);
}

std::string RadioReplySentence(bool sl40, std::uint8_t messageId, std::uint32_t kHz) {
    std::string body;
    body += static_cast<char>((messageId >> 4) + 0x30);
    body += static_cast<char>((messageId & 0x0F) + 0x30);
    body += static_cast<char>(kHz / 1000 - 48);
    body += static_cast<char>((kHz % 1000) / 25 + 48);
    body += '0';
    std::uint8_t sum = 0;
    for (const char c : body) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    std::string sentence = sl40 ? "$PMRRC" : "$PMRRV";
    sentence += body;
    sentence += static_cast<char>((sum >> 4) + 0x30);
    sentence += static_cast<char>((sum & 0x0F) + 0x30);
    sentence += "\r\n";
    return sentence;
}

}  // namespace boxproto
