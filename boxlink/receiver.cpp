#include "boxlink/receiver.h"

#include <algorithm>
#include <array>

#include "base/byte_order.h"
#include "boxlink/box_frames.h"

namespace bridge {
namespace {

constexpr std::uint8_t kMinFrameLength = 3;

// Counts wrap explicitly; no line gets near four billion.
void Add(std::uint32_t& count, std::uint32_t n = 1) { count = count + n; }

}  // namespace

void Receiver::FrameComplete() {
    switch (state_.ReceivedKind) {
        case 0:
            if ((GetU16(state_.ReceiveBuffer, 0) & kServoCheckMask) == kServoCheckValue) {
                Add(counts_.servoCommands);
            } else {
                Add(counts_.badFrames);  // the handler drops it
            }
            commands_.ServoCommandHandler();
            break;
        case 1:
            Add(counts_.boxCommands);
            commands_.CommandDispatcher();
            break;
        default: Add(counts_.badFrames); break;  // no handler: dropped
    }
}

void Receiver::ReceiveEvent(BoxLine& port, std::int32_t count) {
    std::array<std::uint8_t, kMaxReadPerEvent> chunk;
    const std::int32_t wanted = std::clamp<std::int32_t>(count, 0, kMaxReadPerEvent);
    if (wanted == 0) return;
    const std::int32_t got = port.Read(chunk.data(), wanted);
    // -1 (failure) and 0 feed nothing; a port never returns more than asked,
    // but the bound keeps the loop inside the chunk whatever it returns.
    const std::int32_t fed = std::min(got, wanted);
    for (std::int32_t i = 0; i < fed; ++i) ReceiveByte(chunk[static_cast<std::size_t>(i)]);
}

void Receiver::ReceiveByte(std::uint8_t b) {
    ReceiverState& s = state_;
    switch (s.RxState) {
        case ReceiveState::Hunt:
            if (b == kSync1) {
                s.RxState = ReceiveState::Sync;
            } else {
                Add(counts_.strayBytes);
            }
            break;
        case ReceiveState::Sync:
            if (b == kSync2) {
                s.RxState = ReceiveState::Length;
            } else {
                Add(counts_.strayBytes, 2);  // the sync byte before it went too
                s.RxState = ReceiveState::Hunt;
            }
            break;
        case ReceiveState::Length:
            s.Remaining = b;
            s.FrameLength = b;
            if (b >= kMinFrameLength) {
                s.RxState = ReceiveState::Kind;
            } else {
                Add(counts_.badFrames);
                s.RxState = ReceiveState::Hunt;
            }
            break;
        case ReceiveState::Kind:
            s.ReceivedKind = b;
            s.PayloadIndex = 0;
            s.RxState = ReceiveState::Payload;
            break;
        case ReceiveState::Payload:
            // LEN is at most 255, so the index stays below the 256-byte buffer.
            s.ReceiveBuffer[s.PayloadIndex] = b;
            s.PayloadIndex = static_cast<std::uint8_t>(s.PayloadIndex + 1);
            s.Remaining = static_cast<std::uint8_t>(s.Remaining - 1);
            if (s.Remaining == 0) {
                FrameComplete();
                s.RxState = ReceiveState::Hunt;
            }
            break;
    }
}

}  // namespace bridge
