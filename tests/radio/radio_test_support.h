// Shared by the radio tests: the sentences a bridge sent, decoded from its
// port frames, and an independent check of a sentence's checksum and line end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/bridge_fixture.h"

namespace bridge::testing {

inline std::vector<boxproto::PortText> PortTexts(const std::vector<boxproto::Frame>& frames) {
    std::vector<boxproto::PortText> texts;
    for (const auto& f : frames) {
        if (const auto text = boxproto::AsPortText(f)) texts.push_back(*text);
    }
    return texts;
}

// True when the text ends in the two checksum characters of its characters
// from the seventh on, then CR LF.
inline bool HasValidChecksum(const std::string& sentence) {
    if (sentence.size() < 10 || sentence.substr(sentence.size() - 2) != "\r\n") return false;
    const std::size_t end = sentence.size() - 4;
    unsigned sum = 0;
    for (std::size_t i = 6; i < end; ++i) sum += static_cast<std::uint8_t>(sentence[i]);
    sum %= 256;
    return sentence[end] == static_cast<char>('0' + sum / 16) &&
           sentence[end + 1] == static_cast<char>('0' + sum % 16);
}

// The text between the header and the checksum.
inline std::string SentenceData(const std::string& sentence, std::size_t headerLength = 8) {
    if (sentence.size() < headerLength + 4) return {};
    return sentence.substr(headerLength, sentence.size() - headerLength - 4);
}

}  // namespace bridge::testing
