#include "radio/reply_parser.h"

#include <cstddef>

#include "radio/frequency.h"

namespace bridge {
namespace {

constexpr std::uint8_t kDigitBase = 0x30;
constexpr std::uint8_t kDataCharacters = 3;
constexpr std::uint8_t kHeader[] = {'$', 'P', 'M', 'R', 'R'};  // then the model letter

std::uint8_t ModelLetter(RadioModel radio) { return radio == RadioModel::Sl30 ? 'V' : 'C'; }

std::uint8_t Nibble(std::uint8_t c) { return static_cast<std::uint8_t>(c - kDigitBase); }
std::uint8_t HighNibble(std::uint8_t c) { return static_cast<std::uint8_t>(Nibble(c) << 4); }

}  // namespace

// The pending field for a message id, or null when the radio does not send it.
std::uint16_t* ReplyParser::PendingField(RadioModel radio, std::uint8_t messageId) {
    RadioWriteSlots& s = writes_;
    if (radio == RadioModel::Sl40) {
        switch (messageId) {
            case 0x00: return &s.Com2ActiveWrite;
            case 0x01: return &s.Com2StandbyWrite;
            default: return nullptr;
        }
    }
    switch (messageId) {
        case 0x27: return &s.Nav1ActiveWrite;
        case 0x28: return &s.Nav1StandbyWrite;
        case 0x29: return &s.Com1StandbyWrite;
        case 0x42: return &s.Com1ActiveWrite;
        default: return nullptr;
    }
}

// The third data character takes part in the checksum only.
void ReplyParser::StoreFrequency(RadioModel radio) {
    ReplyParseState& p = parse_;
    if (std::uint16_t* field = PendingField(radio, p.MessageId)) {
        *field = KhzToBcd(LettersToKhz(p.Field[0], p.Field[1]));
    }
}

void ReplyParser::FeedPayload(RadioModel radio) {
    // Payload bytes 1 .. LEN - 2; LEN is below the buffer's 256 bytes.
    for (std::size_t i = 1; i + 1 < frame_.FrameLength; ++i) {
        FeedReplyCharacter(radio, frame_.ReceiveBuffer[i]);
    }
}

void ReplyParser::FeedReplyCharacter(RadioModel radio, std::uint8_t c) {
    ReplyParseState& p = parse_;
    switch (p.Step) {
        case 0:
            if (c == '$') {
                p.FieldPosition = 0;
                p.RunningSum = 0;
                p.Step = 1;
            }
            break;
        case 1:
        case 2:
        case 3:
        case 4: p.Step = (c == kHeader[p.Step]) ? static_cast<std::uint8_t>(p.Step + 1) : 0; break;
        case 5:
            p.RunningSum = 0;  // matched or not
            p.Step = (c == ModelLetter(radio)) ? 6 : 0;
            break;
        case 6:
            p.MessageId = HighNibble(c);
            p.RunningSum = static_cast<std::uint8_t>(p.RunningSum + c);
            p.Step = 7;
            break;
        case 7:
            p.RunningSum = static_cast<std::uint8_t>(p.RunningSum + c);
            p.MessageId = static_cast<std::uint8_t>(p.MessageId | Nibble(c));
            if (PendingField(radio, p.MessageId) != nullptr) {
                p.Count = kDataCharacters;
                p.Step = 8;
            } else {
                p.Step = 0;
            }
            break;
        case 8:
            // Three characters after the "$" that reset the position: within the field.
            if (p.FieldPosition < p.Field.size()) p.Field[p.FieldPosition++] = c;
            p.RunningSum = static_cast<std::uint8_t>(p.RunningSum + c);
            p.Count = static_cast<std::uint8_t>(p.Count - 1);
            if (p.Count == 0) p.Step = 9;
            break;
        case 9:
            p.ReceivedChecksum = HighNibble(c);
            p.Step = 10;
            break;
        case 10:
            p.ReceivedChecksum = static_cast<std::uint8_t>(p.ReceivedChecksum | Nibble(c));
            if (p.ReceivedChecksum == p.RunningSum) StoreFrequency(radio);
            p.Step = 0;
            break;
        default:  // not reachable from the steps above
            p.Step = 0;
            break;
    }
}

void ReplyParser::FeedSl30(void* parser) {
    static_cast<ReplyParser*>(parser)->FeedPayload(RadioModel::Sl30);
}

void ReplyParser::FeedSl40(void* parser) {
    static_cast<ReplyParser*>(parser)->FeedPayload(RadioModel::Sl40);
}

}  // namespace bridge
