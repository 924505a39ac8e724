// The request block: its bytes on the wire, the capacity rule, and the walk
// over a block the server may have damaged.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "simlink/request_block.h"

namespace bridge {
namespace {

class RequestBlockTest : public ::testing::Test {
protected:
    RequestBlockTest() { queue.Attach(RequestBlock(block)); }

    void PutU32At(std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i) block[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    std::vector<std::uint8_t> Bytes(std::size_t from, std::size_t count) const {
        return {block.begin() + static_cast<std::ptrdiff_t>(from),
                block.begin() + static_cast<std::ptrdiff_t>(from + count)};
    }

    std::array<std::uint8_t, kRequestBlockSize> block{};
    RequestQueue queue;
};

TEST_F(RequestBlockTest, LaysOutReadsWritesAndTheEndMarker) {
    block.fill(0xEE);
    std::uint64_t pitch = 0;
    const std::array<std::uint8_t, 2> altimeter = {0x34, 0x12};
    ASSERT_EQ(queue.QueueRead(0x2F70, 8, &pitch), SimLinkResult::Okay);
    ASSERT_EQ(queue.QueueWrite(0x0330, 2, altimeter.data()), SimLinkResult::Okay);
    ASSERT_EQ(queue.QueueRead(0x036E, 1, nullptr), SimLinkResult::Okay);
    queue.Seal();

    const std::vector<std::uint8_t> expected = {
        1,   0, 0, 0, 0x70, 0x2F, 0, 0, 8, 0, 0, 0, 1,    0,    0, 0,  // read, reference 1
        0,   0, 0, 0, 0,    0,    0, 0,                                // zeroed data area
        2,   0, 0, 0, 0x30, 0x03, 0, 0, 2, 0, 0, 0, 0x34, 0x12,        // write
        1,   0, 0, 0, 0x6E, 0x03, 0, 0, 1, 0, 0, 0, 0,    0,    0, 0,  // read, no destination
        0,                                                             // its data area
        0,   0, 0, 0,                                                  // end marker
        0xEE};                                                         // untouched
    EXPECT_EQ(Bytes(0, expected.size()), expected);
    EXPECT_EQ(queue.UsedBytes(), 55u);
}

TEST_F(RequestBlockTest, DeliversReadValuesAndSkipsNullDestinations) {
    std::uint16_t first = 0;
    std::uint32_t second = 0;
    ASSERT_EQ(queue.QueueRead(0x0100, 2, &first), SimLinkResult::Okay);
    ASSERT_EQ(queue.QueueRead(0x0200, 8, nullptr), SimLinkResult::Okay);   // still 16 + 8 bytes
    ASSERT_EQ(queue.QueueWrite(0x0300, 0, nullptr), SimLinkResult::Okay);  // 12 bytes
    ASSERT_EQ(queue.QueueRead(0x0400, 0, &second), SimLinkResult::Okay);   // 16 bytes
    ASSERT_EQ(queue.QueueRead(0x0500, 4, &second), SimLinkResult::Okay);
    EXPECT_EQ(queue.UsedBytes(), 18u + 24u + 12u + 16u + 20u);
    queue.Seal();
    // The server's values.
    block[16] = 0x34;
    block[17] = 0x12;
    for (std::size_t i = 0; i < 8; ++i) block[18 + 16 + i] = 0xFF;
    for (std::size_t i = 0; i < 4; ++i) block[86 + i] = static_cast<std::uint8_t>(i + 1);

    EXPECT_EQ(queue.Deliver(), SimLinkResult::Okay);
    EXPECT_EQ(first, 0x1234);
    EXPECT_EQ(second, 0x04030201u);
    EXPECT_TRUE(queue.Empty());
}

TEST_F(RequestBlockTest, AcceptsExactlyTheCapacityAndRefusesOneByteMore) {
    const std::array<std::uint8_t, 2> two = {1, 2};
    ASSERT_EQ(queue.QueueWrite(0x0330, 2, two.data()), SimLinkResult::Okay);  // 14 bytes
    const std::uint32_t largest = kRequestBlockCapacity - 14 - kReadHeaderSize - kEndMarkerSize;
    static std::array<std::uint8_t, kRequestBlockCapacity> destination;

    EXPECT_EQ(queue.QueueRead(0, largest + 1, destination.data()), SimLinkResult::BlockFull);
    EXPECT_EQ(queue.QueueWrite(0, largest + 5, destination.data()), SimLinkResult::BlockFull);
    EXPECT_EQ(queue.QueueRead(0, 0xFFFFFFFFu, nullptr), SimLinkResult::BlockFull);  // no wrap
    EXPECT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.UsedBytes(), 14u);

