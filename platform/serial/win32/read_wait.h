// The event thread's wait for received bytes alone, where the event wait
// costs too much (Wine, see port_wait.h): a one-byte read that returns as soon
// as a byte has arrived. The byte is held for the component's Read, which
// takes the held bytes first and then the rest from the device.
//
// Only one reader may have a read on the device at a time, or bytes would be
// taken out of order. So Read takes its turn through BeginRead/EndRead: a
// read the wait has pending is cancelled (a byte it got is held), and the
// wait starts no other until Read is done. While a wake-up is handed over no
// read is pending, and Read's turn costs nothing.
//
// The hold is the input queue, as large as the one asked of the driver. When
// it is full (a handler that does not read), arriving bytes are dropped, as a
// driver's full queue drops them, and the waits go on: the handler is called
// for each, and once it reads, the line works again.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/serial/byte_ring.h"
#include "platform/serial/win32/overlapped_transfer.h"
#include "platform/serial/win32/port_wait.h"
#include "platform/serial/win32/read_turn.h"

namespace bridge {

class ReadWait final : public PortWait, public ReadTurn {
public:
    explicit ReadWait(std::size_t holdCapacity);

    bool Ready() const override { return transfer_.Ready(); }
    void Select(HANDLE port) override;
    CommTimeoutValues Timeouts(std::int32_t charsTimeOutMs) const override;
    Outcome Wait(HANDLE port, HANDLE stop, std::uint32_t& events, DWORD& error) override;

    bool BeginRead(HANDLE port) override;
    void EndRead() override;
    std::size_t HeldCount() const override;
    std::size_t TakeHeld(std::uint8_t* bytes, std::size_t max) override;

private:
    mutable std::mutex lock_;  // guards everything below
    std::condition_variable readerChanged_;
    ByteRing hold_;
    bool waitReading_ = false;       // the wait's read is on the device
    bool readsPaused_ = false;       // Read's turn: the wait starts no read
    bool cancelledForRead_ = false;  // Read cancelled the wait's read
    OverlappedTransfer transfer_{1};
};

}  // namespace bridge
