// The serial ports as Windows lists them, from device nodes written out as
// Windows gives them (tests/support/port_fixtures.h names the forms).
#include <gtest/gtest.h>

#include <string>

#include "platform/port_list/instance_id.h"
#include "platform/port_list/port_node.h"
#include "tests/support/port_fixtures.h"

namespace bridge::testing {
namespace {

TEST(InstanceId, EachFormGivesItsBusIdsInterfaceAndARealSerialNumberOnly) {
    struct Case {
        const char* id;
        const char* enumerator;
        int vendorId, productId;  // -1: none
        const char* interfaceId;
        const char* serial;
        bool shared = false;  // a placeholder where the serial number goes
    };
    const Case cases[] = {
        {"USB\\VID_10C4&PID_EA60\\01F3A9C2", "USB", 0x10C4, 0xEA60, "", "01F3A9C2"},
        {"usb\\vid_10c4&pid_ea60\\01f3a9c2", "usb", 0x10C4, 0xEA60, "", "01f3a9c2"},
        {"USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&1", "USB", 0x1A86, 0x7523, "", ""},
        {"USB\\VID_10C4&PID_EA60\\0001", "USB", 0x10C4, 0xEA60, "", "", true},  // placeholders
        {"USB\\VID_10C4&PID_EA60\\00000000", "USB", 0x10C4, 0xEA60, "", "", true},
        {"USB\\VID_10C4&PID_EA60\\FFFFFFFF", "USB", 0x10C4, 0xEA60, "", "", true},
        {"USB\\VID_2E8A&PID_000A&MI_00\\6&2C5F4A3&0&0000", "USB", 0x2E8A, 0x000A, "MI_00", ""},
        // Counterfeit FTDI chips all report A50285BI.
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "FTDIBUS", 0x0403, 0x6001, "A", "", true},
        {"USB\\VID_0403&PID_6001\\a50285bi", "USB", 0x0403, 0x6001, "", "", true},
        {"FTDIBUS\\VID_0403+PID_6010+FT4ZQ8ABB\\0000", "FTDIBUS", 0x0403, 0x6010, "B", "FT4ZQ8AB"},
        {"FTDIBUS\\VID_0403+PID_6001+5&1B2C3D4E&0&2\\0000", "FTDIBUS", 0x0403, 0x6001, "", ""},
        {"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A8F4C1B&0&"
         "000000000000_00000000",
         "BTHENUM", -1, -1, "", ""},
        {"ACPI\\PNP0501\\1", "ACPI", -1, -1, "", ""},
        {"ROOT\\PORTS\\0000", "ROOT", -1, -1, "", ""},
        {"USB\\VID_10C4&PID_EA6\\01F3A9C2", "USB", 0x10C4, -1, "", ""},  // odd: three digits
        {"USB\\VID_XYZW&PID_EA60&MI_0G\\01F3A9C2", "USB", -1, 0xEA60, "", ""},
        {"USB", "USB", -1, -1, "", ""},
        {"", "", -1, -1, "", ""},
        {"\\\\\\", "", -1, -1, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const InstanceIdFacts facts = ParseInstanceId(c.id);
        EXPECT_EQ(facts.enumerator, c.enumerator);
        EXPECT_EQ(facts.vendorId ? int{*facts.vendorId} : -1, c.vendorId);
        EXPECT_EQ(facts.productId ? int{*facts.productId} : -1, c.productId);
        EXPECT_EQ(facts.interfaceId, c.interfaceId);
        EXPECT_EQ(facts.serialNumber, c.serial);
        EXPECT_EQ(facts.sharedSerialNumber, c.shared);
    }
}

// The bus, the serial number from a composite's parent, the location from
// the nearest node that has one, FTDI's latency timer for FTDI only, a
// problem code as given, and the COM number only of a name COMn.
TEST(PortNode, TheDescriptionComesFromTheNodeAndTheNodesAboveIt) {
    const ListedPort cp = DescribePort(Cp2102("COM4", "01F3A9C2", 2));
    EXPECT_EQ(cp.number, 4u);
    EXPECT_EQ(cp.bus, PortBus::Usb);
    EXPECT_EQ(cp.serialNumber, "01F3A9C2");
    EXPECT_EQ(cp.locationPath, kHub + "#USB(2)");
    EXPECT_EQ(ShownName(cp), "Silicon Labs CP210x USB to UART Bridge");
    EXPECT_FALSE(cp.latencyTimerMs);

    const ListedPort b = DescribePort(Ft2232("COM12", 'B', 4));
    EXPECT_EQ(b.serialNumber, "FT4ZQ8AB");
    EXPECT_EQ(b.interfaceId, "B");
    EXPECT_EQ(b.locationPath, kHub + "#USB(4)");  // the USB device's, two nodes up
    EXPECT_EQ(b.latencyTimerMs, 16u);
    EXPECT_EQ(AdapterText(b), "serial FT4ZQ8AB, channel B");

    PortNode pico =
        Node("COM13", "USB Serial Device (COM13)", "USB\\VID_2E8A&PID_000A&MI_00\\6&2C5F4A3&0&0000",
             {kHub + "#USB(5)#USBMI(0)"},
             {{"USB\\VID_2E8A&PID_000A\\E66038B713849D31", {kHub + "#USB(5)"}}});
    pico.latencyTimerMs = 16;  // not FTDI's: no such timer
    pico.problemCode = 10;
    const ListedPort composite = DescribePort(pico);
    EXPECT_EQ(composite.serialNumber, "E66038B713849D31");
    EXPECT_EQ(composite.interfaceId, "MI_00");
    EXPECT_EQ(composite.locationPath, kHub + "#USB(5)#USBMI(0)");
    EXPECT_FALSE(composite.latencyTimerMs);
    EXPECT_EQ(composite.problemCode, 10u);
    // A parent of other ids is no composite's: its serial number is not the port's.
    pico.above = {{"USB\\VID_2E8A&PID_000B\\E66038B713849D31", {}}};
    EXPECT_EQ(DescribePort(pico).serialNumber, "");

    const ListedPort ch = DescribePort(Ch340("COM5", 1));
    EXPECT_EQ(AdapterText(ch), "USB 1A86:7523, no serial number");
    const ListedPort bt = DescribePort(
        Node("COM3", "Standard Serial over Bluetooth link (COM3)",
             "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A8F4C1B&0&"
             "000000000000_00000000",
             {}, {{"BTH\\MS_BTHBRB\\6&1A3E8B2&0&1", {}}}));
    EXPECT_EQ(bt.bus, PortBus::Bluetooth);
    // A virtual port with no USB node above it; a vendor's own enumerator
    // with the USB device above it.
    EXPECT_EQ(DescribePort(Node("COM20", "com0com (COM20)", "ROOT\\PORTS\\0000")).bus,
              PortBus::Other);
    const ListedPort vendor = DescribePort(
        Node("COM21", "", "SLABSER\\PORT\\0", {}, {{"USB\\VID_10C4&PID_EA70\\0123ABCD", {}}}));
    EXPECT_EQ(vendor.bus, PortBus::Usb);
    EXPECT_EQ(vendor.serialNumber, "0123ABCD");
    EXPECT_EQ(ShownName(vendor), "COM21");  // no friendly name
}

TEST(PortNode, OnlyANameCOMnUpTo256HasANumber) {
    for (const char* name : {"LPT1", "CNCA0", "COM0", "COM01", "COM257", "COM", "COM1 ", "COMx"}) {
        EXPECT_EQ(ComNumber(name), 0u) << name;
    }
    EXPECT_EQ(ComNumber("com7"), 7u);
    EXPECT_EQ(ComNumber("COM256"), 256u);
}

}  // namespace
}  // namespace bridge::testing
