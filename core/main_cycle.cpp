#include "core/main_cycle.h"

#include <algorithm>

#include "boxlink/arinc.h"
#include "boxlink/box_frames.h"
#include "state/bridge_state.h"
#include "core/derived_values.h"
#include "core/telemetry.h"
#include "core/variable_map.h"
#include "radio/radio_cycle.h"

namespace bridge {
namespace {

constexpr int kTrackBarLimit = 512;
constexpr std::uint8_t kBankDisconnectBit = 0x02;
constexpr std::uint8_t kPitchDisconnectBit = 0x01;

int TrackBarPosition(int value) { return std::clamp(value, -kTrackBarLimit, kTrackBarLimit); }

// Calls send(n) for engines 1..n in order.
template <typename Send>
void ForEachEngine(Send send) {
    for (unsigned n = 1; n <= ConfiguredEngines(); ++n) send(n);
}

}  // namespace

void MainCycle::Tick() {
    HandOffArincRecord();
    if (AnswerStopRequest()) return;
    BridgeState& s = Bridge;
    if (!s.SimLinkUp) return;

    s.TickPhase = static_cast<std::uint8_t>(s.TickPhase + 1 == 10 ? 0 : s.TickPhase + 1);
    const bool halfRate = (s.TickPhase & 1u) != 0;

    QueueAttitudeReads(sim_);
    QueueAltimeterWrite(sim_);
    ApplyServo(Servo::Bank);
    ApplyServo(Servo::Pitch);
    QueueControlsDisconnect(sim_);
    SendPendingEchoes();
    ShowServoPositions();
    if (halfRate) QueueHalfRateRequests(sim_);

    SimLinkResult result = SimLinkResult::Okay;
    if (sim_.Process(result)) {
        OnExchangeSucceeded(halfRate);
    } else {
        OnExchangeFailed(result);
    }
    RunPeriodicOutputs();
}

void MainCycle::HandOffArincRecord() {
    BridgeState& s = Bridge;
    if (!s.RecordPending) return;
    s.ArincWord = WithReversedLabel(s.ArincWord);
    SendArincWord(s.LeadByte, s.ArincWord);
    s.RecordPending = false;
}

bool MainCycle::AnswerStopRequest() {
    BridgeState& s = Bridge;
    if (!s.StopRequested) return false;
    s.SimLinkUp = false;
    view_.StopTimer();
    s.StopRequested = false;
    return true;
}

// An engaged servo writes its command and shows it; a free one reads the
// control input back (arriving with this tick's exchange).
void MainCycle::ApplyServo(Servo servo) {
    BridgeState& s = Bridge;
    const bool bank = servo == Servo::Bank;
    const bool engaged = bank ? s.BankServoEngaged : s.PitchServoEngaged;
    const std::uint8_t bit = bank ? kBankDisconnectBit : kPitchDisconnectBit;
    view_.SetServoLabel(servo, engaged ? "Engaged" : "Not engaged");
    if (engaged) {
        s.ControlsDisconnect = static_cast<std::uint8_t>(s.ControlsDisconnect | bit);
    } else {
        s.ControlsDisconnect = static_cast<std::uint8_t>(s.ControlsDisconnect & ~bit);
    }
    QueueServo(sim_, servo, engaged);
    if (engaged) {
        if (bank) {
            s.BankServoPosition = s.BankServoCommand;
        } else {
            s.PitchServoPosition = s.PitchServoCommand;
        }
    }
}

void MainCycle::SendPendingEchoes() {
    BridgeState& s = Bridge;
    if (s.BankEchoPending) {
        s.BankEchoPending = false;
        SendServoEcho(Servo::Bank);
    }
    if (s.PitchEchoPending) {
        s.PitchEchoPending = false;
        SendServoEcho(Servo::Pitch);
    }
}

void MainCycle::ShowServoPositions() {
    const BridgeState& s = Bridge;
    view_.SetServoTrackBar(Servo::Bank, TrackBarPosition(s.BankServoPosition / 32));
    view_.SetServoTrackBar(Servo::Pitch, TrackBarPosition(-(s.PitchServoPosition / 32)));
}

void MainCycle::OnExchangeSucceeded(bool halfRate) {
    ComputeAttitudeValues();
    SendAttitudeFrame();
    if (halfRate) {
        ComputeNavigationValues();
        SendAirDataFrame();
    }
}

void MainCycle::OnExchangeFailed(SimLinkResult result) {
    BridgeState& s = Bridge;
    s.LogLine = "FlightSim problem: ";
    s.LogLine += SimLinkResultText(result);
    s.SimLinkUp = false;
    view_.SetReconnectEnabled(true);
    view_.AppendLog(s.LogLine);
}

// Runs after a failed exchange too, from the values of earlier exchanges.
void MainCycle::RunPeriodicOutputs() {
    BridgeState& s = Bridge;
    s.RpmPhase = static_cast<std::uint8_t>(s.RpmPhase + 1);
    if (s.RpmPhase >= 4) {
        s.RpmPhase = 0;
        s.RpmDue = true;
    }
    s.RadioPhase = static_cast<std::uint8_t>(s.RadioPhase + 1);
    if (s.RadioPhase % 10 == 0) RunRadioCycle();
    if (s.RadioPhase >= 80) {
        s.FuelFlowDue = true;
        s.RadioPhase = 0;
    }
    s.EnginePhase = static_cast<std::uint8_t>(s.EnginePhase + 1);
    if (s.FuelFlowDue) {
        s.FuelFlowDue = false;
        ForEachEngine(SendFuelFlowItem);
    }
    if (s.RpmDue) {
        s.RpmDue = false;
        ForEachEngine(SendRpmItem);
    }
    if (s.EnginePhase == 3) {
        ForEachEngine([](unsigned n) {
            SendOilItem(n);
            SendFuelPressureItem(n);
        });
    }
    if (s.EnginePhase == 10) ForEachEngine(SendBlankItem);
    if (s.EnginePhase >= 15) {
        s.EnginePhase = 0;
        ForEachEngine(SendThermocoupleItems);
    }
}

}  // namespace bridge
