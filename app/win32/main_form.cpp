#include "app/win32/main_form.h"

#include <commctrl.h>
#include <commdlg.h>

#include <array>

#include "app/settings_location.h"
#include "app/shell_texts.h"
#include "app/win32/control_ids.h"
#include "app/win32/controls.h"
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

constexpr int kTrackBarRange = 512;
constexpr int kTrackBarFrequency = 64;

}  // namespace

MainForm::MainForm(ApplicationWindow& application, CommWaitChoice commWait)
    : application_(application), commWait_(commWait), cycle_(ProcessSimLink(), *this) {}

MainForm::~MainForm() {
    ThreadedTimer1.SetEnabled(false);
    ThreadedTimer1.OnTimer = nullptr;
    Comm1.OnRxChar = nullptr;
    Comm1.OnPortLost = nullptr;
    BindBoxPort(nullptr);
}

bool MainForm::Create(const std::filesystem::path& executableFolder,
                      const std::filesystem::path& perUserFolder) {
    CreateComponents();
    if (!FormWindow::Create(ids::kForm1Class, "", WS_OVERLAPPEDWINDOW, 262, 250, 587, 430,
                            application_.handle())) {
        return false;
    }
    application_.SetMainWindow(handle());

    model_ = std::make_unique<MainWindowModel>(boxPortControl_, simLink_, *this, *this, pump_,
                                               SettingsLocation(executableFolder, perUserFolder));
    if (!Form15.Create(handle()) || !Form2.Create(handle())) return false;
    WirePortRecovery();
    portSetup_ = std::make_unique<PortSetupModel>(boxPortControl_, *this, *portRecovery_);
    operationSetup_ = std::make_unique<OperationSetupModel>();
    playback_ = std::make_unique<ArincPlayback>(*this, pump_, executableFolder);
    WireDialogs();
    model_->FormCreate();
    return true;
}

// The components as the main window declares them. Enabled goes before
// Interval, so the timer starts at its default interval and restarts at 50 ms.
void MainForm::CreateComponents() {
    Comm1.SetDeviceName("Com2");
    Comm1.SetMonitorEvents(kAllCommEvents);
    Comm1.SetBaudRate(cbr38400);
    Comm1.SetCharsTimeOut(20);
    Comm1.SetOptions(TCommOptions{});
    Comm1.SetFlowControl(fcNone);
    Comm1.SetWaitChoice(commWait_);
    Comm1.OnRxChar = [this](TCustomComm&, std::int32_t count) { Comm1RxChar(count); };
    BindBoxPort(&boxPort_);  // every frame to the box goes out through Comm1
    ThreadedTimer1.OnTimer = [this](TThreadedTimer&) { ThreadedTimer1Timer(); };
    ThreadedTimer1.SetEnabled(true);
    ThreadedTimer1.SetInterval(50);
}

void MainForm::CreateControls() {
    const DWORD tab = WS_VISIBLE | WS_TABSTOP;
    // Created in tab order, then the labels.
    HWND memo = Place({ids::kMemo1, "EDIT", "", tab | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                       8, 8, 553, 161, WS_EX_CLIENTEDGE});
    SendMessageA(memo, EM_SETLIMITTEXT, 0, 0);  // the log only grows
    Place({ids::kButton1, "BUTTON", form1::kButton1, tab, 16, 184, 169, 25});
    const std::array<ControlLayout, 2> trackBars = {{
        {ids::kTrackBar1, TRACKBAR_CLASSA, "", tab | TBS_HORZ | TBS_TOP | TBS_AUTOTICKS, 328, 240,
         150, 41},
        {ids::kTrackBar2, TRACKBAR_CLASSA, "", tab | TBS_VERT | TBS_LEFT | TBS_AUTOTICKS, 496, 184,
         33, 150},
    }};
    for (const ControlLayout& layout : trackBars) {
        HWND bar = Place(layout);
        SendMessageA(bar, TBM_SETRANGEMIN, FALSE, -kTrackBarRange);
        SendMessageA(bar, TBM_SETRANGEMAX, FALSE, kTrackBarRange);
        SendMessageA(bar, TBM_SETTICFREQ, kTrackBarFrequency, 0);
        SendMessageA(bar, TBM_SETPOS, TRUE, 0);
    }
    Place({ids::kButton2, "BUTTON", form1::kButton2, tab, 16, 216, 169, 25});
    Place({ids::kButton3, "BUTTON", form1::kButton3, tab, 16, 248, 169, 25});
    Place({ids::kButton4, "BUTTON", kPlayArincCaption, WS_TABSTOP | kPlaybackVisible, 16, 320, 169,
           25});
    Place({ids::kEdit1, "EDIT", form1::kEdit1, WS_TABSTOP | kPlaybackVisible | ES_AUTOHSCROLL, 16,
           296, 121, 21, WS_EX_CLIENTEDGE});

    const std::array<ControlLayout, 9> labels = {{
        {ids::kLabel1, "STATIC", form1::kLabel1, WS_VISIBLE, 24, 360, 0, 0},
        {ids::kLabel1 + 1, "STATIC", form1::kLabel2, WS_VISIBLE, 336, 224, 0, 0},
        {ids::kLabel1 + 2, "STATIC", form1::kLabel3, WS_VISIBLE, 446, 224, 0, 0},
        {ids::kLabel1 + 3, "STATIC", form1::kLabel4, WS_VISIBLE, 536, 192, 0, 0},
        {ids::kLabel1 + 4, "STATIC", form1::kLabel5, WS_VISIBLE, 376, 280, 0, 0},
        {ids::kLabel1 + 5, "STATIC", form1::kLabel6, WS_VISIBLE | SS_CENTER, 472, 336, 89, 17},
        // The engaged labels have room for "Not engaged" in any font.
        {ids::kLabel7, "STATIC", form1::kLabel7, WS_VISIBLE, 368, 296, 90, 0},
        {ids::kLabel1 + 7, "STATIC", form1::kLabel8, WS_VISIBLE, 536, 312, 0, 0},
        {ids::kLabel9, "STATIC", form1::kLabel9, WS_VISIBLE, 488, 352, 90, 0},
    }};
    for (const ControlLayout& layout : labels) Place(layout);
}

