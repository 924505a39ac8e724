#include "app/shell/radio_group.h"

#include <algorithm>

namespace bridge {

void RadioGroup::SetItemIndex(int index) {
    const int last = static_cast<int>(items_.size()) - 1;
    const int clamped = std::clamp(index, -1, std::max(last, -1));
    if (clamped == itemIndex_) return;
    itemIndex_ = clamped;
    if (OnSelectionChanged) OnSelectionChanged(itemIndex_);
    if (OnClick) OnClick();
}

}  // namespace bridge
