// What the serial component makes of failed waits on the port, checked
// without a port.
#include <gtest/gtest.h>

#include "platform/serial/wait_failures.h"

namespace bridge {
namespace {

using Verdict = WaitFailures::Verdict;

TEST(WaitFailures, AbortsAreWaitedPastUnlessAFewComeInARowOrTheStatusSaysTheDeviceIsGone) {
    WaitFailures f;
    EXPECT_EQ(f.Judge(kErrorOperationAborted, 0), Verdict::WaitAgain);
    EXPECT_EQ(f.Judge(kErrorOperationAborted, 0), Verdict::WaitAgain);
    f.WaitSucceeded();  // no longer in a row
    EXPECT_EQ(f.Judge(kErrorOperationAborted, 0), Verdict::WaitAgain);
    // A status query that failed, but not because the device is gone.
    EXPECT_EQ(f.Judge(kErrorOperationAborted, 87), Verdict::WaitAgain);
    EXPECT_EQ(f.Judge(kErrorOperationAborted, 0), Verdict::PortLost);
    EXPECT_EQ(f.LostError(), kErrorOperationAborted);

    WaitFailures g;
    EXPECT_EQ(g.Judge(kErrorOperationAborted, 21), Verdict::PortLost);  // not ready: gone
    EXPECT_EQ(g.LostError(), 21u);
}

TEST(WaitFailures, RemovalErrorsAreALossAndOtherFailuresStopTheWaiting) {
    for (std::uint32_t gone : {5u, 21u, 22u, 31u, 109u, 1167u}) {
        WaitFailures f;
        EXPECT_EQ(f.Judge(gone, 0), Verdict::PortLost) << gone;
        EXPECT_EQ(f.LostError(), gone);
    }
    for (std::uint32_t other : {1u, 6u, 50u, 87u}) {  // no event support, bad handle, ...
        WaitFailures f;
        EXPECT_EQ(f.Judge(other, 0), Verdict::StopWaiting) << other;
    }
}

}  // namespace
}  // namespace bridge
