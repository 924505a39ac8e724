// A simulator link that serves a 64 KiB image of simulator offsets in memory.
// Requests are kept in fixed storage so that a tick through it allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>

#include "simlink/sim_link_api.h"

namespace bridge::testing {

struct FakeRequest {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool write = false;
    std::array<std::uint8_t, 8> bytes{};  // written bytes (first `size`)
    void* destination = nullptr;

    std::uint64_t Value() const {
        std::uint64_t v = 0;
        std::memcpy(&v, bytes.data(), size < 8 ? size : 8);
        return v;
    }
};

class FakeSimLink : public SimLinkApi {
public:
    static constexpr std::size_t kMaxRequests = 128;
    using RequestList = std::array<FakeRequest, kMaxRequests>;

    std::array<std::uint8_t, 0x10000> image{};
    RequestList lastExchange{};
    std::size_t lastExchangeSize = 0;
    std::size_t exchanges = 0;
    // When set, the next Process fails with this result (once, or always).
    std::optional<SimLinkResult> failNext;
    bool failAlways = false;
    // Called as each exchange begins (what the other side sees meanwhile).
    std::function<void()> onExchange;

    template <typename T>
    void Set(std::uint32_t offset, T value) {
        std::memcpy(&image[offset], &value, sizeof value);
    }
    template <typename T>
    T Get(std::uint32_t offset) const {
        T value;
        std::memcpy(&value, &image[offset], sizeof value);
        return value;
    }

    bool Read(std::uint32_t offset, std::uint32_t size, void* destination,
              SimLinkResult& result) override {
        return Queue(offset, size, false, nullptr, destination, result);
    }
    bool Write(std::uint32_t offset, std::uint32_t size, const void* source,
               SimLinkResult& result) override {
        return Queue(offset, size, true, source, nullptr, result);
    }
    bool Process(SimLinkResult& result) override {
        if (onExchange) onExchange();
        if (queuedSize_ == 0) {
            result = SimLinkResult::NothingQueued;
            return false;
        }
        const std::size_t count = queuedSize_;
        queuedSize_ = 0;
        if (failNext) {
            result = *failNext;
            if (!failAlways) failNext.reset();
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const FakeRequest& r = queued_[i];
            if (r.write) {
                std::memcpy(&image[r.offset], r.bytes.data(), r.size);
            } else if (r.destination != nullptr) {
                std::memcpy(r.destination, &image[r.offset], r.size);
            }
        }
        lastExchange = queued_;
        lastExchangeSize = count;
        ++exchanges;
        result = SimLinkResult::Okay;
        return true;
    }

private:
    bool Queue(std::uint32_t offset, std::uint32_t size, bool write, const void* source,
               void* destination, SimLinkResult& result) {
        if (queuedSize_ == kMaxRequests || size > 8 || offset + size > image.size()) {
            result = SimLinkResult::BlockFull;
            return false;
        }
        FakeRequest& r = queued_[queuedSize_++];
        r = FakeRequest{};
        r.offset = offset;
        r.size = size;
        r.write = write;
        r.destination = destination;
        if (write) std::memcpy(r.bytes.data(), source, size);
        result = SimLinkResult::Okay;
        return true;
    }

    RequestList queued_{};
    std::size_t queuedSize_ = 0;
};

}  // namespace bridge::testing
