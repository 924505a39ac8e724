#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "radio/radio_cycle.h"
#include "radio/reply_parser.h"
#include "tests/radio/radio_test_support.h"

namespace bridge::testing {
namespace {

class RadioCycleTest : public BridgeFixture {
protected:
    // Runs one radio cycle; the sentences it sent, each checked.
    std::vector<boxproto::PortText> Cycle() {
        radios().Run();
        auto texts = PortTexts(SentFrames());
        for (const auto& t : texts) EXPECT_TRUE(HasValidChecksum(t.text)) << t.text;
        return texts;
    }
    // The one sentence of a cycle whose text starts with `head`.
    std::string CycleSentence(const std::string& head) {
        std::string found;
        for (const auto& t : Cycle()) {
            if (t.text.rfind(head, 0) == 0) found = t.text;
        }
        return found;
    }
};

TEST_F(RadioCycleTest, SendsTheSevenSentencesInOrderToTheirPorts) {
    state.Settings.SL30Port = 1;
    state.Settings.SL40Port = 2;
    state.Sim.Nav1Active = 0x1050;
    state.Sim.Nav1Standby = 0x0800;
    state.Sim.Com1Active = 0x2150;
    state.Sim.Com1Standby = 0x1800;
    state.Sim.Com2Active = 0x1800;
    state.Sim.Com2Standby = 0x3600;
    radios().Run();
    const auto frames = SentFrames();
    const auto texts = PortTexts(frames);
    ASSERT_EQ(texts.size(), 7u);
    const char* heads[] = {"$PMRRV21", "$PMRRV22", "$PMRRV23", "$PMRRV24",
                           "$PMRRV28", "$PMRRV35", "$PMRRC01"};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(texts[i].text.substr(0, 8), heads[i]);
        EXPECT_EQ(texts[i].port, i < 6 ? 1 : 2);
    }
    EXPECT_EQ(texts[4].text, "$PMRRV28>D<0N:6\r\n");
    EXPECT_EQ(texts[5].text, "$PMRRV35IDF0R0>=\r\n");
    EXPECT_EQ(texts[6].text, "$PMRRC01F0X0R0>1\r\n");

    const std::string sentence28 = "$PMRRV28>D<0N:6\r\n";
    std::vector<std::uint8_t> frame28 = {0x05, 0x82, 0x02, 0x15, 0x01, 0x01};
    frame28.insert(frame28.end(), sentence28.begin(), sentence28.end());
    frame28.insert(frame28.end(), {0xFF, 0x43});
    EXPECT_EQ(frames[4].bytes, frame28);
}

TEST_F(RadioCycleTest, FrequenciesAreLimitedToTheirBand) {
    state.Settings.SL30Port = 1;
    state.Sim.Nav1Active = 0x1800;   // 118.00 MHz on a NAV radio
    state.Sim.Nav1Standby = 0x0000;  // 100.00 MHz
    state.Sim.Com1Active = 0x1700;   // 117.00 MHz on a COM radio
    state.Sim.Com1Standby = 0x3697;  // 136.97 MHz
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV28")), "EW<0N");
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV35")), "F0X0R0");
    state.Sim.Nav1Active = 0xFFFF;  // nibbles above 9 count at face value: 266.65 MHz
    state.Sim.Com1Active = 0x0FA0;  // 100 + 15 + 1.0: 116.00 MHz
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV28")), "EW<0N");
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV35")), "F0X0R0");
}

TEST_F(RadioCycleTest, DeflectionCharactersAndStatus) {
    state.Settings.SL30Port = 1;
    state.Sim.Nav1CdiDeflection = 127.0f;
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV21")), "6300<0");
    EXPECT_EQ(state.Sentences.Nav1CdiScaled, 4094);
    state.Sim.Nav1CdiDeflection = -127.0f;
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV21")), ")=00<0");

    // With a glideslope the GS value is refreshed and the status reads F0 or F2.
    state.Sim.NavRadioFlags = kNav1GlideslopeFlag;
    state.Sim.Nav1GsDeflection = -1.3f;  // -41.9 -> -41 -> -1: "/" "?"
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV21")), ")=/??0");
    state.Sim.NavRadioFlags = kNav1GlideslopeFlag | kNav1RadialValidFlag;
    EXPECT_EQ(SentenceData(CycleSentence("$PMRRV21")), ")=/??2");
    EXPECT_EQ(state.Sentences.Sl30StatusFlags, 0xF2);
}

TEST_F(RadioCycleTest, DeflectionThatIsNotANumberKeepsTheLastValue) {
    state.Settings.SL30Port = 1;
    state.Sim.Nav1CdiDeflection = 10.0f;
    Cycle();
    ASSERT_EQ(state.Sentences.Nav1CdiScaled, 322);
    for (const float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
          -std::numeric_limits<float>::max()}) {
        state.Sim.Nav1CdiDeflection = bad;
        EXPECT_EQ(SentenceData(CycleSentence("$PMRRV21")), "0700<0");  // 322 / 41 = 7
        EXPECT_EQ(state.Sentences.Nav1CdiScaled, 322);
    }
}

TEST_F(RadioCycleTest, TextsAreEmptyUntilTheFirstRefresh) {
    state.Settings.SL30Port = 1;
    state.Sim.NavRadioFlags = kNav1GlideslopeFlag | kNav1RadialValidFlag | kNav2RadialValidFlag;
    state.Sim.Nav1Obs = 123;
    state.Sim.Nav1Radial = 0x4000;
    const auto texts = Cycle();
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(SentenceData(texts[1].text), "V");
    EXPECT_EQ(SentenceData(texts[2].text), "0");
    EXPECT_EQ(SentenceData(texts[3].text), "0");
}

