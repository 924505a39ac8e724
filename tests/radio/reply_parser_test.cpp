#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "radio/frequency.h"
#include "tests/support/bridge_fixture.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::testing {
namespace {

// The SL30 parser on box port 1 and the SL40 parser on port 2, as the radio
// cycle leaves them; replies arrive as command frames through the receiver.
class ReplyParserTest : public BridgeFixture {
protected:
    ReplyParserTest() { InstallParsers(); }
    void InstallParsers() {
        InstallReplyHandler(state.BoxPorts, 1, parser().Sl30Handler());
        InstallReplyHandler(state.BoxPorts, 2, parser().Sl40Handler());
    }
    ReplyParser& parser() { return cycle.Replies(); }
    void Feed(const std::vector<std::uint8_t>& bytes) {
        for (const std::uint8_t b : bytes) receiver.ReceiveByte(b);
    }
    void FromPort(std::uint8_t port, std::string_view text) {
        Feed(boxproto::PortDataFrame(port, text));
    }
    std::vector<std::uint16_t> Pending() {
        const BridgeState& s = state;
        return {s.RadioWrites.Nav1ActiveWrite, s.RadioWrites.Nav1StandbyWrite,
                s.RadioWrites.Com1ActiveWrite, s.RadioWrites.Com1StandbyWrite,
                s.RadioWrites.Com2ActiveWrite, s.RadioWrites.Com2StandbyWrite};
    }
    const ReplyParseState& Parse() { return state.ReplyParse; }
};

TEST_F(ReplyParserTest, Sl30StandbySelection) {
    FromPort(1, "$PMRRV28F>01>\r\n");
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0x1835);
    EXPECT_EQ(Pending(), (std::vector<std::uint16_t>{0, 0x1835, 0, 0, 0, 0}));
    EXPECT_EQ(Parse().Step, 0);
}

TEST_F(ReplyParserTest, WrongChecksumChangesNothing) {
    FromPort(1, "$PMRRV28F>01?\r\n");
    FromPort(1, "$PMRRV28F>00>\r\n");
    EXPECT_EQ(Pending(), std::vector<std::uint16_t>(6, 0));
    EXPECT_EQ(Parse().Step, 0);
}

TEST_F(ReplyParserTest, MessageIdsEachRadioAccepts) {
    struct Case {
        bool sl40;
        std::uint8_t id;
        std::uint16_t RadioWriteSlots::*field;
    };
    const Case cases[] = {
        {false, 0x27, &RadioWriteSlots::Nav1ActiveWrite},
        {false, 0x28, &RadioWriteSlots::Nav1StandbyWrite},
        {false, 0x29, &RadioWriteSlots::Com1StandbyWrite},
        {false, 0x42, &RadioWriteSlots::Com1ActiveWrite},
        {true, 0x00, &RadioWriteSlots::Com2ActiveWrite},
        {true, 0x01, &RadioWriteSlots::Com2StandbyWrite},
    };
    for (const Case& c : cases) {
        state = BridgeState{};
        InstallParsers();
        FromPort(c.sl40 ? 2 : 1, boxproto::RadioReplySentence(c.sl40, c.id, 124725));
        EXPECT_EQ(state.RadioWrites.*c.field, 0x2472) << std::hex << int{c.id};
        const auto pending = Pending();
        EXPECT_EQ(std::count(pending.begin(), pending.end(), 0), 5);
    }
}

TEST_F(ReplyParserTest, IdsTheRadioDoesNotSendAreRefused) {
    Feed(boxproto::PortDataFrame(1, "$PMRRV35"));
    EXPECT_EQ(Parse().Step, 0);  // back to the start right after the "5"
    for (const std::uint8_t id : {0x35, 0x00, 0x01, 0x26, 0x2A, 0x43}) {
        FromPort(1, boxproto::RadioReplySentence(false, id, 121500));
    }
    for (const std::uint8_t id : {0x02, 0x10, 0x27, 0x28}) {
        FromPort(2, boxproto::RadioReplySentence(true, id, 121500));
    }
    // The SL30's sentences on the SL40's port and the other way round.
    FromPort(2, boxproto::RadioReplySentence(false, 0x28, 121500));
    FromPort(1, boxproto::RadioReplySentence(true, 0x01, 121500));
    EXPECT_EQ(Pending(), std::vector<std::uint16_t>(6, 0));
}

TEST_F(ReplyParserTest, Sl40StandbySelection) {
    FromPort(2, "$PMRRC01X0019\r\n");
    EXPECT_EQ(state.RadioWrites.Com2StandbyWrite, 0x3600);
}

TEST_F(ReplyParserTest, SentenceSplitAcrossFrames) {
    FromPort(1, "$PMR");
    EXPECT_EQ(Parse().Step, 4);
    FromPort(1, "RV28F>01>\r\n");
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0x1835);

    // Split at every position, with other text around it.
    const std::string sentence = "xx$PMRRC00ID01=\r\n";  // 121.500 MHz to COM 2 active
    for (std::size_t cut = 0; cut <= sentence.size(); ++cut) {
        state.RadioWrites.Com2ActiveWrite = 0;
        FromPort(2, sentence.substr(0, cut));
        FromPort(2, sentence.substr(cut));
        EXPECT_EQ(state.RadioWrites.Com2ActiveWrite, 0x2150) << "cut at " << cut;
    }
}

