#include "tools/sim_emulator/flight_script.h"

#include <algorithm>
#include <cmath>

namespace simemu {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPow32 = 4294967296.0;
constexpr double kTwoPow64 = 18446744073709551616.0;
constexpr double kGravity = 9.80665;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kRankineOffset = 459.67;
constexpr std::uint16_t kRpmScaler = 16384;
constexpr double kCycleSeconds = 600.0;     // one climb and descent
constexpr double kMagneticVariation = 2.0;  // west: magnetic = true + 2

double Wrap360(double degrees) {
    const double wrapped = std::fmod(degrees, 360.0);
    return wrapped < 0 ? wrapped + 360.0 : wrapped;
}

// Longitude to (-180, 180].
double Wrap180(double degrees) {
    if (degrees > -180.0 && degrees <= 180.0) return degrees;
    const double wrapped = Wrap360(degrees);
    return wrapped > 180.0 ? wrapped - 360.0 : wrapped;
}

std::uint16_t RadialRaw(double degrees) {
    return static_cast<std::uint16_t>(ToInt<std::uint32_t>(Wrap360(degrees) / 360.0 * 65536.0) &
                                      0xFFFFu);
}

void WriteEngine(const EngineValues& e, const at::Engine& o, Image& m) {
    PutU16(m, o.rpm, ToInt<std::uint16_t>(e.rpm * 65536.0 / kRpmScaler));
    PutU16(m, o.rpmScaler, kRpmScaler);
    PutF64(m, o.egt, e.egtF + kRankineOffset);
    PutF64(m, o.oilTemp, e.oilTempF + kRankineOffset);
    PutF64(m, o.oilPressure, e.oilPressurePsi * 144.0);
    PutU16(m, o.manifold, ToInt<std::uint16_t>(e.manifoldInHg * 1024.0));
    PutF64(m, o.fuelFlow, e.fuelFlowGph * 6.0);
    PutF64(m, o.cht, e.chtF);
    PutF64(m, o.fuelPressure, e.fuelPressurePsi * 144.0);
}

// Standard atmosphere below the tropopause.
double PressurePsf(double altitudeM) {
    return 2116.22 * std::pow(std::max(0.0, 1.0 - 2.25577e-5 * altitudeM), 5.25588);
}

}  // namespace

FlightValues FixedFlightValues() {
    FlightValues v;
    v.pitchDownDeg = -3.0;
    v.bankDeg = 15.0;
    v.turnRateDegS = 1.5;
    v.ball = -12;
    v.compassDeg = 123.25;
    v.gyroDeg = 124.5;
    v.gForce = 1.0;
    v.latitudeDeg = 51.47;
    v.longitudeDeg = -0.4543;
    v.trueHeadingDeg = 180.0;
    v.groundSpeedMs = 61.5;
    v.gpsAltitudeM = 1524.5;
    v.altitudeM = 1524.0;
    v.iasKnots = 110.0;
    v.verticalSpeedMs = 2.5;
    v.oatC = 5.0;
    v.pressurePsf = 1761.5;
    for (std::size_t n = 0; n < v.engines.size(); ++n) {
        const double k = static_cast<double>(n);
        v.engines[n] =
            EngineValues{2400.0 + 10.0 * k, 1300.0 + 10.0 * k, 190.0 + k,       60.0 + k,
                         24.0 + 0.25 * k,   9.5 + 0.5 * k,     350.0 + 5.0 * k, 25.0 + k};
    }
    v.nav1Cdi = 12.5f;
    v.nav1Gs = -20.0f;
    v.navFlags = 0x0046;
    v.nav1ObsDeg = 270;
    v.nav1RadialDeg = 90.0;
    v.nav2RadialDeg = 270.0;
    return v;
}

