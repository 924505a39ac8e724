#include "boxlink/box_commands.h"

#include <algorithm>

#include "base/byte_order.h"

namespace bridge {
namespace {

constexpr std::uint8_t kSelectorBank = 1;
constexpr std::uint8_t kSelectorPitch = 2;
constexpr std::uint8_t kCommandLastPort = 4;
constexpr std::uint8_t kCommandAltimeter = 6;

std::uint16_t PayloadWord(std::size_t at) { return GetU16(Bridge.Receive.ReceiveBuffer, at); }

struct ServoFields {
    std::uint8_t& engageBit;
    std::int16_t& raw;
    std::int16_t& command;
    bool& echoPending;
};

void ApplyServoCommand(ServoFields servo) {
    servo.engageBit = Bridge.Receive.ReceiveBuffer[3] & 1u;
    servo.raw =
        std::clamp(static_cast<std::int16_t>(PayloadWord(4)), std::int16_t{0}, kServoPositionMax);
    servo.command = ServoPositionToCommand(servo.raw);
    servo.echoPending = true;
}

}  // namespace

std::int16_t ServoPositionToCommand(std::int16_t position) {
    // Saturated rather than wrapped: position 0 is full deflection one way,
    // not the other.
    const std::int32_t command = (1024 - static_cast<std::int32_t>(position)) * 32;
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(command, -32768, 32767));
}

void ServoCommandHandler() {
    if ((PayloadWord(0) & kServoCheckMask) != kServoCheckValue) return;
    BridgeState& s = Bridge;
    switch (s.Receive.ReceiveBuffer[2]) {
        case kSelectorBank:
            ApplyServoCommand({s.Servos.BankEngageBit, s.Servos.BankServoRaw,
                               s.Servos.BankServoCommand, s.Servos.BankEchoPending});
            break;
        case kSelectorPitch:
            ApplyServoCommand({s.Servos.PitchEngageBit, s.Servos.PitchServoRaw,
                               s.Servos.PitchServoCommand, s.Servos.PitchEchoPending});
            break;
        default: break;
    }
    s.Servos.BankServoEngaged = s.Servos.BankEngageBit != 0;
    s.Servos.PitchServoEngaged = s.Servos.PitchEngageBit != 0;
}

void CommandDispatcher() {
    BridgeState& s = Bridge;
    const std::uint8_t index = s.Receive.ReceiveBuffer[0];
    if (index <= kCommandLastPort) {
        CallIfSet(s.Radios.PortReplyHandlers[index]);
    } else if (index == kCommandAltimeter) {
        const std::uint32_t tenthsHpa = PayloadWord(1);
        s.Altimeter.AltimeterCommand = static_cast<std::uint16_t>(tenthsHpa * 16u / 10u);
        s.Altimeter.AltimeterWritePending = true;
    }
}

void InstallReplyHandler(std::uint8_t port, ReplyHandler handler) {
    if (port >= 1 && port <= kBoxPortCount) Bridge.Radios.PortReplyHandlers[port - 1u] = handler;
}

void CallIfSet(ReplyHandler handler) {
    if (handler != nullptr) handler();
}

}  // namespace bridge
