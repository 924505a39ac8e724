// One servo of ServoState, bank or pitch, by reference: the command handler,
// the cycle, the variable map, the telemetry and the window each work on a
// channel, so that what they do to a servo is written once for both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "state/bridge_state.h"

namespace bridge {

enum class Servo : unsigned char { Bank, Pitch };
inline constexpr std::size_t kServoCount = 2;

// The box's servo positions run from 0 to kServoPositionMax with
// kServoCentre the centre; the simulator's control input moves
// kSimUnitsPerServoStep of its units per step.
inline constexpr std::int16_t kServoPositionMax = 2048;
inline constexpr std::int32_t kServoCentre = 1024;
inline constexpr std::int32_t kSimUnitsPerServoStep = 32;

// 0 for the bank servo, 1 for pitch: the index of a servo's entry in a table
// of per-servo values.
constexpr std::size_t ServoIndex(Servo servo) { return servo == Servo::Bank ? 0 : 1; }

template <typename Flag, typename Word, typename Byte>
struct BasicServoChannel {
    Flag& Engaged;
    Word& Command;
    Word& Position;
    Flag& EchoPending;
    Byte& EngageBit;
    Word& Raw;
};
using ServoChannel = BasicServoChannel<bool, std::int16_t, std::uint8_t>;
using ConstServoChannel = BasicServoChannel<const bool, const std::int16_t, const std::uint8_t>;

// The channel of `servo` in `s`; a const state gives a read-only channel.
template <typename State>
auto ChannelOf(State& s, Servo servo) {
    using Channel = std::conditional_t<std::is_const_v<State>, ConstServoChannel, ServoChannel>;
    if (servo == Servo::Bank) {
        return Channel{s.BankServoEngaged, s.BankServoCommand, s.BankServoPosition,
                       s.BankEchoPending,  s.BankEngageBit,    s.BankServoRaw};
    }
    return Channel{s.PitchServoEngaged, s.PitchServoCommand, s.PitchServoPosition,
                   s.PitchEchoPending,  s.PitchEngageBit,    s.PitchServoRaw};
}

}  // namespace bridge
