// The fields of the frames the bridge sends to the box, as integers exactly
// as they travel, and the conversions back into units a person reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "tools/box_protocol/box_protocol.h"

namespace boxproto {

inline constexpr std::uint8_t kBankEchoAddress = 16;
inline constexpr std::uint8_t kPitchEchoAddress = 17;
inline constexpr std::uint8_t kFirstEngineAddress = 32;
inline constexpr std::size_t kEngines = 4;

// Frame kind 1, 28 bytes.
struct AttitudeFields {
    std::int16_t gForceMilli = 0;
    std::int16_t gForceMilliAgain = 0;
    std::int16_t turnRateTenths = 0;  // tenths of a degree per second
    std::int16_t bankCentiDeg = 0;
    std::int16_t pitchUpCentiDeg = 0;
    std::int16_t gyroHeadingCentiDeg = 0;
    std::int8_t ball = 0;  // -50..50
};

// Frame kind 0, 73 bytes.
struct AirDataFields {
    std::int32_t altitudeFeet = 0;
    std::int32_t longitude1e7 = 0;
    std::int32_t latitude1e7 = 0;
    std::int32_t gpsAltitudeMm = 0;
    std::int32_t halfSinkRateFpm = 0;  // (-vertical speed) div 2
    std::int32_t groundSpeedCentiMs = 0;
    std::int32_t trueHeading1e5 = 0;
    std::uint16_t altimeterTenthsHpa = 0;
    std::int16_t verticalSpeedFpm = 0;
    std::int16_t iasTenthsKmh = 0;
    std::int16_t staticCount = 0;
    std::int16_t oatCelsius = 0;
    std::int16_t compassHeadingCentiDeg = 0;
    std::uint16_t radioPortMask = 0;
    std::uint8_t tail69 = 0;  // 3 from the bridge
    std::uint8_t tail70 = 0;  // 6 from the bridge
};

// Frame kind 3, 10 bytes. The label travels bit-reversed.
struct ArincFields {
    std::uint8_t leadByte = 0;
    std::uint32_t wordAsSent = 0;
    std::uint32_t word = 0;  // with the label restored to its recorded bit order
};

// Item kind 1 at address 16 (bank) or 17 (pitch).
struct ServoEchoFields {
    bool pitch = false;
    std::uint8_t engageBit = 0;
    std::int16_t position = 0;  // 0..2048, 1024 the centre
    std::uint8_t trailer = 0;   // 70 from the bridge
};

// An item of engine 1..4 (addresses 32..35): up to four words.
struct EngineItemFields {
    unsigned engine = 0;
    std::uint8_t itemKind = 0;
    std::array<std::int16_t, 4> words{};
    std::size_t wordCount = 0;
};

std::optional<AttitudeFields> DecodeAttitude(const Frame& frame);
std::optional<AirDataFields> DecodeAirData(const Frame& frame);
std::optional<ArincFields> DecodeArinc(const Frame& frame);
std::optional<ServoEchoFields> AsServoEcho(const Item& item);
std::optional<EngineItemFields> AsEngineItem(const Item& item);

std::uint8_t ReverseBits(std::uint8_t b);

// Readable units, reversing the bridge's conversions (to within their rounding).
double StaticPressureHpa(std::int16_t count);
double OilTemperatureCelsius(std::int16_t count);  // LM335 sender count
double PressureBar(std::int16_t count);            // linear 0-5 V, 10 bar sender count
double ManifoldInHg(std::int16_t value);
double FuelFlowPph(std::int16_t value);

// "110.50" for 110500 kHz, "118.025" when the frequency needs the third decimal.
std::string FormatMhz(std::uint32_t kHz);

}  // namespace boxproto
