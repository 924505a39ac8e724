// The command language and the frames its commands put on the line, checked
// against the documented bytes and against the bridge's own receiver.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"
#include "tools/box_emulator/commands.h"
#include "tools/box_protocol/box_protocol.h"
#include "tools/box_protocol/radio_sentences.h"

namespace boxemu {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FrameOf(std::string_view line, RadioPorts ports = {}) {
    const ParsedLine parsed = ParseCommand(line);
    EXPECT_EQ(parsed.error, "") << line;
    if (!parsed.command) {
        ADD_FAILURE() << "no command in " << line;
        return {};
    }
    return CommandFrame(*parsed.command, ports);
}

// The text a port data frame carries: payload bytes 1 to LEN - 2.
std::string PortText(const Bytes& frame) { return std::string(frame.begin() + 5, frame.end() - 1); }

// The bridge's state after its receiver took the bytes.
bridge::BridgeState FeedBridge(const Bytes& bytes) {
    bridge::testing::FakeSimLink sim;
    bridge::testing::FakeView view;
    bridge::testing::TestBridge parts(sim, view);
    for (const std::uint8_t b : bytes) parts.receiver.ReceiveByte(b);
    return parts.state;
}

TEST(Commands, ServoCommandsGiveTheBoxsFrames) {
    EXPECT_EQ(FrameOf("servo bank engage 1024"),
              (Bytes{0x05, 0x82, 0x06, 0x00, 0x11, 0x00, 0x01, 0x01, 0x00, 0x04}));
    EXPECT_EQ(FrameOf("servo bank engage 1024\r"),
              FrameOf("servo bank engage 1024"));  // CR LF file
    EXPECT_EQ(FrameOf("  servo pitch disengage 2048  "),
              (Bytes{0x05, 0x82, 0x06, 0x00, 0x11, 0x00, 0x02, 0x00, 0x00, 0x08}));

    const bridge::BridgeState state = FeedBridge(FrameOf("servo pitch engage 512"));
    EXPECT_TRUE(state.Servos.PitchServoEngaged);
    EXPECT_EQ(state.Servos.PitchServoCommand, 16384);
    EXPECT_FALSE(state.Servos.BankServoEngaged);
}

TEST(Commands, AltimeterSettingReachesTheBridgeInSixteenthsOfHectopascal) {
    EXPECT_EQ(FrameOf("altimeter 1022.8"), (Bytes{0x05, 0x82, 0x03, 0x01, 0x06, 0xF4, 0x27}));
    for (const char* line :
         {"alt 1022.8", "altimeter 1022.8 hPa", "altimeter 1022.8hPa", "altimeter 1022.75"}) {
        const bridge::BridgeState state = FeedBridge(FrameOf(line));
        EXPECT_TRUE(state.Altimeter.AltimeterWritePending) << line;
        EXPECT_EQ(state.Altimeter.AltimeterCommand, 16364) << line;
    }
}

TEST(Commands, RadioSelectionsInTheReplyFormat) {
    // The documented SL40 selection of 136.00 MHz standby: $PMRRC01X00, then "1" "9".
    const Bytes com2 = FrameOf("com2sb 136.00 port 2");
    ASSERT_GE(com2.size(), 6u);
    EXPECT_EQ(com2[2], com2.size() - 4);  // LEN
    EXPECT_EQ(com2[3], 1);                // command frame
    EXPECT_EQ(com2[4], 1);                // port 2
    EXPECT_EQ(PortText(com2), "$PMRRC01X0019\r\n");

    struct Case {
        const char* line;
        std::string idAndLetters;  // message id, then the frequency letters
    };
    const Case cases[] = {{"nav1 110.50 port 1", "27>D"},
                          {"nav1sb 108.00 port 1", "28<0"},
                          {"com1 121.5 port 1", "42ID"},
                          {"com1sb 118.025 port 1", "29F1"},
                          {"com2 136.975 port 1", "00XW"}};
    for (const Case& c : cases) {
        const std::string text = PortText(FrameOf(c.line));
        ASSERT_EQ(text.size(), 15u) << c.line;
        EXPECT_EQ(text.substr(6, 4), c.idAndLetters) << c.line;
        const std::string body = text.substr(0, 11);
        EXPECT_EQ(text.substr(11, 2), boxproto::SentenceChecksum(body)) << c.line;
        EXPECT_EQ(text.substr(13), "\r\n");
    }
}

TEST(Commands, RadioSelectionGoesToTheRadiosPortUnlessOneIsGiven) {
    const RadioPorts seen{3, 4};
    EXPECT_EQ(FrameOf("nav1sb 110.50", seen)[4], 2);  // SL30 on port 3
    EXPECT_EQ(FrameOf("com2 121.50", seen)[4], 3);    // SL40 on port 4
    EXPECT_EQ(FrameOf("com1 121.50 port 5", seen)[4], 4);
    EXPECT_EQ(FrameOf("com1 121.50")[4], 0);  // nothing heard yet: port 1
}

TEST(Commands, PortTextAndRawBytes) {
    const Bytes text = FrameOf("porttext 2 $PMRRV28F>01>");
    EXPECT_EQ(text[4], 1);
    EXPECT_EQ(PortText(text), "$PMRRV28F>01>\r\n");
    EXPECT_EQ(FrameOf("raw 05 82 03 01 06 f4 27"),
              (Bytes{0x05, 0x82, 0x03, 0x01, 0x06, 0xF4, 0x27}));
    EXPECT_EQ(FrameOf("raw 058203,00"), (Bytes{0x05, 0x82, 0x03, 0x00}));
}

TEST(Commands, WaitsEchoAndQuit) {
    const auto wait = ParseCommand("wait 2s");
    ASSERT_TRUE(wait.command);
    EXPECT_EQ(std::get<WaitCommand>(*wait.command).ms, 2000u);
    EXPECT_EQ(ParseDuration("500ms"), 500u);
    EXPECT_EQ(ParseDuration("250"), 250u);

    const auto frames = ParseCommand("wait-frames item:32/8 10 timeout 5s");
    ASSERT_TRUE(frames.command);
    const auto& w = std::get<WaitFramesCommand>(*frames.command);
    EXPECT_EQ(w.count, 10u);
    EXPECT_EQ(w.timeoutMs, 5000u);
    EXPECT_TRUE(w.selector.Matches({Category::Item, 32, 8, 0}));
    EXPECT_FALSE(w.selector.Matches({Category::Item, 32, 7, 0}));
    EXPECT_FALSE(w.selector.Matches({Category::Attitude, 0, 0, 0}));

    const auto echo = ParseCommand("echo  phase two  ");
    ASSERT_TRUE(echo.command);
    EXPECT_EQ(std::get<EchoCommand>(*echo.command).text, "phase two");
    EXPECT_TRUE(ParseCommand("quit").command);
    EXPECT_TRUE(CommandFrame(*ParseCommand("wait 5").command, {}).empty());
}

TEST(Commands, SelectorsPickFramesByKindAddressAndPort) {
    const auto port1 = ParseSelector("port:1");
    ASSERT_TRUE(port1);
    EXPECT_TRUE(port1->Matches({Category::Port, 0, 0, 1}));
    EXPECT_FALSE(port1->Matches({Category::Port, 0, 0, 2}));
    const auto address = ParseSelector("item:16");
    ASSERT_TRUE(address);
    EXPECT_TRUE(address->Matches({Category::Item, 16, 1, 0}));
    EXPECT_FALSE(address->Matches({Category::Item, 17, 1, 0}));
    EXPECT_TRUE(ParseSelector("any")->Matches({Category::Arinc, 0, 0, 0}));
    for (const char* bad : {"", "items", "attitude:1", "item:256", "item:32/16", "port:x"}) {
        EXPECT_FALSE(ParseSelector(bad)) << bad;
    }
}

TEST(Commands, MistakesAreRefusedWithAReason) {
    for (const char* line : {"servo roll engage 1024",
                             "servo bank on 1024",
                             "servo bank engage 2049",
                             "servo bank engage -1",
                             "servo bank engage",
                             "servo bank engage 10 extra",
                             "nav1 118.00",
                             "nav1 107.95",
                             "com1 121.51",
                             "com2 137.00",
                             "com1 121.5000",
                             "nav1 110.50 port 6",
                             "nav1 110.50 port",
                             "nav1 110.50 prt 1",
                             "nav1 abc",
                             "altimeter",
                             "altimeter abc",
                             "altimeter 7000",
                             "altimeter 1013 inHg",
                             "porttext 0 hello",
                             "porttext 1",
                             "raw",
                             "raw 0",
                             "raw zz",
                             "wait",
                             "wait 5 min",
                             "wait 5m",
                             "wait-frames attitude",
                             "wait-frames attitude 0",
                             "wait-frames bogus 3",
                             "wait-frames attitude 3 timeout",
                             "wait-frames attitude 3 timeout 0",
                             "quit now",
                             "frobnicate"}) {
        const ParsedLine parsed = ParseCommand(line);
        EXPECT_FALSE(parsed.command) << line;
        EXPECT_NE(parsed.error, "") << line;
    }
    EXPECT_FALSE(ParseCommand(std::string(252, 'x').insert(0, "porttext 1 ")).command);
    EXPECT_EQ(FrameOf(std::string(251, 'x').insert(0, "porttext 1 "))[2], 255);  // the longest LEN
    EXPECT_THROW(boxproto::EncodeBoxFrame(1, Bytes(256)), std::length_error);
    for (const char* nothing : {"", "   ", "# a comment", "  # indented comment"}) {
        const ParsedLine parsed = ParseCommand(nothing);
        EXPECT_FALSE(parsed.command) << nothing;
        EXPECT_EQ(parsed.error, "") << nothing;
    }
}

// The canonical text of a command parses back to the same command.
TEST(Commands, DescriptionsParseBack) {
    for (const char* line :
         {"servo pitch engage 7", "com1sb 118.025 port 4", "nav1 110.50", "altimeter 1013.2",
          "porttext 3 a b  c", "raw 05 82 00", "wait-frames item:32/8 3 timeout 1500ms",
          "wait-frames any 1", "echo x y", "quit"}) {
        const auto first = ParseCommand(line);
        ASSERT_TRUE(first.command) << line;
        const std::string description = DescribeCommand(*first.command);
        const auto second = ParseCommand(description);
        ASSERT_TRUE(second.command) << description;
        EXPECT_EQ(DescribeCommand(*second.command), description);
        EXPECT_EQ(CommandFrame(*second.command, {}), CommandFrame(*first.command, {})) << line;
    }
}

}  // namespace
}  // namespace boxemu
