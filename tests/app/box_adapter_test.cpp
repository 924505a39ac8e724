// The box's adapter found again, on device lists written as fixtures
// (tests/support/port_fixtures.h): the COM number to open, and the one line
// that says so; no guess between ports alike.
#include "app/identity/box_adapter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_view.h"
#include "tests/support/port_fixtures.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

class BoxAdapterTest : public ::testing::Test {
protected:
    // The identity taken with the box on COM<number> of `nodes`.
    void TakenAt(unsigned number, std::vector<PortNode> nodes) {
        listing.nodes = std::move(nodes);
        adapter.List(0, false);
        adapter.Opened(number, number);
        ASSERT_TRUE(adapter.Identity());
        const AdapterIdentity identity = *adapter.Identity();
        view.log.clear();
        adapter.Load(identity, number);  // as the next start reads it
    }
    // Lists, and where the box's port now at `number` opens (0: nowhere,
    // another device holds it), at start or while the bridge runs; a port
    // followed is opened there.
    unsigned Where(unsigned number, bool atStart = true, std::uint64_t nowMs = 0) {
        adapter.List(nowMs, false);
        const AdapterAnswer answer = adapter.Find(number, atStart, nowMs);
        if (answer.action == AdapterAnswer::Action::Follow) adapter.Opened(answer.number, number);
        return answer.action == AdapterAnswer::Action::Leave ? 0 : answer.number;
    }

    FakePortListing listing;
    FakeView view;
    std::string lastLine;
    WindowLog log{lastLine, view};
    BoxAdapter adapter{listing, log};
};

TEST_F(BoxAdapterTest, ASerialNumberFindsTheAdapterUnderAnyNumberWhateverHoldsTheSavedOne) {
    TakenAt(4, {Cp2102("COM4", "01F3A9C2", 2), Ch340("COM5", 1)});
    // Another socket: COM7; the CH340 has taken COM4.
    listing.nodes = {Ch340("COM4", 1), Cp2102("COM7", "01F3A9C2", 3)};
    EXPECT_EQ(Where(4), 7u);
    EXPECT_EQ(view.log, (Strings{"The box's adapter Silicon Labs CP210x USB to UART Bridge (serial "
                                 "01F3A9C2) is now COM7, was COM4"}));
    EXPECT_EQ(adapter.Identity()->portNumber, 7u);
    EXPECT_EQ(adapter.MarkOf(adapter.Ports()[1], 7), PortMark::BoxAdapter);
    EXPECT_EQ(adapter.MarkOf(adapter.Ports()[0], 7), PortMark::None);

    // A replaced adapter (another serial number) is not the box's: not opened
    // at the box's number; elsewhere, the box's number is opened as ever.
    listing.nodes = {Cp2102("COM7", "7755AA01", 3)};
    EXPECT_EQ(Where(7), 0u);
    listing.nodes = {Cp2102("COM9", "7755AA01", 3)};
    EXPECT_EQ(Where(7), 7u);
    EXPECT_EQ(view.log.size(), 1u);
}

TEST_F(BoxAdapterTest, AChannelOfATwoChannelFtdiChipIsFoundByItsChannel) {
    TakenAt(12, {Ft2232("COM11", 'A', 4), Ft2232("COM12", 'B', 4)});
    listing.nodes = {Ft2232("COM21", 'A', 6), Ft2232("COM22", 'B', 6)};
    EXPECT_EQ(Where(12), 22u);
    EXPECT_EQ(view.log.front(),
              "The box's adapter USB Serial Port (serial FT4ZQ8AB, channel B) "
              "is now COM22, was COM12");
    // Opened there: its latency timer, 16 ms, is worth lowering (said once).
    adapter.Opened(22, 22);
    adapter.Opened(22, 22);
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[1].rfind("COM22: the FTDI adapter's latency timer is 16 ms", 0), 0u);
}

