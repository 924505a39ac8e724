#include "platform/serial/comm_settings.h"

#include <utility>

namespace bridge {

namespace {

constexpr std::array<std::uint32_t, 15> kBaudRates = {110,   300,   600,    1200,   2400,
                                                      4800,  9600,  14400,  19200,  38400,
                                                      56000, 57600, 115200, 128000, 256000};

constexpr std::array<std::pair<TCommOption, std::uint32_t>, 5> kOptionFlags = {{
    {coParityCheck, kDcbParity},
    {coDsrSensitivity, kDcbDsrSensitivity},
    {coIgnoreXOff, kDcbTxContinueOnXoff},
    {coErrorChar, kDcbErrorChar},
    {coNullStrip, kDcbNull},
}};

std::uint32_t WithField(std::uint32_t flags, std::uint32_t mask, unsigned shift,
                        std::uint32_t value) {
    return (flags & ~mask) | ((value << shift) & mask);
}

void ApplyFlowControl(TFlowControl flow, std::uint32_t& flags) {
    if (flow == fcDefault) return;  // keep the driver's handshake settings
    flags &= ~(kDcbOutxCtsFlow | kDcbOutxDsrFlow | kDcbOutX | kDcbInX);
    flags = WithField(flags, kDcbRtsControlMask, kDcbRtsControlShift, kRtsControlToggle);
    flags = WithField(flags, kDcbDtrControlMask, kDcbDtrControlShift, kDtrControlEnable);
    switch (flow) {
        case fcCTS: flags |= kDcbOutxCtsFlow; break;
        case fcDTR: flags |= kDcbOutxDsrFlow; break;  // the peer's DTR arrives as DSR
        case fcSoftware: flags |= kDcbOutX | kDcbInX; break;
        default: break;
    }
}

}  // namespace

std::uint32_t BaudRateValue(TBaudRate rate) {
    return rate < kBaudRates.size() ? kBaudRates[rate] : kBaudRates[cbr9600];
}

std::optional<TBaudRate> BaudRateFor(std::uint32_t bitsPerSecond) {
    for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
        if (kBaudRates[i] == bitsPerSecond) return static_cast<TBaudRate>(i);
    }
    return std::nullopt;
}

std::uint8_t ParityCode(TParity parity) { return static_cast<std::uint8_t>(parity); }

std::uint8_t StopBitsCode(TStopbits stopbits) { return static_cast<std::uint8_t>(stopbits); }

std::uint8_t ByteSize(TDatabits databits) { return static_cast<std::uint8_t>(4 + databits); }

std::string DevicePathFor(const std::string& deviceName) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    const bool com = deviceName.size() > 3 && upper(deviceName[0]) == 'C' &&
                     upper(deviceName[1]) == 'O' && upper(deviceName[2]) == 'M' &&
                     deviceName.find_first_not_of("0123456789", 3) == std::string::npos;
    return com ? "\\\\.\\" + deviceName : deviceName;
}

std::uint32_t EventCodesFor(TCommEventType events) {
    std::uint32_t codes = 0;
    for (const CommEventRow& row : kCommEventTable) {
        if (events.Contains(row.state)) codes |= row.code;
    }
    return codes;
}

void ApplyLineSettingsToDcb(const LineSettings& settings, DcbFields& dcb) {
    // Whatever the previous program left: Windows supports only binary mode,
    // and abort-on-error would stall reads and writes after one line error
    // until the next status query cleared it.
    dcb.flags = (dcb.flags | kDcbBinary) & ~kDcbAbortOnError;
    dcb.baudRate = BaudRateValue(settings.baudRate);
    dcb.parity = ParityCode(settings.parity);
    dcb.stopBits = StopBitsCode(settings.stopbits);
    dcb.byteSize = ByteSize(settings.databits);
    dcb.xonChar = settings.xonChar;
    dcb.xoffChar = settings.xoffChar;
    // Division truncates toward zero; the limit is a 16-bit member.
    const std::int32_t limit = settings.readBufSize / 4;
    dcb.xonLim = static_cast<std::uint16_t>(static_cast<std::uint32_t>(limit) & 0xFFFFu);
    dcb.xoffLim = dcb.xonLim;
    ApplyFlowControl(settings.flowControl, dcb.flags);
    for (const auto& [option, bit] : kOptionFlags) {
        if (settings.options.Contains(option)) {
            dcb.flags |= bit;
        } else {
            dcb.flags &= ~bit;
        }
    }
}

bool FallBackFromRtsToggle(DcbFields& dcb) {
    const std::uint32_t rts = (dcb.flags & kDcbRtsControlMask) >> kDcbRtsControlShift;
    if (rts != kRtsControlToggle) return false;
    dcb.flags = WithField(dcb.flags, kDcbRtsControlMask, kDcbRtsControlShift, kRtsControlEnable);
    return true;
}

CommTimeoutValues TimeoutsFor(std::int32_t charsTimeOutMs) {
    CommTimeoutValues t;
    t.readIntervalTimeout =
        charsTimeOutMs > 0 ? static_cast<std::uint32_t>(charsTimeOutMs) : kReadReturnsAtOnce;
    t.writeTotalTimeoutConstant = kWriteTimeLimitMs;
    return t;
}

CommTimeoutValues ReadWaitTimeouts() {
    CommTimeoutValues t;
    t.readIntervalTimeout = kReadReturnsAtOnce;
    t.readTotalTimeoutMultiplier = 0xFFFFFFFF;
    t.readTotalTimeoutConstant = kReadWaitConstantMs;
    t.writeTotalTimeoutConstant = kWriteTimeLimitMs;
    return t;
}

}  // namespace bridge
