#include "app/win32/main_form.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

#include <array>

#include "app/settings/settings_location.h"
#include "app/shell/shell_texts.h"
#include "app/widgets/win32/controls.h"
#include "app/win32/control_ids.h"
#include "boxlink/box_frames.h"
#include "boxlink/receiver.h"
#include "simlink/sim_link.h"

namespace bridge::gui {
namespace {

#ifdef BRIDGE_SHOW_ARINC_PLAYBACK
constexpr DWORD kPlaybackVisible = WS_VISIBLE;  // a build that offers ARINC playback
#else
constexpr DWORD kPlaybackVisible = 0;  // present but not offered to the user
#endif

constexpr int kTrackBarFrequency = 64;

}  // namespace

MainForm::MainForm(ApplicationWindow& application, CommWaitChoice commWait)
    : application_(application),
      commWait_(commWait),
      diagnostics_(boxComm_, tickTimer_, cycle_, receiver_, *this),
      cycle_(state_, ProcessSimLink(), *this) {}

MainForm::~MainForm() {
    tickTimer_.SetEnabled(false);
    tickTimer_.OnTimer = nullptr;
    boxComm_.OnRxChar = nullptr;
    boxComm_.OnPortLost = nullptr;
    BindBoxLine(nullptr);
}

bool MainForm::Create(const std::filesystem::path& executableFolder,
                      const std::filesystem::path& perUserFolder) {
    CreateComponents();
    if (!FormWindow::Create(ids::kMainWindowClass, "", WS_OVERLAPPEDWINDOW, 262, 250, 587, 430,
                            application_.handle())) {
        return false;
    }
    application_.SetMainWindow(handle());
    diagnostics_.Start(perUserFolder, SettingsLocation(executableFolder, perUserFolder).ReadPath());
    diagnostics_.AddSystemMenuItems(handle());
    boxLineControl_.SetLog(&diagnostics_.Log());
    simLink_.SetLog(&diagnostics_.Log());

    model_ = std::make_unique<MainWindowModel>(MainWindowGroups::Of(state_), boxLineControl_,
                                               simLink_, *this, log_, release_, *this, pump_,
                                               SettingsLocation(executableFolder, perUserFolder));
    if (!portDialog_.Create(handle()) || !operationDialog_.Create(handle())) return false;
    WirePortRecovery();
    portSetup_ = std::make_unique<PortSetupModel>(boxLineControl_, *this, log_, release_,
                                                  *portRecovery_, state_.Settings, state_.Link);
    operationSetup_ = std::make_unique<OperationSetupModel>(state_.Settings, state_.BoxPorts);
    playback_ = std::make_unique<ArincPlayback>(state_.Arinc, *this, pump_, executableFolder);
    WireDialogs();
    model_->FormCreate();
    // From here on: start-up's own try comes first, in its message box too.
    simRetry_ = std::make_unique<SimLinkRetry>(state_.Link, simLink_,
                                               [this] { return model_->TryConnect(); });
    power_ = std::make_unique<PowerEvents>(log_, release_, cycle_, boxLineControl_, *portRecovery_,
                                           *simRetry_);
    return true;
}

// The components as the main window declares them. Enabled goes before
// Interval, so the timer starts at its default interval and restarts at 50 ms.
void MainForm::CreateComponents() {
    boxComm_.SetDeviceName("Com2");
    boxComm_.SetMonitorEvents(kAllCommEvents);
    boxComm_.SetBaudRate(cbr38400);
    boxComm_.SetCharsTimeOut(20);
    boxComm_.SetOptions(TCommOptions{});
    boxComm_.SetFlowControl(fcNone);
    boxComm_.SetWaitChoice(commWait_);
    boxComm_.OnRxChar = [this](TCustomComm&, std::int32_t count) { BoxCommRxChar(count); };
    BindBoxLine(&boxLine_);  // every frame to the box goes out through boxComm_
    tickTimer_.OnTimer = [this](TThreadedTimer&) { TickTimerTimer(); };
    tickTimer_.SetEnabled(true);
    tickTimer_.SetInterval(50);
}

void MainForm::CreateControls() {
    const DWORD tab = WS_VISIBLE | WS_TABSTOP;
    // Created in tab order, then the labels.
    HWND memo = Place({ids::kLog, "EDIT", "", tab | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                       8, 8, 553, 161, WS_EX_CLIENTEDGE});
    SendMessageA(memo, EM_SETLIMITTEXT, 0, 0);  // the log only grows
    Place({ids::kReconnectButton, "BUTTON", main_window::kReconnectButton, tab, 16, 184, 169, 25});
    const std::array<ControlLayout, 2> trackBars = {{
        {ids::kBankTrackBar, TRACKBAR_CLASSA, "", tab | TBS_HORZ | TBS_TOP | TBS_AUTOTICKS, 328,
         240, 150, 41},
        {ids::kPitchTrackBar, TRACKBAR_CLASSA, "", tab | TBS_VERT | TBS_LEFT | TBS_AUTOTICKS, 496,
         184, 33, 150},
    }};
    for (const ControlLayout& layout : trackBars) {
        HWND bar = Place(layout);
        SendMessageA(bar, TBM_SETRANGEMIN, FALSE, -kServoTrackBarLimit);
        SendMessageA(bar, TBM_SETRANGEMAX, FALSE, kServoTrackBarLimit);
        SendMessageA(bar, TBM_SETTICFREQ, kTrackBarFrequency, 0);
        SendMessageA(bar, TBM_SETPOS, TRUE, 0);
    }
    Place({ids::kPortButton, "BUTTON", main_window::kPortButton, tab, 16, 216, 169, 25});
    Place({ids::kSetupButton, "BUTTON", main_window::kSetupButton, tab, 16, 248, 169, 25});
    Place({ids::kPlayButton, "BUTTON", kPlayArincCaption, WS_TABSTOP | kPlaybackVisible, 16, 320,
           169, 25});
    Place({ids::kPlaybackPosition, "EDIT", main_window::kPlaybackPosition,
           WS_TABSTOP | kPlaybackVisible | ES_AUTOHSCROLL, 16, 296, 121, 21, WS_EX_CLIENTEDGE});

    const std::array<ControlLayout, 9> labels = {{
        {ids::kFirstLabel, "STATIC", main_window::kVersionLabel, WS_VISIBLE, 24, 360, 0, 0},
        {ids::kFirstLabel + 1, "STATIC", main_window::kLeftLabel, WS_VISIBLE, 336, 224, 0, 0},
        {ids::kFirstLabel + 2, "STATIC", main_window::kRightLabel, WS_VISIBLE, 446, 224, 0, 0},
        {ids::kFirstLabel + 3, "STATIC", main_window::kUpLabel, WS_VISIBLE, 536, 192, 0, 0},
        {ids::kFirstLabel + 4, "STATIC", main_window::kBankServoCaption, WS_VISIBLE, 376, 280, 0,
         0},
        {ids::kFirstLabel + 5, "STATIC", main_window::kPitchServoCaption, WS_VISIBLE | SS_CENTER,
         472, 336, 89, 17},
        // The engaged labels have room for "Not engaged" in any font.
        {ids::kBankServoLabel, "STATIC", main_window::kBankServoLabel, WS_VISIBLE, 368, 296, 90, 0},
        {ids::kFirstLabel + 7, "STATIC", main_window::kDownLabel, WS_VISIBLE, 536, 312, 0, 0},
        {ids::kPitchServoLabel, "STATIC", main_window::kPitchServoLabel, WS_VISIBLE, 488, 352, 90,
         0},
    }};
    for (const ControlLayout& layout : labels) Place(layout);
}

// The dialogs follow the main window to its new scale, shown or not.
void MainForm::DpiChanged(int dpi, const RECT& suggested) {
    ApplyDpi(dpi, &suggested);
    portDialog_.ApplyDpi(dpi, nullptr);
    operationDialog_.ApplyDpi(dpi, nullptr);
    diagnostics_.ApplyDpi(dpi);
}

void MainForm::WireDialogs() {
    portDialog_.OnShow = [this] { portSetup_->FormShow(); };
    portDialog_.PortGroup.OnClick = [this](int i) { portSetup_->PortGroupItemClick(i); };
    portSetup_->PortGroup.OnSelectionChanged = [this](int i) {
        portDialog_.PortGroup.ShowSelected(i);
    };

    operationDialog_.OnActivate = [this] { operationSetup_->FormActivate(); };
    const std::array<std::pair<RadioGroupControl*, RadioGroup*>, 4> groups = {{
        {&operationDialog_.EngineGroup, &operationSetup_->EngineGroup},
        {&operationDialog_.SplitGroup, &operationSetup_->SplitGroup},
        {&operationDialog_.Sl30PortGroup, &operationSetup_->Sl30PortGroup},
        {&operationDialog_.Sl40PortGroup, &operationSetup_->Sl40PortGroup},
    }};
    for (const auto& [control, model] : groups) {
        control->OnClick = [model](int i) { model->SetItemIndex(i); };
        model->OnSelectionChanged = [control](int i) { control->ShowSelected(i); };
    }
}

// boxComm_ reports a lost device to the recovery, which retries from the tick
// and whenever the system announces a device.
void MainForm::WirePortRecovery() {
    portRecovery_ = std::make_unique<BoxLineRecovery>(boxLineControl_, log_, state_.Link, release_);
    boxComm_.OnPortLost = [this](TCustomComm&, std::int32_t errorCode) {
        portRecovery_->PortLost(errorCode, GetTickCount64());
    };
}

bool MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (portRecovery_ != nullptr) {
        // Both go on to their usual handling as well. A device that arrived
        // may be ours; while the window closes, no retry reopens the port.
        if (message == WM_DEVICECHANGE) portRecovery_->RetryNow();
        if (message == WM_CLOSE) portRecovery_->WindowClosing();
    }
    if (power_ != nullptr) {
        if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL) {
            simRetry_->StartAgain(GetTickCount64());
        }
        if (message == WM_POWERBROADCAST) PowerBroadcast(wParam);
    }
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            switch (LOWORD(wParam)) {
                case ids::kReconnectButton:
                    model_->ReconnectClick();
                    if (simRetry_ != nullptr) simRetry_->StartAgain(GetTickCount64());
                    return true;
                case ids::kPortButton: PortButtonClick(); return true;
                case ids::kSetupButton: SetupButtonClick(); return true;
                case ids::kPlayButton: playback_->PlayButtonClick(); return true;
                default: break;
            }
            break;
        case WM_SYSCOMMAND:
            if (diagnostics_.SystemCommand(handle(), wParam, scale().dpi())) {
                result = 0;
                return true;
            }
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {  // the taskbar button is the application's
                application_.Minimize();
                result = 0;
                return true;
            }
            break;
        case WM_CLOSE:
            if (model_ == nullptr || model_->FormCloseQuery()) {
                diagnostics_.Close();  // the totals, and the log file written out
                DestroyWindow(handle());
            }
            result = 0;
            return true;
        case WM_DESTROY:
            PostQuitMessage(0);
            result = 0;
            return true;
        default: break;
    }
    (void)lParam;
    return false;
}

