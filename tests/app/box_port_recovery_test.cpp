#include "app/box_port_recovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/shell_fixture.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

class BoxPortRecoveryTest : public ShellFixture {
protected:
    BoxPortRecoveryTest() {
        boxPortControl.deviceName = "COM3";
        Bridge.PortOpen = true;
    }
};

// Pulled out: one log line, PortOpen clear, and a retry about every second
// (failing quietly, the port not left half open) until the device is back;
// then one line, and nothing more.
TEST_F(BoxPortRecoveryTest, ALostPortIsLoggedOnceAndRetriedQuietlyUntilItOpens) {
    boxPortControl.missingDevices = {"COM3"};
    portRecovery.PortLost(1167);
    EXPECT_FALSE(Bridge.PortOpen);
    EXPECT_EQ(view.log, (Strings{"Lost the box's port COM3 (error 1167), trying to reopen it"}));
    EXPECT_EQ(Bridge.LogLine, view.log.back());
    EXPECT_TRUE(retryTimer.running);
    EXPECT_EQ(retryTimer.intervalMs, 1000u);

    portRecovery.Retry();
    portRecovery.Retry();
    EXPECT_EQ(boxPortControl.calls, (Strings{"Open", "Close", "Open", "Close"}));
    EXPECT_EQ(view.log.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(retryTimer.running);

    boxPortControl.missingDevices.clear();
    portRecovery.Retry();
    EXPECT_TRUE(Bridge.PortOpen);
    EXPECT_FALSE(retryTimer.running);
    EXPECT_EQ(view.log.back(), "Reopened the box's port COM3");
    EXPECT_EQ(view.log.size(), 2u);
    boxPortControl.calls.clear();
    portRecovery.Retry();  // a tick already queued: the port stays as it is
    EXPECT_TRUE(boxPortControl.calls.empty());
}

// Closing the window while the port is lost: no retry reopens it meanwhile,
// nor after a loss that comes during the close.
TEST_F(BoxPortRecoveryTest, ClosingTheWindowEndsTheRetries) {
    portRecovery.PortLost(5);
    portRecovery.WindowClosing();
    EXPECT_FALSE(retryTimer.running);
    portRecovery.Retry();
    EXPECT_TRUE(boxPortControl.calls.empty());
    EXPECT_FALSE(Bridge.PortOpen);

    Bridge.PortOpen = true;
    portRecovery.PortLost(5);
    EXPECT_FALSE(Bridge.PortOpen);
    EXPECT_FALSE(retryTimer.running);
    EXPECT_EQ(view.log.size(), 2u);
}

}  // namespace
}  // namespace bridge::testing
