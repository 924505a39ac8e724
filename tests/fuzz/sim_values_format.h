// The input of fuzz_sim_values: set-up bytes, then per tick a control byte and
// patches of the simulator's variables.
//
//   byte 0      NumberOfEngines (any byte; above 4 acts as 4)
//   byte 1      EGTCHTSplit (any byte)
//   byte 2, 3   SL30Port, SL40Port (any byte)
//   byte 4..7   the phase counters at the start: TickPhase (modulo 10),
//               RpmPhase (modulo 4), RadioPhase (modulo 80), EnginePhase
//               (modulo 15)
//   byte 8      number of ticks: (byte & 0x3F) + 1
//   byte 9..12  the bank and pitch servo commands, i16 each
//   per tick, while input lasts (afterwards: control 0, no patches):
//     control byte (TickControl bits), patch count (modulo 16), then each
//     patch: a selector (bits 0..6: the variable, modulo kSimVariables.size();
//     bit 7: a special value, chosen by the next byte, instead of the
//     variable's own bytes) and the variable's bytes little-endian
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "core/variable_map.h"

namespace bridge::fuzzing {

inline constexpr std::size_t kSimValuesSetupSize = 13;
inline constexpr std::uint8_t kTickCountMask = 0x3F;
inline constexpr std::uint8_t kSpecialValueBit = 0x80;
inline constexpr std::uint8_t kPatchCountModulo = 16;

namespace tick_control {
inline constexpr std::uint8_t kBankEcho = 0x01;     // a bank servo command arrived
inline constexpr std::uint8_t kPitchEcho = 0x02;    // a pitch servo command arrived
inline constexpr std::uint8_t kBankEngaged = 0x04;  // the bank servo is engaged
inline constexpr std::uint8_t kPitchEngaged = 0x08;
inline constexpr std::uint8_t kExchangeFails = 0x10;
inline constexpr std::uint8_t kLinkDown = 0x20;  // the tick finds the link down
}  // namespace tick_control

enum class ValueKind : std::uint8_t { F64, F32, Int };

struct SimVariable {
    std::uint32_t offset;
    std::uint8_t size;
    ValueKind kind;
};

namespace detail {
inline constexpr std::size_t kEngineVariables = 9;

constexpr std::array<SimVariable, kEngineVariables> EngineVariables(
    const offsets::EngineOffsets& e) {
    return {{{e.rpm, 2, ValueKind::Int},
             {e.rpmScaler, 2, ValueKind::Int},
             {e.egt, 8, ValueKind::F64},
             {e.oilTemp, 8, ValueKind::F64},
             {e.oilPressure, 8, ValueKind::F64},
             {e.manifold, 2, ValueKind::Int},
             {e.fuelFlow, 8, ValueKind::F64},
             {e.cht, 8, ValueKind::F64},
             {e.fuelPressure, 8, ValueKind::F64}}};
}
}  // namespace detail

// Every variable the main cycle reads.
inline constexpr std::array<SimVariable, 32 + 4 * detail::kEngineVariables> kSimVariables = [] {
    using namespace offsets;
    std::array<SimVariable, 32 + 4 * detail::kEngineVariables> all = {{
        {kPitch, 8, ValueKind::F64},           {kBank, 8, ValueKind::F64},
        {kTurnRate, 2, ValueKind::Int},        {kBall, 1, ValueKind::Int},
        {kCompassHeading, 8, ValueKind::F64},  {kGyroHeading, 8, ValueKind::F64},
        {kGForce, 2, ValueKind::Int},          {kAileron, 2, ValueKind::Int},
        {kElevator, 2, ValueKind::Int},        {kLatitude, 8, ValueKind::Int},
        {kLongitude, 8, ValueKind::Int},       {kHeading, 4, ValueKind::Int},
        {kGpsGroundSpeed, 8, ValueKind::F64},  {kGpsAltitude, 8, ValueKind::F64},
        {kAltitude, 4, ValueKind::Int},        {kIas, 4, ValueKind::Int},
        {kVerticalSpeed, 4, ValueKind::Int},   {kOat, 2, ValueKind::Int},
        {kAmbientPressure, 8, ValueKind::F64}, {kAltimeterSetting, 2, ValueKind::Int},
        {kNav1Cdi, 4, ValueKind::F32},         {kNav1Gs, 4, ValueKind::F32},
        {kNavRadioFlags, 2, ValueKind::Int},   {kNav1Obs, 2, ValueKind::Int},
        {kNav1Radial, 2, ValueKind::Int},      {kNav2Radial, 2, ValueKind::Int},
        {kCom1Active, 2, ValueKind::Int},      {kCom1Standby, 2, ValueKind::Int},
        {kNav1Active, 2, ValueKind::Int},      {kNav1Standby, 2, ValueKind::Int},
        {kCom2Active, 2, ValueKind::Int},      {kCom2Standby, 2, ValueKind::Int},
    }};
    for (std::size_t n = 0; n < 4; ++n) {
        const auto engine = detail::EngineVariables(kEngine[n]);
        for (std::size_t i = 0; i < engine.size(); ++i)
            all[32 + n * detail::kEngineVariables + i] = engine[i];
    }
    return all;
}();

// Index of engine 1's first variable in kSimVariables.
inline constexpr std::size_t kFirstEngineVariable = 32;

// Special values a patch may choose by index (modulo the table's size):
// not-a-number, infinities, extremes, and the edges where the bridge's
// conversions leave the 64-bit range or its counts their 12-bit range.
inline constexpr double kTwoTo63 = 9223372036854775808.0;
inline constexpr std::array<double, 32> kSpecialDoubles = {
    0.0,
    -0.0,
    std::numeric_limits<double>::quiet_NaN(),
    -std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::max(),
    std::numeric_limits<double>::lowest(),
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::denorm_min(),
    kTwoTo63,
    -kTwoTo63,
    9223372036854774784.0,  // the largest double below 2^63
    kTwoTo63 / 100,         // the centi-degree conversions' limit
    -kTwoTo63 / 100,
    kTwoTo63 / 1000,      // GPS altitude in millimetres
    kTwoTo63 / 4.92,      // fuel flow
    kTwoTo63 / 4.788026,  // static pressure
    1e300,
    -1e300,
    491.67,   // 0 degrees Celsius in Rankine
    34.0,     // the CHT offset
    2116.22,  // standard pressure in pounds-force per square foot
    635.67,   // 80 degrees Celsius in Rankine
    1700.0,
    356.0,
    8640.0,
    28800.0,  // beyond the pressure senders' full scale
    0.5,
    2.5,
    -0.5,
    1.5,
};
inline constexpr std::array<float, 12> kSpecialFloats = {
    0.0f,
    -0.0f,
    std::numeric_limits<float>::quiet_NaN(),
    std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(),
    std::numeric_limits<float>::max(),
    std::numeric_limits<float>::lowest(),
    127.0f,
    -127.0f,
    1e30f,
    -1e30f,
    2.8608e17f,  // 2^63 / 32.24, the deflections' limit
};
// Integers of any width: 0, 1, all bits set (-1), the lowest and the highest
// signed value; others repeat the index byte.
inline constexpr std::size_t kSpecialIntegers = 8;

}  // namespace bridge::fuzzing
