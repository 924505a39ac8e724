// Native child controls created from a small description, in the dialog font.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "app/widgets/win32/dpi_scale.h"

namespace bridge::gui {

struct ControlLayout {
    int id;
    const char* className;  // "BUTTON", "STATIC", "EDIT", TRACKBAR_CLASSA, ...
    const char* text;
    DWORD style;                   // WS_CHILD is added; WS_VISIBLE only if listed
    int left, top, width, height;  // at 96 DPI; width/height 0 = fit the text
    DWORD exStyle = 0;
    // Made with the wide calls, so that it keeps text in any language (sent
    // to it wide); otherwise its texts pass through the ANSI code page.
    bool wide = false;
};

// The standard dialog font of the system (the message font), for a DPI.
HFONT CreateDialogFont(const DpiScale& scale);

// Where the control stands in its parent at that scale: the layout scaled, and
// a size of 0 measured from its text in the font.
RECT ControlRect(HWND parent, const ControlLayout& layout, HFONT font, const DpiScale& scale);

// Creates the control as a child of parent with the font; returns its handle.
HWND CreateControl(HWND parent, const ControlLayout& layout, HFONT font, const DpiScale& scale);

std::string WindowText(HWND window);

// `font` made smaller, if needed, until every text is at most `maxWidth`
// pixels wide; null when `font` fits as it is. The caller deletes the result.
HFONT CreateFontToFit(HWND window, HFONT font, std::span<const char* const> texts, int maxWidth);

}  // namespace bridge::gui
