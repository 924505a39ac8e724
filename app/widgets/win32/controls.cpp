#include "app/widgets/win32/controls.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/widgets/win32/wide_text.h"

namespace bridge::gui {

HFONT CreateDialogFont(const DpiScale& scale) {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    LOGFONTA font = metrics.lfMessageFont;
    // The system reports the font for the system DPI; scale to this window's.
    HDC screen = GetDC(nullptr);
    const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (systemDpi > 0) font.lfHeight = MulDiv(font.lfHeight, scale.dpi(), systemDpi);
    return CreateFontIndirectA(&font);
}

namespace {

SIZE TextSize(HWND parent, HFONT font, const char* text) {
    SIZE size = {0, 0};
    HDC dc = GetDC(parent);
    HGDIOBJ old = SelectObject(dc, font);
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, old);
    ReleaseDC(parent, dc);
    return size;
}

// Drawn text can come out a little wider than measured (hinting at small
// sizes); labels get the width of one more character.
int TextMargin(HWND window, HFONT font) { return TextSize(window, font, "0").cx; }

}  // namespace

RECT ControlRect(HWND parent, const ControlLayout& layout, HFONT font, const DpiScale& scale) {
    int width = scale(layout.width);
    int height = scale(layout.height);
    if (layout.width == 0 || layout.height == 0) {  // a label that fits its text
        const SIZE text = TextSize(parent, font, layout.text);
        if (layout.width == 0) width = text.cx + TextMargin(parent, font);
        if (layout.height == 0) height = text.cy;
    }
    const int left = scale(layout.left);
    const int top = scale(layout.top);
    return {left, top, left + width, top + height};
}

HWND CreateControl(HWND parent, const ControlLayout& layout, HFONT font, const DpiScale& scale) {
    const RECT at = ControlRect(parent, layout, font, scale);
    const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id));
    HWND control =
        layout.wide
            ? CreateWindowExW(layout.exStyle, WideText(layout.className).c_str(),
                              WideText(layout.text).c_str(), WS_CHILD | layout.style, at.left,
                              at.top, at.right - at.left, at.bottom - at.top, parent, id,
                              GetModuleHandleW(nullptr), nullptr)
            : CreateWindowExA(layout.exStyle, layout.className, layout.text,
                              WS_CHILD | layout.style, at.left, at.top, at.right - at.left,
                              at.bottom - at.top, parent, id, GetModuleHandleA(nullptr), nullptr);
    if (control != nullptr) {
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return control;
}

HFONT CreateFontToFit(HWND window, HFONT font, std::span<const char* const> texts, int maxWidth) {
    LOGFONTA shape = {};
    if (GetObjectA(font, sizeof shape, &shape) == 0) return nullptr;
    HFONT fitted = nullptr;
    // Shrinking the height one pixel at a time, down to two thirds of it.
    for (LONG height = std::abs(shape.lfHeight); height * 3 >= std::abs(shape.lfHeight) * 2;
         --height) {
        HFONT candidate = font;
        if (height != std::abs(shape.lfHeight)) {
            LOGFONTA smaller = shape;
            smaller.lfHeight = shape.lfHeight < 0 ? -height : height;
            smaller.lfWidth = 0;
            candidate = CreateFontIndirectA(&smaller);
        }
        int widest = 0;
        for (const char* text : texts) {
            widest = std::max<int>(widest, TextSize(window, candidate, text).cx);
        }
        widest += TextMargin(window, candidate);
        if (fitted != nullptr) DeleteObject(fitted);
        fitted = candidate == font ? nullptr : candidate;
        if (widest <= maxWidth) break;
    }
    return fitted;
}

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    GetWindowTextA(window, text.data(), length + 1);
    return std::string(text.data());
}

}  // namespace bridge::gui
