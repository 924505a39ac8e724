// The serial component's mapping onto the platform's line settings, timeouts
// and event codes, checked without a port.
#include <gtest/gtest.h>

#include "platform/serial/comm_settings.h"
#include "platform/serial/line_errors.h"

namespace bridge {
namespace {

LineSettings BridgeLine() {
    LineSettings s;
    s.baudRate = cbr115200;
    s.flowControl = fcNone;
    return s;
}

TEST(LineSettingsToDcb, NoHandshakeFromBinaryOnlyGivesDtrOnAndRtsToggle) {
    DcbFields dcb;
    dcb.flags = kDcbBinary;
    ApplyLineSettingsToDcb(BridgeLine(), dcb);
    EXPECT_EQ(dcb.flags, 0x3011u);
    EXPECT_EQ(dcb.baudRate, 115200u);
    EXPECT_EQ(dcb.byteSize, 8);
    EXPECT_EQ(dcb.parity, 0);
    EXPECT_EQ(dcb.stopBits, 0);
    EXPECT_EQ(dcb.xonChar, 17);
    EXPECT_EQ(dcb.xoffChar, 19);
    EXPECT_EQ(dcb.xonLim, 1024);
    EXPECT_EQ(dcb.xoffLim, 1024);

    // A previous program left binary mode off and abort-on-error on, which
    // would stall the line after one error: the same word is written.
    dcb.flags = kDcbAbortOnError;
    ApplyLineSettingsToDcb(BridgeLine(), dcb);
    EXPECT_EQ(dcb.flags, 0x3011u);
}

TEST(LineSettingsToDcb, NoHandshakeClearsEveryHandshakeTheDriverReported) {
    DcbFields dcb;
    dcb.flags = 0xFFFF;  // every flag the driver could report, including fAbortOnError
    ApplyLineSettingsToDcb(BridgeLine(), dcb);
    // Handshake reset (RTS toggle, DTR on), options and fAbortOnError
    // cleared; fBinary and the unnamed high bit survive.
    EXPECT_EQ(dcb.flags, 0xB011u);
}

TEST(LineSettingsToDcb, EachFlowControlSetsOnlyItsHandshakeOnTopOfTheReset) {
    struct Case {
        TFlowControl flow;
        std::uint32_t expected;
    };
    for (const Case c : {Case{fcCTS, 0x3015u}, Case{fcDTR, 0x3019u}, Case{fcSoftware, 0x3311u}}) {
        DcbFields dcb;
        dcb.flags = kDcbBinary | kDcbOutX | kDcbOutxCtsFlow | kDcbOutxDsrFlow | kDcbInX;
        LineSettings s = BridgeLine();
        s.flowControl = c.flow;
        ApplyLineSettingsToDcb(s, dcb);
        EXPECT_EQ(dcb.flags, c.expected) << "flow control " << int(c.flow);
    }
}

TEST(LineSettingsToDcb, DefaultFlowControlKeepsTheDriversHandshake) {
    const std::uint32_t handshake = kDcbOutxCtsFlow | kDcbOutxDsrFlow | kDcbOutX | kDcbInX |
                                    (2u << kDcbRtsControlShift) | (2u << kDcbDtrControlShift);
    DcbFields dcb;
    dcb.flags = kDcbAbortOnError | handshake;
    LineSettings s;  // fcDefault
    ApplyLineSettingsToDcb(s, dcb);
    EXPECT_EQ(dcb.flags, kDcbBinary | handshake);  // binary on, abort-on-error off all the same
}

TEST(LineSettingsToDcb, OptionsSetTheirFlagAndClearTheOthers) {
    LineSettings s = BridgeLine();
    s.flowControl = fcDefault;
    s.options = {coParityCheck, coIgnoreXOff, coNullStrip};
    DcbFields dcb;
    dcb.flags = kDcbBinary | kDcbDsrSensitivity | kDcbErrorChar;
    ApplyLineSettingsToDcb(s, dcb);
    EXPECT_EQ(dcb.flags, kDcbBinary | kDcbParity | kDcbTxContinueOnXoff | kDcbNull);

    s.options = {coDsrSensitivity, coErrorChar};
    ApplyLineSettingsToDcb(s, dcb);
    EXPECT_EQ(dcb.flags, kDcbBinary | kDcbDsrSensitivity | kDcbErrorChar);
}

TEST(LineSettingsToDcb, FramingValuesFollowTheEnumerationOrder) {
    LineSettings s;
    s.baudRate = cbr110;
    s.parity = paSpace;
    s.stopbits = sb15;
    s.databits = da4;
    DcbFields dcb;
    ApplyLineSettingsToDcb(s, dcb);
    EXPECT_EQ(dcb.baudRate, 110u);
    EXPECT_EQ(dcb.parity, 4);    // SPACEPARITY
    EXPECT_EQ(dcb.stopBits, 1);  // ONE5STOPBITS
    EXPECT_EQ(dcb.byteSize, 4);
    EXPECT_EQ(BaudRateValue(cbr256000), 256000u);
    EXPECT_EQ(BaudRateValue(cbr56000), 56000u);
    for (int r = cbr110; r <= cbr256000; ++r) {  // and back, as the shell names the box's rate
        EXPECT_EQ(BaudRateFor(BaudRateValue(static_cast<TBaudRate>(r))), static_cast<TBaudRate>(r));
    }
    EXPECT_EQ(BaudRateFor(115201), std::nullopt);
    EXPECT_EQ(BaudRateFor(0), std::nullopt);
    EXPECT_EQ(StopBitsCode(sb20), 2);
    EXPECT_EQ(ParityCode(paMark), 3);
}

TEST(LineSettingsToDcb, FlowLimitsAreAQuarterOfTheInputBufferIn16Bits) {
    struct Case {
        std::int32_t readBufSize;
        std::uint16_t limit;
    };
    for (const Case c :
         {Case{4096, 1024}, Case{4099, 1024}, Case{3, 0}, Case{280000, 4464}, Case{-7, 0xFFFF}}) {
        LineSettings s;
        s.readBufSize = c.readBufSize;
        DcbFields dcb;
        ApplyLineSettingsToDcb(s, dcb);
        EXPECT_EQ(dcb.xonLim, c.limit) << c.readBufSize;
        EXPECT_EQ(dcb.xoffLim, c.limit) << c.readBufSize;
    }
}

TEST(RtsToggleFallback, TurnsToggleIntoRtsOnAndLeavesOtherModesAlone) {
    DcbFields dcb;
    dcb.flags = 0x3011;
    EXPECT_TRUE(FallBackFromRtsToggle(dcb));
    EXPECT_EQ(dcb.flags, 0x1011u);
    EXPECT_FALSE(FallBackFromRtsToggle(dcb));
    EXPECT_EQ(dcb.flags, 0x1011u);
    dcb.flags = 0x2011;  // handshake mode is not ours to change
    EXPECT_FALSE(FallBackFromRtsToggle(dcb));
    EXPECT_EQ(dcb.flags, 0x2011u);
}

TEST(CommTimeouts, CharsTimeOutIsTheIntervalAndZeroReturnsAtOnce) {
    const CommTimeoutValues t20 = TimeoutsFor(20);
    EXPECT_EQ(t20.readIntervalTimeout, 20u);
    EXPECT_EQ(t20.readTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t20.readTotalTimeoutConstant, 0u);
    EXPECT_EQ(t20.writeTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t20.writeTotalTimeoutConstant, 1500u);
    EXPECT_EQ(TimeoutsFor(0).readIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(TimeoutsFor(-5).readIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(TimeoutsFor(0).writeTotalTimeoutConstant, 1500u);
}

// Only COM1..COM9 are device names on their own; COM10 and up (USB adapters
// often get such numbers) open only through the device namespace.
TEST(DevicePath, EveryComPortGoesThroughTheDeviceNamespaceAndOtherNamesStayAsTheyAre) {
    EXPECT_EQ(DevicePathFor("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(DevicePathFor("COM12"), "\\\\.\\COM12");
    EXPECT_EQ(DevicePathFor("Com2"), "\\\\.\\Com2");
    EXPECT_EQ(DevicePathFor("com256"), "\\\\.\\com256");
    for (const char* unchanged :
         {"COM", "COM1x", "COM 3", "LPT1", "\\\\.\\COM3", "C:\\COM5", "COM-1", ""}) {
        EXPECT_EQ(DevicePathFor(unchanged), unchanged);
    }
}

TEST(CommEvents, CodesCombineThroughTheTableAndTheTableGivesTheDispatchOrder) {
    EXPECT_EQ(EventCodesFor(kAllCommEvents), 0x01FFu);
    EXPECT_EQ(EventCodesFor({}), 0u);
    EXPECT_EQ(EventCodesFor({evRxChar, evError}), 0x0081u);
    const std::uint32_t order[] = {0x40, 0x08, 0x10, 0x80, 0x100, 0x20, 0x01, 0x02, 0x04};
    for (std::size_t i = 0; i < kCommEventTable.size(); ++i) {
        EXPECT_EQ(kCommEventTable[i].code, order[i]);
        EXPECT_EQ(kCommEventTable[i].state, static_cast<TCommEventState>(i));
    }
}

// The port's status query reports line errors as flags and clears them: each
// query's flags count once per kind; a break and the transmit queue's flags
// are not line errors.
TEST(LineErrorCounts, CountsEachKindOncePerStatusQuery) {
    LineErrorCounts counts;
    counts.Count(kLineErrorFraming | kLineErrorParity);
    counts.Count(kLineErrorOverrun | kLineErrorInputOverflow);
    counts.Count(kLineErrorFraming | 0x0010 | 0x0100);  // CE_BREAK, CE_TXFULL
    counts.Count(0);
    EXPECT_EQ(counts.framing, 2u);
    EXPECT_EQ(counts.parity, 1u);
    EXPECT_EQ(counts.overrun, 1u);
    EXPECT_EQ(counts.Total(), 4u);
}

}  // namespace
}  // namespace bridge
