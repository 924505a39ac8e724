// Frequency selections coming back from the SL30 and SL40 through the box:
// "$PMRRV" or "$PMRRC", a two-character message id, three data characters and
// a two-character checksum. A recognised sentence leaves the frequency as BCD
// in a pending field of the bridge state; the main cycle writes it into the
// simulator on its next half-rate tick.
#pragma once

#include <cstdint>

#include "state/bridge_state.h"

namespace bridge {

enum class RadioModel : std::uint8_t { Sl30, Sl40 };

// Step 0 looks for "$"; 1..5 the rest of the header; 6 and 7 the message id;
// 8 the three data characters; 9 and 10 the checksum.
inline constexpr std::uint8_t kReplyLastStep = 10;

class ReplyParser {
public:
    ReplyParser(const ReceiverState& frame, RadioWriteSlots& writes, ReplyParseState& parse)
        : frame_(frame), writes_(writes), parse_(parse) {}

    // The port reply handlers: each feeds payload bytes 1 .. LEN - 2 of the
    // current command frame to the shared parse state (the command index and
    // the box's last byte are not part of the text).
    ReplyHandler Sl30Handler() { return {&FeedSl30, this}; }
    ReplyHandler Sl40Handler() { return {&FeedSl40, this}; }

    // One character through the step table. The parse state is shared by both
    // radios, so a sentence may be split across frames, and across the ports too.
    void FeedReplyCharacter(RadioModel radio, std::uint8_t c);

private:
    static void FeedSl30(void* parser);
    static void FeedSl40(void* parser);
    void FeedPayload(RadioModel radio);
    std::uint16_t* PendingField(RadioModel radio, std::uint8_t messageId);
    void StoreFrequency(RadioModel radio);

    const ReceiverState& frame_;
    RadioWriteSlots& writes_;
    ReplyParseState& parse_;
};

}  // namespace bridge
