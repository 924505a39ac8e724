// Handlers for frames from the box. They only fill the slots of the servos,
// the altimeter and the radios; the next main cycle carries them into the
// simulator and answers the box.
#pragma once

#include <cstddef>
#include <cstdint>

#include "state/bridge_state.h"
#include "state/servo_channel.h"

namespace bridge {

// The check word of a servo command frame must read 0x?011.
inline constexpr std::uint16_t kServoCheckMask = 0x0FFF;
inline constexpr std::uint16_t kServoCheckValue = 0x0011;

class BoxCommands {
public:
    BoxCommands(const ReceiverState& frame, ServoState& servos, AltimeterState& altimeter,
                const BoxPortRouting& boxPorts)
        : frame_(frame), servos_(servos), altimeter_(altimeter), boxPorts_(boxPorts) {}

    // Frame kind 0: a bank (selector 1) or pitch (selector 2) servo command.
    void ServoCommandHandler();

    // Frame kind 1: command index 0..4 is text from box RS232 port index + 1,
    // 6 an altimeter setting in tenths of hPa; the others are ignored.
    void CommandDispatcher();

private:
    std::uint16_t PayloadWord(std::size_t at) const;

    const ReceiverState& frame_;
    ServoState& servos_;
    AltimeterState& altimeter_;
    const BoxPortRouting& boxPorts_;
};

// Box position 0..kServoPositionMax to the simulator's control units.
std::int16_t ServoPositionToCommand(std::int16_t position);

// Sets the reply handler of box RS232 port 1..5; other ports have no entry.
void InstallReplyHandler(BoxPortRouting& boxPorts, std::uint8_t port, ReplyHandler handler);

// Calls the handler, or does nothing when the entry is empty.
void CallIfSet(ReplyHandler handler);

}  // namespace bridge
