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

MainForm::MainForm(ApplicationWindow& application, CommWaitChoice commWait,
                   const std::filesystem::path& executableFolder,
                   const std::filesystem::path& perUserFolder)
    : application_(application),
      commWait_(commWait),
      perUserFolder_(perUserFolder),
      settingsLocation_(executableFolder, perUserFolder),
      core_(ProcessSimLink(), *this),
      diagnostics_(boxComm_, tickTimer_, core_.cycle, core_.receiver, core_.state.Link, *this),
      shell_(core_,
             ShellOutside{boxLine_, boxLineControl_, simLink_, *this, *this, *this, pump_, *this,
                          diagnostics_, &portListing_},
             settingsLocation_, executableFolder) {}

MainForm::~MainForm() {
    tickTimer_.SetEnabled(false);
    tickTimer_.OnTimer = nullptr;
    boxComm_.OnRxChar = nullptr;
    boxComm_.OnPortLost = nullptr;
    BindBoxLine(nullptr);
}

bool MainForm::Create() {
    CreateComponents();
    if (!FormWindow::Create(ids::kMainWindowClass, "", WS_OVERLAPPEDWINDOW, 262, 250, 587, 430,
                            application_.handle())) {
        return false;
    }
    application_.SetMainWindow(handle());
    diagnostics_.Start(perUserFolder_, settingsLocation_.ReadPath());
    diagnostics_.AddSystemMenuItems(handle());
    boxLineControl_.SetLog(&diagnostics_.Log());
    simLink_.SetLog(&diagnostics_.Log());
    if (!portDialog_.Create(handle()) || !operationDialog_.Create(handle())) return false;
    WireDialogs();
    shell_.Start(GetTickCount64());
    return true;
}

// The components as the main window declares them. Enabled goes before
// Interval, so the timer starts at its default interval and restarts at 50 ms.
// Each of their events is one call into the shell.
void MainForm::CreateComponents() {
    boxComm_.SetDeviceName("Com2");
    boxComm_.SetMonitorEvents(kAllCommEvents);
    boxComm_.SetBaudRate(cbr38400);
    boxComm_.SetCharsTimeOut(20);
    boxComm_.SetOptions(TCommOptions{});
    boxComm_.SetFlowControl(fcNone);
    boxComm_.SetWaitChoice(commWait_);
    boxComm_.OnRxChar = [this](TCustomComm&, std::int32_t count) { shell_.ReceiveEvent(count); };
    boxComm_.OnPortLost = [this](TCustomComm&, std::int32_t errorCode) {
        shell_.PortLost(errorCode, GetTickCount64());
    };
    BindBoxLine(&boxLine_);  // every frame to the box goes out through boxComm_
    tickTimer_.OnTimer = [this](TThreadedTimer&) { shell_.Tick(GetTickCount64()); };
    tickTimer_.SetEnabled(true);
    tickTimer_.SetInterval(50);
}

void MainForm::CreateControls() {
    const DWORD tab = WS_VISIBLE | WS_TABSTOP;
    // Created in tab order, then the labels.
    // Wide: the log shows names Windows gives in any language as they are.
    HWND memo = Place({ids::kLog, "EDIT", "", tab | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                       8, 8, 553, 161, WS_EX_CLIENTEDGE, true});
    SendMessageA(memo, EM_SETLIMITTEXT, 0, 0);  // the log only grows
    Place({ids::kReconnectButton, "BUTTON", main_window::kReconnectButton, tab, 16, 184, 169, 25});
    const std::array<ControlLayout, 2> trackBars = {{
        {ids::kBankTrackBar, TRACKBAR_CLASSA, "", tab | TBS_HORZ | TBS_TOP | TBS_AUTOTICKS, 328,
         240, 150, 41},
        {ids::kPitchTrackBar, TRACKBAR_CLASSA, "", tab | TBS_VERT | TBS_LEFT | TBS_AUTOTICKS, 496,
         184, 33, 150},
    }};
    for (std::size_t i = 0; i < trackBars.size(); ++i) {
        HWND bar = Place(trackBars[i]);
        trackBars_[i] = bar;
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
    portDialog_.OnShow = [this] { shell_.PortDialogShown(); };
    portDialog_.PortGroup.OnClick = [this](int i) { shell_.PortChosen(i); };
    shell_.PortSetup().PortGroup.OnSelectionChanged = [this](int i) {
        portDialog_.PortGroup.ShowSelected(i);
    };
    portDialog_.PortList.OnSelect = [this](int i) { shell_.PortListSelected(i); };
    portDialog_.PortList.OnActivate = [this](int i) { shell_.PortListActivated(i); };
    shell_.PortSetup().OnPortsShown = [this](const std::vector<std::string>& lines, int selected) {
        portDialog_.PortList.Show(lines, selected);
    };
    diagnostics_.PortLines = [this] { return shell_.BoxPort().ReportLines(); };

    operationDialog_.OnActivate = [this] { shell_.OperationSetupActivated(); };
    OperationSetupModel& setup = shell_.OperationSetup();
    const std::array<std::pair<RadioGroupControl*, RadioGroup*>, 4> groups = {{
        {&operationDialog_.EngineGroup, &setup.EngineGroup},
        {&operationDialog_.SplitGroup, &setup.SplitGroup},
        {&operationDialog_.Sl30PortGroup, &setup.Sl30PortGroup},
        {&operationDialog_.Sl40PortGroup, &setup.Sl40PortGroup},
    }};
    for (const auto& [control, model] : groups) {
        control->OnClick = [model](int i) { model->SetItemIndex(i); };
        model->OnSelectionChanged = [control](int i) { control->ShowSelected(i); };
    }
}

// Each message the shell handles is one call into it; the device change and
// the power message go on to their usual handling as well.
bool MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_DEVICECHANGE:
            shell_.DeviceChanged(wParam == DBT_DEVICEARRIVAL, GetTickCount64());
            break;
        case WM_POWERBROADCAST: PowerBroadcast(wParam); break;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            switch (LOWORD(wParam)) {
                case ids::kReconnectButton: shell_.ReconnectClick(GetTickCount64()); return true;
                case ids::kPortButton: shell_.PortButtonClick(); return true;
                case ids::kSetupButton: shell_.SetupButtonClick(); return true;
                case ids::kPlayButton: shell_.PlayButtonClick(); return true;
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
            if (shell_.CloseRequested()) DestroyWindow(handle());
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

void MainForm::PowerBroadcast(WPARAM event) {
    switch (event) {
        case PBT_APMSUSPEND: shell_.Suspend(GetTickCount64()); break;
        case PBT_APMRESUMEAUTOMATIC: shell_.Resume(true, GetTickCount64()); break;
        case PBT_APMRESUMESUSPEND: shell_.Resume(false, GetTickCount64()); break;
        default: break;
    }
}

}  // namespace bridge::gui
