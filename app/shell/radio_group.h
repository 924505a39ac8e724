// A group of radio buttons with one selection, as the setup dialogs use it:
// selecting in code and clicking behave alike, and the click handler runs only
// when the selection really changes.
#pragma once

#include <functional>
#include <span>

namespace bridge {

class RadioGroup {
public:
    RadioGroup(const char* caption, std::span<const char* const> items)
        : caption_(caption), items_(items) {}
    RadioGroup(const RadioGroup&) = delete;
    RadioGroup& operator=(const RadioGroup&) = delete;

    const char* Caption() const { return caption_; }
    std::span<const char* const> Items() const { return items_; }
    // -1 while nothing is selected.
    int ItemIndex() const { return itemIndex_; }

    // Selects index, clamped to -1..last item. When that differs from the
    // current selection, OnSelectionChanged and then OnClick run. The GUI calls
    // it for a user's click as well.
    void SetItemIndex(int index);

    // The group's click handler (RadioGroupNClick of its dialog).
    std::function<void()> OnClick;
    // For the GUI: shows the new selection before the click handler runs.
    std::function<void(int)> OnSelectionChanged;

private:
    const char* caption_;
    std::span<const char* const> items_;
    int itemIndex_ = -1;
};

}  // namespace bridge
