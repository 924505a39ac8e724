#include "tools/box_protocol/radio_sentences.h"

namespace boxproto {
namespace {

constexpr std::string_view kSl30Header = "$PMRRV";
constexpr std::string_view kSl40Header = "$PMRRC";
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kChecksumSize = 2;

std::uint8_t Code(char c) { return static_cast<std::uint8_t>(c); }

// Two nibble characters back to the low byte of the value they carry.
std::uint8_t NibblePair(char high, char low) {
    return static_cast<std::uint8_t>(((Code(high) - 0x30u) << 4) + (Code(low) - 0x30u));
}

SentenceKind KindOf(std::string_view body) {
    const std::string_view id = body.substr(kHeaderSize, 2);
    if (body.starts_with(kSl40Header)) {
        return id == "01" ? SentenceKind::Com2Frequencies : SentenceKind::Other;
    }
    if (id == "21") return SentenceKind::Deviation;
    if (id == "22") return SentenceKind::Obs;
    if (id == "23") return SentenceKind::Nav1Radial;
    if (id == "24") return SentenceKind::Nav2Radial;
    if (id == "28") return SentenceKind::Nav1Frequencies;
    if (id == "35") return SentenceKind::Com1Frequencies;
    return SentenceKind::Other;
}

// Fills the fields from the data after the eight-character header and id.
void DecodeData(RadioSentence& s, std::string_view data) {
    switch (s.kind) {
        case SentenceKind::Deviation:
            if (data.size() < 6) return;
            s.cdi = static_cast<std::int8_t>(NibblePair(data[0], data[1]));
            s.glideslope = static_cast<std::int8_t>(NibblePair(data[2], data[3]));
            s.statusFlags = NibblePair(data[4], data[5]);
            return;
        case SentenceKind::Obs:
            if (data.empty()) return;
            s.digits = data.substr(1);  // after the "V"
            return;
        case SentenceKind::Nav1Radial:
        case SentenceKind::Nav2Radial:
            if (data.empty()) return;
            s.radialValid = data[0] == 'V';
            s.digits = data.substr(1);
            return;
        case SentenceKind::Nav1Frequencies:
        case SentenceKind::Com1Frequencies:
        case SentenceKind::Com2Frequencies:
            if (data.size() < 4) return;
            s.activeKhz = KhzFromLetters(data[0], data[1]);
            s.standbyKhz = KhzFromLetters(data[2], data[3]);
            return;
        case SentenceKind::Other: return;
    }
}

}  // namespace

std::uint32_t KhzFromLetters(char first, char second) {
    // At least 48 * 1000 - 48 * 25 for any two bytes, so never negative.
    const std::int32_t kHz = (Code(first) + 48) * 1000 + (Code(second) - 48) * 25;
    return static_cast<std::uint32_t>(kHz);
}

std::string SentenceChecksum(std::string_view sentence) {
    std::uint8_t sum = 0;
    for (std::size_t i = kHeaderSize; i < sentence.size(); ++i) {
        sum = static_cast<std::uint8_t>(sum + Code(sentence[i]));
    }
    return {static_cast<char>((sum >> 4) + 0x30), static_cast<char>((sum & 0x0Fu) + 0x30)};
}

std::optional<RadioSentence> ParseRadioSentence(std::string_view text) {
    RadioSentence s;
    s.lineEndOk = text.ends_with("\r\n");
    if (s.lineEndOk) text.remove_suffix(2);
    if (!text.starts_with(kSl30Header) && !text.starts_with(kSl40Header)) return std::nullopt;
    if (text.size() < kHeaderSize + 2 + kChecksumSize) return std::nullopt;
    const std::string_view body = text.substr(0, text.size() - kChecksumSize);
    s.checksumOk = SentenceChecksum(body) == text.substr(body.size());
    s.kind = KindOf(body);
    DecodeData(s, body.substr(kHeaderSize + 2));
    return s;
}

}  // namespace boxproto
