#include "platform/win32/comm.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace bridge {

namespace {

// A read waits this long past the inter-byte timeout for its transfer to end
// before it is cancelled: reads of waiting bytes end at once, and a read with
// nothing to take would otherwise wait for the first byte without limit.
constexpr DWORD kReadGraceMs = 100;
// The most one transfer of Read takes (the bridge's receiver takes at most 1000).
constexpr std::size_t kReadTransferSize = 4096;

DcbFields ToFields(const DCB& dcb) {
    DcbFields f;
    f.baudRate = dcb.BaudRate;
    f.flags = static_cast<std::uint32_t>(dcb.fBinary) | (dcb.fParity << 1) |
              (dcb.fOutxCtsFlow << 2) | (dcb.fOutxDsrFlow << 3) | (dcb.fDtrControl << 4) |
              (dcb.fDsrSensitivity << 6) | (dcb.fTXContinueOnXoff << 7) | (dcb.fOutX << 8) |
              (dcb.fInX << 9) | (dcb.fErrorChar << 10) | (dcb.fNull << 11) |
              (dcb.fRtsControl << 12) | (dcb.fAbortOnError << 14);
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
    dcb.fBinary = f.flags & 1;
    dcb.fParity = (f.flags >> 1) & 1;
    dcb.fOutxCtsFlow = (f.flags >> 2) & 1;
    dcb.fOutxDsrFlow = (f.flags >> 3) & 1;
    dcb.fDtrControl = (f.flags >> 4) & 3;
    dcb.fDsrSensitivity = (f.flags >> 6) & 1;
    dcb.fTXContinueOnXoff = (f.flags >> 7) & 1;
    dcb.fOutX = (f.flags >> 8) & 1;
    dcb.fInX = (f.flags >> 9) & 1;
    dcb.fErrorChar = (f.flags >> 10) & 1;
    dcb.fNull = (f.flags >> 11) & 1;
    dcb.fRtsControl = (f.flags >> 12) & 3;
    dcb.fAbortOnError = (f.flags >> 14) & 1;
    dcb.XonLim = f.xonLim;
    dcb.XoffLim = f.xoffLim;
    dcb.ByteSize = f.byteSize;
    dcb.Parity = f.parity;
    dcb.StopBits = f.stopBits;
    dcb.XonChar = f.xonChar;
    dcb.XoffChar = f.xoffChar;
}

std::int32_t ClampToInt32(std::uint64_t value) {
    return value > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX
                                                         : static_cast<std::int32_t>(value);
}

// Wine's ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

}  // namespace

