#include "core/main_cycle.h"

#include <algorithm>
#include <array>

#include "boxlink/arinc.h"
#include "boxlink/box_frames.h"
#include "core/derived_values.h"
#include "core/telemetry.h"
#include "core/variable_map.h"
#include "radio/radio_cycle.h"
#include "state/bridge_state.h"

namespace bridge {
namespace {

// The controls-disconnect bit of each servo.
constexpr std::array<std::uint8_t, kServoCount> kDisconnectBit = {0x02, 0x01};

int TrackBarPosition(int value) {
    return std::clamp(value, -kServoTrackBarLimit, kServoTrackBarLimit);
}

// Calls send(n) for engines 1..n in order.
template <typename Send>
void ForEachEngine(const BridgeSettings& settings, Send send) {
    for (unsigned n = 1; n <= ConfiguredEngines(settings); ++n) send(n);
}

}  // namespace

MainCycle::MainCycle(BridgeState& state, SimLinkApi& sim, BridgeView& view)
    : s_(state),
      sim_(sim),
      view_(view),
      log_(state.Link.LogLine, view),
      sender_(state.Frames),
      replies_(state.Receive, state.RadioWrites, state.ReplyParse),
      radios_(state.Settings, state.Sim, state.Sentences, state.BoxPorts, sender_, replies_),
      telemetry_({state.Settings, state.Sim, state.Derived, state.Engines, state.Servos,
                  state.BoxPorts, state.Frames, sender_}),
      requests_(sim) {}

bool MainCycle::Tick() {
    HandOffArincRecord();
    if (AnswerStopRequest()) return true;
    BridgeState& s = s_;
    if (!s.Link.SimLinkUp) return false;

    s.Counters.TickPhase =
        static_cast<std::uint8_t>(s.Counters.TickPhase + 1 == 10 ? 0 : s.Counters.TickPhase + 1);
    const bool halfRate = (s.Counters.TickPhase & 1u) != 0;

    requests_.QueueAttitudeReads(s.Sim);
    requests_.QueueAltimeterWrite(s.Altimeter);
    ApplyServo(Servo::Bank);
    ApplyServo(Servo::Pitch);
    requests_.QueueControlsDisconnect(s.Servos);
    {
        const FrameBurst echoes;  // both in one transfer, before the exchange
        SendPendingEchoes();
    }
    ShowServoPositions();
    if (halfRate) requests_.QueueHalfRateRequests(s.Settings, s.Sim, s.Engines, s.RadioWrites);

    SimLinkResult result = SimLinkResult::Okay;
    exchanging_ = true;
    const bool exchanged = sim_.Process(result);
    exchanging_ = false;
    const FrameBurst frames;  // the rest of the tick's frames in one transfer as it ends
    if (exchanged) {
        OnExchangeSucceeded(halfRate);
    } else {
        OnExchangeFailed(result);
    }
    RunPeriodicOutputs();
    return false;
}

void MainCycle::HandOffArincRecord() {
    BridgeState& s = s_;
    if (!s.Arinc.RecordPending) return;
    s.Arinc.ArincWord = WithReversedLabel(s.Arinc.ArincWord);
    sender_.SendArincWord(s.Arinc.LeadByte, s.Arinc.ArincWord);
    s.Arinc.RecordPending = false;
}

bool MainCycle::AnswerStopRequest() {
    BridgeState& s = s_;
    if (!s.Link.StopRequested) return false;
    HandControlsBack();
    s.Link.SimLinkUp = false;
    s.Link.StopRequested = false;
    return true;
}

void MainCycle::HandControlsBack() {
    BridgeState& s = s_;
    if (!s.Link.SimLinkUp || exchanging_ || s.Servos.ControlsDisconnect == 0) return;
    s.Servos.ControlsDisconnect = 0;
    requests_.QueueServo(s.Servos, Servo::Bank, false);
    requests_.QueueServo(s.Servos, Servo::Pitch, false);
    requests_.QueueControlsDisconnect(s.Servos);
    // A failure is the next tick's to report (none follows a stop). A tick
    // nested in this exchange (outside a tick, the timer may hand one over
    // meanwhile) must leave the link alone.
    s.Link.SimLinkUp = false;
    SimLinkResult ignored = SimLinkResult::Okay;
    sim_.Process(ignored);
    s.Link.SimLinkUp = true;
}

// An engaged servo writes its command and shows it; a free one reads the
// control input back (arriving with this tick's exchange).
void MainCycle::ApplyServo(Servo servo) {
    ServoState& servos = s_.Servos;
    const ServoChannel channel = ChannelOf(servos, servo);
    const bool engaged = channel.Engaged;
    const std::uint8_t bit = kDisconnectBit[ServoIndex(servo)];
    view_.SetServoLabel(servo, engaged ? "Engaged" : "Not engaged");
    if (engaged) {
        servos.ControlsDisconnect = static_cast<std::uint8_t>(servos.ControlsDisconnect | bit);
    } else {
        servos.ControlsDisconnect = static_cast<std::uint8_t>(servos.ControlsDisconnect & ~bit);
    }
    requests_.QueueServo(servos, servo, engaged);
    if (engaged) channel.Position = channel.Command;
}

void MainCycle::SendPendingEchoes() {
    BridgeState& s = s_;
    if (s.Servos.BankEchoPending) {
        s.Servos.BankEchoPending = false;
        telemetry_.SendServoEcho(Servo::Bank);
    }
    if (s.Servos.PitchEchoPending) {
        s.Servos.PitchEchoPending = false;
        telemetry_.SendServoEcho(Servo::Pitch);
    }
}

void MainCycle::ShowServoPositions() {
    const BridgeState& s = s_;
    view_.SetServoTrackBar(Servo::Bank,
                           TrackBarPosition(s.Servos.BankServoPosition / kSimUnitsPerServoStep));
    view_.SetServoTrackBar(
        Servo::Pitch, TrackBarPosition(-(s.Servos.PitchServoPosition / kSimUnitsPerServoStep)));
}

void MainCycle::OnExchangeSucceeded(bool halfRate) {
    ComputeAttitudeValues(s_.Sim, s_.Derived);
    telemetry_.SendAttitudeFrame();
    if (halfRate) {
        ComputeNavigationValues(s_.Sim, s_.Derived);
        telemetry_.SendAirDataFrame();
    }
}

void MainCycle::OnExchangeFailed(SimLinkResult result) {
    BridgeState& s = s_;
    s.Link.SimLinkUp = false;
    view_.SetReconnectEnabled(true);
    log_.Append("FlightSim problem: ", SimLinkResultText(result));
}

// Runs after a failed exchange too, from the values of earlier exchanges.
void MainCycle::RunPeriodicOutputs() {
    BridgeState& s = s_;
    s.Counters.RpmPhase = static_cast<std::uint8_t>(s.Counters.RpmPhase + 1);
    if (s.Counters.RpmPhase >= 4) {
        s.Counters.RpmPhase = 0;
        s.Counters.RpmDue = true;
    }
    s.Counters.RadioPhase = static_cast<std::uint8_t>(s.Counters.RadioPhase + 1);
    if (s.Counters.RadioPhase % 10 == 0) radios_.Run();
    if (s.Counters.RadioPhase >= 80) {
        s.Counters.FuelFlowDue = true;
        s.Counters.RadioPhase = 0;
    }
    s.Counters.EnginePhase = static_cast<std::uint8_t>(s.Counters.EnginePhase + 1);
    if (s.Counters.FuelFlowDue) {
        s.Counters.FuelFlowDue = false;
        ForEachEngine(s.Settings, [this](unsigned n) { telemetry_.SendFuelFlowItem(n); });
    }
    if (s.Counters.RpmDue) {
        s.Counters.RpmDue = false;
        ForEachEngine(s.Settings, [this](unsigned n) { telemetry_.SendRpmItem(n); });
    }
    if (s.Counters.EnginePhase == 3) {
        ForEachEngine(s.Settings, [this](unsigned n) {
            telemetry_.SendOilItem(n);
            telemetry_.SendFuelPressureItem(n);
        });
    }
    if (s.Counters.EnginePhase == 10) {
        ForEachEngine(s.Settings, [this](unsigned n) { telemetry_.SendBlankItem(n); });
    }
    if (s.Counters.EnginePhase >= 15) {
        s.Counters.EnginePhase = 0;
        ForEachEngine(s.Settings, [this](unsigned n) { telemetry_.SendThermocoupleItems(n); });
    }
}

}  // namespace bridge
