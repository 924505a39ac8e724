// A small set of enumeration values kept in the bits of an unsigned word, the
// way the serial component's option and event sets are stored.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace bridge {

template <typename Enum, typename Word>
class EnumSet {
    static_assert(std::is_unsigned_v<Word>);

public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<Enum> values) {
        for (Enum v : values) Include(v);
    }
    static constexpr EnumSet FromBits(Word bits) {
        EnumSet s;
        s.bits_ = bits;
        return s;
    }

    constexpr bool Contains(Enum v) const { return (bits_ & Bit(v)) != 0; }
    constexpr void Include(Enum v) { bits_ = static_cast<Word>(bits_ | Bit(v)); }
    constexpr void Exclude(Enum v) {
        bits_ = static_cast<Word>(bits_ & static_cast<Word>(~Bit(v)));
    }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr Word Bits() const { return bits_; }

    friend constexpr bool operator==(EnumSet a, EnumSet b) { return a.bits_ == b.bits_; }

private:
    static constexpr Word Bit(Enum v) {
        return static_cast<Word>(Word{1} << static_cast<unsigned>(v));
    }

    Word bits_ = 0;
};

}  // namespace bridge
