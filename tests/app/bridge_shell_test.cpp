#include "app/shell/bridge_shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/settings/settings_file.h"
#include "tests/app/shell_fixture.h"
#include "tests/support/port_fixtures.h"
#include "tests/support/without_file_override.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kNoSimulator =
    "Cannot connect to Flight Simulator - Cannot link to FSUIPC or WideClient";

class BridgeShellTest : public ShellFixture {
protected:
    // Running, the start's own try failed and its traces cleared.
    void StartWithoutSimulator() {
        simLink.failWith = SimLinkResult::NoServer;
        shell.Start();
        simLink.failWith.reset();
        simLink.openRequests.clear();
        view.log.clear();
    }

    std::string settingsPath = SettingsFilePath(Folder()).string();
};

TEST_F(BridgeShellTest, StartsWithoutSettingsOnCom1At115200AndTriesTheSimulatorOnce) {
    state.Settings.CommsPort = 6;
    simLink.failWith = SimLinkResult::NoServer;
    shell.Start();

    EXPECT_EQ(boxLineControl.calls, (Strings{"SetDeviceName COM1", "SetBaudRate 115200", "Open"}));
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_EQ(simLink.openRequests, (std::vector<std::int32_t>{0}));
    EXPECT_EQ(view.log, (Strings{kNoSimulator}));
    EXPECT_EQ(state.Link.LogLine, kNoSimulator);
    EXPECT_FALSE(state.Link.SimLinkUp);
    EXPECT_TRUE(view.reconnectEnabled);
    EXPECT_EQ(state.Engines.EngineAddressBase, 32);
    EXPECT_TRUE(ui.messages.empty());

    shell.ReconnectClick(nowMs);  // tries again and logs again
    EXPECT_EQ(simLink.openRequests.size(), 2u);
    EXPECT_EQ(view.log, (Strings{kNoSimulator, kNoSimulator}));
}

TEST_F(BridgeShellTest, ABusyPortIsReportedAndStartUpGoesOn) {
    WriteFile(settingsPath, "[Setup]\r\nCommsPort=2\r\nNumberOfEngines=2\r\n");
    boxLineControl.missingDevices = {"COM3"};
    shell.Start();

    EXPECT_EQ(boxLineControl.calls,
              (Strings{"SetDeviceName COM3", "SetBaudRate 115200", "Open", "Close"}));
    EXPECT_EQ(ui.messages,
              (Strings{"The selected port COM3 is not available, please choose another if "
                       "possible or free this port if it is in use by another application."}));
    EXPECT_FALSE(state.Link.PortOpen);
    EXPECT_EQ(state.Settings.NumberOfEngines, 2);
    EXPECT_EQ(view.log,
              (Strings{"COM3 does not exist (error 2)",
                       "Waiting for the box's port COM3: it is opened as soon as it can be",
                       "Connected to FS2004"}));
    EXPECT_EQ(state.Engines.EngineAddressBase, 32);

    // The other reasons; the system's text loses its line end.
    const std::vector<std::pair<std::int32_t, std::string>> reasons = {
        {5, "COM3 is used by another program (error 5)"},
        {-1, "COM3 is not a serial port"},
        {31, "COM3: System text 31. (error 31)"}};
    for (const auto& [code, line] : reasons)
        EXPECT_EQ(PortOpenFailureLine(boxLineControl, code), line);
}

TEST_F(BridgeShellTest, StartUpComputesTheRadioPortMaskFromTheSettings) {
    WriteFile(settingsPath, "[Setup]\r\nSL30Port=1\r\nSL40Port=3\r\n");
    state.BoxPorts.RadioPortMask = 0xFFFF;
    shell.Start();
    EXPECT_EQ(state.BoxPorts.RadioPortMask, 0x0005);
}

TEST_F(BridgeShellTest, ConnectingNamesTheSimulatorAndDisablesReconnect) {
    StartWithoutSimulator();
    simLink.simulatorId = 7;
    shell.ReconnectClick(nowMs);
    EXPECT_EQ(view.log, (Strings{"Connected to FS2004"}));
    EXPECT_TRUE(state.Link.SimLinkUp);
    EXPECT_FALSE(view.reconnectEnabled);
}

TEST_F(BridgeShellTest, ReconnectingClosesTheStaleLinkAndKeepsTicksOffItMeanwhile) {
    StartWithoutSimulator();
    shell.ReconnectClick(nowMs);
    sim.failNext = SimLinkResult::TimedOut;
    cycle.Tick();  // the exchange fails: the link is marked down but stays open
    ASSERT_FALSE(state.Link.SimLinkUp);
    ASSERT_TRUE(view.reconnectEnabled);

    // A tick nested in the opening exchange must leave the link alone.
    std::vector<bool> linkUpDuringOpen;
    simLink.onOpen = [&] {
        linkUpDuringOpen.push_back(state.Link.SimLinkUp);
        cycle.Tick();
    };
    shell.ReconnectClick(nowMs);
    EXPECT_EQ(simLink.closes, 1);
    EXPECT_EQ(view.log,
              (Strings{"Connected to FS2004", "FlightSim problem: IPC timed out all retries",
                       "Connected to FS2004"}));
    EXPECT_TRUE(state.Link.SimLinkUp);
    EXPECT_FALSE(view.reconnectEnabled);

    shell.ReconnectClick(nowMs);  // even from a working link
    EXPECT_EQ(simLink.closes, 2);
    EXPECT_EQ(linkUpDuringOpen, (std::vector<bool>{false, false}));
    EXPECT_EQ(sim.exchanges, 0u);
}

