// A list of text lines, each chosen by activation only: a double-click, Enter
// while the list has the focus, or a button of the form; moving the selection
// (the arrow keys, a single click) chooses nothing. Its texts are UTF-8 and
// go to the system wide, so that names in any language show as they are.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/widgets/win32/form_window.h"

namespace bridge::gui {

class ListControl {
public:
    // At 96 DPI; the list follows the form's scale and font.
    void Create(FormWindow& form, int id, int left, int top, int width, int height);

    // Shows the lines, with `selected` selected (-1: none).
    void Show(const std::vector<std::string>& lines, int selected);
    int Selected() const;
    bool HasFocus() const { return list_ != nullptr && GetFocus() == list_; }
    HWND handle() const { return list_; }

    // Routes a WM_COMMAND: true when it came from the list (a double-click
    // activates its line, a moved selection is reported).
    bool HandleCommand(WPARAM wParam);
    // Enter or the form's button: activates the selected line, if any.
    void ActivateSelected();

    std::function<void(int index)> OnActivate;
    std::function<void(int index)> OnSelect;  // the selection moved: nothing to choose

private:
    HWND list_ = nullptr;
    int id_ = 0;
};

}  // namespace bridge::gui
