// The SL30 and SL40 radios as the box's RS232 ports see them: their sentences,
// built from the simulator's radio state every tenth tick and tunnelled to the
// configured box ports, and the radio port mask that tells the box which of
// its ports carry radios.
#pragma once

#include <cstdint>

#include "boxlink/box_frames.h"
#include "radio/reply_parser.h"
#include "radio/sentence.h"
#include "state/bridge_state.h"

namespace bridge {

// Bits of NavRadioFlags the radio cycle reads.
inline constexpr std::uint16_t kNav1RadialValidFlag = 0x02;
inline constexpr std::uint16_t kNav2RadialValidFlag = 0x04;
inline constexpr std::uint16_t kNav1GlideslopeFlag = 0x40;

// The settings file may hold any byte, but the box has RS232 ports 1..5 only:
// a radio on port 0 or above 5 is not used at all.
bool RadioPortInUse(std::uint8_t port);

// RadioPortMask from SL30Port and SL40Port: bit (port - 1) for each radio in use.
void ComputeRadioPortMask(const BridgeSettings& settings, BoxPortRouting& boxPorts);

class RadioCycle {
public:
    RadioCycle(const BridgeSettings& settings, const SimValues& sim, SentenceFields& fields,
               BoxPortRouting& boxPorts, FrameSender& sender, ReplyParser& parser)
        : settings_(settings),
          sim_(sim),
          fields_(fields),
          boxPorts_(boxPorts),
          sender_(sender),
          parser_(parser) {}

    // Computes the radio fields and sends the SL30's six sentences (21, 22,
    // 23, 24, 28, 35) and the SL40's one (C01) to their box ports.
    void Run();

    // Append the checksum and line end, send the sentence to SL30Port or
    // SL40Port in a port frame, and install that radio's reply parser for the
    // port. Nothing happens while the radio is not in use.
    void SendSl30Sentence(Sentence& sentence);
    void SendSl40Sentence(Sentence& sentence);

private:
    void RefreshRadioFields();
    void SendSl30Sentences();
    void SendSl40Sentences();
    void SendSentence(Sentence& sentence, std::uint8_t port, ReplyHandler parser);

    const BridgeSettings& settings_;
    const SimValues& sim_;
    SentenceFields& fields_;
    BoxPortRouting& boxPorts_;
    FrameSender& sender_;
    ReplyParser& parser_;
};

}  // namespace bridge
