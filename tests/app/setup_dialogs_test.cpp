#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/shell/operation_setup.h"
#include "app/shell/port_setup.h"
#include "tests/app/shell_fixture.h"
#include "tests/support/port_fixtures.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

TEST(RadioGroupTest, ClampsCodeSelectionsAndRunsItsHandlerOnlyOnAChange) {
    const std::array<const char*, 3> items = {"a", "b", "c"};
    RadioGroup group("caption", items);
    std::vector<int> shown;
    int clicks = 0;
    group.OnSelectionChanged = [&](int index) { shown.push_back(index); };
    group.OnClick = [&] {
        EXPECT_EQ(group.ItemIndex(), shown.back());  // the handler sees the new selection
        ++clicks;
    };
    EXPECT_EQ(group.ItemIndex(), -1);

    group.SetItemIndex(1);
    group.SetItemIndex(1);  // the current item again: nothing
    EXPECT_EQ(clicks, 1);

    group.SetItemIndex(7);  // beyond the last item selects the last
    EXPECT_EQ(group.ItemIndex(), 2);
    group.SetItemIndex(3);  // clamps to the current selection: nothing
    group.SetItemIndex(-5);
    EXPECT_EQ(group.ItemIndex(), -1);
    group.SetItemIndex(-1);
    EXPECT_EQ(shown, (std::vector<int>{1, 2, -1}));
    EXPECT_EQ(clicks, 3);
}

class OperationSetupTest : public ShellFixture {
protected:
    OperationSetupModel operationSetup{state.Settings, state.BoxPorts};
};

TEST_F(OperationSetupTest, FirstActivationShowsTheSettingsAndBringsThemIntoRange) {
    state.Settings.NumberOfEngines = 7;
    state.Settings.EGTCHTSplit = 2;
    state.Settings.SL30Port = 9;
    state.Settings.SL40Port = 0;
    operationSetup.FormActivate();

    EXPECT_EQ(operationSetup.EngineGroup.ItemIndex(), 4);
    EXPECT_STREQ(operationSetup.EngineGroup.Items()[4], "Four engines");
    EXPECT_EQ(state.Settings.NumberOfEngines, 4);
    EXPECT_EQ(operationSetup.SplitGroup.ItemIndex(), 2);
    EXPECT_EQ(operationSetup.Sl30PortGroup.ItemIndex(), 5);
    EXPECT_EQ(state.Settings.SL30Port, 5);
    EXPECT_EQ(operationSetup.Sl40PortGroup.ItemIndex(), 0);
    EXPECT_EQ(state.Settings.SL40Port, 0);
}

TEST_F(OperationSetupTest, EachChoiceIsStoredAtOnce) {
    operationSetup.FormActivate();
    operationSetup.EngineGroup.SetItemIndex(2);
    operationSetup.SplitGroup.SetItemIndex(3);
    operationSetup.Sl30PortGroup.SetItemIndex(4);
    operationSetup.Sl40PortGroup.SetItemIndex(1);
    EXPECT_EQ(state.Settings.NumberOfEngines, 2);
    EXPECT_EQ(state.Settings.EGTCHTSplit, 3);
    EXPECT_EQ(state.Settings.SL30Port, 4);
    EXPECT_EQ(state.Settings.SL40Port, 1);

    // Reactivated, the dialog shows the settings as they now are.
    state.Settings.NumberOfEngines = 1;
    operationSetup.FormActivate();
    EXPECT_EQ(operationSetup.EngineGroup.ItemIndex(), 1);
    EXPECT_EQ(operationSetup.Sl30PortGroup.ItemIndex(), 4);
}

