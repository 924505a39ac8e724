// The serial port component: opens a communications device, applies line
// settings, queue sizes and timeouts, sends without blocking the caller and
// reports port events, and the loss of the device, on the user-interface
// thread.
//
// Everything here runs on the user-interface thread: construction, the
// operations, the property setters and the handlers. The event thread only
// waits on the port and hands each wake-up over (see ui_thread_call.h), so
// hand-overs are serviced wherever that thread takes messages.
//
// The component's state, and how it changes:
//   Closed  -- Open -->  Open; back to Closed when any step of Open fails,
//                        except a line setting, queue size or timeout the
//                        driver refuses (the port then stays Open)
//   Open    -- Close -->  Closing --> Closed
//   Open    -- the device went away -->  Closing --> Lost, then OnPortLost
//   Lost    -- Open -->  as from Closed; Close --> Closed
//   Closing: Close stops the event thread and the writer and waits for
//   them, servicing hand-overs meanwhile. A Close nested in that wait does
//   nothing; an Open nested in it opens the device anew, and the outer Close
//   then releases only the handle it set out to close.
// Open holds the device, an event thread and a writer; no other state does.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/serial/comm_error.h"
#include "platform/serial/comm_settings.h"
#include "platform/serial/line_errors.h"
#include "platform/serial/win32/comm_event_thread.h"
#include "platform/serial/win32/overlapped_transfer.h"
#include "platform/serial/win32/port_wait_choice.h"
#include "platform/serial/win32/port_writer.h"

namespace bridge {

class TCustomComm;

using TCommNotifyEvent = std::function<void(TCustomComm& sender)>;
using TCommRxCharEvent = std::function<void(TCustomComm& sender, std::int32_t count)>;
using TCommErrorEvent = std::function<void(TCustomComm& sender, std::int32_t errors)>;
using TCommPortLostEvent = std::function<void(TCustomComm& sender, std::int32_t errorCode)>;

enum class PortState : std::uint8_t { Closed, Open, Closing, Lost };

// The XON and XOFF characters; a change is applied to an open port at once.
class TCommEventChars {
public:
    explicit TCommEventChars(TCustomComm& owner) : owner_(owner) {}

    char XonChar() const { return xonChar_; }
    void SetXonChar(char value);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char value);

private:
    TCustomComm& owner_;
    char xonChar_ = 17;   // DC1
    char xoffChar_ = 19;  // DC3
};

class TCustomComm : public CommEventSink {
public:
    TCustomComm();
    virtual ~TCustomComm();  // closes the port
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    PortState State() const { return state_; }
    bool IsOpen() const { return state_ == PortState::Open; }
    // Opens DeviceName (closing first), applies every setting and starts
    // event monitoring and the writer. Raises ECommError. Of MonitorEvents,
    // only the events whose handlers are assigned by now are waited for.
    void Open();
    // Stops event monitoring, drops unsent output and releases the device.
    void Close();

    // Queues a copy of the bytes and returns at once; they go out in call
    // order. -1: still in progress (queued), or failed (not open, or refused
    // by the queue: more than it holds, or the line stalled; counted in
    // RefusedWrites); 0 for no bytes.
    std::int32_t Write(const void* buffer, std::int32_t count);
    // Write that tells the two apart: true when the bytes are queued (or
    // there are none), false when they were refused.
    // `tag` (below PortWriter::kWriteTags) counts the write once the line
    // has taken it (see Written).
    bool Queue(const void* buffer, std::size_t count, std::uint8_t tag = PortWriter::kUntagged);
    // Writes queued from HoldWrites on wait, and go out together when the
    // last hold is released: a burst of frames in one transfer, one system
    // call rather than one a frame. Holds nest. A port closed meanwhile drops
    // what was held with the rest of its unsent output.
    void HoldWrites();
    void ReleaseWrites();
    // Copies up to `count` received bytes, in or outside OnRxChar; returns
    // how many, or -1. Takes no longer than the bytes already there need
    // (CharsTimeOut past the last of them at most) and never leaves a
    // transfer running into the buffer.
    std::int32_t Read(void* buffer, std::int32_t count);
    // Writes the queue refused since the component was made.
    std::uint32_t RefusedWrites() const { return refusedWrites_; }
    // Writes of `tag`, and bytes, that the line has taken since the
    // component was made; what Close dropped unsent is not among them.
    std::uint64_t Written(std::uint8_t tag) const;
    std::uint64_t BytesWritten() const;
    // The line errors the port reported since the component was made.
    const LineErrorCounts& LineErrors() const { return lineErrorCounts_; }

    // Re-applies the line settings to an open port; nothing otherwise.
    void ApplyLineSettings();
    // One wake-up of the event thread: one status query, then the events of
    // `eventMask` in event-table order.
    void HandlePortEvents(TCommEventThread& sender, std::uint32_t eventMask) override;
    // The event thread found the device gone: releases the port (Lost), then
    // calls OnPortLost.
    void HandlePortLost(TCommEventThread& sender, std::int32_t errorCode) override;

