#include "app/widgets/win32/list_control.h"

#include <algorithm>

#include "app/widgets/win32/wide_text.h"

namespace bridge::gui {

void ListControl::Create(FormWindow& form, int id, int left, int top, int width, int height) {
    id_ = id;
    ControlLayout layout{
        id,
        "LISTBOX",
        "",
        WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
        left,
        top,
        width,
        height,
        WS_EX_CLIENTEDGE};
    layout.wide = true;
    list_ = form.Place(layout);
}

void ListControl::Show(const std::vector<std::string>& lines, int selected) {
    if (list_ == nullptr) return;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
    // The widest line sets how far the list scrolls sideways, in its font.
    HDC dc = GetDC(list_);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list_, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const std::string& line : lines) {
        const std::wstring text = WideText(line);
        SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(list_, dc);
    SendMessageW(list_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
    SendMessageW(list_, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

int ListControl::Selected() const {
    if (list_ == nullptr) return -1;
    const LRESULT selected = SendMessageW(list_, LB_GETCURSEL, 0, 0);
    return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

bool ListControl::HandleCommand(WPARAM wParam) {
    if (list_ == nullptr || LOWORD(wParam) != id_) return false;
    if (HIWORD(wParam) == LBN_DBLCLK) ActivateSelected();
    if (HIWORD(wParam) == LBN_SELCHANGE && OnSelect) OnSelect(Selected());
    return true;
}

void ListControl::ActivateSelected() {
    const int selected = Selected();
    if (selected >= 0 && OnActivate) OnActivate(selected);
}

}  // namespace bridge::gui
