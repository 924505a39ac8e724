// The serial port setup's list on a real window, as the main window wires it:
// the ports by their names in any language, the box's adapter marked; arrowing
// opens nothing; a double-click, Enter or the button chooses a line's port at
// any number, and the group then shows nothing above COM16; the list follows
// a device that arrives and the screen's scale.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/shell/port_setup.h"
#include "app/win32/control_ids.h"
#include "app/win32/setup_forms.h"
#include "platform/window_thread/win32/ui_pump.h"
#include "tests/support/fake_box_line_control.h"
#include "tests/support/fake_shell_ui.h"
#include "tests/support/fake_view.h"
#include "tests/support/port_fixtures.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

std::wstring LineText(HWND list, int index) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, index, 0)) + 1,
                      L'\0');
    SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(text.size() - 1);
    return text;
}

TEST(PortDialog, TheListIsChosenFromByActivationOnlyAndFollowsDevicesAndScale) {
    BridgeState state{};
    std::string lastLine;
    FakeView view;
    WindowLog log{lastLine, view};
    ServoRelease release{state.Servos, view, log};
    FakeBoxLineControl port;
    FakeShellUi ui;
    FakePortListing listing;
    listing.nodes = {Cp2102("COM4", "01F3A9C2", 2), Ch340("COM20", 1),
                     Node("COM3", "Последовательный порт (COM3)", "ROOT\\PORTS\\0000")};
    BoxLinePort boxPort{port, listing, ui, log, release, state.Settings, state.Link};
    PortSetupModel model{boxPort};
    boxPort.Load(4, std::nullopt);
    boxPort.Start(0);
    port.calls.clear();

    gui::SerialPortSetupForm form;
    ASSERT_TRUE(form.Create(nullptr));
    form.PortGroup.OnClick = [&](int i) { model.PortGroupItemClick(i); };
    model.PortGroup.OnSelectionChanged = [&](int i) { form.PortGroup.ShowSelected(i); };
    form.PortList.OnActivate = [&](int i) { model.PortListActivated(i); };
    form.PortList.OnSelect = [&](int i) { model.PortListSelected(i); };
    model.OnPortsShown = [&](const Strings& lines, int selected) {
        form.PortList.Show(lines, selected);
    };
    boxPort.Adapter().OnPortsChanged = [&] { model.ShowPorts(); };
    ShowWindow(form.handle(), SW_SHOW);
    model.FormShow();
    model.ShowPorts();

    HWND list = GetDlgItem(form.handle(), gui::ids::kPortDialogPortList);
    ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(LineText(list, 0), L"COM3: Последовательный порт");
    EXPECT_EQ(LineText(list, 1),
              L"COM4 (the box's adapter): Silicon Labs CP210x USB to UART Bridge");
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);

    SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);  // arrowed to COM20: nothing opens
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
    EXPECT_TRUE(port.calls.empty());
    RECT line = {};
    SendMessageW(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&line));
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(line.left + 4, line.top + 2));
    EXPECT_EQ(port.calls, (Strings{"Close", "SetDeviceName COM20", "Open"}));
    for (int id = gui::ids::kPortDialogFirstPort; id < gui::ids::kPortDialogFirstPort + 16; ++id) {
        EXPECT_EQ(IsDlgButtonChecked(form.handle(), id), BST_UNCHECKED) << id;
    }

    // Enter on COM3 (the dialog's keys turn it into IDOK), then the button on COM4.
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    SetFocus(list);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    while (PumpOnce(PumpScope::All, 0, nullptr, form.handle()).ended ==
           PumpTurn::Ended::Dispatched) {
    }
    EXPECT_EQ(port.deviceName, "COM3");
    EXPECT_EQ(IsDlgButtonChecked(form.handle(), gui::ids::kPortDialogFirstPort + 2), BST_CHECKED);
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    SendMessageW(form.handle(), WM_COMMAND, MAKEWPARAM(gui::ids::kPortDialogUsePort, BN_CLICKED),
                 0);
    EXPECT_EQ(port.deviceName, "COM4");
    EXPECT_EQ(state.Settings.CommsPort, 3);

    listing.nodes.push_back(Ch340("COM21", 3));  // arrives while the dialog is open
    boxPort.DeviceChanged();
    boxPort.Tick(1000);
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 4);

    const LRESULT height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    RECT before = {};
    GetWindowRect(list, &before);
    form.ApplyDpi(192, nullptr);
    RECT after = {};
    GetWindowRect(list, &after);
    EXPECT_EQ(after.right - after.left, 2 * (before.right - before.left));
    EXPECT_GT(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), height * 3 / 2);
}

}  // namespace
}  // namespace bridge::testing
