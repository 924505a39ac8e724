#include "boxlink/box_frames.h"

#include "base/byte_order.h"

namespace bridge {
namespace {

BoxLine* boxLine = nullptr;

// Frames of kind 2 (items and port text) share this header layout.
constexpr std::size_t kKind2HeaderSize = 6;  // sync, sync, kind, length, route, target
constexpr std::size_t kCheckSize = 2;

void PutHeader(std::span<std::uint8_t> out, FrameKind kind) {
    out[0] = kSync1;
    out[1] = kSync2;
    out[2] = static_cast<std::uint8_t>(kind);
}

// Check bytes over out[3 .. end), stored at end and end + 1.
void PutCheckBytes(std::span<std::uint8_t> out, std::size_t end) {
    const CheckBytes check = ComputeCheckBytes(out.subspan(3, end - 3));
    out[end] = check.sum;
    out[end + 1] = check.xorByte;
}

void WriteFrame(const std::uint8_t* frame, std::size_t length, SentFrame kind) {
    if (boxLine != nullptr && length != 0) {
        // The result is not examined: the port counts what it refused.
        boxLine->WriteFrame(frame, static_cast<std::int32_t>(length), kind);
    }
}

}  // namespace

CheckBytes ComputeCheckBytes(std::span<const std::uint8_t> body) {
    std::uint8_t sum = 0;
    std::uint8_t xorByte = 0;
    for (const std::uint8_t b : body) {
        sum = static_cast<std::uint8_t>(sum + b);
        xorByte = static_cast<std::uint8_t>(xorByte ^ b);
    }
    return {sum, xorByte};
}

std::size_t BuildItemFrame(std::span<std::uint8_t> out, std::uint16_t itemId,
                           std::span<const std::uint8_t> payload) {
    const std::size_t n = payload.size();
    const std::size_t length = kKind2HeaderSize + 2 + n + kCheckSize;
    if (n > kItemPayloadMax || length > out.size()) return 0;
    PutHeader(out, FrameKind::Item);
    out[3] = static_cast<std::uint8_t>(n + 6);
    out[4] = kRouteItem;
    out[5] = 1;
    PutU16(out, 6, static_cast<std::uint16_t>(itemId * 16u + n));
    for (std::size_t i = 0; i < n; ++i) out[8 + i] = payload[i];
    PutCheckBytes(out, 8 + n);
    return length;
}

std::size_t BuildPortFrame(std::span<std::uint8_t> out, std::uint8_t port,
                           std::span<const std::uint8_t> text) {
    const std::size_t l = text.size();
    const std::size_t length = kKind2HeaderSize + l + kCheckSize;
    if (l > kPortTextMax || length > out.size()) return 0;
    PutHeader(out, FrameKind::Item);
    out[3] = static_cast<std::uint8_t>(l + 4);
    out[4] = kRoutePort;
    out[5] = port;
    for (std::size_t i = 0; i < l; ++i) out[6 + i] = text[i];
    PutCheckBytes(out, 6 + l);
    return length;
}

std::size_t BuildArincFrame(std::span<std::uint8_t> out, std::uint8_t leadByte,
                            std::uint32_t word) {
    if (out.size() < kArincFrameSize) return 0;
    PutHeader(out, FrameKind::Arinc);
    out[3] = leadByte;
    PutU32(out, 4, word);
    PutCheckBytes(out, 8);
    return kArincFrameSize;
}

void SealFixedFrame(std::span<std::uint8_t> frame, FrameKind kind) {
    PutHeader(frame, kind);
    PutCheckBytes(frame, frame.size() - kCheckSize);
}

void BindBoxLine(BoxLine* port) { boxLine = port; }

FrameBurst::FrameBurst() : line_(boxLine) {
    if (line_ != nullptr) line_->HoldWrites();
}

FrameBurst::~FrameBurst() {
    if (line_ != nullptr) line_->ReleaseWrites();
}

void FrameSender::SendItem(std::uint16_t itemId, std::span<const std::uint8_t> payload) {
    Write(BuildItemFrame(frames_.TransmitBuffer, itemId, payload), SentFrame::Item);
}

void FrameSender::SendPortText(std::uint8_t port, std::span<const std::uint8_t> text) {
    Write(BuildPortFrame(frames_.TransmitBuffer, port, text), SentFrame::Port);
}

void FrameSender::SendArincWord(std::uint8_t leadByte, std::uint32_t word) {
    Write(BuildArincFrame(frames_.TransmitBuffer, leadByte, word), SentFrame::Arinc);
}

// A length of 0 is a frame the builder refused: it would not fit the line.
void FrameSender::Write(std::size_t length, SentFrame kind) {
    if (length == 0) {
        framesTooLong_ = static_cast<std::uint32_t>(framesTooLong_ + 1u);
        return;
    }
    WriteFrame(frames_.TransmitBuffer.data(), length, kind);
}

void FrameSender::SendFixedFrame(std::span<std::uint8_t> frame, FrameKind kind) {
    SealFixedFrame(frame, kind);
    WriteFrame(frame.data(), frame.size(),
               kind == FrameKind::AirData ? SentFrame::AirData : SentFrame::Attitude);
}

}  // namespace bridge
