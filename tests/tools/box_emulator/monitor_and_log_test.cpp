// What the emulator keeps, logs and shows of the frames it receives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boxlink/box_frames.h"
#include "tools/box_emulator/box_monitor.h"
#include "tools/box_emulator/frame_log.h"
#include "tools/box_emulator/live_view.h"

namespace boxemu {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kAttitude = {0x05, 0x82, 0x01, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x03, 0xE8,
                         0x03, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xDC,
                         0x05, 0x06, 0xFF, 0x28, 0x23, 0xFD, 0x22, 0xC8};
const Bytes kRpmItem = {0x05, 0x82, 0x02, 0x0E, 0x00, 0x01, 0x88, 0x20, 0x60,
                        0x09, 0x60, 0x09, 0xFA, 0x05, 0x00, 0x08, 0x90, 0x50};

boxproto::Frame PortFrame(std::uint8_t port, std::string_view text) {
    std::array<std::uint8_t, 256> buffer{};
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const std::size_t n = bridge::BuildPortFrame(buffer, port, bytes);
    return {2, Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n))};
}

std::string LineOf(const boxproto::Frame& frame, std::uint64_t ms = 1234) {
    std::string line;
    AppendFrameLine(line, ms, frame, TagOf(frame));
    return line;
}

class MonitorTest : public ::testing::Test {
protected:
    void Receive(const boxproto::Frame& frame) { monitor.OnFrame(frame, TagOf(frame)); }
    BoxMonitor monitor{1000};
};

TEST(FrameLogLines, OneLinePerFrameWithItsFields) {
    EXPECT_EQ(LineOf({1, kAttitude}),
              "1234 attitude - 05820100000000E803E8031E00000000000000DC0506FF2823FD22C8 "
              "g_milli=1000 g2_milli=1000 turn_tenths=30 bank_cdeg=1500 pitch_cdeg=-250 "
              "gyro_cdeg=9000 ball=-3\n");
    EXPECT_EQ(LineOf({2, kRpmItem}, 0),
              "0 item 32/8 0582020E0001882060096009FA0500089050 engine=1 rpm=2400 rpm2=2400 "
              "map=1530 w3=2048\n");
    EXPECT_EQ(LineOf(PortFrame(1, "$PMRRV28>D<0N:6\r\n")),
              "1234 port 1 05820215010124504D52525632383E443C304E3A360D0AFF43 sentence=V28 "
              "sum=ok crlf=ok nav1_khz=110500 nav1sb_khz=108000 "
              "text=$PMRRV28>D<0N:6\\x0D\\x0A\n");
    EXPECT_EQ(LineOf({3, {0x05, 0x82, 0x03, 0x01, 0x13, 0x34, 0x12, 0x60, 0xBA, 0x54}}),
              "1234 arinc - 0582030113341260BA54 lead=0x01 word=0x601234C8 label_octal=310\n");
}

TEST(FrameLogLines, SentFramesAndTextsStayOnOneLine) {
    std::string line;
    const Command servo = ServoCommand{1, true, 1024};
    AppendSentLine(line, 5, servo, CommandFrame(servo, {}));
    EXPECT_EQ(line, "5 tx servo 05820600110001010004 check=0x0011 servo=1 engage=1 pos=1024\n");
    line.clear();
    const Command text = PortTextCommand{2, "a b\\"};
    AppendSentLine(line, 6, text, CommandFrame(text, {}));
    EXPECT_EQ(line, "6 tx porttext 05820801016120625C0D0A00 port=2 text=a\\x20b\\x5C\\x0D\\x0A\n");
    line.clear();
    AppendEchoLine(line, 7, "phase two");
    EXPECT_EQ(line, "7 echo - - text=phase\\x20two\n");
}

