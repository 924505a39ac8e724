#include "tools/box_protocol/frame_fields.h"

#include <algorithm>
#include <cstdio>

namespace boxproto {
namespace {

constexpr std::size_t kAttitudeSize = 28;
constexpr std::size_t kAirDataSize = 73;
constexpr std::size_t kArincSize = 10;
constexpr std::uint8_t kServoEchoKind = 1;

std::uint16_t U16(const Frame& frame, std::size_t at) {
    return static_cast<std::uint16_t>(BodyI16(frame, at));
}

}  // namespace

std::optional<AttitudeFields> DecodeAttitude(const Frame& frame) {
    if (frame.kind != 1 || frame.bytes.size() != kAttitudeSize) return std::nullopt;
    AttitudeFields f;
    f.gForceMilli = BodyI16(frame, 7);
    f.gForceMilliAgain = BodyI16(frame, 9);
    f.turnRateTenths = BodyI16(frame, 11);
    f.bankCentiDeg = BodyI16(frame, 19);
    f.pitchUpCentiDeg = BodyI16(frame, 21);
    f.gyroHeadingCentiDeg = BodyI16(frame, 23);
    f.ball = static_cast<std::int8_t>(frame.bytes[25]);
    return f;
}

std::optional<AirDataFields> DecodeAirData(const Frame& frame) {
    if (frame.kind != 0 || frame.bytes.size() != kAirDataSize) return std::nullopt;
    AirDataFields f;
    f.altitudeFeet = BodyI32(frame, 3);
    f.longitude1e7 = BodyI32(frame, 7);
    f.latitude1e7 = BodyI32(frame, 11);
    f.gpsAltitudeMm = BodyI32(frame, 19);
    f.halfSinkRateFpm = BodyI32(frame, 35);
    f.groundSpeedCentiMs = BodyI32(frame, 39);
    f.trueHeading1e5 = BodyI32(frame, 43);
    f.altimeterTenthsHpa = U16(frame, 47);
    f.verticalSpeedFpm = BodyI16(frame, 49);
    f.iasTenthsKmh = BodyI16(frame, 51);
    f.staticCount = BodyI16(frame, 55);
    f.oatCelsius = BodyI16(frame, 57);
    f.compassHeadingCentiDeg = BodyI16(frame, 59);
    f.radioPortMask = U16(frame, 67);
    f.tail69 = frame.bytes[69];
    f.tail70 = frame.bytes[70];
    return f;
}

std::optional<ArincFields> DecodeArinc(const Frame& frame) {
    if (frame.kind != 3 || frame.bytes.size() != kArincSize) return std::nullopt;
    ArincFields f;
    f.leadByte = frame.bytes[3];
    f.wordAsSent = static_cast<std::uint32_t>(BodyI32(frame, 4));
    f.word = (f.wordAsSent & 0xFFFFFF00u) | ReverseBits(frame.bytes[4]);
    return f;
}

std::optional<ServoEchoFields> AsServoEcho(const Item& item) {
    const bool bank = item.address == kBankEchoAddress;
    if ((!bank && item.address != kPitchEchoAddress) || item.itemKind != kServoEchoKind ||
        item.payload.size() != 5) {
        return std::nullopt;
    }
    ServoEchoFields f;
    f.pitch = !bank;
    f.engageBit = item.payload[0];
    f.position = static_cast<std::int16_t>(item.payload[1] | (item.payload[2] << 8));
    f.trailer = item.payload[3];
    return f;
}

std::optional<EngineItemFields> AsEngineItem(const Item& item) {
    if (item.address < kFirstEngineAddress || item.address >= kFirstEngineAddress + kEngines ||
        item.itemKind < 1 || item.itemKind > 8) {
        return std::nullopt;
    }
    EngineItemFields f;
    f.engine = item.address - kFirstEngineAddress + 1u;
    f.itemKind = item.itemKind;
    f.wordCount = std::min<std::size_t>(item.payload.size() / 2, f.words.size());
    for (std::size_t i = 0; i < f.wordCount; ++i) f.words[i] = item.Word(i);
    return f;
}

std::uint8_t ReverseBits(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if ((b >> i) & 1u) r = static_cast<std::uint8_t>(r | (0x80u >> i));
    }
    return r;
}

// count = (tenths of hPa * 3686) div 10000 - 389
double StaticPressureHpa(std::int16_t count) { return (count + 389) / 0.3686 / 10.0; }

// LM335: 10 mV per kelvin, 8.2 counts per degree, 2230 counts at 0 degrees C.
double OilTemperatureCelsius(std::int16_t count) { return (count - 2230) / 8.2; }

double PressureBar(std::int16_t count) { return count / 4095.0 * 10.0; }

// value = ManifoldRaw / 1024 * 51, ManifoldRaw in 1024ths of an inch of mercury.
double ManifoldInHg(std::int16_t value) { return value / 51.0; }

double FuelFlowPph(std::int16_t value) { return value / 4.92; }

std::string FormatMhz(std::uint32_t kHz) {
    char text[24];
    if (kHz % 10 == 0) {
        std::snprintf(text, sizeof text, "%u.%02u", kHz / 1000, (kHz % 1000) / 10);
    } else {
        std::snprintf(text, sizeof text, "%u.%03u", kHz / 1000, kHz % 1000);
    }
    return text;
}

}  // namespace boxproto
