#include "app/fail_safe/box_line_recovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/shell_fixture.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

class BoxLineRecoveryTest : public ShellFixture {
protected:
    BoxLineRecoveryTest() {
        boxLineControl.deviceName = "COM3";
        state.Link.PortOpen = true;
    }
};

// Pulled out: one log line, PortOpen clear, and a retry from the tick about
// every second (failing quietly, the port not left half open) until the
// device is back; then one line, and nothing more.
TEST_F(BoxLineRecoveryTest, ALostPortIsLoggedOnceAndRetriedQuietlyEverySecondUntilItOpens) {
    boxLineControl.missingDevices = {"COM3"};
    portRecovery.PortLost(1167, 5000);
    EXPECT_FALSE(state.Link.PortOpen);
    EXPECT_EQ(view.log, (Strings{"Lost the box's port COM3 (error 1167), trying to reopen it"}));
    EXPECT_EQ(state.Link.LogLine, view.log.back());

    for (std::uint64_t now = 5000; now < 8000; now += 50) portRecovery.Retry(now);  // ticks
    EXPECT_EQ(boxLineControl.calls, (Strings{"Open", "Close", "Open", "Close"}));  // at 6 s and 7 s
    EXPECT_EQ(view.log.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    boxLineControl.calls.clear();
    portRecovery.RetryNow();  // a device arrived: at once
    EXPECT_EQ(boxLineControl.calls, (Strings{"Open", "Close"}));

    boxLineControl.missingDevices.clear();
    portRecovery.Retry(8000);
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_FALSE(portRecovery.Lost());
    EXPECT_EQ(view.log.back(), "Reopened the box's port COM3");
    EXPECT_EQ(view.log.size(), 2u);
    boxLineControl.calls.clear();
    portRecovery.Retry(20000);
    portRecovery.RetryNow();
    EXPECT_TRUE(boxLineControl.calls.empty());
}

// Closing the window while the port is lost: no retry reopens it meanwhile;
// a loss that comes during the close is logged without the promise of a retry.
TEST_F(BoxLineRecoveryTest, ClosingTheWindowEndsTheRetries) {
    portRecovery.PortLost(5, 0);
    portRecovery.WindowClosing();
    portRecovery.Retry(5000);
    portRecovery.RetryNow();
    EXPECT_TRUE(boxLineControl.calls.empty());
    EXPECT_FALSE(state.Link.PortOpen);

    state.Link.PortOpen = true;
    portRecovery.PortLost(5, 6000);
    EXPECT_FALSE(state.Link.PortOpen);
    EXPECT_FALSE(portRecovery.Lost());
    EXPECT_EQ(view.log.back(), "Lost the box's port COM3 (error 5)");
    EXPECT_EQ(view.log.size(), 2u);
}

}  // namespace
}  // namespace bridge::testing
