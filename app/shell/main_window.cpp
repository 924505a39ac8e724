#include "app/shell/main_window.h"

#include <utility>

#include "app/fail_safe/servo_release.h"
#include "app/seams/box_line_control.h"
#include "app/seams/system_error_codes.h"
#include "core/telemetry.h"
#include "radio/radio_cycle.h"

namespace bridge {
namespace {

constexpr std::int32_t kAnySimulator = 0;

}  // namespace

const char* ConnectFailureHint(SimLinkResult result, std::uint32_t lastSendError) {
    if (result != SimLinkResult::SendFailed ||
        lastSendError != static_cast<std::uint32_t>(kErrorAccessDenied))
        return nullptr;
    return "The simulator seems to run with higher rights than this bridge (as administrator): "
           "start both the same way, both as administrator or neither";
}

MainWindowModel::MainWindowModel(BridgeState& state, BoxLineControl& port,
                                 SimLinkConnection& simLink, BridgeView& view,
                                 MessageDisplay& display, MessagePump& pump,
                                 SettingsLocation settings)
    : state_(state),
      port_(port),
      simLink_(simLink),
      view_(view),
      display_(display),
      pump_(pump),
      settings_(std::move(settings)) {}

void MainWindowModel::FormCreate() {
    settings_.Read(state_.Settings);
    const unsigned portNumber = state_.Settings.CommsPort + 1u;
    port_.SetDeviceName(CommDeviceName(portNumber));
    port_.SetBaudRate(kBoxBaudRate);
    OpenBoxLine(port_, display_, view_, portNumber, state_.Link);
    ConnectToSimulator();
    state_.Engines.EngineAddressBase = kEngineAddressBase;
    ComputeRadioPortMask(state_.Settings, state_.Radios);
}

void MainWindowModel::ReconnectClick() { ConnectToSimulator(); }

// SimLinkUp stays clear until the link is open: ticks nested in the opening
// exchange must not use the link.
void MainWindowModel::ConnectToSimulator() { Connect(true); }

SimLinkResult MainWindowModel::TryConnect() { return Connect(false); }

SimLinkResult MainWindowModel::Connect(bool logFailure) {
    BridgeState& s = state_;
    s.Link.SimLinkUp = false;
    if (simLink_.IsOpen()) simLink_.Close();
    SimLinkResult result = SimLinkResult::Okay;
    if (simLink_.Open(kAnySimulator, result)) {
        s.Link.LogLine = "Connected to ";
        s.Link.LogLine += SimulatorName(simLink_.SimulatorId());
        s.Link.SimLinkUp = true;
        view_.SetReconnectEnabled(false);
    } else {
        view_.SetReconnectEnabled(true);
        if (!logFailure) return result;
        s.Link.LogLine = "Cannot connect to Flight Simulator - ";
        s.Link.LogLine += SimLinkResultText(result);
    }
    view_.AppendLog(s.Link.LogLine);
    if (const char* hint = ConnectFailureHint(result, simLink_.LastSendError())) {
        s.Link.LogLine = hint;
        view_.AppendLog(s.Link.LogLine);
    }
    return result;
}

bool MainWindowModel::FormCloseQuery() {
    BridgeState& s = state_;
    // The stop's last exchange hands the controls back (see MainCycle).
    ReleaseServos(s.Servos, s.Link, view_, ServoReleaseReason::WindowClosing);
    s.Link.StopRequested = true;
    // Once the timer is off (an earlier close stopped it) no tick will answer.
    while (s.Link.StopRequested && pump_.TimerEnabled()) pump_.ProcessMessages();
    if (s.Link.PortOpen) {
        port_.Close();
        s.Link.PortOpen = false;
    }
    const auto error = settings_.Write(s.Settings);
    if (!error || saveFailed_) return true;
    saveFailed_ = true;
    display_.ShowMessage(*error);
    return false;
}

}  // namespace bridge
