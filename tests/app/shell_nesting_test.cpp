// Events nested in the simulator link's exchanges, through the shell with the
// real link client over an in-memory system: the transport's send runs what
// the window thread would dispatch while it waits (a tick, a resume, a click).
// No automatic try may run inside the close, and no open of the link inside
// another.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/shell/bridge_shell.h"
#include "simlink/sim_link_client.h"
#include "tests/app/temp_folder.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_box_line_control.h"
#include "tests/support/fake_message_pump.h"
#include "tests/support/fake_shell_ui.h"
#include "tests/support/fake_sim_transport.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

// The link client as the shell opens it; the server window answers the quick
// check when the in-memory system has one.
class ClientConnection : public SimLinkConnection {
public:
    ClientConnection(SimLinkClient& client, FakeSimTransport& transport)
        : client_(client), transport_(transport) {}
    ServerCheck CheckServer() override {
        return transport_.uipcWindow ? ServerCheck::Answers : ServerCheck::NoWindow;
    }
    bool Open(std::int32_t requested, SimLinkResult& result) override {
        return client_.Open(requested, result);
    }
    void Close() override { client_.Close(); }
    bool IsOpen() const override { return client_.IsOpen(); }
    std::uint32_t SimulatorId() const override { return client_.SimulatorId(); }
    std::uint32_t LastSendError() const override { return client_.LastSendError(); }

private:
    SimLinkClient& client_;
    FakeSimTransport& transport_;
};

class ShellNestingTest : public ::testing::Test, protected TempFolder {
protected:
    static constexpr std::uint64_t kStart = 100'000;
    static constexpr std::uint64_t kTryDue = kStart + SimLinkRetry::kFirstWaitMs;

    ShellNestingTest() {
        transport.recordCalls = false;
        transport.duringSend = [this] {
            if (!inSend) return;
            auto nested = std::move(inSend);
            inSend = nullptr;
            nested();
        };
        pump.TickWith([this] { shell.Tick(nowMs += 50); });
    }

    // Running with the link down: the start found no simulator, the first
    // tick started the automatic tries, and the simulator is there now.
    void StartWithTheLinkDown() {
        transport.uipcWindow = false;
        shell.Start();
        shell.Tick(nowMs = kStart);
        transport.uipcWindow = true;
        view.log.clear();
    }
    // The server counts the client's stamp written at each handshake.
    std::uint32_t Handshakes() const { return transport.server.stampWrites(); }
    bool Logged(const std::string& part) const {
        return std::any_of(view.log.begin(), view.log.end(),
                           [&](const std::string& line) { return line.find(part) == 0; });
    }

    FakeSimTransport transport;
    SimLinkClient client{&transport};
    ClientConnection connection{client, transport};
    FakeView view;
    FakeBoxLine line;
    FakeBoxLineControl boxLineControl;
    FakeShellUi ui;
    TestBridge bridge{client, view};
    FakeMessagePump pump{bridge.cycle, view};
    BridgeShell shell{bridge,
                      ShellOutside{line, boxLineControl, connection, view, ui, ui, pump, ui, ui},
                      SettingsLocation(Folder(), {}), Folder()};
    std::uint64_t nowMs = 0;
    std::function<void()> inSend;  // runs once, inside the next send
};

// The tick that answers the close's stop request, with a try due in it; and
// a resume sent while the box's port closes: neither tries the simulator.
TEST_F(ShellNestingTest, NoTryInTheTickThatAnswersTheClose) {
    StartWithTheLinkDown();
    const std::uint32_t handshakes = Handshakes();
    nowMs = kTryDue - 10;  // the answering tick comes 40 ms after the try fell due
    ASSERT_TRUE(shell.CloseRequested());
    EXPECT_EQ(Handshakes(), handshakes);
    EXPECT_FALSE(Logged("Connected to"));
}

TEST_F(ShellNestingTest, NoTryForAResumeInsideThePortsClose) {
    StartWithTheLinkDown();
    const std::uint32_t handshakes = Handshakes();
    boxLineControl.onClose = [this] { shell.Resume(true, nowMs); };
    ASSERT_TRUE(shell.CloseRequested());
    EXPECT_EQ(Handshakes(), handshakes);
    EXPECT_FALSE(Logged("Connected to"));
}

// A tick with a try due, and a resume, dispatched while Reconnect's opening
// exchange waits; and a Reconnect click sent into an automatic try's
// exchange. Each open ends connected, with one handshake, never with "link
// not Open" or "already Open".
TEST_F(ShellNestingTest, NoOpenInsideAnOpen) {
    for (const auto& nested : std::vector<std::function<void()>>{
             [this] { shell.Tick(kTryDue); },
             [this] { shell.Resume(true, kTryDue); },
         }) {
        StartWithTheLinkDown();
        const std::uint32_t handshakes = Handshakes();
        inSend = nested;
        shell.ReconnectClick(kTryDue - 20);
        EXPECT_FALSE(Logged("Cannot connect")) << view.log.back();
        EXPECT_EQ(view.log.back(), "Connected to FS2004");
        EXPECT_EQ(Handshakes(), handshakes + 1);
        EXPECT_TRUE(bridge.state.Link.SimLinkUp);
        client.Close();
        bridge.state.Link.SimLinkUp = false;
    }

    StartWithTheLinkDown();
    const std::uint32_t handshakes = Handshakes();
    inSend = [this] { shell.ReconnectClick(kTryDue); };
    shell.Tick(kTryDue);  // the automatic try
    EXPECT_EQ(view.log, Strings{"Connected to FS2004"});
    EXPECT_EQ(Handshakes(), handshakes + 1);
    EXPECT_TRUE(bridge.state.Link.SimLinkUp);
}

// Windows' sleep message inside a tick's exchange: the link takes no request
// then, so the controls are handed back by the next tick, and nothing counts
// as a request the link refused (a count that stays 0 but for a fault).
TEST_F(ShellNestingTest, ASleepInsideATicksExchangeCountsNoRefusedRequest) {
    shell.Start();
    ASSERT_TRUE(bridge.state.Link.SimLinkUp);
    bridge.state.Servos.BankServoEngaged = true;
    bridge.state.Servos.BankEngageBit = 1;
    shell.Tick(1000);  // takes the aileron
    ASSERT_NE(bridge.state.Servos.ControlsDisconnect, 0);
    inSend = [this] { shell.Suspend(1050); };
    shell.Tick(1050);
    EXPECT_EQ(bridge.cycle.Requests().RequestsNotQueued(), 0u);
    shell.Tick(1100);
    EXPECT_EQ(bridge.state.Servos.ControlsDisconnect, 0);
}

}  // namespace
}  // namespace bridge::testing
