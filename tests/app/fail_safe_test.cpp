// The controls handed back at close, and the simulator found again without a
// click. (The servos released at an unplug and at a sleep are checked end to
// end, tests/e2e.)
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/settings/settings_file.h"
#include "app/shell/bridge_shell.h"
#include "boxlink/receiver.h"
#include "core/variable_map.h"
#include "tests/app/shell_fixture.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

class FailSafeTest : public ShellFixture {
protected:
    FailSafeTest() { state.Link.SimLinkUp = true; }

    // Started with the box's port open on COM3, its traces cleared.
    void StartOnCom3() {
        WriteFile(SettingsFilePath(Folder()).string(), "[Setup]\r\nCommsPort=2\r\n");
        shell.Start();
        view.log.clear();
        boxLineControl.calls.clear();
    }

    void Command(int servo, bool engage) {
        const auto frame = boxproto::ServoCommandFrame(servo, engage, 512);
        port.Receive(frame);
        receiver.ReceiveEvent(port, static_cast<std::int32_t>(frame.size()));
    }
    std::uint8_t Disconnect() const { return sim.Get<std::uint8_t>(offsets::kControlsDisconnect); }
    // Whether the last exchange wrote to `offset`.
    bool Wrote(std::uint32_t offset) const {
        for (std::size_t i = 0; i < sim.lastExchangeSize; ++i) {
            if (sim.lastExchange[i].offset == offset && sim.lastExchange[i].write) return true;
        }
        return false;
    }
    // Whether the shell's tick at `now` tried the simulator.
    bool Tried(std::uint64_t now) {
        const int checks = simLink.checks;
        shell.Tick(now);
        return simLink.checks > checks;
    }
};

// Closing with a servo engaged: the stop's exchange writes 0 and reads the
// inputs, without a line; with the link down nothing is sent.
TEST_F(FailSafeTest, ClosingWithAServoEngagedHandsTheControlsBackInTheLastExchange) {
    Command(2, true);
    cycle.Tick();
    ASSERT_EQ(Disconnect(), 1);
    const std::size_t exchanges = sim.exchanges;
    ASSERT_TRUE(shell.CloseRequested());
    EXPECT_EQ(sim.exchanges, exchanges + 1);
    EXPECT_EQ(Disconnect(), 0);
    EXPECT_FALSE(Wrote(offsets::kElevator));
    EXPECT_FALSE(state.Servos.PitchServoEngaged);
    EXPECT_EQ(view.pitchLabel, "Not engaged");
    EXPECT_TRUE(view.log.empty());

    sim.Set<std::uint8_t>(offsets::kControlsDisconnect, 3);
    state.Servos.ControlsDisconnect = 3;
    state.Link.SimLinkUp = false;
    view.timerEnabled = true;
    ASSERT_TRUE(shell.CloseRequested());
    EXPECT_EQ(sim.exchanges, exchanges + 1);
}

// The box can no longer command the servos once its port is lost, nor when
// Windows goes to sleep: both let go at once, engage bits included, and before
// a sleep, where no tick may follow, the controls are handed back at once.
TEST_F(FailSafeTest, ALostPortAndASleepReleaseTheServosAndASleepHandsTheControlsBack) {
    StartOnCom3();
    Command(1, true);
    Command(2, true);
    cycle.Tick();
    ASSERT_EQ(Disconnect(), 3);
    shell.PortLost(1167, 1000);
    EXPECT_FALSE(state.Servos.BankServoEngaged || state.Servos.PitchServoEngaged);
    EXPECT_EQ(view.log.back(), "Servos released: the box's port was lost");
    Command(1, true);  // recomputes both flags from the bits: pitch stays free
    EXPECT_FALSE(state.Servos.PitchServoEngaged);
    cycle.Tick();
    ASSERT_EQ(Disconnect(), 2);

    const std::size_t exchanges = sim.exchanges;
    shell.Suspend(2000);
    EXPECT_EQ(sim.exchanges, exchanges + 1);
    EXPECT_EQ(Disconnect(), 0);
    EXPECT_EQ(view.log.back(), "Servos released: Windows is going to sleep");
}

// The link down from start: quiet tries from 10 s on; a server window that
// refuses the handshake doubles the wait up to a minute, no server window
// keeps 10 s, a hung one is not tried; a press starts again at 10 s.
TEST_F(FailSafeTest, AutomaticTriesBackOffQuietlyAndConnectWithALine) {
    simLink.failWith = SimLinkResult::NoSimOnServer;
    shell.Start();  // the start's own try fails
    simLink.openRequests.clear();
    view.log.clear();
    // A tick nested in a try's opening exchange makes no second try.
    simLink.onOpen = [this] { EXPECT_FALSE(Tried(1'000'000)); };
    std::vector<std::uint64_t> tries;
    for (std::uint64_t now = 0; now <= 200'000; now += 50) {
        if (now == 150'000) simLink.check = ServerCheck::Hung;
        if (Tried(now)) tries.push_back(now);
    }
    EXPECT_EQ(tries, (std::vector<std::uint64_t>{10'000, 30'000, 70'000, 130'000, 190'000}));
    EXPECT_EQ(simLink.openRequests.size(), 4u);
    EXPECT_TRUE(view.log.empty());

    simLink.check = ServerCheck::NoWindow;
    shell.DeviceChanged(true, 200'000);  // a new device: 10 s again
    EXPECT_FALSE(Tried(209'950));
    EXPECT_TRUE(Tried(210'000));
    EXPECT_TRUE(Tried(220'000));
    simLink.check = ServerCheck::Answers;
    simLink.failWith.reset();
    EXPECT_TRUE(Tried(230'000));
    EXPECT_EQ(view.log, (Strings{"Connected to FS2004"}));
    EXPECT_FALSE(Tried(300'000));
}

// Windows sends an automatic resume and, once the user is back, another: the
// port is reopened once a sleep. An automatic resume without a suspend we
// were told of (a suspend message lost) is answered all the same.
TEST_F(FailSafeTest, EachSleepReopensThePortOnceAndALoneAutomaticResumeToo) {
    StartOnCom3();
    const auto reopened = [this] {
        return std::count(view.log.begin(), view.log.end(),
                          "Windows resumed: reopening the box's port COM3");
    };
    shell.Resume(false, 1000);  // the user is back, with no sleep before: nothing
    EXPECT_EQ(reopened(), 0);
    shell.Suspend(1500);
    shell.Resume(true, 2000);
    shell.Resume(false, 2100);
    EXPECT_EQ(reopened(), 1);
    shell.Resume(true, 3000);
    EXPECT_EQ(reopened(), 2);
    shell.Suspend(3200);
    shell.Resume(false, 3500);  // the user's resume alone (the automatic one lost)
    EXPECT_EQ(reopened(), 3);
    EXPECT_EQ(std::count(boxLineControl.calls.begin(), boxLineControl.calls.end(), "Open"), 3);

    // No port to reopen (a choice failed otherwise than the port's): the line
    // says so, and nothing is opened.
    boxLineControl.brokenDevices = {"COM5"};
    EXPECT_THROW(shell.PortChosen(4), std::runtime_error);
    view.log.clear();
    shell.Resume(true, 4000);
    EXPECT_EQ(view.log,
              (Strings{"Windows resumed: the box's port was not open, none is reopened"}));
    EXPECT_EQ(std::count(boxLineControl.calls.begin(), boxLineControl.calls.end(), "Open"), 4);
}

}  // namespace
}  // namespace bridge::testing
