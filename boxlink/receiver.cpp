#include "boxlink/receiver.h"

#include <algorithm>
#include <array>

#include "base/byte_order.h"
#include "boxlink/box_commands.h"
#include "boxlink/box_frames.h"
#include "state/bridge_state.h"

namespace bridge {
namespace {

constexpr std::uint8_t kMinFrameLength = 3;

ReceiveCounts counts{};

// Counts wrap explicitly; no line gets near four billion.
void Add(std::uint32_t& count, std::uint32_t n = 1) { count = count + n; }

void FrameComplete() {
    switch (Bridge.Receive.ReceivedKind) {
        case 0:
            if ((GetU16(Bridge.Receive.ReceiveBuffer, 0) & kServoCheckMask) == kServoCheckValue) {
                Add(counts.servoCommands);
            } else {
                Add(counts.badFrames);  // the handler drops it
            }
            ServoCommandHandler();
            break;
        case 1:
            Add(counts.boxCommands);
            CommandDispatcher();
            break;
        default: Add(counts.badFrames); break;  // no handler: dropped
    }
}

}  // namespace

const ReceiveCounts& ReceivedCounts() { return counts; }

void ResetReceiveCounts() { counts = {}; }

void ReceiveEvent(BoxPort& port, std::int32_t count) {
    std::array<std::uint8_t, kMaxReadPerEvent> chunk;
    const std::int32_t wanted = std::clamp<std::int32_t>(count, 0, kMaxReadPerEvent);
    if (wanted == 0) return;
    const std::int32_t got = port.Read(chunk.data(), wanted);
    // -1 (failure) and 0 feed nothing; a port never returns more than asked,
    // but the bound keeps the loop inside the chunk whatever it returns.
    const std::int32_t fed = std::min(got, wanted);
    for (std::int32_t i = 0; i < fed; ++i) ReceiveByte(chunk[static_cast<std::size_t>(i)]);
}

void ReceiveByte(std::uint8_t b) {
    BridgeState& s = Bridge;
    switch (s.Receive.RxState) {
        case ReceiveState::Hunt:
            if (b == kSync1) {
                s.Receive.RxState = ReceiveState::Sync;
            } else {
                Add(counts.strayBytes);
            }
            break;
        case ReceiveState::Sync:
            if (b == kSync2) {
                s.Receive.RxState = ReceiveState::Length;
            } else {
                Add(counts.strayBytes, 2);  // the sync byte before it went too
                s.Receive.RxState = ReceiveState::Hunt;
            }
            break;
        case ReceiveState::Length:
            s.Receive.Remaining = b;
            s.Receive.FrameLength = b;
            if (b >= kMinFrameLength) {
                s.Receive.RxState = ReceiveState::Kind;
            } else {
                Add(counts.badFrames);
                s.Receive.RxState = ReceiveState::Hunt;
            }
            break;
        case ReceiveState::Kind:
            s.Receive.ReceivedKind = b;
            s.Receive.PayloadIndex = 0;
            s.Receive.RxState = ReceiveState::Payload;
            break;
        case ReceiveState::Payload:
            // LEN is at most 255, so the index stays below the 256-byte buffer.
            s.Receive.ReceiveBuffer[s.Receive.PayloadIndex] = b;
            s.Receive.PayloadIndex = static_cast<std::uint8_t>(s.Receive.PayloadIndex + 1);
            s.Receive.Remaining = static_cast<std::uint8_t>(s.Receive.Remaining - 1);
            if (s.Receive.Remaining == 0) {
                FrameComplete();
                s.Receive.RxState = ReceiveState::Hunt;
            }
            break;
    }
}

}  // namespace bridge