TEST_F(OperationSetupTest, TheRadioPortMaskFollowsEveryPortChoice) {
    operationSetup.FormActivate();
    EXPECT_EQ(state.BoxPorts.RadioPortMask, 0);

    operationSetup.Sl30PortGroup.SetItemIndex(2);
    EXPECT_EQ(state.BoxPorts.RadioPortMask, 0x0002);
    operationSetup.Sl40PortGroup.SetItemIndex(5);
    EXPECT_EQ(state.BoxPorts.RadioPortMask, 0x0012);
    operationSetup.Sl40PortGroup.SetItemIndex(2);  // both on port 2
    EXPECT_EQ(state.BoxPorts.RadioPortMask, 0x0002);
    operationSetup.Sl30PortGroup.SetItemIndex(0);
    operationSetup.Sl40PortGroup.SetItemIndex(0);  // "Don't use" for both
    EXPECT_EQ(state.BoxPorts.RadioPortMask, 0);
}

class PortSetupTest : public ShellFixture {
protected:
    // The box's port open on COM4 with `nodes` listed.
    void OpenAt4(std::vector<PortNode> nodes) {
        listing.nodes = std::move(nodes);
        boxPort.Load(4, std::nullopt);
        boxPort.Start(0);
        boxLineControl.calls.clear();
    }

    PortSetupModel portSetup{boxPort};
};

TEST_F(PortSetupTest, ShowingTheDialogSelectsThePortWithoutTouchingIt) {
    boxPort.Load(5, std::nullopt);
    boxLineControl.calls.clear();
    state.Link.PortOpen = true;
    portSetup.FormShow();
    EXPECT_STREQ(portSetup.PortGroup.Items()[portSetup.PortGroup.ItemIndex()], "COM5");

    boxPort.Load(201, std::nullopt);  // beyond COM16: no item shows
    boxLineControl.calls.clear();
    portSetup.FormShow();
    EXPECT_EQ(portSetup.PortGroup.ItemIndex(), -1);
    EXPECT_EQ(state.Settings.CommsPort, 200);

    EXPECT_TRUE(boxLineControl.calls.empty());
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_TRUE(ui.messages.empty());
}

