#include "platform/win32/gui/setup_forms.h"

#include "platform/win32/gui/control_ids.h"
#include "platform/win32/gui/controls.h"

namespace bridge::gui {
namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

const char* const kEngineItems[] = {"No Engine", "Single engine", "Twin engine",
                                    "Three engines", "Four engines"};
const char* const kSplitItems[] = {"1 EGT+1 CHT TC1,TC2", "2 EGT+2 CHT TC1-TC2, TC3-TC4",
                                   "4 EGT+4 CHT TC1-TC4, TC5-TC6",
                                   "6 EGT+6 CHT TC1-TC6, TC7-TC10"};
const char* const kRadioPortItems[] = {"Don't use",    "RS232 port 1", "RS232 port 2",
                                       "RS232 port 3", "RS232 port 4", "RS232 port 5"};
const char* const kComPortItems[] = {"COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",
                                     "COM7",  "COM8",  "COM9",  "COM10", "COM11", "COM12",
                                     "COM13", "COM14", "COM15", "COM16"};

// Fixed texts telling the user how the EFIS and the servos are to be set up.
const ControlSpec kOperationLabels[] = {
    {0, "STATIC", "EFIS setups:", WS_VISIBLE, 16, 136, 0, 0},
    {0, "STATIC",
     "Select SL30 (COM1) and SL40 radios (COM2) in serial port  routing/allocations",
     WS_VISIBLE, 16, 152, 0, 0},
    {0, "STATIC", "Oil temp sender: LM335", WS_VISIBLE, 16, 168, 0, 0},
    {0, "STATIC", "Oil/Fuel pressure sender: Linear 0-5V, 10 bar", WS_VISIBLE, 16, 184, 0, 0},
    {0, "STATIC", "Fuel flow turbine, K-factor 7000", WS_VISIBLE, 16, 200, 0, 0},
    {0, "STATIC", "CHT probe type K-Type", WS_VISIBLE, 16, 216, 0, 0},
    {0, "STATIC", "RPM 1 pulse/revolution", WS_VISIBLE, 16, 232, 0, 0},
    {0, "STATIC", "Servo setups: Magnitude settings very high, can be larger than 20 ",
     WS_VISIBLE, 328, 200, 0, 0},
    {0, "STATIC", "Depends on aircraft type and realism. Please set servo control limits ",
     WS_VISIBLE, 328, 216, 0, 0},
    {0, "STATIC", "just as you would with real servos", WS_VISIBLE, 328, 232, 0, 0},
};

}  // namespace

bool OperationSetupForm::Create(HWND owner) {
    return FormWindow::Create(ids::kForm2Class, "Operation setup", kDialogStyle, 200, 200, 658,
                              291, owner);
}

void OperationSetupForm::CreateControls() {
    RadioGroup1.Create(handle(),
                       {ids::kForm2RadioGroup1, "Number of engines", kEngineItems, 5, 1, 16, 8,
                        113, 113},
                       font(), scale());
    RadioGroup2.Create(handle(),
                       {ids::kForm2RadioGroup2, "EGT/CHT split", kSplitItems, 4, 1, 136, 8, 209,
                        113},
                       font(), scale());
    RadioGroup3.Create(handle(),
                       {ids::kForm2RadioGroup3, "SL30 COM1/NAV serial port", kRadioPortItems, 6,
                        1, 352, 8, 153, 113},
                       font(), scale());
    RadioGroup4.Create(handle(),
                       {ids::kForm2RadioGroup4, "SL40 COM 2 serial port", kRadioPortItems, 6, 1,
                        512, 8, 129, 113},
                       font(), scale());
    CreateControl(handle(),
                  {ids::kForm2Ok, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 560,
                   128, 75, 25},
                  font(), scale());
    for (const ControlSpec& label : kOperationLabels) CreateControl(handle(), label, font(), scale());
}

bool OperationSetupForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT& result) {
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        if (onActivate) onActivate();
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
    return FormWindow::Create(ids::kForm15Class, "Serial port setup", kDialogStyle, 300, 200, 208,
                              269, owner);
}

void SerialPortSetupForm::CreateControls() {
    CreateControl(handle(),
                  {0, "STATIC",
                   "Select the serial communications port that you will be using to connect to "
                   "the Torvex ",
                   WS_VISIBLE, 8, 8, 177, 49},
                  font(), scale());
    RadioGroup2.Create(handle(),
                       {ids::kForm15RadioGroup2, "COM port number", kComPortItems, 16, 2, 8, 64,
                        185, 129},
                       font(), scale());
    CreateControl(handle(),
                  {ids::kForm15Ok, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 64,
                   200, 75, 25},
                  font(), scale());
}

bool SerialPortSetupForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result) {
    if (message == WM_SHOWWINDOW && wParam == TRUE) {
        if (onShow) onShow();
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
