// The two setup dialogs as native windows: the operation setup (Form2) and the
// serial port setup (Form15). They hold no settings themselves: each radio
// group reports clicks, and the dialog's model decides what is selected.
#pragma once

#include <functional>

#include "app/win32/form_window.h"
#include "app/win32/radio_group_control.h"

namespace bridge::gui {

class OperationSetupForm : public FormWindow {
public:
    bool Create(HWND owner);

    // RadioGroup1 (engines), RadioGroup2 (EGT/CHT split), RadioGroup3 (SL30
    // port), RadioGroup4 (SL40 port).
    RadioGroupControl RadioGroup1, RadioGroup2, RadioGroup3, RadioGroup4;
    std::function<void()> OnActivate;  // FormActivate

private:
    void CreateControls() override;
    HFONT MakeLabelFont() override;  // the dialog font, smaller where the texts need it
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class SerialPortSetupForm : public FormWindow {
public:
    bool Create(HWND owner);

    RadioGroupControl RadioGroup2;  // COM1..COM16 in two columns
    std::function<void()> OnShow;   // FormShow

private:
    void CreateControls() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

}  // namespace bridge::gui
