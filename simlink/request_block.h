// The request block shared with the simulator's IPC server: requests are
// built in place in the 32 KiB block, sent in one exchange, and the values
// the server wrote back are copied out to the callers' buffers.
//
// Wire format, little-endian, requests back to back from byte 0:
//   read:  marker 1, offset, size n, destination reference, n data bytes
//   write: marker 2, offset, size n, n bytes to write
//   end:   a 32-bit zero
//
// The server writes into the block, so nothing it leaves there is trusted:
// every queued request is also recorded privately (position, marker, offset,
// size, destination), the returned block must match that record exactly, and
// values are copied out by the recorded size from the recorded position. A
// block that does not match delivers nothing. The destination field carries
// an index into the record (addresses need not fit in 32 bits).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "simlink/sim_link_result.h"

namespace bridge {

inline constexpr std::size_t kRequestBlockSize = 0x8000;
// The requests and the end marker must fit in this many bytes; the last 256
// bytes of the block are never written.
inline constexpr std::size_t kRequestBlockCapacity = 0x7F00;
inline constexpr std::uint32_t kReadMarker = 1;
inline constexpr std::uint32_t kWriteMarker = 2;
inline constexpr std::size_t kReadHeaderSize = 16;
inline constexpr std::size_t kWriteHeaderSize = 12;
inline constexpr std::size_t kEndMarkerSize = 4;
// Zero-size writes are the smallest requests.
inline constexpr std::size_t kMaxQueuedRequests =
    (kRequestBlockCapacity - kEndMarkerSize) / kWriteHeaderSize;

using RequestBlock = std::span<std::uint8_t, kRequestBlockSize>;

class RequestQueue {
public:
    // Builds requests in `block` from now on; the queue starts empty.
    void Attach(RequestBlock block);
    // Forgets the block; queuing is refused until the next Attach.
    void Detach();
    bool Attached() const { return block_.data() != nullptr; }

    bool Empty() const { return used_ == 0; }
    // Bytes taken by the queued requests (without the end marker).
    std::size_t UsedBytes() const { return used_; }
    std::size_t Count() const { return count_; }

    // Okay, or BlockFull when the request and the end marker would pass the
    // capacity (nothing is queued then). `destination` may be null: the data
    // area is still reserved and nothing is delivered.
    SimLinkResult QueueRead(std::uint32_t offset, std::uint32_t size, void* destination);
    // Copies `size` bytes from `source` now. BlockFull as above; BadReply when
    // `source` is null but `size` is not 0.
    SimLinkResult QueueWrite(std::uint32_t offset, std::uint32_t size, const void* source);

    // Stores the end marker after the last request; the block is then ready
    // to be sent. The record is kept for Deliver.
    void Seal();
    // Checks the block returned by the server against the record and, only
    // when it matches, copies every read value to its destination. Okay or
    // BadReply. Empties the queue either way.
    SimLinkResult Deliver();
    // Empties the queue without delivering anything.
    void Clear();

private:
    struct Record {
        std::uint32_t position;
        std::uint32_t marker;
        std::uint32_t offset;
        std::uint32_t size;
        void* destination;
    };

    bool Fits(std::size_t headerSize, std::uint32_t size) const;
    void StoreHeader(const Record& record, std::uint32_t reference);
    bool Matches(const Record& record, std::uint32_t reference) const;

    std::span<std::uint8_t> block_;
    std::size_t used_ = 0;
    std::size_t count_ = 0;
    std::array<Record, kMaxQueuedRequests> records_{};
};

}  // namespace bridge
