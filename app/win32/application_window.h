// The application window: never seen itself, it carries the application title
// on the taskbar button and owns the main window, whose own caption is empty.
// Message boxes carry the title too.
#pragma once

#include <windows.h>

#include <cstdint>
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
    // A second start from our folder posts `message` with `tag`: then the
    // application is restored if minimised, and the window the user would
    // work in (the main window, or a dialog or message box over it) comes to
    // the front.
    void AnswerActivation(UINT message, std::uint64_t tag) {
        activateMessage_ = message;
        activateTag_ = tag;
    }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void BringForward();

    HWND window_ = nullptr;
    HWND mainWindow_ = nullptr;
    UINT activateMessage_ = 0;
    std::uint64_t activateTag_ = 0;
};

// A plain message box: the application title as caption, no icon, one OK
// button, centred on the screen; the text in UTF-8. Ticks go on while it is
// open. It may come before any window of ours is up (the port message at
// start-up), over a full-screen simulator: so it asks for the foreground,
// stays on top, and, owned by no window, has a taskbar button of its own.
void ShowPlainMessage(const std::string& text);
// Closes the plain message boxes open now, as their OK button would: a
// handler running inside one found that its message no longer holds.
void TakeDownPlainMessages();

}  // namespace bridge::gui
