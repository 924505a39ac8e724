#include "app/record/win32/line_statistics_window.h"

#include <cstring>

#include "app/record/win32/record_ids.h"

namespace bridge::gui {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;

}  // namespace

bool LineStatisticsWindow::Create(HWND owner) {
    return FormWindow::Create(ids::kLineStatisticsClass, "Line statistics", kWindowStyle, 300, 120,
                              380, 470, owner);
}

void LineStatisticsWindow::CreateControls() {
    HWND text = Place({ids::kLineStatisticsText, "EDIT", "",
                       WS_VISIBLE | ES_MULTILINE | ES_READONLY, 8, 8, 350, 420, 0});
    const int tabStops[] = {90, 140};  // dialog units: name, per second, total
    SendMessageA(text, EM_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(tabStops));
}

void LineStatisticsWindow::Show(int dpi) {
    if (handle() == nullptr) return;
    if (dpi != scale().dpi()) ApplyDpi(dpi, nullptr);
    beforeMs_ = 0;  // no rates over the time it was hidden
    Refresh();
    SetTimer(handle(), kRefreshTimer, kRefreshMs, nullptr);
    ShowWindow(handle(), SW_SHOWNORMAL);
    SetForegroundWindow(handle());
}

bool LineStatisticsWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_TIMER:
            if (wParam != kRefreshTimer) return false;
            Refresh();
            result = 0;
            return true;
        case WM_CLOSE:  // closing it changes nothing else
            KillTimer(handle(), kRefreshTimer);
            ShowWindow(handle(), SW_HIDE);
            result = 0;
            return true;
        default: return false;
    }
}

// Rates over the time since the last refresh; the text is set only when it
// changed, which spares the control a repaint.
void LineStatisticsWindow::Refresh() {
    LineTotals now{};
    LineState state{"", "", -1, 0, 0, 0};
    gather_(now, state);
    const std::uint64_t nowMs = GetTickCount64();
    const double seconds = beforeMs_ == 0 ? 0.0 : static_cast<double>(nowMs - beforeMs_) / 1000.0;
    FormatLineStatistics(now, before_, seconds, state, text_.data(), text_.size());
    before_ = now;
    beforeMs_ = nowMs;
    if (std::strcmp(text_.data(), shown_.data()) == 0) return;
    shown_ = text_;
    SetWindowTextA(GetDlgItem(handle(), ids::kLineStatisticsText), shown_.data());
}

}  // namespace bridge::gui
