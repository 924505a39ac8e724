// The two setup dialogs as native windows: the operation setup (class TForm2) and the
// serial port setup (class TForm15). They hold no settings themselves: each radio
// group reports clicks, the port list its selection and activation, and the
// dialog's model decides what is selected.
#pragma once

#include <functional>

#include "app/widgets/win32/form_window.h"
#include "app/widgets/win32/list_control.h"
#include "app/widgets/win32/radio_group_control.h"

namespace bridge::gui {

class OperationSetupForm : public FormWindow {
public:
    bool Create(HWND owner);

    // EngineGroup (engines), SplitGroup (EGT/CHT split), Sl30PortGroup (SL30
    // port), Sl40PortGroup (SL40 port).
    RadioGroupControl EngineGroup, SplitGroup, Sl30PortGroup, Sl40PortGroup;
    std::function<void()> OnActivate;  // FormActivate

private:
    void CreateControls() override;
    HFONT MakeLabelFont() override;  // the dialog font, smaller where the texts need it
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class SerialPortSetupForm : public FormWindow {
public:
    bool Create(HWND owner);

    RadioGroupControl PortGroup;   // COM1..COM16 in two columns
    ListControl PortList;          // beside it, the ports Windows lists
    std::function<void()> OnShow;  // FormShow

private:
    void CreateControls() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

}  // namespace bridge::gui
