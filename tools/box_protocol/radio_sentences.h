// The sentences an SL30 and an SL40 put out, as the bridge tunnels them to the
// box's RS232 ports: recognised, checksum verified and their fields decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace boxproto {

enum class SentenceKind : std::uint8_t {
    Deviation,        // $PMRRV21: NAV 1 CDI, glideslope, status flags
    Obs,              // $PMRRV22
    Nav1Radial,       // $PMRRV23
    Nav2Radial,       // $PMRRV24
    Nav1Frequencies,  // $PMRRV28
    Com1Frequencies,  // $PMRRV35
    Com2Frequencies,  // $PMRRC01
    Other,
};

struct RadioSentence {
    SentenceKind kind = SentenceKind::Other;
    bool checksumOk = false;
    bool lineEndOk = false;  // ends with carriage return, line feed
    // Deviation: the values as the nibble characters carry them (their low byte).
    std::int8_t cdi = 0;
    std::int8_t glideslope = 0;
    std::uint8_t statusFlags = 0;
    // Obs and radials: the digits as sent (radials in tenths of a degree).
    std::string digits;
    bool radialValid = false;  // the "V" letter of a radial
    // Frequencies, in kHz, from the two letters of each.
    std::uint32_t activeKhz = 0;
    std::uint32_t standbyKhz = 0;
};

// Text of one port frame: the sentence, its two checksum characters and the
// line end. Returns nothing for text that is not a radio sentence at all.
std::optional<RadioSentence> ParseRadioSentence(std::string_view text);

// The frequency that two letters stand for: (first + 48) * 1000 + (second - 48) * 25.
std::uint32_t KhzFromLetters(char first, char second);

// The two checksum characters of a sentence: the sum, modulo 256, of its
// characters from the seventh on, as two nibbles each plus 0x30.
std::string SentenceChecksum(std::string_view sentence);

}  // namespace boxproto
