// The serial component's settings and how they map onto the platform's line
// settings record (DCB), timeouts and event codes. Kept free of system headers
// so the mapping is tested natively; the Windows component copies these fields
// into and out of the real DCB.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/serial/enum_set.h"

namespace bridge {

enum TBaudRate : std::uint8_t {
    cbr110,
    cbr300,
    cbr600,
    cbr1200,
    cbr2400,
    cbr4800,
    cbr9600,
    cbr14400,
    cbr19200,
    cbr38400,
    cbr56000,
    cbr57600,
    cbr115200,
    cbr128000,
    cbr256000
};
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits : std::uint8_t { sb10, sb15, sb20 };
enum TDatabits : std::uint8_t { da4, da5, da6, da7, da8 };
enum TFlowControl : std::uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption : std::uint8_t {
    coParityCheck,
    coDsrSensitivity,
    coIgnoreXOff,
    coErrorChar,
    coNullStrip
};
enum TCommEventState : std::uint8_t {
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty
};

using TCommOptions = EnumSet<TCommOption, std::uint8_t>;
using TCommEventType = EnumSet<TCommEventState, std::uint16_t>;
inline constexpr TCommEventType kAllCommEvents = TCommEventType::FromBits(0x01FF);

// Platform values belonging to each enumeration value.
std::uint32_t BaudRateValue(TBaudRate rate);
// The rate with that many bits per second, if there is one.
std::optional<TBaudRate> BaudRateFor(std::uint32_t bitsPerSecond);
std::uint8_t ParityCode(TParity parity);        // NOPARITY .. SPACEPARITY
std::uint8_t StopBitsCode(TStopbits stopbits);  // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
std::uint8_t ByteSize(TDatabits databits);      // 4 .. 8

// The event table: its order is the order in which one wake-up's events are
// dispatched, and each row gives the platform's event code (EV_...).
struct CommEventRow {
    TCommEventState state;
    std::uint32_t code;
};
inline constexpr std::array<CommEventRow, 9> kCommEventTable = {{
    {evBreak, 0x0040},
    {evCTS, 0x0008},
    {evDSR, 0x0010},
    {evError, 0x0080},
    {evRing, 0x0100},
    {evRlsd, 0x0020},
    {evRxChar, 0x0001},
    {evRxFlag, 0x0002},
    {evTxEmpty, 0x0004},
}};

// The path the device is opened by. Only COM1..COM9 are device names on
// their own: "COM12" would be a file in the current folder. So "COMn" (any
// letter case, n decimal digits) becomes "\\.\COMn", which reaches every COM
// port; any other name is passed unchanged.
std::string DevicePathFor(const std::string& deviceName);

// The platform event codes of a set of events, combined by OR.
std::uint32_t EventCodesFor(TCommEventType events);

// Bits of the DCB's flag word.
inline constexpr std::uint32_t kDcbBinary = 0x0001;
inline constexpr std::uint32_t kDcbParity = 0x0002;
inline constexpr std::uint32_t kDcbOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t kDcbOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t kDcbDtrControlMask = 0x0030;  // 2 bits from bit 4
inline constexpr unsigned kDcbDtrControlShift = 4;
inline constexpr std::uint32_t kDcbDsrSensitivity = 0x0040;
inline constexpr std::uint32_t kDcbTxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t kDcbOutX = 0x0100;
inline constexpr std::uint32_t kDcbInX = 0x0200;
inline constexpr std::uint32_t kDcbErrorChar = 0x0400;
inline constexpr std::uint32_t kDcbNull = 0x0800;
inline constexpr std::uint32_t kDcbRtsControlMask = 0x3000;  // 2 bits from bit 12
inline constexpr unsigned kDcbRtsControlShift = 12;
inline constexpr std::uint32_t kDcbAbortOnError = 0x4000;

inline constexpr std::uint32_t kDtrControlEnable = 1;
inline constexpr std::uint32_t kRtsControlEnable = 1;
inline constexpr std::uint32_t kRtsControlToggle = 3;

// The DCB members the component sets; every other member keeps what the
// platform reported.
struct DcbFields {
    std::uint32_t baudRate = 0;
    std::uint32_t flags = 0;
    std::uint16_t xonLim = 0;
    std::uint16_t xoffLim = 0;
    std::uint8_t byteSize = 0;
    std::uint8_t parity = 0;
    std::uint8_t stopBits = 0;
    char xonChar = 0;
    char xoffChar = 0;
};

struct LineSettings {
    TBaudRate baudRate = cbr9600;
    TParity parity = paNone;
    TStopbits stopbits = sb10;
    TDatabits databits = da8;
    char xonChar = 17;
    char xoffChar = 19;
    std::int32_t readBufSize = 4096;
    TCommOptions options;
    TFlowControl flowControl = fcDefault;
};

// Writes the settings into a DCB read from the port: binary mode on and
// abort-on-error off, rate, framing, flow control characters, XON/XOFF limits
// (ReadBufSize / 4 each), flow control and the five options.
void ApplyLineSettingsToDcb(const LineSettings& settings, DcbFields& dcb);

// Drivers that reject RTS toggle mode (Wine, many USB adapters) get the nearest
// mode they take: RTS held on. Returns false when the DCB was not in toggle
// mode, so there is nothing to fall back from.
bool FallBackFromRtsToggle(DcbFields& dcb);

struct CommTimeoutValues {
    std::uint32_t readIntervalTimeout = 0;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;
};

inline constexpr std::uint32_t kWriteTimeLimitMs = 1500;
// How long a cancelled transfer (event wait, read or write) may take to end.
// A driver that never completes cancelled I/O on a vanished device must not
// hold the port up for ever; past this, the transfer is left to the driver.
inline constexpr std::uint32_t kCancelGraceMs = 1000;
inline constexpr std::uint32_t kReadReturnsAtOnce = 0xFFFFFFFF;  // MAXDWORD

// CharsTimeOut as inter-byte read timeout; 0 (and, as no sensible timeout, a
// negative value) makes reads return at once with what has arrived.
CommTimeoutValues TimeoutsFor(std::int32_t charsTimeOutMs);

// While the port waits for received bytes with a read rather than an event
// wait: a read returns as soon as one byte has arrived (interval and
// multiplier MAXDWORD with a constant), and otherwise ends empty after the
// constant; writes keep their time limit.
inline constexpr std::uint32_t kReadWaitConstantMs = 10000;
CommTimeoutValues ReadWaitTimeouts();

}  // namespace bridge
