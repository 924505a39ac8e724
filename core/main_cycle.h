// The main cycle: one tick every 50 ms on the user-interface thread. It hands
// a pending ARINC record to the box, answers a stop request, and while the
// simulator link is up runs one exchange with the simulator, sends the
// telemetry and drives the slower outputs from its own phase counters.
#pragma once

#include "boxlink/box_frames.h"
#include "core/bridge_view.h"
#include "core/telemetry.h"
#include "core/variable_map.h"
#include "radio/radio_cycle.h"
#include "radio/reply_parser.h"
#include "simlink/sim_link_api.h"
#include "state/bridge_state.h"

namespace bridge {

// The cycle works on every group of the state; the parts it drives (frame
// sender, telemetry, radios, the variable map) get theirs from it.
class MainCycle {
public:
    MainCycle(BridgeState& state, SimLinkApi& sim, BridgeView& view);
    MainCycle(const MainCycle&) = delete;
    MainCycle& operator=(const MainCycle&) = delete;

    // One tick. True when it answered a stop request: the controls were
    // handed back and no further tick may follow (the caller stops the timer).
    bool Tick();

    // While the link is up and the last exchange took a control from the
    // pilot, one exchange at once that writes controls-disconnect 0 and reads
    // both inputs, as a free servo's tick does. For when no tick may follow:
    // the stop request, Windows going to sleep. The servos must be released
    // by then, or the next tick takes the controls again. Inside a tick's own
    // exchange it does nothing: the link takes no request then, and that
    // tick's successor writes 0.
    void HandControlsBack();

    // The parts, for the tests that drive one of them alone.
    FrameSender& Sender() { return sender_; }
    const FrameSender& Sender() const { return sender_; }
    const VariableMap& Requests() const { return requests_; }
    Telemetry& TelemetryFrames() { return telemetry_; }
    RadioCycle& Radios() { return radios_; }
    ReplyParser& Replies() { return replies_; }

private:
    void HandOffArincRecord();
    bool AnswerStopRequest();
    void ApplyServo(Servo servo);
    void SendPendingEchoes();
    void ShowServoPositions();
    void OnExchangeSucceeded(bool halfRate);
    void OnExchangeFailed(SimLinkResult result);
    void RunPeriodicOutputs();

    BridgeState& s_;
    SimLinkApi& sim_;
    BridgeView& view_;
    WindowLog log_;
    FrameSender sender_;
    ReplyParser replies_;
    RadioCycle radios_;
    Telemetry telemetry_;
    VariableMap requests_;
    bool exchanging_ = false;  // a tick's exchange is in progress
};

}  // namespace bridge
