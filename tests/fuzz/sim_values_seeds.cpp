// Writes the seed corpus of fuzz_sim_values into the folder given: a flight
// with the documented example values (attitude, air data, engines, radios),
// the schedules that bring every engine item and the radio sentences, and the
// faulty values (not a number, infinities, extremes) with failed exchanges, a
// link that is down and servo echoes.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/fuzz/seed_writer.h"
#include "tests/fuzz/sim_values_format.h"

namespace {

using bridge::fuzzing::Bytes;
using bridge::fuzzing::operator+;
namespace control = bridge::fuzzing::tick_control;

// Indices into kSimVariables.
enum Variable : std::uint8_t {
    kPitch,
    kBank,
    kTurnRate,
    kBall,
    kCompass,
    kGyro,
    kGForce,
    kAileron,
    kElevator,
    kLatitude,
    kLongitude,
    kHeading,
    kGroundSpeed,
    kGpsAltitude,
    kAltitude,
    kIas,
    kVerticalSpeed,
    kOat,
    kAmbientPressure,
    kAltimeter,
    kCdi,
    kGs,
    kNavFlags,
    kObs,
    kNav1Radial,
    kNav2Radial,
    kCom1Active,
    kCom1Standby,
    kNav1Active,
    kNav1Standby,
    kCom2Active,
    kCom2Standby,
};
// Engine n's variables (n = 1..4).
enum EngineVariable : std::uint8_t {
    kRpm,
    kRpmScaler,
    kEgt,
    kOilTemp,
    kOilPressure,
    kManifold,
    kFuelFlow,
    kCht,
    kFuelPressure,
};
std::uint8_t Engine(unsigned n, EngineVariable v) {
    return static_cast<std::uint8_t>(bridge::fuzzing::kFirstEngineVariable + (n - 1) * 9 + v);
}

struct Setup {
    std::uint8_t engines = 2, split = 1, sl30 = 2, sl40 = 5;
    std::uint8_t tickPhase = 0, rpmPhase = 0, radioPhase = 0, enginePhase = 0;
    std::uint8_t ticks = 16;
    std::int16_t bankCommand = 0, pitchCommand = 0;
};

Bytes Header(const Setup& s) {
    const auto lo = [](std::int16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](std::int16_t v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); };
    return {s.engines,
            s.split,
            s.sl30,
            s.sl40,
            s.tickPhase,
            s.rpmPhase,
            s.radioPhase,
            s.enginePhase,
            static_cast<std::uint8_t>(s.ticks - 1),
            lo(s.bankCommand),
            hi(s.bankCommand),
            lo(s.pitchCommand),
            hi(s.pitchCommand)};
}

// A variable's bytes, little-endian, of its own size.
template <typename T>
Bytes Set(std::uint8_t variable, T value) {
    Bytes out(1 + sizeof(T));
    out[0] = variable;
    std::memcpy(out.data() + 1, &value, sizeof(T));
    return out;
}

Bytes Special(std::uint8_t variable, std::uint8_t index) {
    return {static_cast<std::uint8_t>(variable | bridge::fuzzing::kSpecialValueBit), index};
}