// One read's state, which the driver writes into until the read has ended.
// The bytes land here and are copied out, so no transfer ever runs into the
// caller's buffer after Read has returned; and a cancelled read that never
// ends leaves this behind, allocated, rather than freed under the driver.
struct TCustomComm::ReadTransfer {
    ReadTransfer() : completion(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~ReadTransfer() {
        if (completion != nullptr) CloseHandle(completion);
    }
    ReadTransfer(const ReadTransfer&) = delete;
    ReadTransfer& operator=(const ReadTransfer&) = delete;

    OVERLAPPED overlapped = {};
    HANDLE completion;
    std::array<std::uint8_t, kReadTransferSize> bytes{};
};

void TCommEventChars::SetXonChar(char value) {
    if (value == xonChar_) return;
    xonChar_ = value;
    owner_.ApplyLineSettings();
}

void TCommEventChars::SetXoffChar(char value) {
    if (value == xoffChar_) return;
    xoffChar_ = value;
    owner_.ApplyLineSettings();
}

TCustomComm::TCustomComm() : read_(std::make_unique<ReadTransfer>()), eventChars_(*this) {}

TCustomComm::~TCustomComm() { Close(); }

void TCustomComm::RaisePortError(const char* message, std::int32_t code) {
    throw ECommError(message, code);
}

std::int32_t TCustomComm::LastError() {
    // Codes above INT32_MAX (none in practice) keep their bits.
    return static_cast<std::int32_t>(GetLastError());
}

void TCustomComm::Open() {
    Close();
    SetLastError(0);
    OpenDevice();
    if (!IsOpen()) return;
    // An event nobody handles would only wake the thread (the transmitter's
    // empty queue after every frame, for one). Received bytes alone are
    // waited for with a read under Wine (see TCommEventThread::WaitMethod).
    const TCommEventType handled = HandledEvents();
    readWait_ = EventCodesFor(handled) == EV_RXCHAR && RunningUnderWine();
    eventThread_ =
        std::make_unique<TCommEventThread>(handle_, handled,
                                           readWait_ ? TCommEventThread::WaitMethod::ReceivedBytes
                                                     : TCommEventThread::WaitMethod::Events);
    eventThread_->SetPriority(tpHighest);
    // Linked before the start, so the thread never sees a half-made link.
    eventThread_->OnPortEvents = [this](TCommEventThread& sender, std::uint32_t mask) {
        HandlePortEvents(sender, mask);
    };
    eventThread_->OnPortLost = [this](TCommEventThread& sender, std::int32_t errorCode) {
        HandlePortLost(sender, errorCode);
    };
    eventThread_->Start();
    writer_.Start(handle_);
    ApplyLineSettings();
    if (!SetupComm(handle_, static_cast<DWORD>(settings_.readBufSize),
                   static_cast<DWORD>(writeBufSize_))) {
        RaisePortError("Error initializing Read/Write Buffers", LastError());
    }
    ApplyTimeouts();
}

void TCustomComm::OpenDevice() {
    handle_ = CreateFileA(DevicePathFor(deviceName_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        RaisePortError("Error accessing specified device", LastError());
    }
    openCount_ = static_cast<std::uint32_t>(openCount_ + 1u);
    if (GetFileType(handle_) != FILE_TYPE_CHAR) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        RaisePortError("Invalid device handle, access denied", -1);
    }
}

void TCustomComm::Close() {
    if (!IsOpen()) return;
    // Hand-overs of other components (timer ticks) are serviced while we wait
    // for the event thread, and one of them may close or reopen this port. So
    // the thread is taken out first, and the device is released only if it is
    // still the one this call set out to close.
    const std::uint32_t closing = openCount_;
    if (std::unique_ptr<TCommEventThread> thread = std::move(eventThread_)) {
        thread->Stop();
        thread->WaitFor();
    }
    if (!IsOpen() || openCount_ != closing) return;
    writer_.Stop();
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    readWait_ = false;
}

std::int32_t TCustomComm::Write(const void* buffer, std::int32_t count) {
    if (!IsOpen() || count < 0 || (count > 0 && buffer == nullptr)) return -1;
    if (count == 0) return 0;
    writer_.Queue(buffer, static_cast<std::size_t>(count));
    return -1;  // queued: the transfer has not finished at once
}

std::int32_t TCustomComm::Read(void* buffer, std::int32_t count) {
    if (!IsOpen() || count < 0 || (count > 0 && buffer == nullptr)) return -1;
    if (count == 0) return 0;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t taken = 0;
    std::size_t fromDevice = static_cast<std::size_t>(count);
    if (readWait_) {
        // Only during a hand-over: otherwise the wait's read is pending and
        // would take bytes out of order.
        TCommEventThread* thread = eventThread_.get();
        if (thread == nullptr || !thread->HandingOver()) return 0;
        taken = thread->TakeHeld(bytes, fromDevice);  // the wait took these first
        // No more than the status query saw waiting: under the read wait's
        // timeouts a read for more would wait for bytes to come.
        fromDevice = std::min<std::size_t>(fromDevice - taken, queuedAtStatus_);
    }
    while (fromDevice > 0) {
        const std::size_t chunk = std::min(fromDevice, kReadTransferSize);
        const std::int32_t n = ReadDevice(bytes + taken, chunk);
        if (n < 0) return taken > 0 ? static_cast<std::int32_t>(taken) : -1;
        const auto got = static_cast<std::size_t>(n);
        taken += got;
        fromDevice -= got;
        queuedAtStatus_ -= static_cast<DWORD>(std::min<std::size_t>(got, queuedAtStatus_));
        if (got < chunk) break;  // nothing more has come
    }
    return static_cast<std::int32_t>(taken);  // at most count
}

std::int32_t TCustomComm::ReadDevice(std::uint8_t* bytes, std::size_t count) {
    if (read_ == nullptr) read_.reset(new (std::nothrow) ReadTransfer);
    if (read_ == nullptr || read_->completion == nullptr) return -1;
    ReadTransfer& t = *read_;
    ResetEvent(t.completion);
    t.overlapped = {};
    t.overlapped.hEvent = t.completion;
    if (!ReadFile(handle_, t.bytes.data(), static_cast<DWORD>(count), nullptr, &t.overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING) return -1;
        // Wine, and some drivers, report even a read of waiting bytes as pending.
        const DWORD limit =
            static_cast<DWORD>(charsTimeOut_ > 0 ? charsTimeOut_ : 0) + kReadGraceMs;
        if (WaitForSingleObject(t.completion, limit) != WAIT_OBJECT_0) {
            CancelIoEx(handle_, &t.overlapped);
            if (WaitForSingleObject(t.completion, kCancelGraceMs) != WAIT_OBJECT_0) {
                // The driver never ended the cancelled read and still owns the
                // transfer: left allocated on purpose; the next read gets a new one.
                static_cast<void>(read_.release());
                return -1;
            }
        }
    }
    DWORD transferred = 0;
    if (!GetOverlappedResult(handle_, &t.overlapped, &transferred, FALSE) &&
        GetLastError() != ERROR_OPERATION_ABORTED) {
        return -1;
    }
    const std::size_t got = std::min<std::size_t>(transferred, count);
    std::memcpy(bytes, t.bytes.data(), got);
    return static_cast<std::int32_t>(got);
}

LineSettings TCustomComm::CurrentLineSettings() const {
    LineSettings s = settings_;
    s.xonChar = eventChars_.XonChar();
    s.xoffChar = eventChars_.XoffChar();
    return s;
}

void TCustomComm::ApplyLineSettings() {
    if (!IsOpen()) return;
    DCB reported = {};
    reported.DCBlength = sizeof(DCB);
    if (GetCommState(handle_, &reported)) dcb_ = reported;
    dcb_.DCBlength = sizeof(DCB);
    DcbFields fields = ToFields(dcb_);
    ApplyLineSettingsToDcb(CurrentLineSettings(), fields);
    FromFields(fields, dcb_);
    if (!SetCommState(handle_, &dcb_)) {
        std::int32_t code = LastError();
        // A driver that rejects RTS toggle mode gets RTS held on instead.
        if (!FallBackFromRtsToggle(fields)) RaisePortError("Error updating DataControlBlock", code);
        FromFields(fields, dcb_);
        if (!SetCommState(handle_, &dcb_)) {
            code = LastError();
            RaisePortError("Error updating DataControlBlock", code);
        }
    }
    writer_.SetLineRate(fields.baudRate);
}

void TCustomComm::ApplyTimeouts() {
    // The read wait's own timeouts stand while it is used; CharsTimeOut is kept for later.
    const CommTimeoutValues t = readWait_ ? ReadWaitTimeouts() : TimeoutsFor(charsTimeOut_);
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = t.readIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = t.readTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = t.readTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = t.writeTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = t.writeTotalTimeoutConstant;
    if (!SetCommTimeouts(handle_, &timeouts)) {
        RaisePortError("Error updating CommTimeouts", LastError());
    }
}

void TCustomComm::HandlePortEvents(TCommEventThread& sender, std::uint32_t eventMask) {
    DWORD errors = 0;
    COMSTAT status = {};
    ClearCommError(handle_, &errors, &status);  // result ignored: zeros stand
    lineErrors_ = errors;
    status_ = status;
    queuedAtStatus_ = status.cbInQue;
    waitingBytes_ = std::uint64_t{status.cbInQue} + (readWait_ ? sender.HeldCount() : 0u);
    for (const CommEventRow& row : kCommEventTable) {
        if ((eventMask & row.code) != 0) FirePortEvent(row.code);
    }
}

void TCustomComm::FirePortEvent(std::uint32_t eventCode) {
    auto notify = [this](const TCommNotifyEvent& handler) {
        if (handler) handler(*this);
    };
    switch (eventCode) {
        case EV_BREAK: notify(OnBreak); break;
        case EV_CTS: notify(OnCTS); break;
        case EV_DSR: notify(OnDSR); break;
        case EV_ERR:
            if (OnError) OnError(*this, ClampToInt32(lineErrors_));
            break;
        case EV_RING: notify(OnRing); break;
        case EV_RLSD: notify(OnRLSD); break;
        case EV_RXCHAR:
            if (OnRxChar) OnRxChar(*this, ClampToInt32(waitingBytes_));
            break;
        case EV_RXFLAG: notify(OnRxFlag); break;
        case EV_TXEMPTY: notify(OnTxEmpty); break;
        default: break;
    }
}

void TCustomComm::HandlePortLost(TCommEventThread& /*sender*/, std::int32_t errorCode) {
    // Closed before the handler hears of it, so the handler may open it again.
    Close();
    if (OnPortLost) OnPortLost(*this, errorCode);
}

TCommEventType TCustomComm::HandledEvents() const {
    const std::pair<TCommEventState, bool> assigned[] = {
        {evBreak, bool(OnBreak)},   {evCTS, bool(OnCTS)},       {evDSR, bool(OnDSR)},
        {evError, bool(OnError)},   {evRing, bool(OnRing)},     {evRlsd, bool(OnRLSD)},
        {evRxChar, bool(OnRxChar)}, {evRxFlag, bool(OnRxFlag)}, {evTxEmpty, bool(OnTxEmpty)},
    };
    TCommEventType handled;
    for (const auto& [event, handler] : assigned) {
        if (handler && monitorEvents_.Contains(event)) handled.Include(event);
    }
    return handled;
}

void TCustomComm::RefuseWhileOpen() const {
    if (IsOpen()) RaisePortError("Device already assigned (open)", -1);
}

void TCustomComm::SettingChanged() { ApplyLineSettings(); }

void TCustomComm::SetDeviceName(const std::string& value) {
    RefuseWhileOpen();
    deviceName_ = value;
}

void TCustomComm::SetMonitorEvents(TCommEventType value) {
    RefuseWhileOpen();
    monitorEvents_ = value;
}

void TCustomComm::SetReadBufSize(std::int32_t value) {
    RefuseWhileOpen();
    settings_.readBufSize = value;
}

void TCustomComm::SetWriteBufSize(std::int32_t value) {
    RefuseWhileOpen();
    writeBufSize_ = value;
}

void TCustomComm::SetBaudRate(TBaudRate value) {
    if (value == settings_.baudRate) return;
    settings_.baudRate = value;
    SettingChanged();
}

void TCustomComm::SetParity(TParity value) {
    if (value == settings_.parity) return;
    settings_.parity = value;
    SettingChanged();
}

void TCustomComm::SetStopbits(TStopbits value) {
    if (value == settings_.stopbits) return;
    settings_.stopbits = value;
    SettingChanged();
}

void TCustomComm::SetDatabits(TDatabits value) {
    if (value == settings_.databits) return;
    settings_.databits = value;
    SettingChanged();
}

void TCustomComm::SetOptions(TCommOptions value) {
    if (value == settings_.options) return;
    settings_.options = value;
    SettingChanged();
}

void TCustomComm::SetFlowControl(TFlowControl value) {
    if (value == settings_.flowControl) return;
    settings_.flowControl = value;
    SettingChanged();
}

void TCustomComm::SetCharsTimeOut(std::int32_t value) {
    charsTimeOut_ = value;
    if (IsOpen()) ApplyTimeouts();
}

}  // namespace bridge
