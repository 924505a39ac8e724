// A radio group: a group box with its items as radio buttons in columns. The
// buttons do not check themselves; a click is reported and the owner decides
// which item shows as selected (so selection rules live in one model).
#pragma once

#include <windows.h>

#include <functional>
#include <span>
#include <vector>

#include "app/widgets/win32/form_window.h"

namespace bridge::gui {

class RadioGroupControl {
public:
    struct Layout {
        int firstId;  // item i has control id firstId + i; the group box firstId - 1
        const char* caption;
        std::span<const char* const> items;
        int columns;
        int left, top, width, height;  // at 96 DPI
    };

    // Places the group box and its items in the form.
    void Create(FormWindow& form, const Layout& layout);

    // Routes a WM_COMMAND; true when it came from one of the items.
    bool HandleCommand(WPARAM wParam);
    // Shows `index` checked and the others clear; -1 clears all.
    void ShowSelected(int index);

    std::function<void(int index)> OnClick;

private:
    std::vector<HWND> buttons_;
    int firstId_ = 0;
};

}  // namespace bridge::gui
