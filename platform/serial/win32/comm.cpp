#include "platform/serial/win32/comm.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/serial/win32/comm_settings_win32.h"

namespace bridge {

namespace {

// The most one transfer of Read takes (the bridge's receiver takes at most 1000).
constexpr std::size_t kReadTransferSize = 4096;

std::int32_t ClampToInt32(std::uint64_t value) {
    return value > static_cast<std::uint64_t>(INT32_MAX) ? INT32_MAX
                                                         : static_cast<std::int32_t>(value);
}

// The read wait's input queue: as large as the one asked of the driver.
std::size_t HoldCapacity(std::int32_t readBufSize) {
    return static_cast<std::size_t>(std::clamp<std::int32_t>(readBufSize, 1024, 65536));
}

}  // namespace

TCustomComm::TCustomComm() : read_(kReadTransferSize), eventChars_(*this) {}

TCustomComm::~TCustomComm() { Close(); }

void TCustomComm::RaisePortError(const char* message, std::int32_t code) {
    throw ECommError(message, code);
}

std::int32_t TCustomComm::LastError() {
    // Codes above INT32_MAX (none in practice) keep their bits.
    return static_cast<std::int32_t>(GetLastError());
}

// A port that is open but deaf or mute is worse than one that failed to open.
void TCustomComm::FailOpen(const char* message) {
    const std::int32_t code = LastError();
    Close();
    RaisePortError(message, code);
}

bool TCustomComm::StartWorker(WorkerThread& worker) { return worker.Start(); }

void TCustomComm::Open() {
    Close();
    SetLastError(0);
    OpenDevice();
    if (handle_ == INVALID_HANDLE_VALUE) return;
    state_ = PortState::Open;
    StartMonitoring();
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
    if (GetFileType(handle_) != FILE_TYPE_CHAR) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        RaisePortError("Invalid device handle, access denied", -1);
    }
}

// The event thread waits for the events that have a handler: an event nobody
// handles would only wake it (the transmitter's empty queue after every
// frame, for one).
void TCustomComm::StartMonitoring() {
    ChosenWait wait = MakePortWait(waitChoice_, EventCodesFor(HandledEvents()),
                                   HoldCapacity(settings_.readBufSize));
    try {
        wait.wait->Select(handle_);
    } catch (const ECommError&) {
        Close();
        throw;
    }
    eventThread_ = std::make_unique<TCommEventThread>(handle_, std::move(wait), *this);
    eventThread_->SetPriority(tpHighest);
    if (!eventThread_->Ready() || !StartWorker(*eventThread_)) {
        FailOpen("Error creating event thread");
    }
    writer_ = std::make_unique<PortWriter>(handle_);
    if (!writer_->Ready() || !StartWorker(*writer_)) FailOpen("Error creating write thread");
}

void TCustomComm::Close() {
    if (state_ == PortState::Lost) state_ = PortState::Closed;
    if (state_ != PortState::Open) return;  // Closed, or an outer Close finishes the job
    ReleasePort(PortState::Closed);
}

void TCustomComm::ReleasePort(PortState after) {
    state_ = PortState::Closing;
    // Owned here from now on: the wait below services hand-overs (timer
    // ticks, the handlers of a port opened anew), which may open this
    // component again, with a new handle, thread and writer.
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    std::unique_ptr<TCommEventThread> thread = std::move(eventThread_);
    std::unique_ptr<PortWriter> writer = std::move(writer_);
    if (thread != nullptr) {
        thread->Stop();
        thread->WaitFor();
        thread.reset();
    }
    if (writer != nullptr) {
        writer->Stop();  // ends the transfer in flight; unsent output is dropped
        writer->WaitFor();
        for (std::uint8_t tag = 0; tag < PortWriter::kWriteTags; ++tag) {
            writtenBefore_[tag] += writer->Written(tag);
        }
        bytesWrittenBefore_ += writer->BytesWritten();
        writer.reset();
    }
    CloseHandle(handle);
    if (state_ == PortState::Closing) state_ = after;
}

std::int32_t TCustomComm::Write(const void* buffer, std::int32_t count) {
    if (state_ != PortState::Open || count < 0 || (count > 0 && buffer == nullptr)) return -1;
    if (count == 0) return 0;
    Queue(buffer, static_cast<std::size_t>(count));
    return -1;  // queued: the transfer has not finished at once
}

bool TCustomComm::Queue(const void* buffer, std::size_t count, std::uint8_t tag) {
    if (state_ != PortState::Open || (count > 0 && buffer == nullptr)) return false;
    if (count == 0) return true;
    if (writer_->Queue(buffer, count, tag, writeHolds_ > 0)) return true;
    ++refusedWrites_;
    return false;
}

void TCustomComm::HoldWrites() { ++writeHolds_; }

void TCustomComm::ReleaseWrites() {
    if (writeHolds_ == 0 || --writeHolds_ > 0) return;
    if (state_ == PortState::Open) writer_->Release();
}

LineSettings TCustomComm::CurrentLineSettings() const {
    LineSettings s = settings_;
    s.xonChar = eventChars_.XonChar();
    s.xoffChar = eventChars_.XoffChar();
    return s;
}

void TCustomComm::ApplyLineSettings() {
    if (state_ != PortState::Open) return;
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
    if (writer_ != nullptr) writer_->SetLineRate(fields.baudRate);
}

void TCustomComm::ApplyTimeouts() {
    // The wait decides: the read wait keeps its own, and CharsTimeOut waits for later.
    if (!SetPortTimeouts(handle_, eventThread_->Wait().Timeouts(charsTimeOut_))) {
        RaisePortError("Error updating CommTimeouts", LastError());
    }
}

void TCustomComm::HandlePortEvents(TCommEventThread& sender, std::uint32_t eventMask) {
    DWORD errors = 0;
    COMSTAT status = {};
    ClearCommError(handle_, &errors, &status);  // result ignored: zeros stand
    lineErrors_ = errors;
    lineErrorCounts_.Count(errors);
    queuedAtStatus_ = status.cbInQue;
    const ReadTurn* const readTurn = sender.Turn();
    waitingBytes_ =
        std::uint64_t{status.cbInQue} + (readTurn != nullptr ? readTurn->HeldCount() : 0);
    // Restored however the handlers leave: one that raises ends the event
    // thread, and a Read after that must look at the device afresh.
    struct Dispatching {
        bool& flag;
        const bool was = std::exchange(flag, true);
        ~Dispatching() { flag = was; }
    } dispatching{dispatching_};
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

void TCustomComm::HandlePortLost(TCommEventThread& sender, std::int32_t errorCode) {
    if (state_ != PortState::Open || eventThread_.get() != &sender) return;
    // Released before the handler hears of it, so the handler may open it again.
    ReleasePort(PortState::Lost);
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

}  // namespace bridge
