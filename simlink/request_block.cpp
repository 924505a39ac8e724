#include "simlink/request_block.h"

#include <cstring>

#include "base/byte_order.h"

namespace bridge {

void RequestQueue::Attach(RequestBlock block) {
    block_ = block;
    Clear();
}

void RequestQueue::Detach() {
    block_ = {};
    Clear();
}

void RequestQueue::Clear() {
    used_ = 0;
    count_ = 0;
}

// 64-bit sums: a size near 2^32 must not wrap into a small total.
bool RequestQueue::Fits(std::size_t headerSize, std::uint32_t size) const {
    const std::uint64_t total = std::uint64_t{used_} + headerSize + size + kEndMarkerSize;
    return total <= kRequestBlockCapacity && count_ < records_.size();
}

void RequestQueue::StoreHeader(const Record& record, std::uint32_t reference) {
    PutU32(block_, record.position, record.marker);
    PutU32(block_, record.position + 4, record.offset);
    PutU32(block_, record.position + 8, record.size);
    if (record.marker == kReadMarker) PutU32(block_, record.position + 12, reference);
}

SimLinkResult RequestQueue::QueueRead(std::uint32_t offset, std::uint32_t size, void* destination) {
    if (!Attached()) return SimLinkResult::NotOpen;
    if (!Fits(kReadHeaderSize, size)) return SimLinkResult::BlockFull;
    const Record record{static_cast<std::uint32_t>(used_), kReadMarker, offset, size, destination};
    // Reference 0 stands for "no destination"; others are record index + 1.
    const auto reference = destination ? static_cast<std::uint32_t>(count_ + 1) : 0u;
    StoreHeader(record, reference);
    std::memset(block_.data() + used_ + kReadHeaderSize, 0, size);
    records_[count_++] = record;
    used_ += kReadHeaderSize + size;
    return SimLinkResult::Okay;
}

SimLinkResult RequestQueue::QueueWrite(std::uint32_t offset, std::uint32_t size,
                                       const void* source) {
    if (!Attached()) return SimLinkResult::NotOpen;
    if (source == nullptr && size != 0) return SimLinkResult::BadReply;
    if (!Fits(kWriteHeaderSize, size)) return SimLinkResult::BlockFull;
    const Record record{static_cast<std::uint32_t>(used_), kWriteMarker, offset, size, nullptr};
    StoreHeader(record, 0);
    if (size != 0) std::memcpy(block_.data() + used_ + kWriteHeaderSize, source, size);
    records_[count_++] = record;
    used_ += kWriteHeaderSize + size;
    return SimLinkResult::Okay;
}

void RequestQueue::Seal() {
    if (Attached()) PutU32(block_, used_, 0);
}

bool RequestQueue::Matches(const Record& record, std::uint32_t reference) const {
    const std::size_t at = record.position;
    if (GetU32(block_, at) != record.marker) return false;  // also an unknown marker
    if (GetU32(block_, at + 4) != record.offset) return false;
    if (GetU32(block_, at + 8) != record.size) return false;
    return record.marker != kReadMarker || GetU32(block_, at + 12) == reference;
}

// The walk steps by the recorded sizes, so it never leaves the used part of
// the block whatever the server wrote; it ends at the first difference.
SimLinkResult RequestQueue::Deliver() {
    if (!Attached() || count_ == 0) {
        Clear();
        return SimLinkResult::BadReply;
    }
    bool good = true;
    for (std::size_t i = 0; i < count_ && good; ++i) {
        const Record& r = records_[i];
        good = Matches(r, r.destination ? static_cast<std::uint32_t>(i + 1) : 0u);
    }
    // Only the lowest byte of the end marker counts, as for every marker.
    good = good && block_[used_] == 0;
    if (good) {
        for (std::size_t i = 0; i < count_; ++i) {
            const Record& r = records_[i];
            if (r.marker != kReadMarker || r.destination == nullptr || r.size == 0) continue;
            std::memcpy(r.destination, block_.data() + r.position + kReadHeaderSize, r.size);
        }
    }
    Clear();
    return good ? SimLinkResult::Okay : SimLinkResult::BadReply;
}

}  // namespace bridge
