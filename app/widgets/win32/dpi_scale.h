// Pixel sizes of the window layouts are given at 96 DPI; the program is DPI
// aware, so every position and size is scaled to the monitor's DPI.
#pragma once

#include <windows.h>

namespace bridge::gui {

class DpiScale {
public:
    explicit DpiScale(int dpi = 96) : dpi_(dpi) {}
    int operator()(int pixelsAt96) const { return MulDiv(pixelsAt96, dpi_, 96); }
    int dpi() const { return dpi_; }

    // The DPI of a window (Windows 10 and later), else of the screen.
    static DpiScale ForWindow(HWND window);

private:
    int dpi_;
};

}  // namespace bridge::gui