TEST_F(MonitorTest, RadiosComeFromGoodSentencesOnly) {
    Receive(PortFrame(3, "$PMRRV28>D<0N:6\r\n"));
    Receive(PortFrame(3, "$PMRRV35IDF0R0>=\r\n"));
    Receive(PortFrame(5, "$PMRRC01F0X0R0>1\r\n"));
    Receive(PortFrame(3, "$PMRRV28EW<0N:7\r\n"));  // wrong checksum: ignored
    Receive(PortFrame(4, "hello\r\n"));
    const RadioPanel& r = monitor.radios();
    EXPECT_EQ(r.nav1Khz, 110500u);
    EXPECT_EQ(r.nav1StandbyKhz, 108000u);
    EXPECT_EQ(r.com1Khz, 121500u);
    EXPECT_EQ(r.com1StandbyKhz, 118000u);
    EXPECT_EQ(r.com2Khz, 118000u);
    EXPECT_EQ(r.com2StandbyKhz, 136000u);
    EXPECT_EQ(r.ports.sl30, 3);
    EXPECT_EQ(r.ports.sl40, 5);
    EXPECT_EQ(r.sentences, 4u);
    EXPECT_EQ(r.badSentences, 1u);
    EXPECT_EQ(monitor.otherText(4), "hello\r\n");
    EXPECT_EQ(monitor.portFrames(3), 3u);
}

TEST_F(MonitorTest, RatesAndSummary) {
    for (int i = 0; i < 20; ++i) Receive({1, kAttitude});
    Receive({2, kRpmItem});
    Receive({2, kRpmItem});
    monitor.OnDecoderCounts(1, 7);
    monitor.Tick(1999);  // not yet a second
    EXPECT_EQ(monitor.category(Category::Attitude).perSecond, 0.0);
    monitor.Tick(2000);
    EXPECT_DOUBLE_EQ(monitor.category(Category::Attitude).perSecond, 20.0);
    EXPECT_DOUBLE_EQ(monitor.category(Category::Item).perSecond, 2.0);

    const std::string summary = RenderSummary(monitor, 3000);
    EXPECT_EQ(summary.substr(0, summary.find('\n')),
              "summary elapsed_ms=2000 frames=22 per_second=11.00 bad_frames=1 stray_bytes=7 "
              "sentences=0 bad_sentences=0 sent=0 sent_bytes=0 dropped_bytes=0");
    EXPECT_NE(summary.find("\nsummary-kind attitude frames=20 per_second=10.00\n"),
              std::string::npos);
    EXPECT_NE(summary.find("\nsummary-item 32/8 frames=2 per_second=1.00\n"), std::string::npos);
    EXPECT_EQ(summary.find("summary-port"), std::string::npos);
}

// The panel and the snapshot give the values in readable units.
TEST_F(MonitorTest, PanelAndSnapshotShowReadableValues) {
    Receive({1, kAttitude});
    Receive({2, kRpmItem});
    Receive(PortFrame(1, "$PMRRV28>D<0N:6\r\n"));
    const std::string panel = RenderPanel(monitor, "/dev/pts/9", {"echo hi"}, 2000);
    for (const char* expected :
         {"/dev/pts/9", "bank  +15.00", "pitch  -2.50", "G 1.000", "turn  +3.0 deg/s", "ball -3",
          "gyro hdg 090.00", "Engine 1  RPM 2400", "MAP 30.00 inHg", "NAV1 110.50 sb 108.00",
          "COM1 ---.--", "(SL30 port 1, SL40 port 0)", "> echo hi"}) {
        EXPECT_NE(panel.find(expected), std::string::npos) << expected << "\n" << panel;
    }
    const std::string inPlace = RenderPanelInPlace("a\nb\n");
    EXPECT_EQ(inPlace, "\x1b[Ha\x1b[K\nb\x1b[K\n\x1b[J");

    const std::string snapshot = RenderSnapshot(monitor, 2000);
    for (const char* expected : {"snapshot t=1000 frames=3 ", " bank=15.00 pitch=-2.50 ",
                                 " e1_rpm=2400 e1_map=30.00", " nav1=110.50/108.00 "}) {
        EXPECT_NE(snapshot.find(expected), std::string::npos) << expected << "\n" << snapshot;
    }
    EXPECT_EQ(snapshot.back(), '\n');
    EXPECT_EQ(snapshot.find('\n'), snapshot.size() - 1);
}

}  // namespace
}  // namespace boxemu