TEST_F(BridgeShellTest, ClosingStopsTheCycleThenClosesThePortAndSavesTheSettings) {
    shell.Start();
    ASSERT_TRUE(state.Link.SimLinkUp);
    int ticksAtPortClose = -1;
    bool timerAtPortClose = true;
    boxLineControl.onClose = [&] {
        ticksAtPortClose = pump.ticks;
        timerAtPortClose = view.timerEnabled;
    };
    state.Settings.CommsPort = 4;  // chosen in the dialogs meanwhile
    state.Settings.SL30Port = 1;
    state.Settings.SL40Port = 2;
    state.Settings.EGTCHTSplit = 3;
    state.Settings.NumberOfEngines = 4;

    EXPECT_TRUE(shell.CloseRequested());
    EXPECT_EQ(pump.ticks, 1);
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_FALSE(state.Link.StopRequested);
    EXPECT_FALSE(state.Link.SimLinkUp);
    EXPECT_EQ(sim.exchanges, 0u);  // the stopping tick exchanges nothing
    EXPECT_EQ(ticksAtPortClose, 1);
    EXPECT_FALSE(timerAtPortClose);
    EXPECT_FALSE(boxLineControl.open);
    EXPECT_EQ(FileText(settingsPath),
              "[Setup]\r\nCommsPort=4\r\nSL30Port=1\r\nSL40Port=2\r\nEGTCHTSplit=3\r\n"
              "NumberOfEngines=4\r\n");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BridgeShellTest, ClosingWithoutAnOpenPortLeavesThePortAlone) {
    boxLineControl.missingDevices = {"COM1"};
    shell.Start();
    boxLineControl.calls.clear();
    ui.messages.clear();

    EXPECT_TRUE(shell.CloseRequested());
    EXPECT_TRUE(boxLineControl.calls.empty());
    EXPECT_TRUE(std::filesystem::exists(settingsPath));
}

TEST_F(BridgeShellTest, AFailedSaveKeepsTheWindowOpenOnceAndASecondCloseEndsWithoutATick) {
    const std::string unwritable = PathOf("missing/VELMORA.INI");
    const std::unique_ptr<BridgeShell> other = MakeShell(PathOf("missing"));
    other->Start();

    EXPECT_FALSE(other->CloseRequested());
    EXPECT_EQ(ui.messages, (Strings{"Unable to write to " + unwritable}));
    EXPECT_FALSE(view.timerEnabled);
    EXPECT_EQ(boxLineControl.calls.back(), "Close");
    const int callsAfterFirstClose = pump.calls;

    // The user has been told; the second close ends the program, without
    // pumping for a tick that never comes and without a second message.
    EXPECT_TRUE(other->CloseRequested());
    EXPECT_EQ(pump.calls, callsAfterFirstClose);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(std::count(boxLineControl.calls.begin(), boxLineControl.calls.end(), "Close"), 1);
    EXPECT_FALSE(std::filesystem::exists(unwritable));

    // A close that can write after all saves the settings.
    std::filesystem::create_directory(PathOf("missing"));
    EXPECT_TRUE(other->CloseRequested());
    EXPECT_TRUE(std::filesystem::exists(unwritable));
}

// A settings file that cannot be read but could be written (this user may not
// read it; another program holds it sharing writes only) is not taken for an
// empty one: the save is refused as for a file that cannot be written, and
// the user's file keeps every byte.
TEST_F(BridgeShellTest, ASettingsFileThatCannotBeReadIsLeftAsItWas) {
    const std::string users = "; the user's own\r\n[Setup]\r\nCommsPort=2\r\n[Other]\r\nKey=1\r\n";
    WriteFile(settingsPath, users);
    ASSERT_EQ(::chmod(settingsPath.c_str(), 0200), 0);
    {
        const WithoutFileOverride asAUser;
        shell.Start();
        EXPECT_FALSE(shell.CloseRequested());
        EXPECT_TRUE(shell.CloseRequested());
    }
    EXPECT_EQ(ui.messages, (Strings{"Unable to write to " + settingsPath}));
    ASSERT_EQ(::chmod(settingsPath.c_str(), 0644), 0);
    EXPECT_EQ(FileText(settingsPath), users);
}

