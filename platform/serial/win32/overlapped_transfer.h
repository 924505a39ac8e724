// One overlapped transfer on a port, of any of its three kinds: the event
// thread's wait (an event wait or a read), the writer's write, and Read's
// read. The OVERLAPPED, its completion event and the bytes the driver reads
// or writes belong together until the transfer has ended, so they live on the
// heap; one state serves one transfer after another.
//
// Ending a transfer early cancels it and waits kCancelGraceMs for it to end.
// A driver that never ends a cancelled transfer (a vanished USB device) must
// not hold the port up for ever, and must not write into freed memory: its
// state is then abandoned, left allocated for the driver, and counted. The
// next transfer gets a new state.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace bridge {

class OverlappedTransfer {
public:
    enum class Ended {
        Completed,    // Transferred() bytes, or the event mask in EventMask()
        Failed,       // Error() says why
        Interrupted,  // the stop event or the time limit came first; still running
    };

    // `capacity` bytes for reads and writes (0 for an event wait).
    explicit OverlappedTransfer(std::size_t capacity);
    ~OverlappedTransfer();
    OverlappedTransfer(const OverlappedTransfer&) = delete;
    OverlappedTransfer& operator=(const OverlappedTransfer&) = delete;

    // Whether the state could be made (memory and an event).
    bool Ready() const noexcept { return state_ != nullptr; }

    // Readies the state for the next transfer and returns the OVERLAPPED to
    // start it with, or nullptr when no state could be made.
    OVERLAPPED* Begin() noexcept;
    std::uint8_t* Bytes() noexcept;
    std::size_t Capacity() const noexcept { return capacity_; }
    // Where WaitCommEvent writes the events.
    DWORD* EventMaskSlot() noexcept;

    // Right after the call that started the transfer, given its result:
    // Completed or Failed when it ended at once, nothing while it runs on.
    // Waits for nothing.
    std::optional<Ended> Started(HANDLE port, BOOL started) noexcept;
    // Right after the call that started the transfer, given its result:
    // Started, and while the transfer runs, AwaitRunning.
    Ended Await(HANDLE port, BOOL started, HANDLE stop, DWORD timeoutMs) noexcept;
    // Waits until a running transfer ends, `stop` (may be null) is signalled
    // or `timeoutMs` pass (INFINITE: no limit).
    Ended AwaitRunning(HANDLE port, HANDLE stop, DWORD timeoutMs) noexcept;
    // Cancels an interrupted transfer and waits for it to end. True when it
    // ended (Transferred() holds what it moved before); false when it was
    // abandoned.
    bool Cancel(HANDLE port) noexcept;
    // From another thread: asks the driver to end the transfer, which the
    // thread waiting in Await then sees end.
    void RequestCancel(HANDLE port) noexcept;

    DWORD Transferred() const noexcept { return transferred_; }
    DWORD Error() const noexcept { return error_; }
    DWORD EventMask() const noexcept;

private:
    struct State;

    static State* MakeState(std::size_t capacity) noexcept;
    void Finish(HANDLE port) noexcept;

    std::size_t capacity_;
    State* state_;
    DWORD transferred_ = 0;
    DWORD error_ = 0;
};

// Transfers abandoned since the process started: 0 unless a driver failed
// to end a cancelled transfer within the grace time.
std::uint32_t AbandonedTransfers() noexcept;

}  // namespace bridge
