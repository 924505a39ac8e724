// A first-in first-out queue of bytes in one buffer allocated up front, so the
// serial component can keep bytes (handed to Write, or received and not yet
// read) without allocating per call. Not synchronised: its owner guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace bridge {

class ByteRing {
public:
    explicit ByteRing(std::size_t capacity);

    std::size_t Capacity() const { return capacity_; }
    std::size_t Size() const { return size_; }
    std::size_t Free() const { return capacity_ - size_; }

    // Appends all of `bytes`, or nothing when they do not fit.
    bool Push(std::span<const std::uint8_t> bytes);
    // The oldest bytes that lie contiguously in the buffer, at most `max`.
    std::span<const std::uint8_t> Front(std::size_t max) const;
    // Removes the `count` oldest bytes (at most Size()).
    void Drop(std::size_t count);
    // Moves the oldest bytes into `out`, as many as fit; returns how many.
    std::size_t Pop(std::span<std::uint8_t> out);
    void Clear();

private:
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_;
    std::size_t head_ = 0;  // index of the oldest byte
    std::size_t size_ = 0;
};

}  // namespace bridge
