#include "app/win32/application_window.h"

#include <algorithm>
#include <vector>

#include "app/shell/shell_texts.h"
#include "app/widgets/win32/wide_text.h"

namespace bridge::gui {
namespace {

constexpr char kClassName[] = "TApplication";

// The plain message boxes open now, the innermost last: all on the window
// thread. The system makes each box's window itself; a hook on the thread
// sees it made (the box is its first window that is not a child) and is
// removed at once.
std::vector<HWND> openBoxes;
HHOOK boxHook = nullptr;

LRESULT CALLBACK CatchBoxWindow(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = boxHook;
    if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        if ((create->lpcs->style & WS_CHILD) == 0) {
            openBoxes.push_back(reinterpret_cast<HWND>(wParam));
            UnhookWindowsHookEx(boxHook);
            boxHook = nullptr;
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

bool ApplicationWindow::Create() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    // Visible but of no size, so that it has a taskbar button and nothing else.
    window_ = CreateWindowExA(0, kClassName, kApplicationTitle,
                              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                              nullptr, nullptr, instance, this);
    if (window_ == nullptr) return false;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    return true;
}

ApplicationWindow::~ApplicationWindow() {
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK ApplicationWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    auto* self = reinterpret_cast<ApplicationWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message != 0 && message == self->activateMessage_) {
        if (static_cast<std::uint64_t>(wParam) == self->activateTag_) self->BringForward();
        return 0;
    }
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && self != nullptr && self->mainWindow_ != nullptr &&
                IsWindowEnabled(self->mainWindow_)) {
                SetFocus(self->mainWindow_);
                return 0;
            }
            break;
        case WM_CLOSE:  // from the taskbar button's menu: close the main window
            if (self != nullptr && self->mainWindow_ != nullptr) {
                PostMessageA(self->mainWindow_, WM_CLOSE, 0, 0);
                return 0;
            }
            break;
        default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// While a dialog or message box is open, it is the one enabled window of
// ours; otherwise the main window is.
void ApplicationWindow::BringForward() {
    if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
    struct Search {
        HWND application;
        HWND found;
    } search = {window_, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (candidate == s->application || !IsWindowVisible(candidate) ||
                !IsWindowEnabled(candidate)) {
                return TRUE;
            }
            s->found = candidate;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    HWND target = search.found != nullptr ? search.found : mainWindow_;
    if (target != nullptr) SetForegroundWindow(target);
}

void ShowPlainMessage(const std::string& text) {
    const std::size_t before = openBoxes.size();
    if (boxHook == nullptr) {
        boxHook = SetWindowsHookExW(WH_CBT, CatchBoxWindow, nullptr, GetCurrentThreadId());
    }
    MessageBoxW(nullptr, WideText(text).c_str(), WideText(kApplicationTitle).c_str(),
                MB_OK | MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST);
    if (boxHook != nullptr) {  // no box was made
        UnhookWindowsHookEx(boxHook);
        boxHook = nullptr;
    }
    openBoxes.resize(std::min(openBoxes.size(), before));
}

void TakeDownPlainMessages() {
    for (HWND box : openBoxes) {
        if (IsWindow(box)) EndDialog(box, IDOK);
    }
}

}  // namespace bridge::gui
