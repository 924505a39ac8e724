#include "app/shell/bridge_shell.h"

#include <utility>

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

BridgeShell::BridgeShell(BridgeCore& core, const ShellOutside& outside, SettingsLocation settings,
                         std::filesystem::path executableFolder)
    : core_(core),
      out_(outside),
      settings_(std::move(settings)),
      adapter_(outside.ports != nullptr ? *outside.ports : noPorts_, core.log),
      recovery_(outside.port, core.log, core.state.Link, core.release),
      simRetry_(core.state.Link, outside.sim, [this] { return Connect(false); }),
      power_(core.log, core.release, core.cycle, outside.port, recovery_),
      portSetup_(outside.port, outside.display, core.log, core.release, recovery_,
                 core.state.Settings, core.state.Link),
      operationSetup_(core.state.Settings, core.state.BoxPorts),
      playback_(core.state.Arinc, outside.playback, outside.pump, std::move(executableFolder)) {
    // The box's adapter follows the port's choices and reopenings; the port
    // dialog's list follows each listing.
    portSetup_.OnPortChosen = [this](unsigned portNumber) { adapter_.PortChosen(portNumber); };
    recovery_.OnReopened = [this] { adapter_.PortOpened(core_.state.Settings.CommsPort + 1u); };
    power_.BeforeReopen = [this](std::uint64_t nowMs) {
        if (const auto moved = adapter_.AtResume(core_.state.Settings.CommsPort + 1u, nowMs)) {
            FollowAdapter(*moved);
        }
    };
    adapter_.OnPortsListed = [this] { portSetup_.ShowPorts(adapter_); };
}

void BridgeShell::Start() {
    BridgeState& s = core_.state;
    settings_.Read(s.Settings);
    const SavedAdapter saved = settings_.ReadAdapter();
    adapterInFile_ = saved.inFile;
    adapter_.Load(saved.identity, s.Settings.CommsPort + 1u);
    // The start has no clock of its own: its listing counts as long ago.
    FollowAdapter(adapter_.AtStart(s.Settings.CommsPort + 1u, 0));
    const unsigned portNumber = s.Settings.CommsPort + 1u;
    out_.port.SetBaudRate(kBoxBaudRate);
    // The port message box runs everything nested, a close among them.
    OpenBoxLine(out_.port, out_.display, core_.log, portNumber, s.Link);
    if (s.Link.PortOpen) adapter_.PortOpened(portNumber);
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
    // While the port is lost, the adapter may be listed under a new number:
    // that is the one the retry opens.
    if (phase_ != Phase::Closing) {
        if (const auto moved = adapter_.Tick(core_.state.Settings.CommsPort + 1u, nowMs)) {
            FollowAdapter(*moved);
            recovery_.RetryNow();
        }
    }
    recovery_.Retry(nowMs);
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
    portSetup_.ShowPorts(adapter_);
}

// No port opens while the window closes.
void BridgeShell::PortChosen(int index) {
    if (phase_ != Phase::Closing) portSetup_.PortGroupItemClick(index);
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
// simulator's network link too, so its tries start again at 10 s.
void BridgeShell::DeviceChanged(bool arrival, std::uint64_t nowMs) {
    adapter_.DeviceChanged(nowMs);  // listed again at the next tick
    recovery_.RetryNow();
    if (arrival && phase_ == Phase::Running) simRetry_.StartAgain(nowMs);
}

void BridgeShell::Suspend() { power_.Suspend(); }

void BridgeShell::Resume(bool automatic, std::uint64_t nowMs) {
    const bool answered = power_.Resume(automatic, nowMs);
    // Not back under any number yet: looked for as for a lost port.
    if (answered && recovery_.Lost()) adapter_.PortLost(nowMs);
    if (answered && phase_ == Phase::Running && !opening_) simRetry_.TryNow(nowMs);
}

void BridgeShell::PortLost(std::int32_t errorCode, std::uint64_t nowMs) {
    recovery_.PortLost(errorCode, nowMs);
    if (recovery_.Lost()) adapter_.PortLost(nowMs);
}

bool BridgeShell::CloseRequested() {
    if (phase_ == Phase::Closing && closeInProgress_) return false;  // nested in the first
    phase_ = Phase::Closing;
    closeInProgress_ = true;
    recovery_.WindowClosing();
    LinkControl& link = core_.state.Link;
    // The stop's last exchange hands the controls back (see MainCycle).
    core_.release.Release(ServoReleaseReason::WindowClosing);
    link.StopRequested = true;
    // Once the timer is off (an earlier close stopped it) no tick will answer.
    while (link.StopRequested && out_.pump.TimerEnabled()) out_.pump.ProcessMessages();
    if (link.PortOpen) {
        out_.port.Close();
        link.PortOpen = false;
    }
    closeInProgress_ = false;
    const auto error =
        settings_.Write(core_.state.Settings, SavedAdapter{adapter_.Identity(), adapterInFile_});
    if (error && !saveFailed_) {
        saveFailed_ = true;
        out_.display.ShowMessage(*error);
        return false;
    }
    out_.record.Close();
    return true;
}

// A port open under the old number (at a resume) is closed first: a port is
// renamed closed, and whoever follows opens it.
void BridgeShell::FollowAdapter(unsigned portNumber) {
    core_.state.Settings.CommsPort = static_cast<std::uint8_t>(portNumber - 1u);
    const std::string name = ComName(portNumber);
    if (core_.state.Link.PortOpen && out_.port.DeviceName() != name) out_.port.Close();
    out_.port.SetDeviceName(name);
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
