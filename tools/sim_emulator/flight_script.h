// The emulator's flight: every variable the bridge reads, in its encoding at
// its FSUIPC offset, either as a scripted flight (a slow climb and descent
// with S-turns, four engines following the power, NAV indications changing
// between en-route and approach) or as fixed known values for byte-exact
// tests. The variables the bridge writes (aileron, elevator, controls
// disconnect, altimeter setting, radio frequencies) are set once at the start
// and afterwards only by clients, so that what a client writes reads back.
// With the ailerons or the elevator disconnected (0x310A bits 1 and 0) the
// aircraft follows the written control position instead of the script.
#pragma once

#include <array>
#include <cstdint>

#include "tools/sim_emulator/sim_image.h"

namespace simemu {

namespace at {
inline constexpr std::uint32_t kPitch = 0x2F70, kBank = 0x2F78, kTurnRate = 0x037C, kBall = 0x036E,
                               kCompass = 0x02CC, kGyro = 0x2B00, kGForce = 0x11BA,
                               kAltimeter = 0x0330, kAileron = 0x0BB6, kElevator = 0x0BB2,
                               kDisconnect = 0x310A, kLatitude = 0x0560, kLongitude = 0x0568,
                               kHeading = 0x0580, kGpsSpeed = 0x6030, kGpsAltitude = 0x6020,
                               kAltitude = 0x0574, kIas = 0x02BC, kVerticalSpeed = 0x02C8,
                               kOat = 0x0E8C, kPressure = 0x28C8, kNav1Cdi = 0x2AAC,
                               kNav1Gs = 0x2AB0, kNavFlags = 0x3300, kNav1Obs = 0x0C4E,
                               kNav1Radial = 0x0C50, kNav2Radial = 0x0C60, kCom1Active = 0x034E,
                               kCom1Standby = 0x311A, kNav1Active = 0x0350, kNav1Standby = 0x311E,
                               kCom2Active = 0x3118, kCom2Standby = 0x311C;
struct Engine {
    std::uint32_t rpm, rpmScaler, egt, oilTemp, oilPressure, manifold, fuelFlow, cht, fuelPressure;
};
inline constexpr std::array<Engine, 4> kEngines = {{
    {0x0898, 0x08C8, 0x3B70, 0x3B58, 0x3B60, 0x08C0, 0x0918, 0x08E8, 0x3868},
    {0x0930, 0x0960, 0x3AB0, 0x3A98, 0x3AA0, 0x0958, 0x09B0, 0x0980, 0x37A8},
    {0x09C8, 0x09F8, 0x39F0, 0x39D8, 0x39E0, 0x09F0, 0x0A48, 0x0A18, 0x36E8},
    {0x0A60, 0x0A90, 0x3930, 0x3918, 0x3920, 0x0A88, 0x0AE0, 0x0AB0, 0x3628},
}};
}  // namespace at

// The variables the flight moves, in plain units.
struct EngineValues {
    double rpm = 0, egtF = 0, oilTempF = 0, oilPressurePsi = 0, manifoldInHg = 0, fuelFlowGph = 0,
           chtF = 0, fuelPressurePsi = 0;
};

struct FlightValues {
    double pitchDownDeg = 0, bankDeg = 0, turnRateDegS = 0, compassDeg = 0, gyroDeg = 0, gForce = 1,
           latitudeDeg = 0, longitudeDeg = 0, trueHeadingDeg = 0, groundSpeedMs = 0,
           gpsAltitudeM = 0, altitudeM = 0, iasKnots = 0, verticalSpeedMs = 0, oatC = 0,
           pressurePsf = 0;
    std::int8_t ball = 0;
    std::array<EngineValues, 4> engines{};
    float nav1Cdi = 0, nav1Gs = 0;
    std::uint16_t navFlags = 0, nav1ObsDeg = 0;
    double nav1RadialDeg = 0, nav2RadialDeg = 0;
};

// The values written once at the start (or by clients afterwards).
struct ControlValues {
    std::uint16_t altimeter16 = 16212;  // 1013.25 hPa
    std::int16_t aileron = 0, elevator = 0;
    std::uint8_t disconnect = 0;
    std::uint16_t com1Active = 0x1850, com1Standby = 0x2150, nav1Active = 0x1050,
                  nav1Standby = 0x1360, com2Active = 0x2280, com2Standby = 0x1800;
};

// The fixed values served without motion.
FlightValues FixedFlightValues();

// Encodes `values` at their offsets. RPM uses the scaler 16384.
void WriteFlightValues(const FlightValues& values, Image& image);
void WriteControlValues(const ControlValues& values, Image& image);

class FlightScript {
public:
    // Writes the starting state, controls included.
    explicit FlightScript(Image& image);
    // Moves the flight on by `seconds` and writes the moving variables.
    void Advance(double seconds);
    const FlightValues& values() const { return values_; }

private:
    void Compute();

    Image& image_;
    double time_ = 0;
    double latitude_ = 51.4700, longitude_ = -0.4543, heading_ = 270.0;
    double bank_ = 0, pitchUp_ = 2.0;  // level flight, two degrees nose up
    FlightValues values_;
};

}  // namespace simemu
