// What the main cycle, the shell and the playback show on the main window:
// its side of BridgeView, MessageDisplay, PlaybackView and ShellDialogs.
#include "app/win32/main_form.h"

#include <commctrl.h>
#include <commdlg.h>

#include <array>

#include "app/widgets/win32/wide_text.h"
#include "app/win32/control_ids.h"

namespace bridge::gui {

void MainForm::SetServoLabel(Servo servo, const char* text) {
    constexpr std::array<int, kServoCount> kLabel = {ids::kBankServoLabel, ids::kPitchServoLabel};
    // Set only on change: the label would otherwise repaint on every tick.
    // The text set last is kept rather than read back, which would allocate.
    std::string& shown = servoLabels_[ServoIndex(servo)];
    if (shown == text) return;
    shown = text;
    SetWindowTextA(Control(kLabel[ServoIndex(servo)]), text);
}

void MainForm::SetServoTrackBar(Servo servo, int position) {
    HWND bar = trackBars_[ServoIndex(servo)];
    if (SendMessageA(bar, TBM_GETPOS, 0, 0) != position) {
        SendMessageA(bar, TBM_SETPOS, TRUE, position);
    }
}

void MainForm::AppendLog(const std::string& line) {
    diagnostics_.Log().Record(line);
    HWND memo = Control(ids::kLog);
    const LRESULT end = GetWindowTextLengthW(memo);
    SendMessageW(memo, EM_SETSEL, end, end);
    const std::wstring text = WideText(line + "\r\n");  // the line is UTF-8
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainForm::SetReconnectEnabled(bool enabled) {
    EnableWindow(Control(ids::kReconnectButton), enabled);
}

void MainForm::StopTimer() { tickTimer_.SetEnabled(false); }

void MainForm::ShowMessage(const std::string& text) { ShowPlainMessage(text); }

void MainForm::TakeDownMessages() { TakeDownPlainMessages(); }

void MainForm::ShowPortDialog() { portDialog_.ShowModal(handle()); }

void MainForm::ShowOperationSetup() { operationDialog_.ShowModal(handle()); }

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
    if (IsWindow(handle())) SetWindowTextA(Control(ids::kPlayButton), caption);
}

void MainForm::SetPositionText(const char* text) {
    if (IsWindow(handle())) SetWindowTextA(Control(ids::kPlaybackPosition), text);
}
}  // namespace bridge::gui
