// The serial port component: opens a communications device, applies line
// settings, queue sizes and timeouts, sends without blocking the caller and
// reports port events, and the loss of the device, on the user-interface
// thread.
//
// Everything here runs on the user-interface thread: construction, the
// operations, the property setters and the handlers. The event thread only
// waits on the port and hands each wake-up over (see ui_thread_call.h), so
// hand-overs are serviced wherever that thread takes messages.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "boxlink/box_port.h"
#include "platform/comm_error.h"
#include "platform/comm_settings.h"
#include "platform/win32/comm_event_thread.h"
#include "platform/win32/port_writer.h"

namespace bridge {

class TCustomComm;

using TCommNotifyEvent = std::function<void(TCustomComm& sender)>;
using TCommRxCharEvent = std::function<void(TCustomComm& sender, std::int32_t count)>;
using TCommErrorEvent = std::function<void(TCustomComm& sender, std::int32_t errors)>;
using TCommPortLostEvent = std::function<void(TCustomComm& sender, std::int32_t errorCode)>;

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

class TCustomComm : public BoxPort {
public:
    TCustomComm();
    virtual ~TCustomComm();  // closes the port
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Opens DeviceName (closing first), applies every setting and starts
    // event monitoring. Raises ECommError. Of MonitorEvents, only the events
    // whose handlers are assigned by now are waited for.
    void Open();
    // Stops event monitoring, drops unsent output and releases the device.
    void Close();

    // Queues a copy of the bytes and returns at once; they go out in call
    // order. -1: still in progress (queued), or failed (port closed, more
    // than the queue holds, line stalled); 0 for no bytes.
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    // Copies up to `count` received bytes; returns how many, or -1. Waits
    // for its transfer to end (at once for bytes already waiting) and never
    // leaves one running into the buffer. Where received bytes are waited for
    // with a read (see TCommEventThread::WaitMethod), bytes are taken only in
    // OnRxChar; elsewhere Read copies none.
    std::int32_t Read(void* buffer, std::int32_t count) override;

    // Re-applies the line settings to an open port; nothing when closed.
    void ApplyLineSettings();
    // One wake-up of the event thread: one status query, then the events of
    // `eventMask` in event-table order.
    void HandlePortEvents(TCommEventThread& sender, std::uint32_t eventMask);
    // The event thread found the device gone: closes the port, then calls
    // OnPortLost.
    void HandlePortLost(TCommEventThread& sender, std::int32_t errorCode);

    // Properties. DeviceName, MonitorEvents, ReadBufSize and WriteBufSize are
    // refused while open ("Device already assigned (open)"); the others are
    // applied to an open port at once when they change.
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
    // been closed, and errorCode is the system's error from the wait. The
    // handler may open the port again.
    TCommPortLostEvent OnPortLost;

protected:
    // Opens the device (a COM port through the device namespace, so COM10 and
    // up open too) and checks that it is a character device.
    virtual void OpenDevice();
    // Calls the handler that belongs to one platform event code.
    virtual void FirePortEvent(std::uint32_t eventCode);

    HANDLE Handle() const { return handle_; }
    TCommEventThread* EventThread() const { return eventThread_.get(); }
    std::int32_t LineErrors() const { return static_cast<std::int32_t>(lineErrors_); }

private:
    friend class TCommEventChars;

    struct ReadTransfer;

    [[noreturn]] static void RaisePortError(const char* message, std::int32_t code);
    static std::int32_t LastError();
    void RefuseWhileOpen() const;
    TCommEventType HandledEvents() const;
    std::int32_t ReadDevice(std::uint8_t* bytes, std::size_t count);
    void ApplyTimeouts();
    LineSettings CurrentLineSettings() const;
    void SettingChanged();

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::uint32_t openCount_ = 0;  // tells one opening of the device from the next
    DCB dcb_ = {};
    COMSTAT status_ = {};
    DWORD queuedAtStatus_ = 0;        // in the driver at the last status query, not yet read
    std::uint64_t waitingBytes_ = 0;  // for OnRxChar: those and the bytes a read wait took
    bool readWait_ = false;           // received bytes are waited for with a read
    std::unique_ptr<ReadTransfer> read_;
    std::string deviceName_ = "Com2";
    std::unique_ptr<TCommEventThread> eventThread_;
    TCommEventType monitorEvents_ = kAllCommEvents;
    DWORD lineErrors_ = 0;
    LineSettings settings_;  // rate, framing, ReadBufSize, options, flow control
    std::int32_t writeBufSize_ = 2048;
    std::int32_t charsTimeOut_ = 250;
    TCommEventChars eventChars_;
    PortWriter writer_;
};

// The component as placed on a form: every property published, nothing overridden.
class TComm : public TCustomComm {};

}  // namespace bridge
