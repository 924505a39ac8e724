// The main window (class TForm1): the log, the reconnect and setup buttons, the servo
// track bars and labels, and the components it owns: the box's serial port boxComm_,
// the threaded timer tickTimer_ that drives the main cycle, and the two
// setup dialogs. Its handlers hand over to the application models.
//
// It is where the program is put together: it makes the one bridge state and
// hands each part the groups of it that the part works on. Two other
// process-wide instances remain, each because there is one of its kind per
// process: the box line the frame senders write to (BindBoxLine; one serial
// line to the box) and the simulator link (ProcessSimLink; its shared block is
// named after the process).
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/fail_safe/box_line_recovery.h"
#include "app/fail_safe/power_events.h"
#include "app/fail_safe/sim_link_retry.h"
#include "app/record/win32/diagnostics.h"
#include "app/seams/message_display.h"
#include "app/shell/arinc_playback.h"
#include "app/shell/main_window.h"
#include "app/shell/operation_setup.h"
#include "app/shell/port_setup.h"
#include "app/shell/shell_texts.h"
#include "app/widgets/win32/form_window.h"
#include "app/win32/application_window.h"
#include "app/win32/setup_forms.h"
#include "app/win32/win32_shell_adapters.h"
#include "boxlink/box_commands.h"
#include "boxlink/receiver.h"
#include "core/bridge_view.h"
#include "core/main_cycle.h"
#include "platform/serial/win32/comm.h"
#include "platform/timer/win32/threaded_timer.h"
#include "state/bridge_state.h"

namespace bridge::gui {

class MainForm : public FormWindow, public BridgeView, public MessageDisplay, public PlaybackView {
public:
    // `commWait`: how boxComm_ waits on the box's port (the build's choice).
    MainForm(ApplicationWindow& application, CommWaitChoice commWait);
    ~MainForm() override;

    // Builds the window and its components, creates the two dialogs and runs
    // FormCreate. The timer ticks from here on. The settings live in one of
    // the two folders (see app/settings/settings_location.h); the log file in the
    // per-user one.
    bool Create(const std::filesystem::path& executableFolder,
                const std::filesystem::path& perUserFolder);

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
    // PlaybackView
    std::optional<std::filesystem::path> ChooseFile(
        const std::filesystem::path& initialFolder) override;
    void SetPlayCaption(const char* caption) override;
    void SetPositionText(const char* text) override;

    // The state, for the tests that drive the whole window.
    BridgeState& State() { return state_; }

private:
    void CreateControls() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DpiChanged(int dpi, const RECT& suggested) override;
    void CreateComponents();
    void WireDialogs();
    void WirePortRecovery();
    void PowerBroadcast(WPARAM event);
    HWND Control(int id) const { return GetDlgItem(handle(), id); }

    // Handlers named after their controls.
    void TickTimerTimer();
    void BoxCommRxChar(std::int32_t count);
    void PortButtonClick();
    void SetupButtonClick();

    ApplicationWindow& application_;
    CommWaitChoice commWait_;
    BridgeState state_{};  // the one instance
    WindowLog log_{state_.Link.LogLine, *this};
    ServoRelease release_{state_.Servos, *this, log_};
    BoxCommands commands_{state_.Receive, state_.Servos, state_.Altimeter, state_.BoxPorts};
    Receiver receiver_{state_.Receive, commands_};
    TComm boxComm_;
    TThreadedTimer tickTimer_;
    OperationSetupForm operationDialog_;
    SerialPortSetupForm portDialog_;
    Diagnostics diagnostics_;  // the log file, line totals and statistics, the report
    CommBoxLine boxLine_{boxComm_};
    CommBoxLineControl boxLineControl_{boxComm_};
    ProcessSimLinkConnection simLink_;
    Win32MessagePump pump_{tickTimer_};
    MainCycle cycle_;
    std::unique_ptr<MainWindowModel> model_;
    std::unique_ptr<BoxLineRecovery> portRecovery_;
    std::unique_ptr<SimLinkRetry> simRetry_;
    std::unique_ptr<PowerEvents> power_;
    std::unique_ptr<PortSetupModel> portSetup_;
    std::unique_ptr<OperationSetupModel> operationSetup_;
    std::unique_ptr<ArincPlayback> playback_;
    // The engaged labels' texts, bank then pitch, as last set.
    std::array<std::string, kServoCount> servoLabels_{main_window::kBankServoLabel,
                                                      main_window::kPitchServoLabel};
};

}  // namespace bridge::gui
