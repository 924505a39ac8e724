#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "platform/serial/byte_ring.h"

namespace bridge {
namespace {

std::vector<std::uint8_t> Bytes(std::uint8_t first, std::size_t count) {
    std::vector<std::uint8_t> v(count);
    std::iota(v.begin(), v.end(), first);
    return v;
}

// In one Pop, across the wrap where there is one.
std::vector<std::uint8_t> TakeAll(ByteRing& ring) {
    std::vector<std::uint8_t> out(ring.Size() + 3);
    out.resize(ring.Pop(out));
    EXPECT_EQ(ring.Size(), 0u);
    return out;
}

TEST(ByteRing, KeepsOrderAcrossTheWrapAndSplitsFrontAtTheEnd) {
    ByteRing ring(8);
    ASSERT_TRUE(ring.Push(Bytes(1, 6)));
    ring.Drop(5);                          // head at 5, one byte left
    ASSERT_TRUE(ring.Push(Bytes(10, 7)));  // wraps: 3 at the end, 4 at the start
    EXPECT_EQ(ring.Size(), 8u);
    EXPECT_EQ(ring.Front(100).size(), 3u);  // contiguous part only
    EXPECT_EQ(ring.Front(2).size(), 2u);
    const std::vector<std::uint8_t> expected = {6, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(TakeAll(ring), expected);
}

TEST(ByteRing, RefusesWhatDoesNotFitWhole) {
    ByteRing ring(8);
    ASSERT_TRUE(ring.Push(Bytes(0, 5)));
    EXPECT_FALSE(ring.Push(Bytes(0, 4)));
    EXPECT_EQ(ring.Size(), 5u);
    EXPECT_TRUE(ring.Push(Bytes(0, 3)));
    EXPECT_TRUE(ring.Push({}));
    EXPECT_EQ(ring.Free(), 0u);
    ring.Drop(100);  // more than held: just empties
    EXPECT_EQ(ring.Size(), 0u);
    EXPECT_TRUE(ring.Push(Bytes(0, 8)));
}

TEST(ByteRing, LongRunOfOddSizedPushesAndDropsComesOutInOrder) {
    ByteRing ring(37);
    std::vector<std::uint8_t> in, out;
    std::uint8_t next = 0;
    for (int round = 0; round < 500; ++round) {
        const auto chunk = Bytes(next, static_cast<std::size_t>(round % 11));
        if (ring.Push(chunk)) {
            in.insert(in.end(), chunk.begin(), chunk.end());
            next = static_cast<std::uint8_t>(next + chunk.size());
        }
        const auto front = ring.Front(static_cast<std::size_t>(round % 7));
        out.insert(out.end(), front.begin(), front.end());
        ring.Drop(front.size());
    }
    const auto rest = TakeAll(ring);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(out, in);
}

}  // namespace
}  // namespace bridge
