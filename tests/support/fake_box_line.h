// A box line that keeps every byte written and serves queued input. Writes
// between HoldWrites and the last ReleaseWrites are kept back and written
// then, as the serial port sends them: one transfer for all of them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "boxlink/box_line.h"

namespace bridge::testing {

class FakeBoxLine : public BoxLine {
public:
    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> incoming;
    int writes = 0;
    bool failReads = false;
    int holds = 0;
    // The writes each transfer carried: one for a write not held.
    std::vector<int> transfers;

    FakeBoxLine() { written.reserve(1 << 20); }  // no reallocation while ticks run

    BoxWrite Write(const void* buffer, std::int32_t count) override {
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        ++writes;
        if (holds > 0) {
            held_.insert(held_.end(), b, b + count);
            ++heldWrites_;
            return BoxWrite::Queued;
        }
        written.insert(written.end(), b, b + count);
        transfers.push_back(1);
        return BoxWrite::Queued;
    }
    void HoldWrites() override { ++holds; }
    void ReleaseWrites() override {
        if (holds == 0 || --holds > 0 || heldWrites_ == 0) return;
        written.insert(written.end(), held_.begin(), held_.end());
        held_.clear();
        transfers.push_back(std::exchange(heldWrites_, 0));
    }
    std::int32_t Read(void* buffer, std::int32_t count) override {
        if (failReads) return -1;
        const auto n = static_cast<std::int32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(count), incoming.size()));
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::int32_t i = 0; i < n; ++i) {
            out[i] = incoming.front();
            incoming.pop_front();
        }
        return n;
    }

    void Receive(std::span<const std::uint8_t> bytes) {
        incoming.insert(incoming.end(), bytes.begin(), bytes.end());
    }
    std::vector<std::uint8_t> TakeWritten() {
        std::vector<std::uint8_t> out(written);
        written.clear();
        return out;
    }

private:
    std::vector<std::uint8_t> held_;
    int heldWrites_ = 0;
};

}  // namespace bridge::testing
