#include "core/variable_map.h"

#include <algorithm>

#include "state/bridge_state.h"

namespace bridge {
namespace {

// Queuing results are not examined: one tick needs at most 1,464 bytes of the
// 32,512 the request block holds, and a closed link fails the exchange itself.
template <typename Field>
void Read(SimLinkApi& sim, std::uint32_t offset, Field& field) {
    SimLinkResult ignored;
    sim.Read(offset, sizeof(Field), &field, ignored);
}

template <typename Field>
void Write(SimLinkApi& sim, std::uint32_t offset, const Field& field) {
    SimLinkResult ignored;
    sim.Write(offset, sizeof(Field), &field, ignored);
}

void ReadEngine(SimLinkApi& sim, const offsets::EngineOffsets& at, EngineSnapshot& e) {
    Read(sim, at.rpm, e.RpmRaw);
    Read(sim, at.rpmScaler, e.RpmScaler);
    Read(sim, at.egt, e.EgtRankine);
    Read(sim, at.oilTemp, e.OilTempRankine);
    Read(sim, at.oilPressure, e.OilPressurePsf);
    Read(sim, at.manifold, e.ManifoldRaw);
    Read(sim, at.fuelFlow, e.FuelFlowPph);
    Read(sim, at.cht, e.ChtFahrenheit);
    Read(sim, at.fuelPressure, e.FuelPressurePsf);
}

// A pending frequency is written and cleared; the frequency is then not read
// this tick and keeps its older snapshot value.
void WriteOrRead(SimLinkApi& sim, std::uint32_t offset, std::uint16_t& pending,
                 std::uint16_t& snapshot) {
    if (pending != 0) {
        Write(sim, offset, pending);
        pending = 0;
    } else {
        Read(sim, offset, snapshot);
    }
}

}  // namespace

unsigned ConfiguredEngines() {
    return std::min<unsigned>(Bridge.Settings.NumberOfEngines, kEngineCount);
}

void QueueAttitudeReads(SimLinkApi& sim) {
    BridgeState& s = Bridge;
    Read(sim, offsets::kPitch, s.Sim.PitchDeg);
    Read(sim, offsets::kBank, s.Sim.BankDeg);
    Read(sim, offsets::kTurnRate, s.Sim.TurnRateRaw);
    Read(sim, offsets::kBall, s.Sim.BallRaw);
    Read(sim, offsets::kCompassHeading, s.Sim.CompassHeadingDeg);
    Read(sim, offsets::kGyroHeading, s.Sim.GyroHeadingDeg);
    Read(sim, offsets::kGForce, s.Sim.GForceRaw);
}

void QueueAltimeterWrite(SimLinkApi& sim) {
    BridgeState& s = Bridge;
    if (!s.Altimeter.AltimeterWritePending) return;
    Write(sim, offsets::kAltimeterSetting, s.Altimeter.AltimeterCommand);
    s.Altimeter.AltimeterWritePending = false;
}

void QueueServo(SimLinkApi& sim, Servo servo, bool engaged) {
    BridgeState& s = Bridge;
    const bool bank = servo == Servo::Bank;
    const std::uint32_t offset = bank ? offsets::kAileron : offsets::kElevator;
    if (engaged) {
        Write(sim, offset, bank ? s.Servos.BankServoCommand : s.Servos.PitchServoCommand);
    } else {
        Read(sim, offset, bank ? s.Servos.BankServoPosition : s.Servos.PitchServoPosition);
    }
}

void QueueControlsDisconnect(SimLinkApi& sim) {
    Write(sim, offsets::kControlsDisconnect, Bridge.Servos.ControlsDisconnect);
}

void QueueHalfRateRequests(SimLinkApi& sim) {
    BridgeState& s = Bridge;
    s.Sim.HeadingRaw = 0;
    Read(sim, offsets::kLatitude, s.Sim.LatitudeRaw);
    Read(sim, offsets::kLongitude, s.Sim.LongitudeRaw);
    SimLinkResult ignored;
    sim.Read(offsets::kHeading, 4, &s.Sim.HeadingRaw, ignored);  // low end of the 64-bit cell
    Read(sim, offsets::kGpsGroundSpeed, s.Sim.GpsGroundSpeed);
    Read(sim, offsets::kGpsAltitude, s.Sim.GpsAltitude);
    Read(sim, offsets::kAltitude, s.Sim.AltitudeMetres);
    Read(sim, offsets::kIas, s.Sim.IasRaw);
    Read(sim, offsets::kVerticalSpeed, s.Sim.VerticalSpeedRaw);
    Read(sim, offsets::kOat, s.Sim.OatRaw);
    Read(sim, offsets::kAmbientPressure, s.Sim.AmbientPressure);
    for (unsigned n = 0; n < ConfiguredEngines(); ++n) {
        ReadEngine(sim, offsets::kEngine[n], s.Engines.Snapshot[n]);
    }
    Read(sim, offsets::kAltimeterSetting, s.Sim.AltimeterSetting);
    Read(sim, offsets::kNav1Cdi, s.Sim.Nav1CdiDeflection);
    Read(sim, offsets::kNav1Gs, s.Sim.Nav1GsDeflection);
    Read(sim, offsets::kNavRadioFlags, s.Sim.NavRadioFlags);
    Read(sim, offsets::kNav1Obs, s.Sim.Nav1Obs);
    Read(sim, offsets::kNav1Radial, s.Sim.Nav1Radial);
    Read(sim, offsets::kNav2Radial, s.Sim.Nav2Radial);
    WriteOrRead(sim, offsets::kCom1Active, s.Radios.Com1ActiveWrite, s.Sim.Com1Active);
    WriteOrRead(sim, offsets::kCom1Standby, s.Radios.Com1StandbyWrite, s.Sim.Com1Standby);
    WriteOrRead(sim, offsets::kNav1Active, s.Radios.Nav1ActiveWrite, s.Sim.Nav1Active);
    WriteOrRead(sim, offsets::kNav1Standby, s.Radios.Nav1StandbyWrite, s.Sim.Nav1Standby);
    WriteOrRead(sim, offsets::kCom2Active, s.Radios.Com2ActiveWrite, s.Sim.Com2Active);
    WriteOrRead(sim, offsets::kCom2Standby, s.Radios.Com2StandbyWrite, s.Sim.Com2Standby);
}

}  // namespace bridge