void WriteFlightValues(const FlightValues& v, Image& m) {
    PutF64(m, at::kPitch, v.pitchDownDeg);
    PutF64(m, at::kBank, v.bankDeg);
    PutI16(m, at::kTurnRate, ToInt<std::int16_t>(v.turnRateDegS * 512.0 / 3.0));
    PutU8(m, at::kBall, static_cast<std::uint8_t>(v.ball));
    PutF64(m, at::kCompass, v.compassDeg);
    PutF64(m, at::kGyro, v.gyroDeg);
    PutI16(m, at::kGForce, ToInt<std::int16_t>(v.gForce * 624.0));
    PutI64(m, at::kLatitude, ToInt<std::int64_t>(v.latitudeDeg / 90.0 * 10001750.0 * kTwoPow32));
    PutI64(m, at::kLongitude, ToInt<std::int64_t>(Wrap180(v.longitudeDeg) / 360.0 * kTwoPow64));
    PutU32(m, at::kHeading, ToInt<std::uint32_t>(Wrap360(v.trueHeadingDeg) / 360.0 * kTwoPow32));
    PutF64(m, at::kGpsSpeed, v.groundSpeedMs);
    PutF64(m, at::kGpsAltitude, v.gpsAltitudeM);
    PutI32(m, at::kAltitude, ToInt<std::int32_t>(std::floor(v.altitudeM)));
    PutI32(m, at::kIas, ToInt<std::int32_t>(v.iasKnots * 128.0));
    PutI32(m, at::kVerticalSpeed, ToInt<std::int32_t>(v.verticalSpeedMs * 256.0));
    PutI16(m, at::kOat, ToInt<std::int16_t>(v.oatC * 256.0));
    PutF64(m, at::kPressure, v.pressurePsf);
    for (std::size_t n = 0; n < v.engines.size(); ++n) {
        WriteEngine(v.engines[n], at::kEngines[n], m);
    }
    PutF32(m, at::kNav1Cdi, v.nav1Cdi);
    PutF32(m, at::kNav1Gs, v.nav1Gs);
    PutU16(m, at::kNavFlags, v.navFlags);
    PutU16(m, at::kNav1Obs, v.nav1ObsDeg);
    PutU16(m, at::kNav1Radial, RadialRaw(v.nav1RadialDeg));
    PutU16(m, at::kNav2Radial, RadialRaw(v.nav2RadialDeg));
}

void WriteControlValues(const ControlValues& c, Image& m) {
    PutU16(m, at::kAltimeter, c.altimeter16);
    PutI16(m, at::kAileron, c.aileron);
    PutI16(m, at::kElevator, c.elevator);
    PutU8(m, at::kDisconnect, c.disconnect);
    PutU16(m, at::kCom1Active, c.com1Active);
    PutU16(m, at::kCom1Standby, c.com1Standby);
    PutU16(m, at::kNav1Active, c.nav1Active);
    PutU16(m, at::kNav1Standby, c.nav1Standby);
    PutU16(m, at::kCom2Active, c.com2Active);
    PutU16(m, at::kCom2Standby, c.com2Standby);
}

FlightScript::FlightScript(Image& image) : image_(image) {
    WriteControlValues(ControlValues{}, image_);
    Compute();
    WriteFlightValues(values_, image_);
}

void FlightScript::Advance(double seconds) {
    if (!(seconds > 0.0)) return;
    // Long pauses between exchanges are taken in steps of at most 0.1 s.
    while (seconds > 0.0) {
        const double dt = std::min(seconds, 0.1);
        seconds -= dt;
        time_ += dt;
        const std::uint8_t disconnect = image_[at::kDisconnect];
        if ((disconnect & 0x02u) != 0) {
            bank_ =
                std::clamp(bank_ + GetI16(image_, at::kAileron) / 16384.0 * 10.0 * dt, -60.0, 60.0);
        } else {
            bank_ = 20.0 * std::sin(2.0 * kPi * time_ / 90.0);
        }
        const double tas = values_.groundSpeedMs > 1.0 ? values_.groundSpeedMs : 1.0;
        const double climbPitch = std::atan2(values_.verticalSpeedMs, tas) * 180.0 / kPi;
        if ((disconnect & 0x01u) != 0) {
            pitchUp_ = std::clamp(pitchUp_ + GetI16(image_, at::kElevator) / 16384.0 * 4.0 * dt,
                                  -20.0, 20.0);
        } else {
            pitchUp_ = climbPitch + 2.0;
        }
        const double turnRate = kGravity * std::tan(bank_ * kPi / 180.0) / tas * 180.0 / kPi;
        heading_ = Wrap360(heading_ + turnRate * dt);
        const double track = heading_ * kPi / 180.0;
        latitude_ =
            std::clamp(latitude_ + tas * std::cos(track) * dt / kMetresPerDegree, -89.0, 89.0);
        const double metresPerDegreeEast = kMetresPerDegree * std::cos(latitude_ * kPi / 180.0);
        longitude_ = Wrap180(longitude_ + tas * std::sin(track) * dt / metresPerDegreeEast);
        Compute();
    }
    WriteFlightValues(values_, image_);
}