TEST_F(ReplyParserTest, OnlyPayloadBytesOneToLenMinusTwoAreFed) {
    // LEN 3: command index, one text byte, the box's trailing byte.
    Feed(boxproto::EncodeBoxFrame(1, std::vector<std::uint8_t>{0, '$', 'P'}));
    EXPECT_EQ(Parse().Step, 1);
    Feed(boxproto::EncodeBoxFrame(1, std::vector<std::uint8_t>{0, 'P', 'M'}));
    EXPECT_EQ(Parse().Step, 2);

    // The trailing byte of a long frame is not fed either.
    state.ReplyParse = ReplyParseState{};
    const std::string text = "$PMRRV28F>01";
    std::vector<std::uint8_t> payload{0};
    payload.insert(payload.end(), text.begin(), text.end());
    payload.push_back('>');
    Feed(boxproto::EncodeBoxFrame(1, payload));
    EXPECT_EQ(Parse().Step, 10);
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0);
}

TEST_F(ReplyParserTest, ModelLetterClearsTheRunningSumEvenWhenItDoesNotMatch) {
    state.ReplyParse.Step = 5;
    state.ReplyParse.RunningSum = 0x55;
    parser().FeedReplyCharacter(RadioModel::Sl30, 'C');
    EXPECT_EQ(Parse().RunningSum, 0);
    EXPECT_EQ(Parse().Step, 0);

    state.ReplyParse.Step = 5;
    state.ReplyParse.RunningSum = 0x55;
    parser().FeedReplyCharacter(RadioModel::Sl30, 'V');
    EXPECT_EQ(Parse().RunningSum, 0);
    EXPECT_EQ(Parse().Step, 6);
}

TEST_F(ReplyParserTest, SecondDollarHidesTheSentence) {
    FromPort(1, "$$PMRRV28F>01>\r\n");
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0);
    FromPort(1, "$PM$PMRRV28F>01>\r\n");  // a "$" at step 3 goes back to 0 and is skipped
    EXPECT_EQ(state.RadioWrites.Nav1StandbyWrite, 0);
}

// Frames for other ports, kinds or commands leave the parse state alone; the
// parsers share it, so the SL40 port can finish what the SL30 port began.
TEST_F(ReplyParserTest, ThePortsShareOneParseState) {
    FromPort(1, "$PMRRV");
    FromPort(3, "zzzz");  // no handler
    Feed(boxproto::AltimeterFrame(10132));
    Feed(boxproto::EncodeBoxFrame(2, std::vector<std::uint8_t>{0, 'Q', 'Q', 'Q'}));
    EXPECT_EQ(Parse().Step, 6);
    FromPort(2, "01X0019");
    EXPECT_EQ(state.RadioWrites.Com2StandbyWrite, 0x3600);
}

TEST(FrequencyConversion, BcdAndKhzRoundTripForEveryDecimalWord) {
    for (std::uint32_t w = 0; w <= 0x9999; ++w) {
        const bool decimal = (w & 0xF) <= 9 && ((w >> 4) & 0xF) <= 9 && ((w >> 8) & 0xF) <= 9 &&
                             ((w >> 12) & 0xF) <= 9;
        if (!decimal) continue;
        const auto bcd = static_cast<std::uint16_t>(w);
        ASSERT_EQ(KhzToBcd(BcdToKhz(bcd)), bcd) << std::hex << w;
    }
    EXPECT_EQ(BcdToKhz(0x1835), 118350);
    EXPECT_EQ(KhzToBcd(136975), 0x3697);  // the last 5 kHz are dropped
}

TEST(FrequencyConversion, LettersOfBothBands) {
    using L = FrequencyLetters;
    EXPECT_EQ(NavLetters(110500), (L{'>', 'D'}));
    EXPECT_EQ(NavLetters(108000), (L{'<', '0'}));
    EXPECT_EQ(NavLetters(118000), (L{'E', 'W'}));
    EXPECT_EQ(NavLetters(107000), (L{'<', '0'}));
    EXPECT_EQ(ComLetters(121500), (L{'I', 'D'}));
    EXPECT_EQ(ComLetters(117000), (L{'F', '0'}));
    EXPECT_EQ(ComLetters(136975), (L{'X', '0'}));
    // The letters read back give the frequency to 25 kHz.
    for (std::int32_t f = kNavLowestKhz; f <= kComHighestKhz; f += 25) {
        const L l = f <= kNavHighestKhz ? NavLetters(f) : ComLetters(f);
        ASSERT_EQ(LettersToKhz(l[0], l[1]), f);
    }
}

TEST(FrequencyConversion, AnyLettersGiveAWordWithoutFault) {
    // Replies are taken at face value: every pair of bytes converts (under
    // the sanitizers, without overflow), and the ordinary ones as expected.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            (void)KhzToBcd(
                LettersToKhz(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)));
        }
    }
    EXPECT_EQ(KhzToBcd(LettersToKhz('F', '>')), 0x1835);
    (void)KhzToBcd(std::numeric_limits<std::int32_t>::min());
    (void)KhzToBcd(std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace bridge::testing
