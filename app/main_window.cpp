#include "app/main_window.h"

#include <utility>

#include "app/box_port_control.h"
#include "state/bridge_state.h"
#include "radio/radio_cycle.h"

namespace bridge {
namespace {

constexpr std::uint8_t kEngineAddressBase = 32;
constexpr std::int32_t kAnySimulator = 0;
constexpr std::uint32_t kAccessDenied = 5;

}  // namespace

const char* ConnectFailureHint(SimLinkResult result, std::uint32_t lastSendError) {
    if (result != SimLinkResult::SendFailed || lastSendError != kAccessDenied) return nullptr;
    return "The simulator seems to run with higher rights than this bridge (as administrator): "
           "start both the same way, both as administrator or neither";
}

MainWindowModel::MainWindowModel(BoxPortControl& port, SimLinkConnection& simLink, BridgeView& view,
                                 MessageDisplay& display, MessagePump& pump,
                                 SettingsLocation settings)
    : port_(port),
      simLink_(simLink),
      view_(view),
      display_(display),
      pump_(pump),
      settings_(std::move(settings)) {}

void MainWindowModel::FormCreate() {
    settings_.Read();
    const unsigned portNumber = Bridge.CommsPort + 1u;
    port_.SetDeviceName(CommDeviceName(portNumber));
    port_.SetBaudRate(kBoxBaudRate);
    OpenBoxPort(port_, display_, portNumber);
    ConnectToSimulator();
    Bridge.EngineAddressBase = kEngineAddressBase;
    ComputeRadioPortMask();
}

void MainWindowModel::ReconnectClick() { ConnectToSimulator(); }

// SimLinkUp stays clear until the link is open: ticks nested in the opening
// exchange must not use the link.
void MainWindowModel::ConnectToSimulator() {
    BridgeState& s = Bridge;
    s.SimLinkUp = false;
    if (simLink_.IsOpen()) simLink_.Close();
    SimLinkResult result = SimLinkResult::Okay;
    if (simLink_.Open(kAnySimulator, result)) {
        s.LogLine = "Connected to ";
        s.LogLine += SimulatorName(simLink_.SimulatorId());
        s.SimLinkUp = true;
        view_.SetReconnectEnabled(false);
    } else {
        s.LogLine = "Cannot connect to Flight Simulator - ";
        s.LogLine += SimLinkResultText(result);
        view_.SetReconnectEnabled(true);
    }
    view_.AppendLog(s.LogLine);
    if (const char* hint = ConnectFailureHint(result, simLink_.LastSendError())) {
        s.LogLine = hint;
        view_.AppendLog(s.LogLine);
    }
}

bool MainWindowModel::FormCloseQuery() {
    BridgeState& s = Bridge;
    s.StopRequested = true;
    // Once the timer is off (an earlier close stopped it) no tick will answer.
    while (s.StopRequested && pump_.TimerEnabled()) pump_.ProcessMessages();
    if (s.PortOpen) {
        port_.Close();
        s.PortOpen = false;
    }
    const auto error = settings_.Write();
    if (!error || saveFailed_) return true;
    saveFailed_ = true;
    display_.ShowMessage(*error);
    return false;
}

}  // namespace bridge
