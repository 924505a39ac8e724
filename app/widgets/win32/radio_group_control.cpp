#include "app/widgets/win32/radio_group_control.h"

namespace bridge::gui {
namespace {
constexpr int kCaptionHeight = 16;
constexpr int kBottomMargin = 6;
constexpr int kSideMargin = 8;
}  // namespace

void RadioGroupControl::Create(FormWindow& form, const Layout& layout) {
    firstId_ = layout.firstId;
    form.Place({layout.firstId - 1, "BUTTON", layout.caption, WS_VISIBLE | BS_GROUPBOX, layout.left,
                layout.top, layout.width, layout.height});
    const int count = static_cast<int>(layout.items.size());
    const int rows = (count + layout.columns - 1) / layout.columns;
    const int rowHeight = (layout.height - kCaptionHeight - kBottomMargin) / rows;
    const int columnWidth = (layout.width - 2 * kSideMargin) / layout.columns;
    for (int i = 0; i < count; ++i) {
        const int column = i / rows;
        const int row = i % rows;
        DWORD style = WS_VISIBLE | BS_RADIOBUTTON;
        if (i == 0) style |= WS_GROUP | WS_TABSTOP;
        buttons_.push_back(
            form.Place({layout.firstId + i, "BUTTON", layout.items[static_cast<std::size_t>(i)],
                        style, layout.left + kSideMargin + column * columnWidth,
                        layout.top + kCaptionHeight + row * rowHeight, columnWidth, rowHeight}));
    }
}

bool RadioGroupControl::HandleCommand(WPARAM wParam) {
    const int id = LOWORD(wParam);
    if (id < firstId_ || id >= firstId_ + static_cast<int>(buttons_.size())) return false;
    if (HIWORD(wParam) == BN_CLICKED && OnClick) OnClick(id - firstId_);
    return true;
}

void RadioGroupControl::ShowSelected(int index) {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        SendMessageA(buttons_[i], BM_SETCHECK,
                     static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

}  // namespace bridge::gui
