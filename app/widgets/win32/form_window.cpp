#include "app/widgets/win32/form_window.h"

#include <algorithm>

#include "app/widgets/win32/controls.h"
#include "platform/window_thread/win32/ui_pump.h"

namespace bridge::gui {
namespace {

// Moves the rectangle up and left as far as needed to stay within the work
// area of its monitor (a dialog grown with the scale may reach past it).
void KeepOnMonitor(RECT& rect) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    const LONG dx = std::max(std::min(work.right - rect.right, 0L), work.left - rect.left);
    const LONG dy = std::max(std::min(work.bottom - rect.bottom, 0L), work.top - rect.top);
    OffsetRect(&rect, dx, dy);
}

}  // namespace

FormWindow::~FormWindow() {
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_ != nullptr) DeleteObject(font_);
    if (labelFont_ != nullptr) DeleteObject(labelFont_);
}

bool FormWindow::Create(const char* className, const char* caption, DWORD style, int left, int top,
                        int width, int height, HWND owner) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!GetClassInfoExA(instance, className, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = className;
        if (RegisterClassExA(&windowClass) == 0) return false;
    }
    layoutRect_ = {left, top, left + width, top + height};
    scale_ = DpiScale::ForWindow(nullptr);
    window_ = CreateWindowExA(0, className, caption, style, scale_(left), scale_(top),
                              scale_(width), scale_(height), owner, nullptr, instance, this);
    if (window_ == nullptr) return false;
    scale_ = DpiScale::ForWindow(window_);
    font_ = CreateDialogFont(scale_);
    labelFont_ = MakeLabelFont();
    CreateControls();
    return true;
}

HWND FormWindow::Place(const ControlLayout& layout, ControlFont font) {
    HWND control = CreateControl(window_, layout, FontFor(font), scale_);
    if (control != nullptr) controls_.push_back({control, layout, font});
    return control;
}

void FormWindow::ApplyDpi(int dpi, const RECT* suggested) {
    if (window_ == nullptr || dpi <= 0) return;
    scale_ = DpiScale(dpi);
    RECT at = {scale_(layoutRect_.left), scale_(layoutRect_.top), scale_(layoutRect_.right),
               scale_(layoutRect_.bottom)};
    if (suggested != nullptr) {
        at = *suggested;
    } else {
        KeepOnMonitor(at);
    }
    SetWindowPos(window_, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The controls keep the old fonts until they have the new ones.
    const HFONT oldFont = font_;
    const HFONT oldLabelFont = labelFont_;
    font_ = CreateDialogFont(scale_);
    labelFont_ = MakeLabelFont();
    for (const PlacedControl& c : controls_) {
        const HFONT font = FontFor(c.font);
        const RECT r = ControlRect(window_, c.layout, font, scale_);
        SetWindowPos(c.window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(c.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (oldFont != nullptr) DeleteObject(oldFont);
    if (oldLabelFont != nullptr) DeleteObject(oldLabelFont);
    InvalidateRect(window_, nullptr, TRUE);
}

void FormWindow::ShowModal(HWND owner) {
    // Shown already: a click another program sends past the disabled owner.
    if (modal_ || window_ == nullptr) return;
    modal_ = true;
    if (owner != nullptr) EnableWindow(owner, FALSE);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    while (modal_) {
        const PumpTurn turn = PumpOnce(PumpScope::All, INFINITE, nullptr, window_);
        // WM_QUIT belongs to the main loop; leave it for that loop.
        if (turn.ended == PumpTurn::Ended::Quit) PostQuitMessage(turn.quitCode);
        if (turn.ended == PumpTurn::Ended::Quit || turn.ended == PumpTurn::Ended::Failed) break;
    }
    modal_ = false;
    if (owner != nullptr && IsWindow(owner)) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void FormWindow::EndModal() {
    modal_ = false;
    if (window_ == nullptr) return;
    ShowWindow(window_, SW_HIDE);
    PostMessageA(window_, WM_NULL, 0, 0);  // wakes the modal loop
}

bool FormWindow::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message == WM_CLOSE) {  // the close box keeps every change: it only hides
        EndModal();
        result = 0;
        return true;
    }
    return false;
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_DPICHANGED && lParam != 0) {
        self->DpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
    if (self != nullptr) {
        if (self->window_ == nullptr) self->window_ = window;
        LRESULT result = 0;
        if (self->HandleMessage(message, wParam, lParam, result)) return result;
        if (message == WM_NCDESTROY) {  // destroyed with its owner: nothing left to destroy
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            self->modal_ = false;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace bridge::gui