    // Properties. DeviceName, MonitorEvents, ReadBufSize, WriteBufSize and
    // WaitChoice are refused while the device is held ("Device already
    // assigned (open)"); the others are applied to an open port at once when
    // they change.
    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& value);
    TCommEventType MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TCommEventType value);
    TBaudRate BaudRate() const { return settings_.baudRate; }
    void SetBaudRate(TBaudRate value);
    TParity Parity() const { return settings_.parity; }
    void SetParity(TParity value);
    TStopbits Stopbits() const { return settings_.stopbits; }
    void SetStopbits(TStopbits value);
    TDatabits Databits() const { return settings_.databits; }
    void SetDatabits(TDatabits value);
    std::int32_t ReadBufSize() const { return settings_.readBufSize; }
    void SetReadBufSize(std::int32_t value);
    std::int32_t WriteBufSize() const { return writeBufSize_; }
    void SetWriteBufSize(std::int32_t value);
    std::int32_t CharsTimeOut() const { return charsTimeOut_; }
    void SetCharsTimeOut(std::int32_t value);
    TCommOptions Options() const { return settings_.options; }
    void SetOptions(TCommOptions value);
    TFlowControl FlowControl() const { return settings_.flowControl; }
    void SetFlowControl(TFlowControl value);
    TCommEventChars& EventChars() { return eventChars_; }
    // How the event thread waits (see port_wait_choice.h); Auto by default.
    CommWaitChoice WaitChoice() const { return waitChoice_; }
    void SetWaitChoice(CommWaitChoice value);

    TCommNotifyEvent OnBreak;
    TCommNotifyEvent OnCTS;
    TCommNotifyEvent OnDSR;
    TCommErrorEvent OnError;
    TCommNotifyEvent OnRing;
    TCommNotifyEvent OnRLSD;
    TCommRxCharEvent OnRxChar;
    TCommNotifyEvent OnRxFlag;
    TCommNotifyEvent OnTxEmpty;
    // The device went away while open (an adapter pulled out): the port has
    // been released (Lost), and errorCode is the system's error from the
    // wait. The handler may open the port again.
    TCommPortLostEvent OnPortLost;

protected:
    // Opens the device (a COM port through the device namespace, so COM10 and
    // up open too) and checks that it is a character device.
    virtual void OpenDevice();
    // Calls the handler that belongs to one platform event code.
    virtual void FirePortEvent(std::uint32_t eventCode);
    // Starts one of the port's threads (the event thread, then the writer);
    // false when the system refused, with its error as the last error.
    virtual bool StartWorker(WorkerThread& worker);

    HANDLE Handle() const { return handle_; }
    TCommEventThread* EventThread() const { return eventThread_.get(); }

private:
    friend class TCommEventChars;

    [[noreturn]] static void RaisePortError(const char* message, std::int32_t code);
    static std::int32_t LastError();
    [[noreturn]] void FailOpen(const char* message);
    void StartMonitoring();
    void ReleasePort(PortState after);
    void RefuseWhileHeld() const;
    TCommEventType HandledEvents() const;
    std::size_t WaitingOnDevice();
    std::int32_t ReadFromDevice(std::uint8_t* bytes, std::size_t taken, std::size_t fromDevice);
    std::int32_t ReadDevice(std::uint8_t* bytes, std::size_t count);
    void ApplyTimeouts();
    LineSettings CurrentLineSettings() const;

    PortState state_ = PortState::Closed;
    HANDLE handle_ = INVALID_HANDLE_VALUE;  // valid while Open
    DCB dcb_ = {};
    std::uint64_t waitingBytes_ = 0;  // for OnRxChar: held by the wait and on the device
    DWORD queuedAtStatus_ = 0;        // on the device at the status query, not yet read
    bool dispatching_ = false;        // inside HandlePortEvents
    std::string deviceName_ = "Com2";
    std::unique_ptr<TCommEventThread> eventThread_;
    std::unique_ptr<PortWriter> writer_;
    OverlappedTransfer read_;  // Read's own transfer
    TCommEventType monitorEvents_ = kAllCommEvents;
    DWORD lineErrors_ = 0;
    LineSettings settings_;  // rate, framing, ReadBufSize, options, flow control
    std::int32_t writeBufSize_ = 2048;
    std::int32_t charsTimeOut_ = 250;
    TCommEventChars eventChars_;
    CommWaitChoice waitChoice_ = CommWaitChoice::Auto;
    std::uint32_t refusedWrites_ = 0;
    std::uint32_t writeHolds_ = 0;
    // Of the writers of earlier openings.
    std::array<std::uint64_t, PortWriter::kWriteTags> writtenBefore_{};
    std::uint64_t bytesWrittenBefore_ = 0;
    LineErrorCounts lineErrorCounts_;
};

// The component as placed on a form: every property published, nothing overridden.
class TComm : public TCustomComm {};

}  // namespace bridge
