#include "app/win32/form_window.h"

#include "app/win32/controls.h"

namespace bridge::gui {

FormWindow::~FormWindow() {
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_ != nullptr) DeleteObject(font_);
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
    scale_ = DpiScale::ForWindow(nullptr);
    window_ = CreateWindowExA(0, className, caption, style, scale_(left), scale_(top),
                              scale_(width), scale_(height), owner, nullptr, instance, this);
    if (window_ == nullptr) return false;
    scale_ = DpiScale::ForWindow(window_);
    font_ = CreateDialogFont(scale_);
    CreateControls();
    return true;
}

void FormWindow::ShowModal(HWND owner) {
    if (modal_ || window_ == nullptr) return;
    modal_ = true;
    if (owner != nullptr) EnableWindow(owner, FALSE);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    MSG message;
    while (modal_) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            // WM_QUIT belongs to the main loop; leave it for that loop.
            if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!IsDialogMessageA(window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
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
