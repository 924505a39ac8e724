// The "Line statistics" window: the line's totals and rates, refreshed twice
// a second while it is shown. Owned by the main window (it closes with it);
// its close box only hides it. It formats into fixed buffers, so neither its
// refresh nor the tick allocates while it is open, and it costs nothing
// while hidden (its refresh timer runs only while shown).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "app/record/line_totals.h"
#include "app/widgets/win32/form_window.h"

namespace bridge::gui {

class LineStatisticsWindow : public FormWindow {
public:
    static constexpr UINT kRefreshMs = 500;

    // Fills the totals and the state as they stand.
    using Gather = std::function<void(LineTotals& totals, LineState& state)>;

    explicit LineStatisticsWindow(Gather gather) : gather_(std::move(gather)) {}

    bool Create(HWND owner);
    // Shows it (at the owner's scale) and starts the refresh.
    void Show(int dpi);

private:
    void CreateControls() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Refresh();

    Gather gather_;
    LineTotals before_{};
    std::uint64_t beforeMs_ = 0;
    std::array<char, 4096> text_{};
    std::array<char, 4096> shown_{};
};

}  // namespace bridge::gui
