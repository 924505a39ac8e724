// What the box must receive for the values the simulator emulator serves,
// worked out here from the raw values with the box protocol's own formulas,
// independently of the bridge's conversions: whole frames byte by byte,
// engine items and the radios' sentences.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/sim_emulator/sim_image.h"

namespace bridge::testing::road {

using Bytes = std::vector<std::uint8_t>;

// The raw simulator values the box's data come from, as the simulator holds them.
struct ServedValues {
    double pitchDeg, bankDeg;
    std::int16_t turnRateRaw;
    std::int8_t ballRaw;
    double compassDeg, gyroDeg;
    std::int16_t gForceRaw;
    std::int64_t latitudeRaw, longitudeRaw;
    std::uint32_t headingRaw;
    double gpsGroundSpeed, gpsAltitude;
    std::int32_t altitudeMetres, iasRaw, verticalSpeedRaw;
    std::int16_t oatRaw;
    double ambientPressure;
    std::uint16_t altimeterSetting;
    float nav1Cdi, nav1Gs;
    std::uint16_t navFlags, nav1Obs, nav1Radial, nav2Radial;
    std::uint16_t com1Active, com1Standby, nav1Active, nav1Standby, com2Active, com2Standby;
    struct Engine {
        std::uint16_t rpmRaw, rpmScaler;
        double egtRankine, oilTempRankine, oilPressurePsf;
        std::uint16_t manifoldRaw;
        double fuelFlowPph, chtFahrenheit, fuelPressurePsf;
    };
    std::array<Engine, 4> engines;
};

// The image the emulator serves with --fixed, before any client writes.
std::unique_ptr<simemu::Image> FixedServedImage();
ServedValues ReadServedValues(const simemu::Image& image);

// The attitude frame. Before the first half-rate tick has been converted, the
// turn rate and gyro heading are still 0.
Bytes ExpectedAttitudeFrame(const ServedValues& v, bool halfRateValuesKnown);
Bytes ExpectedAirDataFrame(const ServedValues& v, std::uint16_t radioPortMask);

// An item frame of the given address and item kind carrying 16-bit words.
Bytes ItemFrame(std::uint8_t address, std::uint8_t itemKind,
                const std::vector<std::int16_t>& words);

// A port frame carrying text to box RS232 port `port`.
Bytes PortFrame(std::uint8_t port, const std::string& text);

// The item frames of engine n (1..4) for one item kind, in the order sent;
// item kind 2 stands for the three thermocouple items 2, 3 and 4.
std::vector<Bytes> ExpectedEngineItems(const ServedValues& v, unsigned n, std::uint8_t itemKind,
                                       std::uint8_t egtChtSplit);

// Sentence texts with checksum and line end, as the radios put them out:
// the SL30's six (21, 22, 23, 24, 28, 35) and the SL40's one.
std::vector<std::string> ExpectedSl30Sentences(const ServedValues& v);
std::string ExpectedSl40Sentence(const ServedValues& v);

// A BCD frequency word in kHz (0x1835 is 118350).
std::uint32_t KhzOfBcd(std::uint16_t bcd);

}  // namespace bridge::testing::road
