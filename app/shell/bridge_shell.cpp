#include "app/shell/bridge_shell.h"

#include <utility>

#include "app/seams/system_error_codes.h"
#include "app/settings/comms_port.h"
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

BridgeShell::BridgeShell(BridgeCore& core, const ShellOutside& outside, SettingsLocation settings,
                         std::filesystem::path executableFolder)
    : core_(core),
      out_(outside),
      settings_(std::move(settings)),
      boxPort_(outside.port, outside.ports != nullptr ? *outside.ports : noPorts_, outside.display,
               core.log, core.release, core.state.Settings, core.state.Link),
      simRetry_(core.state.Link, outside.sim, [this] { return Connect(false); }),
      power_(core.log, core.release, core.cycle),
      portSetup_(boxPort_),
      operationSetup_(core.state.Settings, core.state.BoxPorts),
      playback_(core.state.Arinc, outside.playback, outside.pump, std::move(executableFolder)) {
    // The port dialog's list follows the ports and their marks.
    boxPort_.Adapter().OnPortsChanged = [this] { portSetup_.ShowPorts(); };
}

void BridgeShell::Start(std::uint64_t nowMs) {
    BridgeState& s = core_.state;
    settings_.Read(s.Settings);
    const SavedAdapter saved = settings_.ReadAdapter();
    adapterInFile_ = saved.inFile;
    boxPort_.Load(BoxComNumber(s.Settings), saved.identity);
    out_.port.SetBaudRate(kBoxBaudRate);
    // The port message box runs everything nested, a close among them.
    boxPort_.Start(nowMs);
    if (MayOpen()) Connect(true);
    s.Engines.EngineAddressBase = kEngineAddressBase;
    ComputeRadioPortMask(s.Settings, s.BoxPorts);
    if (phase_ == Phase::Starting) phase_ = Phase::Running;
}

// The order carries meaning: the cycle answers a stop request before anything
// else runs, so that the rest of the tick sees the close; the port's retry,
// which is quick, comes before the simulator's, which may hold the window;
// the record sees the tick's counts.
void BridgeShell::Tick(std::uint64_t nowMs) {
    if (core_.cycle.Tick()) out_.view.StopTimer();
    boxPort_.Tick(nowMs);
    // A try falls due only while running, and waits for an open in progress.
    if (phase_ == Phase::Running && !opening_) simRetry_.Tick(nowMs);
    if (totals_.Due(nowMs)) out_.record.RecordTotals();
    if (const char* failed = out_.record.Tick(nowMs)) core_.log.Append(failed);
}

void BridgeShell::ReceiveEvent(std::int32_t count) {
    core_.receiver.ReceiveEvent(out_.line, count);
}

// The start's own try comes first; a click nested in an open is the same
// wish as the open in progress.
void BridgeShell::ReconnectClick(std::uint64_t nowMs) {
    if (phase_ != Phase::Running || opening_) return;
    Connect(true);
    simRetry_.StartAgain(nowMs);
}

void BridgeShell::PortButtonClick() {
    if (phase_ != Phase::Closing) out_.dialogs.ShowPortDialog();
}

void BridgeShell::PortDialogShown() {
    portSetup_.FormShow();
    portSetup_.ShowPorts();
}

// No port opens while the window closes.
void BridgeShell::PortChosen(int item) {
    if (phase_ != Phase::Closing) portSetup_.PortGroupItemClick(item);
}

void BridgeShell::PortListSelected(int index) { portSetup_.PortListSelected(index); }

void BridgeShell::PortListActivated(int index) {
    if (phase_ != Phase::Closing) portSetup_.PortListActivated(index);
}

void BridgeShell::SetupButtonClick() {
    if (phase_ == Phase::Closing) return;
    const BridgeSettings before = core_.state.Settings;
    out_.dialogs.ShowOperationSetup();
    out_.record.RecordOperationSetup(before, core_.state.Settings);
}

void BridgeShell::OperationSetupActivated() { operationSetup_.FormActivate(); }

void BridgeShell::PlayButtonClick() {
    if (phase_ != Phase::Closing) playback_.PlayButtonClick();
}

// Any device may be the box's adapter back; one that arrived may be the
// simulator's network link too, so its next try comes no later than 10 s on.
void BridgeShell::DeviceChanged(bool arrival, std::uint64_t nowMs) {
    boxPort_.DeviceChanged();  // listed at a tick, then the port tried
    if (arrival && phase_ == Phase::Running) simRetry_.BringForward(nowMs);
}

void BridgeShell::Suspend(std::uint64_t nowMs) {
    power_.Suspend();
    boxPort_.Suspend(nowMs);
}

void BridgeShell::Resume(bool automatic, std::uint64_t nowMs) {
    if (!power_.Resume(automatic)) return;
    boxPort_.Resume(nowMs);
    if (phase_ == Phase::Running && !opening_) simRetry_.TryNow(nowMs);
}

void BridgeShell::PortLost(std::int32_t errorCode, std::uint64_t nowMs) {
    boxPort_.PortLost(errorCode, nowMs);
}

bool BridgeShell::CloseRequested() {
    if (phase_ == Phase::Closing && closeInProgress_) return false;  // nested in the first
    phase_ = Phase::Closing;
    closeInProgress_ = true;
    boxPort_.WindowClosing();
    LinkControl& link = core_.state.Link;
    // The stop's last exchange hands the controls back (see MainCycle).
    core_.release.Release(ServoReleaseReason::WindowClosing);
    link.StopRequested = true;
    // Once the timer is off (an earlier close stopped it) no tick will answer.
    while (link.StopRequested && out_.pump.TimerEnabled()) out_.pump.ProcessMessages();
    boxPort_.Close();
    closeInProgress_ = false;
    const auto error = settings_.Write(core_.state.Settings,
                                       SavedAdapter{boxPort_.Adapter().Identity(), adapterInFile_});
    if (error && !saveFailed_) {
        saveFailed_ = true;
        out_.display.ShowMessage(*error);
        return false;
    }
    out_.record.Close();
    return true;
}

// SimLinkUp stays clear until the link is open: ticks nested in the opening
// exchange must not use the link.
SimLinkResult BridgeShell::Connect(bool logFailure) {
    LinkControl& link = core_.state.Link;
    link.SimLinkUp = false;
    opening_ = true;
    if (out_.sim.IsOpen()) out_.sim.Close();
    SimLinkResult result = SimLinkResult::Okay;
    const bool opened = out_.sim.Open(kAnySimulator, result);
    opening_ = false;
    if (phase_ == Phase::Closing) {  // the close came nested in the exchange
        if (opened) out_.sim.Close();
        return result;
    }
    if (opened) {
        link.SimLinkUp = true;
        out_.view.SetReconnectEnabled(false);
        core_.log.Append("Connected to ", SimulatorName(out_.sim.SimulatorId()));
    } else {
        out_.view.SetReconnectEnabled(true);
        if (!logFailure) return result;
        core_.log.Append("Cannot connect to Flight Simulator - ", SimLinkResultText(result));
    }
    if (const char* hint = ConnectFailureHint(result, out_.sim.LastSendError())) {
        core_.log.Append(hint);
    }
    return result;
}

}  // namespace bridge
