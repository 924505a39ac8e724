#include "core/variable_map.h"

#include <algorithm>
#include <array>

namespace bridge {

void VariableMap::Read(std::uint32_t offset, std::uint32_t size, void* field) {
    SimLinkResult result;
    if (!sim_.Read(offset, size, field, result)) {
        requestsNotQueued_ = static_cast<std::uint32_t>(requestsNotQueued_ + 1u);
    }
}

void VariableMap::Write(std::uint32_t offset, std::uint32_t size, const void* field) {
    SimLinkResult result;
    if (!sim_.Write(offset, size, field, result)) {
        requestsNotQueued_ = static_cast<std::uint32_t>(requestsNotQueued_ + 1u);
    }
}

void VariableMap::ReadEngine(const offsets::EngineOffsets& at, EngineSnapshot& e) {
    Read(at.rpm, e.RpmRaw);
    Read(at.rpmScaler, e.RpmScaler);
    Read(at.egt, e.EgtRankine);
    Read(at.oilTemp, e.OilTempRankine);
    Read(at.oilPressure, e.OilPressurePsf);
    Read(at.manifold, e.ManifoldRaw);
    Read(at.fuelFlow, e.FuelFlowPph);
    Read(at.cht, e.ChtFahrenheit);
    Read(at.fuelPressure, e.FuelPressurePsf);
}

// A pending frequency is written and cleared; the frequency is then not read
// this tick and keeps its older snapshot value.
void VariableMap::WriteOrRead(std::uint32_t offset, std::uint16_t& pending,
                              std::uint16_t& snapshot) {
    if (pending != 0) {
        Write(offset, pending);
        pending = 0;
    } else {
        Read(offset, snapshot);
    }
}

unsigned ConfiguredEngines(const BridgeSettings& settings) {
    return std::min<unsigned>(settings.NumberOfEngines, kEngineCount);
}

void VariableMap::QueueAttitudeReads(SimValues& v) {
    Read(offsets::kPitch, v.PitchDeg);
    Read(offsets::kBank, v.BankDeg);
    Read(offsets::kTurnRate, v.TurnRateRaw);
    Read(offsets::kBall, v.BallRaw);
    Read(offsets::kCompassHeading, v.CompassHeadingDeg);
    Read(offsets::kGyroHeading, v.GyroHeadingDeg);
    Read(offsets::kGForce, v.GForceRaw);
}

void VariableMap::QueueAltimeterWrite(AltimeterState& altimeter) {
    if (!altimeter.AltimeterWritePending) return;
    Write(offsets::kAltimeterSetting, altimeter.AltimeterCommand);
    altimeter.AltimeterWritePending = false;
}

void VariableMap::QueueServo(ServoState& s, Servo servo, bool engaged) {
    constexpr std::array<std::uint32_t, kServoCount> kControlInput = {offsets::kAileron,
                                                                      offsets::kElevator};
    const std::uint32_t offset = kControlInput[ServoIndex(servo)];
    const ServoChannel channel = ChannelOf(s, servo);
    if (engaged) {
        Write(offset, channel.Command);
    } else {
        Read(offset, channel.Position);
    }
}

void VariableMap::QueueControlsDisconnect(const ServoState& servos) {
    Write(offsets::kControlsDisconnect, servos.ControlsDisconnect);
}

void VariableMap::QueueHalfRateRequests(const BridgeSettings& settings, SimValues& v,
                                        EngineState& engines, RadioWriteSlots& r) {
    v.HeadingRaw = 0;
    Read(offsets::kLatitude, v.LatitudeRaw);
    Read(offsets::kLongitude, v.LongitudeRaw);
    Read(offsets::kHeading, 4, &v.HeadingRaw);  // low end of the 64-bit cell
    Read(offsets::kGpsGroundSpeed, v.GpsGroundSpeed);
    Read(offsets::kGpsAltitude, v.GpsAltitude);
    Read(offsets::kAltitude, v.AltitudeMetres);
    Read(offsets::kIas, v.IasRaw);
    Read(offsets::kVerticalSpeed, v.VerticalSpeedRaw);
    Read(offsets::kOat, v.OatRaw);
    Read(offsets::kAmbientPressure, v.AmbientPressure);
    for (unsigned n = 0; n < ConfiguredEngines(settings); ++n) {
        ReadEngine(offsets::kEngine[n], engines.Snapshot[n]);
    }
    Read(offsets::kAltimeterSetting, v.AltimeterSetting);
    Read(offsets::kNav1Cdi, v.Nav1CdiDeflection);
    Read(offsets::kNav1Gs, v.Nav1GsDeflection);
    Read(offsets::kNavRadioFlags, v.NavRadioFlags);
    Read(offsets::kNav1Obs, v.Nav1Obs);
    Read(offsets::kNav1Radial, v.Nav1Radial);
    Read(offsets::kNav2Radial, v.Nav2Radial);
    WriteOrRead(offsets::kCom1Active, r.Com1ActiveWrite, v.Com1Active);
    WriteOrRead(offsets::kCom1Standby, r.Com1StandbyWrite, v.Com1Standby);
    WriteOrRead(offsets::kNav1Active, r.Nav1ActiveWrite, v.Nav1Active);
    WriteOrRead(offsets::kNav1Standby, r.Nav1StandbyWrite, v.Nav1Standby);
    WriteOrRead(offsets::kCom2Active, r.Com2ActiveWrite, v.Com2Active);
    WriteOrRead(offsets::kCom2Standby, r.Com2StandbyWrite, v.Com2Standby);
}

}  // namespace bridge
