// The event thread's wait on Windows: the platform's event wait for the
// selected events (see port_wait.h).
#pragma once

#include "platform/serial/win32/overlapped_transfer.h"
#include "platform/serial/win32/port_wait.h"

namespace bridge {

class EventWait final : public PortWait {
public:
    // `eventCodes`: the EV_ codes to wait for; 0 waits for the stop alone.
    explicit EventWait(std::uint32_t eventCodes);

    bool Ready() const override { return transfer_.Ready(); }
    void Select(HANDLE port) override;
    CommTimeoutValues Timeouts(std::int32_t charsTimeOutMs) const override;
    Outcome Wait(HANDLE port, HANDLE stop, std::uint32_t& events, DWORD& error) override;

private:
    std::uint32_t eventCodes_;
    OverlappedTransfer transfer_{0};
};

}  // namespace bridge
