// Checks shared by the fuzz targets: an invariant that breaks aborts the run
// with its text, so that libFuzzer keeps the input as a finding; the bytes the
// bridge sends to the box are decoded and their frames and radio sentences
// held to the protocol.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/box_protocol/box_protocol.h"

#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                      \
            std::abort();                                                                \
        }                                                                                \
    } while (false)

namespace bridge::fuzzing {

// Whole frames with valid envelopes and check bytes, nothing else in between.
inline std::vector<boxproto::Frame> DecodeSentFrames(const std::vector<std::uint8_t>& bytes) {
    boxproto::OutgoingDecoder decoder;
    decoder.Feed(bytes);
    FUZZ_CHECK(decoder.strayBytes() == 0);
    FUZZ_CHECK(decoder.badFrames() == 0);
    std::vector<boxproto::Frame> frames = decoder.TakeFrames();
    std::size_t framed = 0;
    for (const auto& frame : frames) framed += frame.bytes.size();
    FUZZ_CHECK(framed == bytes.size());
    return frames;
}

// The frequency letters at `at` lie in the band: first letter lowest..highest,
// second '0'..'W' (25 kHz steps), and nothing above the band's top.
inline void CheckFrequencyLetters(const std::string& s, std::size_t at, char lowest, char highest,
                                  char highestSecond) {
    FUZZ_CHECK(s[at] >= lowest && s[at] <= highest);
    FUZZ_CHECK(s[at + 1] >= '0' && s[at + 1] <= (s[at] == highest ? highestSecond : 'W'));
}

// A radio sentence as it leaves in a port frame: a known head, the checksum
// over the characters from the seventh on, CR LF, and the frequency letters of
// sentences 28, 35 and C01 within the NAV and COM bands.
inline void CheckRadioSentence(const std::string& s) {
    FUZZ_CHECK(s.size() >= 13 && s.size() <= 18);
    FUZZ_CHECK(s.compare(0, 6, "$PMRRV") == 0 || s.compare(0, 6, "$PMRRC") == 0);
    FUZZ_CHECK(s.compare(s.size() - 2, 2, "\r\n") == 0);
    unsigned sum = 0;
    for (std::size_t i = 6; i + 4 < s.size(); ++i) sum += static_cast<std::uint8_t>(s[i]);
    sum %= 256;
    FUZZ_CHECK(static_cast<std::uint8_t>(s[s.size() - 4]) == '0' + sum / 16);
    FUZZ_CHECK(static_cast<std::uint8_t>(s[s.size() - 3]) == '0' + sum % 16);
    const std::string head = s.substr(0, 8);
    if (head == "$PMRRV28") {
        FUZZ_CHECK(s.size() == 17 && s[12] == 'N');
        for (const std::size_t at : {8u, 10u}) CheckFrequencyLetters(s, at, '<', 'E', 'W');
    } else if (head == "$PMRRV35" || head == "$PMRRC01") {
        FUZZ_CHECK(s.size() == 18 && s.compare(12, 2, "R0") == 0);
        for (const std::size_t at : {8u, 10u}) CheckFrequencyLetters(s, at, 'F', 'X', '0');
    }
}

}  // namespace bridge::fuzzing
