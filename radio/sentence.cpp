#include "radio/sentence.h"

#include <algorithm>

namespace bridge {
namespace {

constexpr std::uint8_t kDigitBase = 0x30;

}  // namespace

void Sentence::Append(std::string_view text) {
    for (const char c : text) Put(static_cast<std::uint8_t>(c));
}

void Sentence::Append(const ShortText& text) {
    const std::size_t n = std::min<std::size_t>(text.length, text.chars.size());
    for (std::size_t i = 0; i < n; ++i) Put(static_cast<std::uint8_t>(text.chars[i]));
}

void Sentence::Append(FrequencyLetters letters) {
    Put(letters[0]);
    Put(letters[1]);
}

void Sentence::AppendNibbles(std::int32_t v) {
    const auto bits = static_cast<std::uint32_t>(v);
    Put(static_cast<std::uint8_t>((bits >> 4) + kDigitBase));
    Put(static_cast<std::uint8_t>((bits & 0x0Fu) + kDigitBase));
}

void Sentence::AppendFlagLetter(std::uint8_t flag) { Put(flag != 0 ? 'V' : '0'); }

void Sentence::AppendChecksumAndLineEnd() {
    std::uint8_t sum = 0;
    for (std::size_t i = kChecksumStart; i < length_; ++i) {
        sum = static_cast<std::uint8_t>(sum + chars_[i]);
    }
    Put(static_cast<std::uint8_t>(sum / 16 + kDigitBase));
    Put(static_cast<std::uint8_t>(sum % 16 + kDigitBase));
    Put('\r');
    Put('\n');
}

ShortText ZeroPadded(std::uint16_t n, std::size_t width) {
    // A 16-bit value has at most five digits, so six characters always hold it.
    std::array<char, 5> digits{};
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n = static_cast<std::uint16_t>(n / 10);
    } while (n != 0);
    ShortText text{};
    const std::size_t padded = std::clamp(width, count, text.chars.size());
    std::size_t at = 0;
    while (at < padded - count) {
        text.chars[at++] = '0';
    }
    while (count > 0) {
        text.chars[at++] = digits[--count];
    }
    text.length = static_cast<std::uint8_t>(at);
    return text;
}

}  // namespace bridge
