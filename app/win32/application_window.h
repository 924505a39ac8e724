// The application window: never seen itself, it carries the application title
// on the taskbar button and owns the main window, whose own caption is empty.
// Message boxes carry the title too.
#pragma once

#include <windows.h>

#include <string>

namespace bridge::gui {

class ApplicationWindow {
public:
    bool Create();
    ~ApplicationWindow();
    HWND handle() const { return window_; }

    // The main window gets the focus whenever the taskbar button activates us.
    void SetMainWindow(HWND mainWindow) { mainWindow_ = mainWindow; }
    // Minimizing the main window minimizes the application (its taskbar button).
    void Minimize() { ShowWindow(window_, SW_MINIMIZE); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HWND mainWindow_ = nullptr;
};

// A plain message box: the application title as caption, no icon, one OK
// button, centred on the screen; the text in UTF-8. Ticks go on while it is
// open. It may come before any window of ours is up (the port message at
// start-up), over a full-screen simulator: so it asks for the foreground,
// stays on top, and, owned by no window, has a taskbar button of its own.
void ShowPlainMessage(const std::string& text);

}  // namespace bridge::gui