// Everything else follows from the time and the integrated state.
void FlightScript::Compute() {
    FlightValues& v = values_;
    const double t = time_;
    const double phase = 2.0 * kPi * t / kCycleSeconds;
    v.altitudeM = 1000.0 + 750.0 * (1.0 - std::cos(phase));
    v.verticalSpeedMs = 750.0 * (2.0 * kPi / kCycleSeconds) * std::sin(phase);
    const double power = v.verticalSpeedMs / 7.85;  // -1 descending .. 1 climbing
    v.iasKnots = 110.0 - 8.0 * power;
    v.groundSpeedMs = v.iasKnots * 0.514444 * (1.0 + 0.000066 * v.altitudeM);
    v.gpsAltitudeM = v.altitudeM + 0.8 * std::sin(t / 13.0);
    v.oatC = 15.0 - 0.0065 * v.altitudeM;
    v.pressurePsf = PressurePsf(v.altitudeM);

    v.bankDeg = bank_;
    v.pitchDownDeg = -pitchUp_;
    const double tas = std::max(v.groundSpeedMs, 1.0);
    v.turnRateDegS = kGravity * std::tan(bank_ * kPi / 180.0) / tas * 180.0 / kPi;
    v.gForce = 1.0 / std::cos(bank_ * kPi / 180.0) + 0.03 * std::sin(t * 1.7);
    v.ball = static_cast<std::int8_t>(ToInt<std::int8_t>(12.0 * std::sin(2.0 * kPi * t / 17.0)));
    v.trueHeadingDeg = heading_;
    const double magnetic = Wrap360(heading_ + kMagneticVariation);
    v.compassDeg = Wrap360(magnetic + 0.15 * bank_);  // the compass's turning error
    v.gyroDeg = Wrap360(magnetic + 0.5 * std::sin(t / 200.0));
    v.latitudeDeg = latitude_;
    v.longitudeDeg = longitude_;

    for (std::size_t n = 0; n < v.engines.size(); ++n) {
        const double k = static_cast<double>(n);
        EngineValues& e = v.engines[n];
        e.rpm = 2350.0 + 200.0 * power + 7.0 * k;
        e.egtF = 1350.0 + 60.0 * power + 9.0 * k;
        e.oilTempF = 185.0 + 5.0 * std::sin(t / 60.0) + 2.0 * k;
        e.oilPressurePsi = 62.0 + 2.0 * power + k;
        e.manifoldInHg = 29.92 * v.pressurePsf / 2116.22 - 4.0 + 2.0 * power;
        e.fuelFlowGph = 9.5 + 1.5 * power + 0.2 * k;
        e.chtF = 360.0 + 20.0 * power + 3.0 * k;
        e.fuelPressurePsi = 26.0 + 0.3 * std::sin(t / 3.0) + 0.5 * k;
    }

    // En route with two VOR radials, then an ILS approach with glideslope.
    const double inCycle = std::fmod(t, kCycleSeconds);
    v.navFlags = inCycle < 300.0 ? 0x0006 : inCycle < 450.0 ? 0x0046 : 0x0002;
    v.nav1Cdi = static_cast<float>(100.0 * std::sin(2.0 * kPi * t / 180.0));
    v.nav1Gs = (v.navFlags & 0x40u) != 0 ? static_cast<float>(80.0 * std::sin(2.0 * kPi * t / 45.0))
                                         : 0.0f;
    v.nav1ObsDeg =
        static_cast<std::uint16_t>((270 + 10 * static_cast<long long>(std::floor(t / 60.0))) % 360);
    v.nav1RadialDeg = Wrap360(heading_ + 180.0 + 30.0 * std::sin(t / 100.0));
    v.nav2RadialDeg = Wrap360(45.0 + 0.5 * t);
}

}  // namespace simemu
