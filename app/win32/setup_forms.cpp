#include "app/win32/setup_forms.h"

#include <cstdlib>
#include <iterator>
#include <span>

#include "app/shell/shell_texts.h"

#include "app/widgets/win32/controls.h"
#include "app/win32/control_ids.h"

namespace bridge::gui {
namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// Where the fixed labels stand, in the order of operation_setup::kLabels.
constexpr POINT kOperationLabelPositions[] = {{16, 136},  {16, 152}, {16, 168}, {16, 184},
                                              {16, 200},  {16, 216}, {16, 232}, {328, 200},
                                              {328, 216}, {328, 232}};
static_assert(std::size(kOperationLabelPositions) == operation_setup::kLabels.size());

// The smaller of two fonts, either of which may be null (no change needed);
// the other one is deleted.
HFONT SmallerFont(HFONT a, HFONT b) {
    if (a == nullptr || b == nullptr) return a != nullptr ? a : b;
    LOGFONTA fa = {}, fb = {};
    GetObjectA(a, sizeof fa, &fa);
    GetObjectA(b, sizeof fb, &fb);
    const bool aSmaller = std::abs(fa.lfHeight) <= std::abs(fb.lfHeight);
    DeleteObject(aSmaller ? b : a);
    return aSmaller ? a : b;
}

}  // namespace

bool OperationSetupForm::Create(HWND owner) {
    return FormWindow::Create(ids::kOperationSetupClass, operation_setup::kCaption, kDialogStyle,
                              200, 200, 658, 291, owner);
}

void OperationSetupForm::CreateControls() {
    EngineGroup.Create(*this, {ids::kSetupEngineGroup, operation_setup::kEngineGroup,
                               operation_setup::kEngineItems, 1, 16, 8, 113, 113});
    SplitGroup.Create(*this, {ids::kSetupSplitGroup, operation_setup::kSplitGroup,
                              operation_setup::kSplitItems, 1, 136, 8, 209, 113});
    Sl30PortGroup.Create(*this, {ids::kSetupSl30PortGroup, operation_setup::kSl30PortGroup,
                                 operation_setup::kRadioPortItems, 1, 352, 8, 153, 113});
    Sl40PortGroup.Create(*this, {ids::kSetupSl40PortGroup, operation_setup::kSl40PortGroup,
                                 operation_setup::kRadioPortItems, 1, 512, 8, 129, 113});
    Place({ids::kSetupOk, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 560, 128, 75,
           25});
    for (std::size_t i = 0; i < operation_setup::kLabels.size(); ++i) {
        const POINT at = kOperationLabelPositions[i];
        Place({0, "STATIC", operation_setup::kLabels[i], WS_VISIBLE, at.x, at.y, 0, 0},
              ControlFont::Label);
    }
}

// The lower left labels end where the right ones begin, and the right ones at
// the dialog's edge; a dialog font wider than the one the layout was drawn
// with is made to fit. One size for all the labels.
HFONT OperationSetupForm::MakeLabelFont() {
    RECT client = {};
    GetClientRect(handle(), &client);
    const int leftRoom = scale()(kOperationLabelPositions[7].x - 16 - 4);
    const int rightRoom = client.right - scale()(kOperationLabelPositions[7].x + 4);
    const std::span<const char* const> labels(operation_setup::kLabels);
    HFONT left = CreateFontToFit(handle(), font(), labels.subspan(4, 3), leftRoom);
    HFONT right = CreateFontToFit(handle(), font(), labels.subspan(7, 3), rightRoom);
    return SmallerFont(left, right);
}

bool OperationSetupForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT& result) {
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        if (OnActivate) OnActivate();
    } else if (message == WM_COMMAND) {
        if (EngineGroup.HandleCommand(wParam) || SplitGroup.HandleCommand(wParam) ||
            Sl30PortGroup.HandleCommand(wParam) || Sl40PortGroup.HandleCommand(wParam)) {
            return true;
        }
        if (LOWORD(wParam) == ids::kSetupOk || LOWORD(wParam) == IDCANCEL) {
            EndModal();  // OK only closes; every selection has already taken effect
            return true;
        }
    }
    return FormWindow::HandleMessage(message, wParam, lParam, result);
}

// Grown to the right only: the controls of the first 208 x 269 keep their
// places, the list and its button stand beside them.
bool SerialPortSetupForm::Create(HWND owner) {
    return FormWindow::Create(ids::kPortDialogClass, port_dialog::kCaption, kDialogStyle, 300, 200,
                              524, 269, owner);
}

void SerialPortSetupForm::CreateControls() {
    Place({0, "STATIC", port_dialog::kPrompt, WS_VISIBLE, 8, 8, 177, 49});
    PortGroup.Create(*this, {ids::kPortDialogFirstPort, port_dialog::kPortGroup,
                             port_dialog::kPortItems, port_dialog::kPortColumns, 8, 64, 185, 129});
    Place({ids::kPortDialogOk, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 64, 200,
           75, 25});
    Place({0, "STATIC", port_dialog::kPortListLabel, WS_VISIBLE, 208, 8, 0, 0});
    PortList.Create(*this, ids::kPortDialogPortList, 208, 24, 300, 169);
    Place({ids::kPortDialogUsePort, "BUTTON", port_dialog::kUsePortButton, WS_VISIBLE | WS_TABSTOP,
           208, 200, 121, 25});
}

bool SerialPortSetupForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result) {
    if (message == WM_SHOWWINDOW && wParam == TRUE) {
        if (OnShow) OnShow();
    } else if (message == WM_COMMAND) {
        if (PortGroup.HandleCommand(wParam) || PortList.HandleCommand(wParam)) return true;
        // Enter in the list comes as IDOK (the dialog keys): it activates the line.
        if (LOWORD(wParam) == ids::kPortDialogUsePort ||
            (LOWORD(wParam) == IDOK && PortList.HasFocus())) {
            PortList.ActivateSelected();
            return true;
        }
        if (LOWORD(wParam) == ids::kPortDialogOk || LOWORD(wParam) == IDCANCEL) {
            EndModal();
            return true;
        }
    }
    return FormWindow::HandleMessage(message, wParam, lParam, result);
}

}  // namespace bridge::gui