// Without a serial number: a port alike counts only when it was not there
// before (when the identity was taken, or when the box's port was lost).
TEST_F(BoxAdapterTest, WithoutASerialNumberOnlyAPortThatArrivedIsTakenAndNoneIsGuessed) {
    TakenAt(5, {Ch340("COM5", 1), Ch340("COM8", 4)});
    listing.nodes = {Ch340("COM6", 3), Ch340("COM8", 4)};  // moved to socket 3
    EXPECT_EQ(Where(5), 6u);
    EXPECT_EQ(view.log, (Strings{"The box's adapter USB-SERIAL CH340 (USB 1A86:7523, no serial "
                                 "number) is now COM6, was COM5"}));

    // Only the one that was there before: it may be the adapter, nothing opened.
    listing.nodes = {Ch340("COM8", 4)};
    EXPECT_EQ(Where(6), 6u);
    EXPECT_EQ(view.log.back(),
              "COM8 may be the box's adapter, USB-SERIAL CH340 (USB 1A86:7523, no serial number), "
              "which the bridge cannot tell from another: if it is, choose it in Select COM port");
    EXPECT_EQ(adapter.MarkOf(adapter.Ports()[0], 6), PortMark::MayBe);

    // Lost, then a hub comes back with two new ones 0.3 s apart: the first is
    // not taken at once, and then they look alike: neither is taken.
    listing.nodes = {Ch340("COM6", 3), Ch340("COM8", 4)};
    EXPECT_EQ(Where(6), 6u);
    adapter.Opened(6, 6);
    adapter.Closed();
    listing.nodes = {Ch340("COM8", 4), Ch340("COM9", 1)};
    EXPECT_EQ(Where(6, false, 1000), 6u);
    listing.nodes.push_back(Ch340("COM10", 2));
    EXPECT_EQ(Where(6, false, 3300), 6u);
    EXPECT_EQ(view.log.back(),
              "COM9 and COM10 look alike, USB-SERIAL CH340 (USB 1A86:7523, no serial number): the "
              "bridge does not guess which is the box's adapter; choose it in Select COM port");
    EXPECT_EQ(adapter.MarkOf(adapter.Ports()[1], 6), PortMark::LookAlike);
    // One of them goes: the other is the box's, with no click, once two
    // listings two seconds apart agree on it.
    listing.nodes = {Ch340("COM8", 4), Ch340("COM10", 2)};
    EXPECT_EQ(Where(6, false, 2000), 6u);
    EXPECT_EQ(Where(6, false, 3000), 6u);
    EXPECT_EQ(adapter.MarkOf(adapter.Ports()[1], 6), PortMark::MayBe);
    EXPECT_EQ(Where(6, false, 4000), 10u);
    EXPECT_EQ(view.log.back().rfind("The box's adapter USB-SERIAL CH340", 0), 0u);
}

// Two CP2102 that both report "0001": no serial number of their own.
TEST_F(BoxAdapterTest, TwoAdaptersWithTheSamePlaceholderAreNotGuessedBetween) {
    PortNode first = Cp2102("COM7", "0001", 2);
    TakenAt(7, {first});
    PortNode second = Cp2102("COM9", "6&1F2E3D4C&0&3", 3);
    first.portName = "COM8";
    first.self.instanceId = "USB\\VID_10C4&PID_EA60\\6&1F2E3D4C&0&1";  // plugged elsewhere
    listing.nodes = {first, second};
    EXPECT_EQ(Where(7), 7u);
    EXPECT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0].rfind("COM8 and COM9 look alike", 0), 0u);
}

TEST_F(BoxAdapterTest, AtResumeAMovedAdapterIsFoundAndTheSavedNumberWinsOverAnOlderIdentity) {
    TakenAt(4, {Cp2102("COM4", "01F3A9C2", 2)});
    listing.nodes = {Cp2102("COM7", "01F3A9C2", 3)};
    EXPECT_EQ(Where(4, false), 7u);

    // The pilot's CommsPort (COM9) names another number than the identity's:
    // the identity is dropped, and the saved port is opened as it is.
    const AdapterIdentity older = *adapter.Identity();
    adapter.Load(older, 9);
    EXPECT_FALSE(adapter.Identity());
    EXPECT_EQ(Where(9), 9u);
}

// Ports without an identity, and a registry that holds odd values: a list,
// no identity, nothing found, and the pilot's choice of such a port clears
// the identity.
TEST_F(BoxAdapterTest, PortsWithoutAnIdentityAndOddValuesGiveAListAndNoIdentity) {
    PortNode lpt = Node("LPT1", "ECP Printer Port (LPT1)", "ACPI\\PNP0401\\0");
    PortNode nameless = Node("COM14", "", "USB\\VID_067B&PID_2303\\" + std::string(500, 'A'));
    PortNode foreign =
        Node("COM15", "Последовательный порт (COM15)", "USB\\VID_067B&PID_2303\\5&Ж&0&1");
    foreign.problemCode = 10;
    listing.nodes = {Node("COM1", "Communications Port (COM1)", "ACPI\\PNP0501\\1"),
                     Node("COM3", "Standard Serial over Bluetooth link (COM3)",
                          "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1&0&2"),
                     Node("COM20", "com0com (COM20)", "ROOT\\PORTS\\0000"),
                     Node("CNCA0", "com0com (CNCA0)", "COM0COM\\PORT\\CNCA0"),
                     lpt,
                     nameless,
                     foreign,
                     Node("", "", "")};
    EXPECT_EQ(Where(1), 1u);
    ASSERT_EQ(adapter.Ports().size(), 8u);
    EXPECT_EQ(adapter.Ports().back().number, 0u);
    EXPECT_EQ(view.log.size(), 1u);  // COM15's driver refuses it
    EXPECT_EQ(view.log[0].rfind("COM15 (Последовательный порт) does not work: Windows reports "
                                "device problem 10 (the device cannot start)",
                                0),
              0u);
    for (const unsigned number : {1u, 3u, 14u, 15u, 20u, 0u}) {
        adapter.Chosen(number);
        EXPECT_FALSE(adapter.Identity()) << number;
    }
    EXPECT_EQ(adapter.ReportLines(1).size(), 9u);  // every port, and the advice
}

}  // namespace
}  // namespace bridge::testing