// The dialogs follow the main window to its new scale, shown or not.
void MainForm::DpiChanged(int dpi, const RECT& suggested) {
    ApplyDpi(dpi, &suggested);
    Form15.ApplyDpi(dpi, nullptr);
    Form2.ApplyDpi(dpi, nullptr);
}

void MainForm::WireDialogs() {
    Form15.OnShow = [this] { portSetup_->FormShow(); };
    Form15.RadioGroup2.OnClick = [this](int i) { portSetup_->RadioGroup2ItemClick(i); };
    portSetup_->RadioGroup2.OnSelectionChanged = [this](int i) {
        Form15.RadioGroup2.ShowSelected(i);
    };

    Form2.OnActivate = [this] { operationSetup_->FormActivate(); };
    const std::array<std::pair<RadioGroupControl*, RadioGroup*>, 4> groups = {{
        {&Form2.RadioGroup1, &operationSetup_->RadioGroup1},
        {&Form2.RadioGroup2, &operationSetup_->RadioGroup2},
        {&Form2.RadioGroup3, &operationSetup_->RadioGroup3},
        {&Form2.RadioGroup4, &operationSetup_->RadioGroup4},
    }};
    for (const auto& [control, model] : groups) {
        control->OnClick = [model](int i) { model->SetItemIndex(i); };
        model->OnSelectionChanged = [control](int i) { control->ShowSelected(i); };
    }
}

// Comm1 reports a lost device to the recovery, which retries from the tick
// and whenever the system announces a device.
void MainForm::WirePortRecovery() {
    portRecovery_ = std::make_unique<BoxPortRecovery>(boxPortControl_, *this);
    Comm1.OnPortLost = [this](TCustomComm&, std::int32_t errorCode) {
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
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            switch (LOWORD(wParam)) {
                case ids::kButton1: model_->Button1Click(); return true;
                case ids::kButton2: Button2Click(); return true;
                case ids::kButton3: Button3Click(); return true;
                case ids::kButton4: playback_->Button4Click(); return true;
                default: break;
            }
            break;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {  // the taskbar button is the application's
                application_.Minimize();
                result = 0;
                return true;
            }
            break;
        case WM_CLOSE:
            if (model_ == nullptr || model_->FormCloseQuery()) DestroyWindow(handle());
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

void MainForm::ThreadedTimer1Timer() {
    cycle_.Tick();
    if (portRecovery_ != nullptr) portRecovery_->Retry(GetTickCount64());
}

void MainForm::Comm1RxChar(std::int32_t count) { ReceiveEvent(boxPort_, count); }

void MainForm::Button2Click() { Form15.ShowModal(handle()); }

void MainForm::Button3Click() { Form2.ShowModal(handle()); }

void MainForm::SetServoLabel(Servo servo, const char* text) {
    // Set only on change: the label would otherwise repaint on every tick.
    // The text set last is kept rather than read back, which would allocate.
    std::string& shown = servoLabels_[servo == Servo::Bank ? 0 : 1];
    if (shown == text) return;
    shown = text;
    SetWindowTextA(Control(servo == Servo::Bank ? ids::kLabel7 : ids::kLabel9), text);
}

void MainForm::SetServoTrackBar(Servo servo, int position) {
    HWND bar = Control(servo == Servo::Bank ? ids::kTrackBar1 : ids::kTrackBar2);
    if (SendMessageA(bar, TBM_GETPOS, 0, 0) != position) {
        SendMessageA(bar, TBM_SETPOS, TRUE, position);
    }
}

void MainForm::AppendLog(const std::string& line) {
    HWND memo = Control(ids::kMemo1);
    const LRESULT end = GetWindowTextLengthA(memo);
    SendMessageA(memo, EM_SETSEL, end, end);
    const std::string text = line + "\r\n";
    SendMessageA(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainForm::SetReconnectEnabled(bool enabled) { EnableWindow(Control(ids::kButton1), enabled); }

void MainForm::StopTimer() { ThreadedTimer1.SetEnabled(false); }

void MainForm::ShowMessage(const std::string& text) { ShowPlainMessage(text); }

std::optional<std::filesystem::path> MainForm::ChooseFile(
    const std::filesystem::path& initialFolder) {
    std::array<wchar_t, 32768> path{};
    const std::wstring folder = initialFolder.wstring();
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = handle();
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrInitialDir = folder.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) return std::nullopt;
    return std::filesystem::path(path.data());
}

// Playback can outlive the window when the window is closed during it.
void MainForm::SetPlayCaption(const char* caption) {
    if (IsWindow(handle())) SetWindowTextA(Control(ids::kButton4), caption);
}

void MainForm::SetPositionText(const char* text) {
    if (IsWindow(handle())) SetWindowTextA(Control(ids::kEdit1), text);
}

}  // namespace bridge::gui
