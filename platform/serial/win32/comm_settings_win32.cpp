#include "platform/serial/win32/comm_settings_win32.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/serial/wait_failures.h"

namespace bridge {

namespace {

// The flag bits (fBinary .. fAbortOnError and the reserved rest) make up the
// one DWORD after BaudRate, laid out as the kDcb* constants say.
constexpr std::size_t kFlagWordOffset = offsetof(DCB, BaudRate) + sizeof(DWORD);
static_assert(offsetof(DCB, wReserved) == kFlagWordOffset + sizeof(DWORD));

// The flag word of a DCB with only `set` applied (the DCB has no padding).
constexpr std::uint32_t FlagWordWith(void (*set)(DCB&)) {
    DCB dcb{};
    set(dcb);
    const auto bytes = std::bit_cast<std::array<unsigned char, sizeof(DCB)>>(dcb);
    std::uint32_t word = 0;
    for (std::size_t i = sizeof word; i > 0; --i)
        word = (word << 8) | bytes[kFlagWordOffset + i - 1];
    return word;
}
static_assert(FlagWordWith([](DCB& d) { d.fBinary = 1; }) == kDcbBinary);
static_assert(FlagWordWith([](DCB& d) { d.fParity = 1; }) == kDcbParity);
static_assert(FlagWordWith([](DCB& d) { d.fOutxCtsFlow = 1; }) == kDcbOutxCtsFlow);
static_assert(FlagWordWith([](DCB& d) { d.fOutxDsrFlow = 1; }) == kDcbOutxDsrFlow);
static_assert(FlagWordWith([](DCB& d) { d.fDtrControl = 3; }) == kDcbDtrControlMask);
static_assert(kDcbDtrControlMask >> kDcbDtrControlShift == 3);
static_assert(FlagWordWith([](DCB& d) { d.fDsrSensitivity = 1; }) == kDcbDsrSensitivity);
static_assert(FlagWordWith([](DCB& d) { d.fTXContinueOnXoff = 1; }) == kDcbTxContinueOnXoff);
static_assert(FlagWordWith([](DCB& d) { d.fOutX = 1; }) == kDcbOutX);
static_assert(FlagWordWith([](DCB& d) { d.fInX = 1; }) == kDcbInX);
static_assert(FlagWordWith([](DCB& d) { d.fErrorChar = 1; }) == kDcbErrorChar);
static_assert(FlagWordWith([](DCB& d) { d.fNull = 1; }) == kDcbNull);
static_assert(FlagWordWith([](DCB& d) { d.fRtsControl = 3; }) == kDcbRtsControlMask);
static_assert(kDcbRtsControlMask >> kDcbRtsControlShift == 3);
static_assert(FlagWordWith([](DCB& d) { d.fAbortOnError = 1; }) == kDcbAbortOnError);

static_assert(kReadReturnsAtOnce == MAXDWORD);
static_assert(kErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(kCommEventTable[0].code == EV_BREAK && kCommEventTable[1].code == EV_CTS &&
              kCommEventTable[2].code == EV_DSR && kCommEventTable[3].code == EV_ERR &&
              kCommEventTable[4].code == EV_RING && kCommEventTable[5].code == EV_RLSD &&
              kCommEventTable[6].code == EV_RXCHAR && kCommEventTable[7].code == EV_RXFLAG &&
              kCommEventTable[8].code == EV_TXEMPTY);
static_assert(kDtrControlEnable == DTR_CONTROL_ENABLE && kRtsControlEnable == RTS_CONTROL_ENABLE &&
              kRtsControlToggle == RTS_CONTROL_TOGGLE);

}  // namespace

DcbFields ToFields(const DCB& dcb) {
    DcbFields f;
    f.baudRate = dcb.BaudRate;
    std::memcpy(&f.flags, reinterpret_cast<const unsigned char*>(&dcb) + kFlagWordOffset,
                sizeof f.flags);
    f.xonLim = dcb.XonLim;
    f.xoffLim = dcb.XoffLim;
    f.byteSize = dcb.ByteSize;
    f.parity = dcb.Parity;
    f.stopBits = dcb.StopBits;
    f.xonChar = dcb.XonChar;
    f.xoffChar = dcb.XoffChar;
    return f;
}

void FromFields(const DcbFields& f, DCB& dcb) {
    dcb.BaudRate = f.baudRate;
    std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + kFlagWordOffset, &f.flags, sizeof f.flags);
    dcb.XonLim = f.xonLim;
    dcb.XoffLim = f.xoffLim;
    dcb.ByteSize = f.byteSize;
    dcb.Parity = f.parity;
    dcb.StopBits = f.stopBits;
    dcb.XonChar = f.xonChar;
    dcb.XoffChar = f.xoffChar;
}

bool SetPortTimeouts(HANDLE port, const CommTimeoutValues& v) {
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = v.readIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = v.readTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = v.readTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = v.writeTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = v.writeTotalTimeoutConstant;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

}  // namespace bridge
