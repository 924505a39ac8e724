// The box's port with its one owner, on device lists written as fixtures:
// where it opens at start, what it waits for, its retries, and the message
// box it takes down.
#include "app/box_line_port/box_line_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/app/shell_fixture.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

class BoxLinePortTest : public ShellFixture {
protected:
    // Open at COM<number> with `nodes` listed: the adapter's identity taken.
    void OpenAt(unsigned number, std::vector<PortNode> nodes) {
        listing.nodes = std::move(nodes);
        boxPort.Load(number, std::nullopt);
        boxPort.Start(0);
        ASSERT_TRUE(state.Link.PortOpen);
        boxLineControl.calls.clear();
    }
    void TickUntil(std::uint64_t endMs) {
        for (; nowMs < endMs; nowMs += 50) boxPort.Tick(nowMs);
    }
    bool Logged(const std::string& start) const {
        return std::any_of(view.log.begin(), view.log.end(),
                           [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    }
    std::size_t Count(const std::string& call) const {
        return static_cast<std::size_t>(
            std::count(boxLineControl.calls.begin(), boxLineControl.calls.end(), call));
    }
};

// Pulled out: one log line, PortOpen clear, and a retry from the tick about
// every second (failing quietly, the port not left half open) until the
// device is back; then one line, and nothing more. A device change opens
// nothing until a tick has listed the ports.
TEST_F(BoxLinePortTest, ALostPortIsLoggedOnceAndRetriedQuietlyEverySecondUntilItOpens) {
    OpenAt(3, {});
    boxLineControl.missingDevices = {"COM3"};
    boxPort.PortLost(1167, 5000);
    EXPECT_FALSE(state.Link.PortOpen);
    EXPECT_EQ(view.log, (Strings{"Lost the box's port COM3 (error 1167), trying to reopen it"}));
    EXPECT_EQ(state.Link.LogLine, view.log.back());

    nowMs = 5000;
    TickUntil(8000);
    EXPECT_EQ(boxLineControl.calls, (Strings{"Open", "Close", "Open", "Close"}));  // at 6 s and 7 s
    EXPECT_EQ(view.log.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    boxLineControl.calls.clear();
    const int listings = listing.listings;
    boxPort.DeviceChanged();  // a device arrived: tried at the next tick, after a listing
    EXPECT_TRUE(boxLineControl.calls.empty());
    boxPort.Tick(nowMs);
    EXPECT_EQ(listing.listings, listings + 1);
    EXPECT_EQ(boxLineControl.calls, (Strings{"Open", "Close"}));

    boxLineControl.missingDevices.clear();
    TickUntil(9100);
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_EQ(boxPort.CurrentState(), BoxLinePort::State::Open);
    EXPECT_EQ(view.log.back(), "Reopened the box's port COM3");
    EXPECT_EQ(view.log.size(), 2u);
    boxLineControl.calls.clear();
    TickUntil(20000);
    EXPECT_TRUE(boxLineControl.calls.empty());
}

// Closing the window while the port is lost: no retry reopens it meanwhile;
// a loss that comes during the close is logged without the promise of a retry.
TEST_F(BoxLinePortTest, ClosingTheWindowEndsTheRetries) {
    OpenAt(3, {});
    boxPort.PortLost(5, 0);
    boxPort.WindowClosing();
    boxPort.DeviceChanged();
    TickUntil(5000);
    boxPort.Close();
    EXPECT_TRUE(boxLineControl.calls.empty());
    EXPECT_FALSE(state.Link.PortOpen);

    BoxLinePort other{boxLineControl, listing, ui, log, release, state.Settings, state.Link};
    other.Load(3, std::nullopt);
    other.Start(0);
    other.WindowClosing();
    other.PortLost(5, 6000);
    EXPECT_FALSE(state.Link.PortOpen);
    EXPECT_EQ(other.CurrentState(), BoxLinePort::State::Closed);
    EXPECT_EQ(view.log.back(), "Lost the box's port COM3 (error 5)");
    EXPECT_EQ(view.log.size(), 2u);
}

// Each start: the saved number and the adapter's identity, taken when `before`
// was listed (none without), the ports listed now and those that do not open;
// then the port opened (none: "") and saved, a line of the log, and how often
// the port is tried in the next 5 s, and after a device change. The port
// message comes up when an open failed.
TEST_F(BoxLinePortTest, WhereTheBoxPortOpensAtStartAndHowItIsTriedThen) {
    using Nodes = std::vector<PortNode>;
    struct StartCase {
        const char* what;
        unsigned saved;
        Nodes before, now;
        const char* missing;
        const char* opened;
        const char* logged;
        std::size_t tries = 0;  // within 5 s; one more after a device change
        bool idsKnown = true;   // the saved PresentIds could be read
        const char* refused = "";
    };
    const Nodes cp2102At4 = {Cp2102("COM4", "01F3A9C2", 2)};
    const Nodes ch340At4 = {Ch340("COM4", 1)}, ch340At7 = {Ch340("COM7", 2)};
    const Nodes moved = {Ch340("COM4", 1), Cp2102("COM7", "01F3A9C2", 3)};
    const Nodes replaced = {Cp2102("COM4", "7755AA01", 2)}, cp2102At1 = {Cp2102("COM1", "1F3A", 2)};
    const Nodes builtIn = {Node("COM1", "Communications Port (COM1)", "ACPI\\PNP0501\\1")};
    const Nodes beside = {Ch340("COM5", 1), Ch340("COM8", 4)}, ch340At8 = {Ch340("COM8", 4)};
    const Nodes twoAlike = {Ch340("COM7", 2), Ch340("COM8", 3)};
    // Counterfeit FTDI chips: the same instance id in any socket.
    Nodes fakeAt4 = {Node("COM4", "USB Serial Port", "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0")};
    Nodes fakeAt9 = fakeAt4;
    fakeAt9[0].portName = "COM9";
    const Nodes bluetooth = {Node("COM3", "Bluetooth", "BTHENUM\\{00001101}_LOCALMFG&0002\\7")};
    const char* otherAt4 =
        "COM4 is now USB-SERIAL CH340 (USB 1A86:7523, no serial number), not the box's adapter "
        "(serial 01F3A9C2): the bridge leaves it alone and waits for the box's adapter; if it is "
        "the box's new adapter, choose COM4 in Select COM port";
    const char* change = "Waiting for a device change to try the box's port COM";
    const StartCase cases[] = {
        {"no identity, not listed: opened as ever", 4, {}, {}, "", "COM4", ""},
        {"moved, with its serial number", 4, cp2102At4, moved, "", "COM7", "The box's adapter Sil"},
        {"another device at the saved number", 4, cp2102At4, ch340At4, "", "", otherAt4},
        {"another serial number", 4, cp2102At4, replaced, "", "", "COM4 is now Silicon Labs"},
        {"not USB at the saved number", 1, cp2102At1, builtIn, "", "", "COM1 is now Communica"},
        {"beside the box last time", 5, beside, ch340At8, "COM5", "", "COM8 may be the box's", 5},
        {"one alike arrived", 4, ch340At4, ch340At7, "COM4", "COM7", "The box's adapter USB-SER"},
        {"two alike arrived", 4, ch340At4, twoAlike, "COM4", "", "COM7 and COM8 look alike", 5},
        {"ids before unknown", 4, ch340At4, ch340At7, "COM4", "", "COM7 may be the", 5, false},
        {"a counterfeit FTDI chip", 4, fakeAt4, fakeAt9, "COM4", "", "COM9 may be the box's", 5},
        {"a Bluetooth port, missing", 3, {}, bluetooth, "COM3", "", change},
        {"a line setting refused", 1, {}, {}, "", "", change, 0, true, "COM1"},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.what);
        view.log.clear();
        ui.messages.clear();
        std::optional<AdapterIdentity> identity;
        const std::vector<ListedPort> before = Describe(c.before);
        for (const ListedPort& port : before) {
            if (port.number == c.saved) identity = TakeIdentity(port, before);
        }
        if (identity && !c.idsKnown) {
            identity->presentIds.clear();
            identity->presentIdsKnown = false;
        }
        listing.nodes = c.now;
        FakeBoxLineControl control;
        if (*c.missing != '\0') control.missingDevices = {c.missing};
        if (*c.refused != '\0') control.refusedDevices = {c.refused};
        BoxLinePort port{control, listing, ui, log, release, state.Settings, state.Link};
        port.Load(c.saved, identity);
        port.Start(0);
        EXPECT_EQ(control.open ? control.deviceName : "", c.opened);
        EXPECT_EQ(state.Link.PortOpen, control.open);
        EXPECT_EQ(state.Settings.CommsPort + 1u, *c.opened ? ComNumber(c.opened) : c.saved);
        EXPECT_TRUE(*c.logged == '\0' || Logged(c.logged)) << ::testing::PrintToString(view.log);
        EXPECT_EQ(ui.messages.size(), !control.open && (*c.missing || *c.refused) ? 1u : 0u);
        if (control.open || (!*c.missing && !*c.refused)) continue;  // nothing to try
        const auto opens = [&] {
            return std::count(control.calls.begin(), control.calls.end(), "Open");
        };
        const std::ptrdiff_t atStart = opens();
        for (std::uint64_t now = 50; now <= 5000; now += 50) port.Tick(now);
        EXPECT_EQ(opens(), atStart + static_cast<std::ptrdiff_t>(c.tries));
        port.DeviceChanged();
        port.Tick(5300);
        EXPECT_EQ(opens(), atStart + static_cast<std::ptrdiff_t>(c.tries) + 1);
    }
}

// Started before the box: the port message stays up while ticks run inside
// it, trying the port every second, and comes down when the port opens.
TEST_F(BoxLinePortTest, StartedBeforeTheBoxTheMessageComesDownWhenThePortOpens) {
    boxLineControl.missingDevices = {"COM4"};
    boxPort.Load(4, std::nullopt);
    ui.inMessage = [this] {
        TickUntil(3000);
        boxLineControl.missingDevices.clear();  // plugged in
        while (ui.takenDown == 0 && nowMs < 10000) TickUntil(nowMs + 50);
    };
    boxPort.Start(0);
    EXPECT_EQ(ui.takenDown, 1);
    EXPECT_EQ(nowMs, 3050u);
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_EQ(Count("Open"), 4u);  // at start, 1 s, 2 s and 3 s
    EXPECT_EQ(view.log,
              (Strings{"COM4 does not exist (error 2)",
                       "Waiting for the box's port COM4: it is opened as soon as it can be",
                       "Opened the box's port COM4, which the bridge waited for"}));
}

// While the box's port is lost the pilot chooses COM6, which is missing: the
// choice takes effect before its message box, and a tick inside the box that
// finds the old adapter elsewhere opens only the choice.
TEST_F(BoxLinePortTest, AChoiceTakesEffectBeforeItsMessageBoxAndANestedTickKeepsIt) {
    OpenAt(4, {Cp2102("COM4", "01F3A9C2", 2)});
    boxLineControl.missingDevices = {"COM4", "COM6"};
    listing.nodes = {};
    boxPort.PortLost(1167, 1000);
    ui.inMessage = [this] {
        EXPECT_EQ(state.Settings.CommsPort, 5);
        listing.nodes = {Cp2102("COM7", "01F3A9C2", 3)};
        boxPort.DeviceChanged();
        TickUntil(5000);
    };
    nowMs = 1000;
    boxPort.Choose(6);
    EXPECT_EQ(Count("SetDeviceName COM7"), 0u);
    EXPECT_FALSE(Logged("The box's adapter"));
    EXPECT_EQ(boxPort.Number(), 6u);
    EXPECT_EQ(boxPort.CurrentState(), BoxLinePort::State::Waiting);
    boxLineControl.missingDevices.clear();
    TickUntil(6100);
    EXPECT_TRUE(state.Link.PortOpen);
    EXPECT_EQ(boxLineControl.deviceName, "COM6");
    EXPECT_EQ(state.Settings.CommsPort, 5);
}

}  // namespace
}  // namespace bridge::testing
