#include "platform/serial/byte_ring.h"

#include <algorithm>
#include <cstring>

namespace bridge {

ByteRing::ByteRing(std::size_t capacity)
    : buffer_(std::make_unique<std::uint8_t[]>(capacity)), capacity_(capacity) {}

bool ByteRing::Push(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > Free()) return false;
    if (bytes.empty()) return true;
    const std::size_t tail = (head_ + size_) % capacity_;
    const std::size_t first = std::min(bytes.size(), capacity_ - tail);
    std::memcpy(buffer_.get() + tail, bytes.data(), first);
    std::memcpy(buffer_.get(), bytes.data() + first, bytes.size() - first);
    size_ += bytes.size();
    return true;
}

std::span<const std::uint8_t> ByteRing::Front(std::size_t max) const {
    const std::size_t contiguous = std::min(size_, capacity_ - head_);
    return {buffer_.get() + head_, std::min(contiguous, max)};
}

void ByteRing::Drop(std::size_t count) {
    count = std::min(count, size_);
    size_ -= count;
    head_ = size_ == 0 ? 0 : (head_ + count) % capacity_;
}

std::size_t ByteRing::Pop(std::span<std::uint8_t> out) {
    std::size_t moved = 0;
    while (moved < out.size() && size_ > 0) {
        const std::span<const std::uint8_t> front = Front(out.size() - moved);
        std::memcpy(out.data() + moved, front.data(), front.size());
        moved += front.size();
        Drop(front.size());
    }
    return moved;
}

void ByteRing::Clear() {
    head_ = 0;
    size_ = 0;
}

}  // namespace bridge