// One tick: its control byte and patches.
Bytes Tick(std::uint8_t controlByte, const std::vector<Bytes>& patches = {}) {
    Bytes out = {controlByte, static_cast<std::uint8_t>(patches.size())};
    for (const auto& p : patches) out = out + p;
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Bytes> attitude = {
        Set<double>(kPitch, 2.5),
        Set<double>(kBank, 15.0),
        Set<std::int16_t>(kTurnRate, 510),
        Set<std::int8_t>(kBall, -10),
        Set<double>(kCompass, 359.99),
        Set<double>(kGyro, 90.0),
        Set<std::int16_t>(kGForce, 624),
        Set<std::int16_t>(kAileron, -16384),
        Set<std::int16_t>(kElevator, 16384),
    };
    const std::vector<Bytes> airData = {
        Set<std::int64_t>(kLatitude, 21478594576384000),  // 45 degrees
        Set<std::int64_t>(kLongitude, -1024819115206086200),
        Set<std::uint32_t>(kHeading, 2147483648u),  // 180 degrees
        Set<double>(kGroundSpeed, 51.4),
        Set<double>(kGpsAltitude, 304.8),
        Set<std::int32_t>(kAltitude, 1000),
        Set<std::int32_t>(kIas, 128 * 120),
        Set<std::int32_t>(kVerticalSpeed, 256),
        Set<std::int16_t>(kOat, -256),
        Set<double>(kAmbientPressure, 2116.22),
        Set<std::uint16_t>(kAltimeter, 16211),
    };
    const std::vector<Bytes> radios = {
        Set<float>(kCdi, 127.0f),
        Set<float>(kGs, -127.0f),
        Set<std::uint16_t>(kNavFlags, 0x06),
        Set<std::uint16_t>(kObs, 275),
        Set<std::uint16_t>(kNav1Radial, 0xFFFF),
        Set<std::uint16_t>(kNav2Radial, 0x8000),
        Set<std::uint16_t>(kNav1Active, 0x1050),
        Set<std::uint16_t>(kNav1Standby, 0x0800),
        Set<std::uint16_t>(kCom1Active, 0x2150),
        Set<std::uint16_t>(kCom1Standby, 0x1800),
        Set<std::uint16_t>(kCom2Active, 0x1800),
        Set<std::uint16_t>(kCom2Standby, 0x3600),
    };
    std::vector<Bytes> engine1 = {
        Set<std::uint16_t>(Engine(1, kRpm), 9600),
        Set<std::uint16_t>(Engine(1, kRpmScaler), 16384),
        Set<double>(Engine(1, kEgt), 1700.0),
        Set<double>(Engine(1, kOilTemp), 635.67),
        Set<double>(Engine(1, kOilPressure), 8640.0),
        Set<std::uint16_t>(Engine(1, kManifold), 30720),
        Set<double>(Engine(1, kFuelFlow), 10.0),
        Set<double>(Engine(1, kCht), 356.0),
        Set<double>(Engine(1, kFuelPressure), 28800.0),
    };
    std::vector<Bytes> engine2 = {
        Set<double>(Engine(2, kOilTemp), 0.0),
        Special(Engine(2, kEgt), 2),            // not a number
        Special(Engine(2, kFuelFlow), 4),       // infinity
        Special(Engine(2, kFuelPressure), 12),  // just below 2^63
        Set<std::uint16_t>(Engine(2, kRpm), 0xFFFF),
        Set<std::uint16_t>(Engine(2, kRpmScaler), 0xFFFF),
    };
    // Not a number, infinities and extremes wherever a conversion can fail.
    const std::vector<Bytes> faulty = {
        Special(kBank, 2),
        Special(kPitch, 4),
        Special(kGyro, 13),
        Special(kCompass, 14),
        Special(kGroundSpeed, 7),
        Special(kGpsAltitude, 15),
        Special(kAmbientPressure, 17),
        Special(kCdi, 2),
        Special(kGs, 11),
        Special(kLatitude, 3),
        Special(kLongitude, 4),
        Special(kVerticalSpeed, 3),
        Special(kIas, 4),
        Special(kAltitude, 4),
    };

    Setup flight;  // two engines, SL30 on port 2, SL40 on port 5
    flight.ticks = 20;
    flight.rpmPhase = 0;
    flight.radioPhase = 79;  // fuel flow at once
    flight.enginePhase = 2;  // oil and fuel pressure at once
    Setup everyItem = flight;
    everyItem.engines = 4;
    everyItem.enginePhase = 9;  // blank items, then thermocouples five ticks later
    everyItem.split = 3;
    Setup oneEngine = flight;
    oneEngine.engines = 200;  // acts as four
    oneEngine.split = 9;      // every channel 0
    oneEngine.sl30 = 3;
    oneEngine.sl40 = 3;
    Setup servos = flight;
    servos.bankCommand = -16384;
    servos.pitchCommand = -31;
    servos.engines = 0;
    servos.sl30 = 0;
    servos.sl40 = 9;  // no such port: no sentences

    const Bytes good = Tick(0, attitude) + Tick(0, airData) + Tick(0, radios) + Tick(0, engine1);
    const std::vector<Bytes> seeds = {
        Header(flight) + good,
        Header(everyItem) + good + Tick(0, engine2),
        Header(oneEngine) + good + Tick(0, faulty),
        Header(flight) + good + Tick(control::kExchangeFails) + Tick(control::kLinkDown) + Tick(0),
        Header(servos) +
            Tick(control::kBankEcho | control::kPitchEcho | control::kBankEngaged, attitude) +
            Tick(control::kPitchEcho | control::kPitchEngaged) +
            Tick(control::kBankEcho | control::kLinkDown) + Tick(control::kBankEcho),
        Header(everyItem) + Tick(0, faulty) + Tick(0, engine2) + Tick(0, faulty),
    };
    return bridge::fuzzing::WriteSeeds(argc, argv, "sim_values_seeds", seeds);
}
