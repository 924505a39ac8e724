#include "app/shell/main_window.h"

#include <utility>

#include "app/seams/box_line_control.h"
#include "app/seams/system_error_codes.h"
#include "core/telemetry.h"
#include "radio/radio_cycle.h"

namespace bridge {
namespace {

constexpr std::int32_t kAnySimulator = 0;

}  // namespace

const char* ConnectFailureHint(SimLinkResult result, std::uint32_t lastSendError) {
    const bool blocked = result == SimLinkResult::SendFailed &&
                         lastSendError == static_cast<std::uint32_t>(kErrorAccessDenied);
    if (!blocked) return nullptr;
    return "The simulator seems to run with higher rights than this bridge (as administrator): "
           "start both the same way, both as administrator or neither";
}

MainWindowModel::MainWindowModel(MainWindowGroups state, BoxLineControl& port,
                                 SimLinkConnection& simLink, BridgeView& view, WindowLog& log,
                                 ServoRelease& release, MessageDisplay& display, MessagePump& pump,
                                 SettingsLocation settings)
    : state_(state),
      port_(port),
      simLink_(simLink),
      view_(view),
      log_(log),
      release_(release),
      display_(display),
      pump_(pump),
      settings_(std::move(settings)) {}

void MainWindowModel::FormCreate() {
    settings_.Read(state_.Settings);
    const unsigned portNumber = state_.Settings.CommsPort + 1u;
    port_.SetDeviceName(CommDeviceName(portNumber));
    port_.SetBaudRate(kBoxBaudRate);
    OpenBoxLine(port_, display_, log_, portNumber, state_.Link);
    ConnectToSimulator();
    state_.Engines.EngineAddressBase = kEngineAddressBase;
    ComputeRadioPortMask(state_.Settings, state_.BoxPorts);
}

void MainWindowModel::ReconnectClick() { ConnectToSimulator(); }

// SimLinkUp stays clear until the link is open: ticks nested in the opening
// exchange must not use the link.
void MainWindowModel::ConnectToSimulator() { Connect(true); }

SimLinkResult MainWindowModel::TryConnect() { return Connect(false); }

SimLinkResult MainWindowModel::Connect(bool logFailure) {
    LinkControl& link = state_.Link;
    link.SimLinkUp = false;
    if (simLink_.IsOpen()) simLink_.Close();
    SimLinkResult result = SimLinkResult::Okay;
    if (simLink_.Open(kAnySimulator, result)) {
        link.SimLinkUp = true;
        view_.SetReconnectEnabled(false);
        log_.Append("Connected to ", SimulatorName(simLink_.SimulatorId()));
    } else {
        view_.SetReconnectEnabled(true);
        if (!logFailure) return result;
        log_.Append("Cannot connect to Flight Simulator - ", SimLinkResultText(result));
    }
    if (const char* hint = ConnectFailureHint(result, simLink_.LastSendError())) log_.Append(hint);
    return result;
}

bool MainWindowModel::FormCloseQuery() {
    LinkControl& link = state_.Link;
    // The stop's last exchange hands the controls back (see MainCycle).
    release_.Release(ServoReleaseReason::WindowClosing);
    link.StopRequested = true;
    // Once the timer is off (an earlier close stopped it) no tick will answer.
    while (link.StopRequested && pump_.TimerEnabled()) pump_.ProcessMessages();
    if (link.PortOpen) {
        port_.Close();
        link.PortOpen = false;
    }
    const auto error = settings_.Write(state_.Settings);
    if (!error || saveFailed_) return true;
    saveFailed_ = true;
    display_.ShowMessage(*error);
    return false;
}

}  // namespace bridge
