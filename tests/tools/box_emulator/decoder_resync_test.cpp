// The decoder of frames to the box finds its way back after damage: a byte
// dropped from or inserted into the stream at any offset costs at most the
// frame it hit, and the damage shows in the counters.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "boxlink/box_frames.h"
#include "tools/box_protocol/box_protocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Built(std::size_t length, const std::array<std::uint8_t, 256>& buffer) {
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

Bytes FixedFrame(std::size_t size, bridge::FrameKind kind, std::uint8_t seed) {
    Bytes frame(size);
    for (std::size_t i = 3; i + 2 < size; ++i) frame[i] = static_cast<std::uint8_t>(seed + i * 37);
    bridge::SealFixedFrame(frame, kind);
    return frame;
}

// One of each frame the bridge sends, built by the bridge's own builders.
std::vector<Bytes> BridgeFrames() {
    std::array<std::uint8_t, 256> buffer{};
    std::vector<Bytes> frames;
    frames.push_back(FixedFrame(28, bridge::FrameKind::Attitude, 1));
    frames.push_back(FixedFrame(73, bridge::FrameKind::AirData, 2));
    const std::uint8_t rpm[] = {0x60, 0x09, 0x60, 0x09, 0xFA, 0x05, 0x00, 0x08};
    frames.push_back(Built(bridge::BuildItemFrame(buffer, 32 * 16 + 8, rpm), buffer));
    const std::uint8_t echo[] = {0x01, 0x00, 0x04, 0x46, 0x00};
    frames.push_back(Built(bridge::BuildItemFrame(buffer, 16 * 16 + 1, echo), buffer));
    frames.push_back(Built(bridge::BuildItemFrame(buffer, 33 * 16 + 7, {}), buffer));
    constexpr std::string_view kSentence = "$PMRRV28>D<0N:6\r\n";
    const Bytes text(kSentence.begin(), kSentence.end());
    frames.push_back(Built(bridge::BuildPortFrame(buffer, 1, text), buffer));
    frames.push_back(Built(bridge::BuildArincFrame(buffer, 0x05, 0x82058205u), buffer));
    frames.push_back(FixedFrame(28, bridge::FrameKind::Attitude, 0x82));
    return frames;
}

std::string Hex(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0Fu];
    }
    return text;
}

struct Decoded {
    std::vector<std::string> frames;  // in hex, for readable failures
    std::uint64_t damage = 0;         // stray bytes and bad frames
};

Decoded Decode(const Bytes& stream) {
    boxproto::OutgoingDecoder decoder;
    decoder.Feed(stream);
    Decoded d;
    for (const auto& f : decoder.TakeFrames()) d.frames.push_back(Hex(f.bytes));
    d.damage = decoder.strayBytes() + decoder.badFrames();
    return d;
}

class ResyncTest : public ::testing::Test {
protected:
    ResyncTest() {
        frames = BridgeFrames();
        for (const Bytes& f : frames) {
            starts.push_back(stream.size());
            stream.insert(stream.end(), f.begin(), f.end());
        }
        // A clean tail long enough to complete any frame a damaged header announced.
        for (int i = 0; i < 4; ++i) tail.push_back(FixedFrame(73, bridge::FrameKind::AirData, 9));
    }

    // The frame the byte at `offset` belongs to.
    std::size_t FrameAt(std::size_t offset) const {
        std::size_t k = 0;
        while (k + 1 < starts.size() && starts[k + 1] <= offset) ++k;
        return k;
    }

    // Every frame but `lost` (none when lost is past the end), then the tail.
    std::vector<std::string> ExpectedWithout(std::size_t lost) const {
        std::vector<std::string> expected;
        for (std::size_t k = 0; k < frames.size(); ++k) {
            if (k != lost) expected.push_back(Hex(frames[k]));
        }
        for (const Bytes& f : tail) expected.push_back(Hex(f));
        return expected;
    }

    bool IsFrameStart(std::size_t offset) const {
        return offset == stream.size() || starts[FrameAt(offset)] == offset;
    }

    // Dropping a byte from a run of equal bytes is the same damage wherever in
    // the run it happens, so any frame the run touches may be the one lost.
    std::vector<std::size_t> LostByDrop(std::size_t offset) const {
        std::size_t first = offset;
        std::size_t last = offset;
        while (first > 0 && stream[first - 1] == stream[offset]) --first;
        while (last + 1 < stream.size() && stream[last + 1] == stream[offset]) ++last;
        std::vector<std::size_t> lost;
        for (std::size_t k = FrameAt(first); k <= FrameAt(last); ++k) lost.push_back(k);
        return lost;
    }

    // Likewise inserting a byte next to a run of its copies; when that places
    // it at a frame boundary, no frame is lost.
    std::size_t LostByInsert(std::size_t offset, std::uint8_t extra) const {
        std::size_t first = offset;
        std::size_t last = offset;
        while (first > 0 && stream[first - 1] == extra) --first;
        while (last < stream.size() && stream[last] == extra) ++last;
        for (std::size_t at = first; at <= last; ++at) {
            if (IsFrameStart(at)) return frames.size();
        }
        return FrameAt(offset);
    }

    Bytes WithTail(Bytes damaged) const {
        for (const Bytes& f : tail) damaged.insert(damaged.end(), f.begin(), f.end());
        return damaged;
    }

    std::vector<Bytes> frames;
    std::vector<std::size_t> starts;
    Bytes stream;
    std::vector<Bytes> tail;
};

TEST_F(ResyncTest, CleanStreamInAnySplitDecodesWhole) {
    const Decoded whole = Decode(WithTail(stream));
    EXPECT_EQ(whole.frames, ExpectedWithout(frames.size()));
    EXPECT_EQ(whole.damage, 0u);

    boxproto::OutgoingDecoder decoder;
    for (const std::uint8_t b : WithTail(stream)) decoder.Feed(std::span(&b, 1));
    EXPECT_EQ(decoder.TakeFrames().size(), frames.size() + tail.size());
    EXPECT_EQ(decoder.strayBytes() + decoder.badFrames(), 0u);
}

TEST_F(ResyncTest, ByteDroppedAtEveryOffset) {
    for (std::size_t offset = 0; offset < stream.size(); ++offset) {
        Bytes damaged = stream;
        damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(offset));
        const Decoded d = Decode(WithTail(damaged));
        bool oneFrameLost = false;
        for (const std::size_t lost : LostByDrop(offset)) {
            oneFrameLost = oneFrameLost || d.frames == ExpectedWithout(lost);
        }
        EXPECT_TRUE(oneFrameLost) << "dropped byte " << offset << ": decoded " << d.frames.size();
        EXPECT_GT(d.damage, 0u) << "dropped byte " << offset;
    }
}

TEST_F(ResyncTest, ByteInsertedAtEveryOffset) {
    for (const std::uint8_t extra : {std::uint8_t{0x05}, std::uint8_t{0x82}, std::uint8_t{0x00}}) {
        for (std::size_t offset = 0; offset < stream.size(); ++offset) {
            Bytes damaged = stream;
            damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(offset), extra);
            const Decoded d = Decode(WithTail(damaged));
            EXPECT_EQ(d.frames, ExpectedWithout(LostByInsert(offset, extra)))
                << "inserted " << int{extra} << " at " << offset;
            EXPECT_GT(d.damage, 0u) << "inserted " << int{extra} << " at " << offset;
        }
    }
}

}  // namespace