// The totals every ten minutes; after a long sleep once, then ten minutes
// on, not once a tick until the schedule caught up. The log file's failure
// is told once in the window's log.
TEST_F(BridgeShellTest, TheTotalsComeEveryTenMinutesAndOnceAfterALongSleep) {
    const std::uint64_t every = TotalsSchedule::kEveryMs;
    shell.Tick(0);
    shell.Tick(every - 50);
    EXPECT_EQ(ui.totalsRecorded, 0);
    shell.Tick(every);
    EXPECT_EQ(ui.totalsRecorded, 1);
    const std::uint64_t woke = 5 * 3600 * 1000;  // five hours asleep
    ui.recordFailureLine = "Cannot write the log file C:\\logs";
    for (std::uint64_t now = woke; now < woke + every; now += 50) shell.Tick(now);
    EXPECT_EQ(ui.totalsRecorded, 2);
    shell.Tick(woke + every);
    EXPECT_EQ(ui.totalsRecorded, 3);
    EXPECT_EQ(view.log, (Strings{"Cannot write the log file C:\\logs"}));
}

// A simulator run as administrator does not take the messages of a bridge
// that is not (the send fails with system error 5): the log says what to do.
TEST_F(BridgeShellTest, BlockedMessagesAddTheHintOnRights) {
    const std::string failed =
        "Cannot connect to Flight Simulator - IPC sendmessage failed all retries";
    StartWithoutSimulator();
    simLink.failWith = SimLinkResult::SendFailed;
    simLink.lastSendError = 1400;
    shell.ReconnectClick(nowMs);
    EXPECT_EQ(view.log, (Strings{failed}));

    simLink.lastSendError = 5;
    shell.ReconnectClick(nowMs);
    ASSERT_EQ(view.log.size(), 3u);
    EXPECT_EQ(view.log[1], failed);
    EXPECT_EQ(view.log[2], state.Link.LogLine);
    EXPECT_NE(view.log[2].find("higher rights"), std::string::npos);
    EXPECT_EQ(ConnectFailureHint(SimLinkResult::TimedOut, 5), nullptr);
}

// The box's adapter, kept in the settings file, found under a new number at
// start and at a resume: the port opens there with no message box, and the
// settings file keeps the new number, in CommsPort and the identity alike.
TEST_F(BridgeShellTest, TheBoxAdapterIsFollowedAtStartAndResumeAndItsNumberKept) {
    WriteFile(settingsPath,
              "[Setup]\r\nCommsPort=3\r\n[BoxAdapter]\r\nPort=COM4\r\nVendorId=10C4\r\n"
              "ProductId=EA60\r\nSerialNumber=01F3A9C2\r\nInstanceId=USB\\VID_10C4&PID_EA60\\"
              "01F3A9C2\r\n");
    FakePortListing listing;
    listing.nodes = {Ch340("COM4", 1), Cp2102("COM7", "01F3A9C2", 3)};
    ShellOutside outside = Outside();
    outside.ports = &listing;
    BridgeShell adapterShell{bridge, outside, SettingsLocation(Folder(), {}), Folder()};
    adapterShell.Start();
    EXPECT_EQ(boxLineControl.calls,
              (Strings{"SetDeviceName COM4", "SetBaudRate 115200", "SetDeviceName COM7", "Open"}));
    EXPECT_EQ(state.Settings.CommsPort, 6);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view.log.front(),
              "The box's adapter Silicon Labs CP210x USB to UART Bridge (serial "
              "01F3A9C2) is now COM7, was COM4");

    boxLineControl.calls.clear();
    listing.nodes = {Cp2102("COM9", "01F3A9C2", 5)};
    adapterShell.Suspend(4000);
    adapterShell.Resume(true, 5000);
    EXPECT_EQ(boxLineControl.calls, (Strings{"Close", "SetDeviceName COM9", "Open"}));
    EXPECT_EQ(view.log.end()[-2], "Windows resumed: reopening the box's port COM9");
    EXPECT_EQ(view.log.back().rfind("The box's adapter", 0), 0u);

    // Lost, and listed under COM11 just as the window closes: the close wait's
    // ticks do not rename the port it closes.
    pump.TickWith([&] { adapterShell.Tick(nowMs += 50); });
    boxLineControl.missingDevices = {"COM9"};
    adapterShell.PortLost(1167, 6000);
    listing.nodes = {Cp2102("COM11", "01F3A9C2", 6)};
    adapterShell.DeviceChanged(true, 6000);
    nowMs = 7000;
    EXPECT_TRUE(adapterShell.CloseRequested());
    EXPECT_EQ(boxLineControl.deviceName, "COM9");
    const std::string saved = FileText(settingsPath);
    EXPECT_NE(saved.find("CommsPort=8\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[BoxAdapter]\r\nPort=COM9\r\n"), std::string::npos) << saved;
}

}  // namespace
}  // namespace bridge::testing
