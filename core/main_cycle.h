// The main cycle: one tick every 50 ms on the user-interface thread. It hands
// a pending ARINC record to the box, answers a stop request, and while the
// simulator link is up runs one exchange with the simulator, sends the
// telemetry and drives the slower outputs from its own phase counters.
#pragma once

#include "core/bridge_view.h"
#include "simlink/sim_link_api.h"

namespace bridge {

class MainCycle {
public:
    MainCycle(SimLinkApi& sim, BridgeView& view) : sim_(sim), view_(view) {}

    // TickTimerTimer.
    void Tick();

    // While the link is up and the last exchange took a control from the
    // pilot, one exchange at once that writes controls-disconnect 0 and reads
    // both inputs, as a free servo's tick does. For when no tick may follow:
    // the stop request, Windows going to sleep. The servos must be released
    // by then, or the next tick takes the controls again.
    void HandControlsBack();

private:
    void HandOffArincRecord();
    bool AnswerStopRequest();
    void ApplyServo(Servo servo);
    void SendPendingEchoes();
    void ShowServoPositions();
    void OnExchangeSucceeded(bool halfRate);
    void OnExchangeFailed(SimLinkResult result);
    void RunPeriodicOutputs();

    SimLinkApi& sim_;
    BridgeView& view_;
};

}  // namespace bridge
