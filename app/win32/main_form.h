// The main window (class TForm1): the log, the reconnect and setup buttons, the
// servo track bars and labels, and the components it owns: the box's serial
// port boxComm_, the threaded timer tickTimer_ that drives the main cycle,
// and the two setup dialogs. Each of its messages becomes one call into the
// shell (app/shell/bridge_shell.h), which decides what the event does.
//
// It is where the program is put together: it makes the bridge's core (the
// one bridge state and the parts wired to it) and the shell, all as plain
// members in the order they depend on each other. Two other process-wide
// instances remain, each because there is one of its kind per process: the
// box line the frame senders write to (BindBoxLine; one serial line to the
// box) and the simulator link (ProcessSimLink; its shared block is named
// after the process).
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "app/record/win32/diagnostics.h"
#include "app/seams/message_display.h"
#include "app/seams/shell_dialogs.h"
#include "app/shell/arinc_playback.h"
#include "app/shell/bridge_core.h"
#include "app/shell/bridge_shell.h"
#include "app/shell/shell_texts.h"
#include "app/widgets/win32/form_window.h"
#include "app/win32/application_window.h"
#include "app/win32/setup_forms.h"
#include "app/win32/win32_shell_adapters.h"
#include "core/bridge_view.h"
#include "platform/serial/win32/comm.h"
#include "platform/timer/win32/threaded_timer.h"
#include "state/bridge_state.h"

namespace bridge::gui {

class MainForm : public FormWindow,
                 public BridgeView,
                 public MessageDisplay,
                 public PlaybackView,
                 public ShellDialogs {
public:
    // `commWait`: how boxComm_ waits on the box's port (the build's choice).
    // The settings live in one of the two folders (see
    // app/settings/settings_location.h); the log file in the per-user one.
    MainForm(ApplicationWindow& application, CommWaitChoice commWait,
             const std::filesystem::path& executableFolder,
             const std::filesystem::path& perUserFolder);
    ~MainForm() override;

    // Builds the window and its components, creates the two dialogs and
    // starts the shell. The timer ticks from here on.
    bool Create();

    // The log file, line totals and statistics, and the report.
    const Diagnostics& diagnostics() const { return diagnostics_; }

    // BridgeView
    void SetServoLabel(Servo servo, const char* text) override;
    void SetServoTrackBar(Servo servo, int position) override;
    void AppendLog(const std::string& line) override;
    void SetReconnectEnabled(bool enabled) override;
    void StopTimer() override;
    // MessageDisplay and PlaybackView
    void ShowMessage(const std::string& text) override;
    void TakeDownMessages() override;
    // PlaybackView
    std::optional<std::filesystem::path> ChooseFile(
        const std::filesystem::path& initialFolder) override;
    void SetPlayCaption(const char* caption) override;
    void SetPositionText(const char* text) override;
    // ShellDialogs
    void ShowPortDialog() override;
    void ShowOperationSetup() override;

    // The state, for the tests that drive the whole window.
    BridgeState& State() { return core_.state; }

private:
    void CreateControls() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DpiChanged(int dpi, const RECT& suggested) override;
    void CreateComponents();
    void WireDialogs();
    void PowerBroadcast(WPARAM event);
    HWND Control(int id) const { return GetDlgItem(handle(), id); }

    ApplicationWindow& application_;
    CommWaitChoice commWait_;
    std::filesystem::path perUserFolder_;
    SettingsLocation settingsLocation_;
    BridgeCore core_;
    TComm boxComm_;
    TThreadedTimer tickTimer_;
    OperationSetupForm operationDialog_;
    SerialPortSetupForm portDialog_;
    CommBoxLine boxLine_{boxComm_};
    CommBoxLineControl boxLineControl_{boxComm_};
    ProcessSimLinkConnection simLink_;
    SystemPortListing portListing_;
    Win32MessagePump pump_{tickTimer_};
    Diagnostics diagnostics_;  // the log file, line totals and statistics, the report
    BridgeShell shell_;
    // Kept from their making: finding a control costs Wine a server request,
    // and the cycle sets them on every tick.
    std::array<HWND, kServoCount> trackBars_{};
    // The engaged labels' texts, bank then pitch, as last set.
    std::array<std::string, kServoCount> servoLabels_{main_window::kBankServoLabel,
                                                      main_window::kPitchServoLabel};
};

}  // namespace bridge::gui
