// A top-level window of ours: registers its class once, routes messages to the
// object, and can be shown modally with a loop that keeps dispatching messages
// (so ticks and port events go on while it is open).
//
// Its controls are placed from layouts given at 96 DPI, which the window
// keeps: when the screen's scale changes under it (moved to another monitor,
// or the scale changed while it runs; WM_DPICHANGED), the window takes the
// size the system suggests, builds its fonts again and places every control
// again at the new scale.
#pragma once

#include <windows.h>

#include <vector>

#include "app/widgets/win32/controls.h"
#include "app/widgets/win32/dpi_scale.h"

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

    // The font a control is placed with: the window's own, or the one the
    // window keeps for its fixed labels (the same unless a form says else).
    enum class ControlFont { Dialog, Label };
    // Creates a child control from its layout and keeps the layout for a
    // change of scale; returns its handle.
    HWND Place(const ControlLayout& layout, ControlFont font = ControlFont::Dialog);

    // Lays the window out again at `dpi`: in `suggested` (screen
    // coordinates) if given, else at its layout position and size.
    void ApplyDpi(int dpi, const RECT* suggested);

protected:
    // Creates the window; outer width and height at 96 DPI, as the layout gives them.
    bool Create(const char* className, const char* caption, DWORD style, int left, int top,
                int width, int height, HWND owner);
    // Child controls are created here (with Place); the window exists and has its font.
    virtual void CreateControls() = 0;
    // Returns true when it handled the message (result in `result`).
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // The font for the fixed labels, made from the window's font (which exists
    // by then) for the current scale; null: the window's font. Called when
    // the window is made and at each change of scale; the window owns it.
    virtual HFONT MakeLabelFont() { return nullptr; }
    // WM_DPICHANGED: by default the window lays itself out again.
    virtual void DpiChanged(int dpi, const RECT& suggested) { ApplyDpi(dpi, &suggested); }

private:
    struct PlacedControl {
        HWND window;
        ControlLayout layout;
        ControlFont font;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HFONT FontFor(ControlFont font) const {
        return font == ControlFont::Label && labelFont_ != nullptr ? labelFont_ : font_;
    }

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HFONT labelFont_ = nullptr;
    DpiScale scale_;
    RECT layoutRect_ = {};  // left, top, right, bottom at 96 DPI
    std::vector<PlacedControl> controls_;
    bool modal_ = false;
};

}  // namespace bridge::gui
