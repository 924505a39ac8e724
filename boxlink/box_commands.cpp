#include "boxlink/box_commands.h"

#include <algorithm>

#include "base/byte_order.h"

namespace bridge {
namespace {

constexpr std::uint8_t kSelectorBank = 1;
constexpr std::uint8_t kSelectorPitch = 2;
constexpr std::uint8_t kCommandLastPort = 4;
constexpr std::uint8_t kCommandAltimeter = 6;

void ApplyServoCommand(ServoChannel servo, std::uint8_t engageByte, std::uint16_t position) {
    servo.EngageBit = engageByte & 1u;
    servo.Raw = std::clamp(static_cast<std::int16_t>(position), std::int16_t{0}, kServoPositionMax);
    servo.Command = ServoPositionToCommand(servo.Raw);
    servo.EchoPending = true;
}

}  // namespace

std::int16_t ServoPositionToCommand(std::int16_t position) {
    // Saturated rather than wrapped: position 0 is full deflection one way,
    // not the other.
    const std::int32_t command =
        (kServoCentre - static_cast<std::int32_t>(position)) * kSimUnitsPerServoStep;
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(command, -32768, 32767));
}

std::uint16_t BoxCommands::PayloadWord(std::size_t at) const {
    return GetU16(frame_.ReceiveBuffer, at);
}

void BoxCommands::ServoCommandHandler() {
    if ((PayloadWord(0) & kServoCheckMask) != kServoCheckValue) return;
    ServoState& s = servos_;
    const std::uint8_t engageByte = frame_.ReceiveBuffer[3];
    switch (frame_.ReceiveBuffer[2]) {
        case kSelectorBank:
            ApplyServoCommand(ChannelOf(s, Servo::Bank), engageByte, PayloadWord(4));
            break;
        case kSelectorPitch:
            ApplyServoCommand(ChannelOf(s, Servo::Pitch), engageByte, PayloadWord(4));
            break;
        default: break;
    }
    s.BankServoEngaged = s.BankEngageBit != 0;
    s.PitchServoEngaged = s.PitchEngageBit != 0;
}

void BoxCommands::CommandDispatcher() {
    const std::uint8_t index = frame_.ReceiveBuffer[0];
    if (index <= kCommandLastPort) {
        CallIfSet(boxPorts_.PortReplyHandlers[index]);
    } else if (index == kCommandAltimeter) {
        const std::uint32_t tenthsHpa = PayloadWord(1);
        altimeter_.AltimeterCommand = static_cast<std::uint16_t>(tenthsHpa * 16u / 10u);
        altimeter_.AltimeterWritePending = true;
    }
}

void InstallReplyHandler(BoxPortRouting& boxPorts, std::uint8_t port, ReplyHandler handler) {
    if (port >= 1 && port <= kBoxPortCount) boxPorts.PortReplyHandlers[port - 1u] = handler;
}

void CallIfSet(ReplyHandler handler) {
    if (handler.call != nullptr) handler.call(handler.context);
}

}  // namespace bridge
