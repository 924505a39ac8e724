#include "app/widgets/win32/dpi_scale.h"

namespace bridge::gui {

DpiScale DpiScale::ForWindow(HWND window) {
    // GetDpiForWindow exists from Windows 10 1607 on; look it up so the program
    // still starts on older systems.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return DpiScale(static_cast<int>(dpi));
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return DpiScale(dpi > 0 ? dpi : 96);
}

}  // namespace bridge::gui
