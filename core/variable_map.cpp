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

unsigned ConfiguredEngines() { return std::min<unsigned>(Bridge.NumberOfEngines, kEngineCount); }

void QueueAttitudeReads(SimLinkApi& sim) {
    BridgeState& s = Bridge;
    Read(sim, offsets::kPitch, s.PitchDeg);
    Read(sim, offsets::kBank, s.BankDeg);
    Read(sim, offsets::kTurnRate, s.TurnRateRaw);
    Read(sim, offsets::kBall, s.BallRaw);
    Read(sim, offsets::kCompassHeading, s.CompassHeadingDeg);
    Read(sim, offsets::kGyroHeading, s.GyroHeadingDeg);
    Read(sim, offsets::kGForce, s.GForceRaw);
}

void QueueAltimeterWrite(SimLinkApi& sim) {
    BridgeState& s = Bridge;
    if (!s.AltimeterWritePending) return;
    Write(sim, offsets::kAltimeterSetting, s.AltimeterCommand);
    s.AltimeterWritePending = false;
}

void QueueServo(SimLinkApi& sim, Servo servo, bool engaged) {
    BridgeState& s = Bridge;
    const bool bank = servo == Servo::Bank;
    const std::uint32_t offset = bank ? offsets::kAileron : offsets::kElevator;
    if (engaged) {
        Write(sim, offset, bank ? s.BankServoCommand : s.PitchServoCommand);
    } else {
        Read(sim, offset, bank ? s.BankServoPosition : s.PitchServoPosition);
    }
}

void QueueControlsDisconnect(SimLinkApi& sim) {
    Write(sim, offsets::kControlsDisconnect, Bridge.ControlsDisconnect);
}

void QueueHalfRateRequests(SimLinkApi& sim) {
    BridgeState& s = Bridge;
    s.HeadingRaw = 0;
    Read(sim, offsets::kLatitude, s.LatitudeRaw);
    Read(sim, offsets::kLongitude, s.LongitudeRaw);
    SimLinkResult ignored;
    sim.Read(offsets::kHeading, 4, &s.HeadingRaw, ignored);  // low end of the 64-bit cell
    Read(sim, offsets::kGpsGroundSpeed, s.GpsGroundSpeed);
    Read(sim, offsets::kGpsAltitude, s.GpsAltitude);
    Read(sim, offsets::kAltitude, s.AltitudeMetres);
    Read(sim, offsets::kIas, s.IasRaw);
    Read(sim, offsets::kVerticalSpeed, s.VerticalSpeedRaw);
    Read(sim, offsets::kOat, s.OatRaw);
    Read(sim, offsets::kAmbientPressure, s.AmbientPressure);
    for (unsigned n = 0; n < ConfiguredEngines(); ++n) {
        ReadEngine(sim, offsets::kEngine[n], s.Engines[n]);
    }
    Read(sim, offsets::kAltimeterSetting, s.AltimeterSetting);
    Read(sim, offsets::kNav1Cdi, s.Nav1CdiDeflection);
    Read(sim, offsets::kNav1Gs, s.Nav1GsDeflection);
    Read(sim, offsets::kNavRadioFlags, s.NavRadioFlags);
    Read(sim, offsets::kNav1Obs, s.Nav1Obs);
    Read(sim, offsets::kNav1Radial, s.Nav1Radial);
    Read(sim, offsets::kNav2Radial, s.Nav2Radial);
    WriteOrRead(sim, offsets::kCom1Active, s.Com1ActiveWrite, s.Com1Active);
    WriteOrRead(sim, offsets::kCom1Standby, s.Com1StandbyWrite, s.Com1Standby);
    WriteOrRead(sim, offsets::kNav1Active, s.Nav1ActiveWrite, s.Nav1Active);
    WriteOrRead(sim, offsets::kNav1Standby, s.Nav1StandbyWrite, s.Nav1Standby);
    WriteOrRead(sim, offsets::kCom2Active, s.Com2ActiveWrite, s.Com2Active);
    WriteOrRead(sim, offsets::kCom2Standby, s.Com2StandbyWrite, s.Com2Standby);
}

}  // namespace bridge