TEST_F(RadioCycleTest, FieldsKeepTheirValuesInCyclesThatDoNotRefreshThem) {
    state.Settings.SL30Port = 1;
    state.Sim.Nav1Obs = 7;
    state.Sim.Nav1Radial = 0xFFFF;
    state.Sim.Nav2Radial = 0x4000;
    state.Sim.NavRadioFlags = kNav1RadialValidFlag;
    auto texts = Cycle();
    EXPECT_EQ(SentenceData(texts[1].text), "V007");
    EXPECT_EQ(SentenceData(texts[2].text), "V3599");
    EXPECT_EQ(SentenceData(texts[3].text), "00900");

    // Neither radial valid: the radials stay, the OBS follows.
    state.Sim.Nav1Obs = 359;
    state.Sim.Nav1Radial = 0;
    state.Sim.NavRadioFlags = 0;
    texts = Cycle();
    EXPECT_EQ(SentenceData(texts[1].text), "V359");
    EXPECT_EQ(SentenceData(texts[2].text), "V3599");

    // Glideslope: radials, their letters and the OBS stay.
    state.Sim.Nav1Obs = 65535;
    state.Sim.Nav1GsDeflection = 50.0f;
    state.Sim.NavRadioFlags = kNav1GlideslopeFlag | kNav2RadialValidFlag;
    texts = Cycle();
    EXPECT_EQ(SentenceData(texts[1].text), "V359");
    EXPECT_EQ(SentenceData(texts[2].text), "V3599");
    EXPECT_EQ(SentenceData(texts[3].text), "00900");
    EXPECT_EQ(state.Sentences.Nav1GsScaled, 1612);

    // NAV 2 only: both texts refreshed, NAV 1 marked invalid; the GS value stays.
    state.Sim.Nav1GsDeflection = 0.0f;
    state.Sim.NavRadioFlags = kNav2RadialValidFlag;
    texts = Cycle();
    EXPECT_EQ(SentenceData(texts[1].text), "V65535");
    EXPECT_EQ(SentenceData(texts[2].text), "00000");
    EXPECT_EQ(SentenceData(texts[3].text), "V0900");
    EXPECT_EQ(SentenceData(texts[0].text), "0027<0");  // 1612 / 41 = 39 = 0x27
}

TEST_F(RadioCycleTest, RadioPortMask) {
    struct Case {
        std::uint8_t sl30, sl40;
        std::uint16_t mask;
    };
    for (const Case c : {Case{2, 5, 0x0012}, Case{0, 0, 0}, Case{3, 3, 0x0004}, Case{1, 0, 0x0001},
                         Case{0, 5, 0x0010}}) {
        state.Settings.SL30Port = c.sl30;
        state.Settings.SL40Port = c.sl40;
        ComputeRadioPortMask(state.Settings, state.BoxPorts);
        EXPECT_EQ(state.BoxPorts.RadioPortMask, c.mask) << int{c.sl30} << "/" << int{c.sl40};
    }
}

TEST_F(RadioCycleTest, NoRadiosNoSentences) {
    EXPECT_TRUE(Cycle().empty());
    for (const ReplyHandler h : state.BoxPorts.PortReplyHandlers) EXPECT_EQ(h, ReplyHandler{});
}

TEST_F(RadioCycleTest, BothRadiosOnOnePortLeaveTheSl40ParserInstalled) {
    state.Settings.SL30Port = 3;
    state.Settings.SL40Port = 3;
    const auto texts = Cycle();
    ASSERT_EQ(texts.size(), 7u);
    for (const auto& t : texts) EXPECT_EQ(t.port, 3);
    EXPECT_EQ(state.BoxPorts.PortReplyHandlers[2], cycle.Replies().Sl40Handler());

    // Entries are never cleared when a radio moves.
    state.Settings.SL30Port = 1;
    state.Settings.SL40Port = 0;
    Cycle();
    EXPECT_EQ(state.BoxPorts.PortReplyHandlers[0], cycle.Replies().Sl30Handler());
    EXPECT_EQ(state.BoxPorts.PortReplyHandlers[2], cycle.Replies().Sl40Handler());
}

TEST_F(RadioCycleTest, SentencesInstallTheSl30ParserForItsPort) {
    state.Settings.SL30Port = 5;
    Cycle();
    EXPECT_EQ(state.BoxPorts.PortReplyHandlers[4], cycle.Replies().Sl30Handler());
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(state.BoxPorts.PortReplyHandlers[i], ReplyHandler{});
}

// The settings file can hold any byte; the box has ports 1..5 and the mask 16
// bits. A port outside 1..5 means the radio is not used.
TEST_F(RadioCycleTest, PortsAboveFiveCountAsNotUsed) {
    for (const std::uint8_t bad : {6, 16, 17, 33, 255}) {
        state.Settings.SL30Port = bad;
        state.Settings.SL40Port = bad;
        ComputeRadioPortMask(state.Settings, state.BoxPorts);
        EXPECT_EQ(state.BoxPorts.RadioPortMask, 0) << int{bad};
        EXPECT_TRUE(Cycle().empty()) << int{bad};
    }
    for (const ReplyHandler h : state.BoxPorts.PortReplyHandlers) EXPECT_EQ(h, ReplyHandler{});

    state.Settings.SL30Port = 200;
    state.Settings.SL40Port = 2;
    ComputeRadioPortMask(state.Settings, state.BoxPorts);
    EXPECT_EQ(state.BoxPorts.RadioPortMask, 0x0002);
    const auto texts = Cycle();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].port, 2);
}

}  // namespace
}  // namespace bridge::testing