// Goes on to the usual handling, which answers TRUE.
void MainForm::PowerBroadcast(WPARAM event) {
    switch (event) {
        case PBT_APMSUSPEND: power_->Suspend(); break;
        case PBT_APMRESUMEAUTOMATIC: power_->Resume(true, GetTickCount64()); break;
        case PBT_APMRESUMESUSPEND: power_->Resume(false, GetTickCount64()); break;
        default: break;
    }
}

// The automatic try's result is not shown: the window's log keeps one line
// per failure.
void MainForm::TickTimerTimer() {
    cycle_.Tick();
    const ULONGLONG now = GetTickCount64();
    if (portRecovery_ != nullptr) portRecovery_->Retry(now);
    if (simRetry_ != nullptr) simRetry_->Tick(now);
    if (const char* failed = diagnostics_.Tick(now)) log_.Append(failed);  // once
}

void MainForm::BoxCommRxChar(std::int32_t count) { receiver_.ReceiveEvent(boxLine_, count); }

void MainForm::PortButtonClick() { portDialog_.ShowModal(handle()); }

void MainForm::SetupButtonClick() {
    const BridgeSettings before = state_.Settings;
    operationDialog_.ShowModal(handle());
    diagnostics_.RecordOperationSetup(before, state_.Settings);
}

}  // namespace bridge::gui
