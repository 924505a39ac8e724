// A top-level window of ours: registers its class once, routes messages to the
// object, and can be shown modally with a loop that keeps dispatching messages
// (so ticks and port events go on while it is open).
#pragma once

#include <windows.h>

#include "app/win32/dpi_scale.h"

namespace bridge::gui {

class FormWindow {
public:
    FormWindow() = default;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;
    virtual ~FormWindow();

    HWND handle() const { return window_; }
    const DpiScale& scale() const { return scale_; }
    HFONT font() const { return font_; }

    // Shows the window owned by `owner`, disables the owner, and dispatches
    // messages until the window is hidden again (OK or the close box).
    void ShowModal(HWND owner);
    bool IsModal() const { return modal_; }
    // Ends a modal showing: hides the window; the modal loop returns.
    void EndModal();

protected:
    // Creates the window; outer width and height at 96 DPI, as the layout gives them.
    bool Create(const char* className, const char* caption, DWORD style, int left, int top,
                int width, int height, HWND owner);
    // Child controls are created here; the window exists and has its font.
    virtual void CreateControls() = 0;
    // Returns true when it handled the message (result in `result`).
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    DpiScale scale_;
    bool modal_ = false;
};

}  // namespace bridge::gui
