#include "app/win32/setup_forms.h"

#include <cstdlib>
#include <iterator>
#include <span>

#include "app/shell_texts.h"

#include "app/win32/control_ids.h"
#include "app/win32/controls.h"

namespace bridge::gui {
namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// Where the fixed labels stand, in the order of form2::kLabels.
constexpr POINT kOperationLabelPositions[] = {{16, 136},  {16, 152}, {16, 168}, {16, 184},
                                              {16, 200},  {16, 216}, {16, 232}, {328, 200},
                                              {328, 216}, {328, 232}};
static_assert(std::size(kOperationLabelPositions) == form2::kLabels.size());

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
    return FormWindow::Create(ids::kForm2Class, form2::kCaption, kDialogStyle, 200, 200, 658, 291,
                              owner);
}

void OperationSetupForm::CreateControls() {
    RadioGroup1.Create(*this, {ids::kForm2RadioGroup1, form2::kRadioGroup1,
                               form2::kRadioGroup1Items, 1, 16, 8, 113, 113});
    RadioGroup2.Create(*this, {ids::kForm2RadioGroup2, form2::kRadioGroup2,
                               form2::kRadioGroup2Items, 1, 136, 8, 209, 113});
    RadioGroup3.Create(*this, {ids::kForm2RadioGroup3, form2::kRadioGroup3, form2::kRadioPortItems,
                               1, 352, 8, 153, 113});
    RadioGroup4.Create(*this, {ids::kForm2RadioGroup4, form2::kRadioGroup4, form2::kRadioPortItems,
                               1, 512, 8, 129, 113});
    Place({ids::kForm2Ok, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 560, 128, 75,
           25});
    for (std::size_t i = 0; i < form2::kLabels.size(); ++i) {
        const POINT at = kOperationLabelPositions[i];
        Place({0, "STATIC", form2::kLabels[i], WS_VISIBLE, at.x, at.y, 0, 0}, ControlFont::Label);
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
    const std::span<const char* const> labels(form2::kLabels);
    HFONT left = CreateFontToFit(handle(), font(), labels.subspan(4, 3), leftRoom);
    HFONT right = CreateFontToFit(handle(), font(), labels.subspan(7, 3), rightRoom);
    return SmallerFont(left, right);
}

bool OperationSetupForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT& result) {
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        if (OnActivate) OnActivate();
    } else if (message == WM_COMMAND) {
        if (RadioGroup1.HandleCommand(wParam) || RadioGroup2.HandleCommand(wParam) ||
            RadioGroup3.HandleCommand(wParam) || RadioGroup4.HandleCommand(wParam)) {
            return true;
        }
        if (LOWORD(wParam) == ids::kForm2Ok || LOWORD(wParam) == IDCANCEL) {
            EndModal();  // OK only closes; every selection has already taken effect
            return true;
        }
    }
    return FormWindow::HandleMessage(message, wParam, lParam, result);
}

bool SerialPortSetupForm::Create(HWND owner) {
    return FormWindow::Create(ids::kForm15Class, form15::kCaption, kDialogStyle, 300, 200, 208, 269,
                              owner);
}

void SerialPortSetupForm::CreateControls() {
    Place({0, "STATIC", form15::kLabel1, WS_VISIBLE, 8, 8, 177, 49});
    RadioGroup2.Create(*this,
                       {ids::kForm15RadioGroup2, form15::kRadioGroup2, form15::kRadioGroup2Items,
                        form15::kRadioGroup2Columns, 8, 64, 185, 129});
    Place({ids::kForm15Ok, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 64, 200, 75,
           25});
}

bool SerialPortSetupForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result) {
    if (message == WM_SHOWWINDOW && wParam == TRUE) {
        if (OnShow) OnShow();
    } else if (message == WM_COMMAND) {
        if (RadioGroup2.HandleCommand(wParam)) return true;
        if (LOWORD(wParam) == ids::kForm15Ok || LOWORD(wParam) == IDCANCEL) {
            EndModal();
            return true;
        }
    }
    return FormWindow::HandleMessage(message, wParam, lParam, result);
}

}  // namespace bridge::gui