    EXPECT_EQ(queue.QueueRead(0, largest, destination.data()), SimLinkResult::Okay);
    EXPECT_EQ(queue.UsedBytes() + kEndMarkerSize, kRequestBlockCapacity);
    EXPECT_EQ(queue.QueueWrite(0, 0, nullptr), SimLinkResult::BlockFull);
    queue.Seal();
    EXPECT_EQ(queue.Deliver(), SimLinkResult::Okay);
}

TEST_F(RequestBlockTest, HoldsAsManyEmptyWritesAsTheCapacityAllows) {
    for (std::size_t i = 0; i < kMaxQueuedRequests; ++i) {
        ASSERT_EQ(queue.QueueWrite(static_cast<std::uint32_t>(i), 0, nullptr), SimLinkResult::Okay);
    }
    EXPECT_EQ(queue.QueueWrite(0, 0, nullptr), SimLinkResult::BlockFull);
    EXPECT_EQ(queue.UsedBytes() + kEndMarkerSize, kRequestBlockCapacity);
    queue.Seal();
    EXPECT_EQ(queue.Deliver(), SimLinkResult::Okay);
}

TEST_F(RequestBlockTest, RefusesNullSourcesAndUseWithoutABlock) {
    EXPECT_EQ(queue.QueueWrite(0x0330, 2, nullptr), SimLinkResult::BadReply);
    EXPECT_TRUE(queue.Empty());
    RequestQueue detached;
    std::uint8_t byte = 0;
    EXPECT_EQ(detached.QueueRead(0, 1, &byte), SimLinkResult::NotOpen);
    EXPECT_EQ(detached.QueueWrite(0, 1, &byte), SimLinkResult::NotOpen);
}

// The server damages the returned block in one way each time; nothing may be
// delivered, nothing outside the destinations touched, and the queue is left
// empty for the next batch.
TEST_F(RequestBlockTest, DeliversNothingFromADamagedBlock) {
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    // Requests: read 4 at 0 (16 + 4), read 2 at 20 (16 + 2), write 2 at 38 (12 + 2), end at 52.
    const std::vector<Damage> damages = {
        {"size larger", 8, 100},
        {"size past the block", 8, 0xFFFFFFF0u},
        {"size smaller", 28, 1},
        {"unknown marker", 20, 7},
        {"marker with a zero lowest byte", 20, 0x0100},
        {"write marker in place of a read", 0, 2},
        {"destination reference", 32, 9},
        {"offset", 4, 0x1234},
        {"end marker missing", 52, 1},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::array<std::uint8_t, 12> guarded;
        guarded.fill(0xAA);
        std::uint16_t second = 0x5555;
        const std::array<std::uint8_t, 2> written = {9, 9};
        ASSERT_EQ(queue.QueueRead(0, 4, &guarded[4]), SimLinkResult::Okay);
        ASSERT_EQ(queue.QueueRead(0x10, 2, &second), SimLinkResult::Okay);
        ASSERT_EQ(queue.QueueWrite(0x20, 2, written.data()), SimLinkResult::Okay);
        queue.Seal();
        for (std::size_t i = 0; i < 4; ++i) block[16 + i] = 0x11;
        block[36] = 0x22;
        block[37] = 0x22;
        PutU32At(d.at, d.value);

        EXPECT_EQ(queue.Deliver(), SimLinkResult::BadReply);
        for (std::uint8_t b : guarded) EXPECT_EQ(b, 0xAA);
        EXPECT_EQ(second, 0x5555);
        EXPECT_TRUE(queue.Empty());
        EXPECT_EQ(queue.Count(), 0u);
    }
}

TEST_F(RequestBlockTest, CountsOnlyTheLowestByteOfTheEndMarker) {
    std::uint8_t value = 0;
    ASSERT_EQ(queue.QueueRead(0, 1, &value), SimLinkResult::Okay);
    queue.Seal();
    block[16] = 0x42;
    PutU32At(17, 0xFFFFFF00u);
    EXPECT_EQ(queue.Deliver(), SimLinkResult::Okay);
    EXPECT_EQ(value, 0x42);
}

}  // namespace
}  // namespace bridge