// The box on the old port commanded the servos: they are released first.
TEST_F(PortSetupTest, ChoosingAPortReleasesTheServosAndReopensItUnderItsName) {
    state.Servos.BankServoEngaged = true;
    state.Servos.BankEngageBit = 1;
    portSetup.FormShow();
    portSetup.PortGroup.SetItemIndex(11);
    EXPECT_FALSE(state.Servos.BankServoEngaged);
    EXPECT_EQ(view.log, (Strings{"Servos released: another port was chosen"}));
    EXPECT_EQ(boxLineControl.calls, (Strings{"Close", "SetDeviceName COM12", "Open"}));
    EXPECT_TRUE(boxLineControl.open);
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_EQ(state.Settings.CommsPort, 11);

    portSetup.PortGroup.SetItemIndex(11);  // the selected port again: nothing
    EXPECT_EQ(boxLineControl.calls.size(), 3u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PortSetupTest, AMissingPortIsReportedAndStillStored) {
    state.Link.PortOpen = true;
    boxLineControl.missingDevices = {"COM3"};
    portSetup.FormShow();
    portSetup.PortGroup.SetItemIndex(2);

    EXPECT_EQ(boxLineControl.calls, (Strings{"Close", "SetDeviceName COM3", "Open", "Close"}));
    EXPECT_EQ(ui.messages,
              (Strings{"The selected port COM3 is not available, please choose another if "
                       "possible or free this port if it is in use by another application."}));
    EXPECT_FALSE(boxLineControl.open);
    EXPECT_FALSE(state.Link.PortOpen);
    EXPECT_EQ(state.Settings.CommsPort, 2);
}

// A lost port (adapter pulled out) is retried until the user chooses a port:
// another one ends the retries, and the lost one itself, clicked again while
// selected, is chosen again at once. A click on the open port leaves it open.
TEST_F(PortSetupTest, ChoosingAPortEndsTheRetriesAndTheLostPortClickedAgainIsTriedAtOnce) {
    boxPort.Load(3, std::nullopt);
    boxPort.Start(0);
    portSetup.FormShow();
    boxLineControl.calls.clear();
    portSetup.PortGroupItemClick(2);  // the selected port, open: nothing
    EXPECT_TRUE(boxLineControl.calls.empty());

    boxPort.PortLost(1167, 0);
    boxLineControl.missingDevices = {"COM3"};
    portSetup.PortGroupItemClick(4);  // COM5
    EXPECT_EQ(boxLineControl.calls, (Strings{"Close", "SetDeviceName COM5", "Open"}));
    boxPort.Tick(5000);  // a later tick: COM3 is not tried again
    EXPECT_EQ(boxLineControl.calls.size(), 3u);
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_EQ(state.Settings.CommsPort, 4);

    boxPort.PortLost(22, 6000);
    boxLineControl.missingDevices = {"COM5"};
    boxLineControl.calls.clear();
    portSetup.PortGroupItemClick(4);  // COM5 again, while lost and still missing
    EXPECT_EQ(boxLineControl.calls, (Strings{"Close", "Open", "Close"}));
    EXPECT_EQ(boxPort.CurrentState(), BoxLinePort::State::Waiting);
    EXPECT_EQ(ui.messages.size(), 1u);
    boxLineControl.missingDevices.clear();
    portSetup.PortGroupItemClick(4);  // and once it is back
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_EQ(boxPort.CurrentState(), BoxLinePort::State::Open);
    EXPECT_EQ(state.Settings.CommsPort, 4);
}

// The list beside the group: the ports by name, the box's adapter marked;
// moving the selection opens nothing, activating a line chooses its port at
// any number, and the group then shows nothing above COM16.
TEST_F(PortSetupTest, TheListShowsThePortsByNameAndAnActivatedLineChoosesAnyNumber) {
    std::vector<std::string> lines;
    int selected = -2;
    portSetup.OnPortsShown = [&](const std::vector<std::string>& shown, int line) {
        lines = shown;
        selected = line;
    };
    OpenAt4({Cp2102("COM4", "01F3A9C2", 2), Ch340("COM20", 1),
             Node("LPT1", "ECP Printer Port (LPT1)", "ACPI\\PNP0401\\0")});
    portSetup.FormShow();
    portSetup.ShowPorts();
    EXPECT_EQ(lines, (Strings{"COM4 (the box's adapter): Silicon Labs CP210x USB to UART Bridge",
                              "COM20: USB-SERIAL CH340"}));
    EXPECT_EQ(selected, 0);

    portSetup.PortListSelected(1);  // arrowed to: nothing opens, and it stays selected
    EXPECT_TRUE(boxLineControl.calls.empty());
    portSetup.ShowPorts();
    EXPECT_EQ(selected, 1);
    portSetup.PortListActivated(0);  // the box's port, open: left as it is
    EXPECT_TRUE(boxLineControl.calls.empty());

    portSetup.PortListActivated(1);
    EXPECT_EQ(boxLineControl.calls, (Strings{"Close", "SetDeviceName COM20", "Open"}));
    EXPECT_EQ(state.Settings.CommsPort, 19);
    EXPECT_EQ(portSetup.PortGroup.ItemIndex(), -1);
    EXPECT_EQ(boxPort.Number(), 20u);
    portSetup.PortListActivated(0);  // back to COM4: the group shows it
    EXPECT_EQ(portSetup.PortGroup.ItemIndex(), 3);
    EXPECT_EQ(boxLineControl.calls.size(), 6u);
    EXPECT_EQ(boxPort.Number(), 4u);
}

TEST_F(PortSetupTest, AnyOtherFailurePassesOnAndLeavesThePortSettingAlone) {
    boxPort.Load(2, std::nullopt);
    boxLineControl.brokenDevices = {"COM4"};
    portSetup.FormShow();
    EXPECT_THROW(portSetup.PortGroup.SetItemIndex(3), std::runtime_error);
    EXPECT_EQ(state.Settings.CommsPort, 1);
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace bridge::testing
