// The Windows components as the application models see them.
#pragma once

#include <windows.h>

#include <string>

#include "app/identity/port_listing.h"
#include "app/record/log_file.h"
#include "app/seams/box_line_control.h"
#include "app/seams/message_pump.h"
#include "app/seams/sim_link_connection.h"
#include "boxlink/box_line.h"
#include "platform/port_list/win32/system_ports.h"
#include "platform/serial/win32/comm.h"
#include "platform/timer/win32/threaded_timer.h"

namespace bridge::gui {

// The box's serial port (TComm) as the box line, for the frame senders and the receiver.
class CommBoxLine : public BoxLine {
public:
    explicit CommBoxLine(TComm& comm) : comm_(comm) {}
    BoxWrite Write(const void* buffer, std::int32_t count) override {
        const bool queued = count >= 0 && comm_.Queue(buffer, static_cast<std::size_t>(count));
        return queued ? BoxWrite::Queued : BoxWrite::Refused;
    }
    // The port's writer counts each frame by its kind once it has gone out.
    BoxWrite WriteFrame(const void* buffer, std::int32_t count, SentFrame kind) override {
        const bool queued = count >= 0 && comm_.Queue(buffer, static_cast<std::size_t>(count),
                                                      static_cast<std::uint8_t>(kind));
        return queued ? BoxWrite::Queued : BoxWrite::Refused;
    }
    std::int32_t Read(void* buffer, std::int32_t count) override {
        return comm_.Read(buffer, count);
    }
    void HoldWrites() override { comm_.HoldWrites(); }
    void ReleaseWrites() override { comm_.ReleaseWrites(); }

private:
    TComm& comm_;
};

// The box's serial port (TComm) as the box line's control, for the start-up
// and port dialog logic. With a log file, the port's openings, failures (with
// their error codes, repeats summarised) and closings are recorded there.
class CommBoxLineControl : public BoxLineControl {
public:
    explicit CommBoxLineControl(TComm& comm) : comm_(comm) {}
    void SetLog(LogFile* log) { log_ = log; }
    void Close() override;
    void SetDeviceName(const std::string& deviceName) override { comm_.SetDeviceName(deviceName); }
    std::string DeviceName() const override { return comm_.DeviceName(); }
    // Raises ECommError for a rate the component has no value for.
    void SetBaudRate(std::uint32_t baud) override;
    void Open() override;
    bool IsOpen() const override { return comm_.IsOpen(); }
    std::string ErrorText(std::int32_t code) const override;

private:
    TComm& comm_;
    LogFile* log_ = nullptr;
    FailureRun openFailures_;
};

// The process-wide simulator link. With a log file, each failure to connect
// is recorded with its result code, the quiet automatic tries' among them
// (the first failure and each change of result, with how many tries failed
// alike), and a connection with the simulator's name and FSUIPC version.
class ProcessSimLinkConnection : public SimLinkConnection {
public:
    void SetLog(LogFile* log) { log_ = log; }
    // How long the quick check waits for the server window's answer.
    static constexpr UINT kCheckTimeoutMs = 200;

    ServerCheck CheckServer() override;
    bool Open(std::int32_t requestedSimulator, SimLinkResult& result) override;
    void Close() override;
    bool IsOpen() const override;
    std::uint32_t SimulatorId() const override;
    std::uint32_t LastSendError() const override;

private:
    LogFile* log_ = nullptr;
    FailureRun openFailures_;
};

// The serial ports as Windows lists them, for the box's adapter.
class SystemPortListing : public PortListing {
public:
    std::vector<ListedPort> List() override { return ListSystemPorts(); }
};

// Dispatches what is pending, waiting briefly for input first so that a loop
// waiting on the main cycle does not spin. Sent messages (the timer's and the
// port's hand-overs) wake the wait.
class Win32MessagePump : public MessagePump {
public:
    explicit Win32MessagePump(TThreadedTimer& timer) : timer_(timer) {}
    void ProcessMessages() override;
    bool TimerEnabled() const override { return timer_.Enabled(); }

private:
    TThreadedTimer& timer_;
};

}  // namespace bridge::gui
