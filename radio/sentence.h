// A radio sentence built in place, as the SL30 and SL40 put them out: a
// header such as "$PMRRV28", data characters, then two checksum characters
// and CR LF. Nothing is allocated; the longest sentence the bridge builds has
// 19 characters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "radio/frequency.h"
#include "state/bridge_state.h"

namespace bridge {

inline constexpr std::size_t kSentenceCapacity = 32;
// The checksum covers the characters from this index on ("$PMRRV" is not summed).
inline constexpr std::size_t kChecksumStart = 6;

class Sentence {
public:
    explicit Sentence(std::string_view head) { Append(head); }

    void Append(std::string_view text);
    void Append(const ShortText& text);
    void Append(FrequencyLetters letters);
    // (v >> 4 as unsigned 32 bits) + 0x30 and (v & 0x0F) + 0x30, each kept to
    // a byte: a receiver that decodes the pair modulo 256 gets v's low byte.
    void AppendNibbles(std::int32_t v);
    // "V" for a set flag, "0" for a clear one.
    void AppendFlagLetter(std::uint8_t flag);
    // Two characters '0' + sum / 16 and '0' + sum % 16 of the byte sum of the
    // characters from the seventh on, then CR LF.
    void AppendChecksumAndLineEnd();

    std::span<const std::uint8_t> Bytes() const { return {chars_.data(), length_}; }

private:
    // Characters beyond the capacity are refused; no sentence comes near it.
    void Put(std::uint8_t c) {
        if (length_ < chars_.size()) chars_[length_++] = c;
    }

    std::array<std::uint8_t, kSentenceCapacity> chars_{};
    std::size_t length_ = 0;
};

// The decimal digits of n with '0' in front up to `width` characters (at most
// six); never cut.
ShortText ZeroPadded(std::uint16_t n, std::size_t width);

}  // namespace bridge
