// Frames to the box decoded into the values a person reads, from the byte
// vectors the bridge documents and from frames the bridge's own senders build.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boxlink/box_frames.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"
#include "tools/box_protocol/box_protocol.h"
#include "tools/box_protocol/frame_fields.h"
#include "tools/box_protocol/radio_sentences.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

boxproto::Frame OnlyFrame(const Bytes& bytes) {
    boxproto::OutgoingDecoder decoder;
    decoder.Feed(bytes);
    auto frames = decoder.TakeFrames();
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_EQ(decoder.strayBytes() + decoder.badFrames(), 0u);
    return frames.empty() ? boxproto::Frame{} : frames.front();
}

TEST(FrameDecoding, AttitudeFrameOfTheDocumentedExample) {
    const auto frame = OnlyFrame({0x05, 0x82, 0x01, 0x00, 0x00, 0x00, 0x00, 0xE8, 0x03, 0xE8,
                                  0x03, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xDC,
                                  0x05, 0x06, 0xFF, 0x28, 0x23, 0xFD, 0x22, 0xC8});
    const auto a = boxproto::DecodeAttitude(frame);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->gForceMilli, 1000);
    EXPECT_EQ(a->gForceMilliAgain, 1000);
    EXPECT_EQ(a->turnRateTenths, 30);
    EXPECT_EQ(a->bankCentiDeg, 1500);
    EXPECT_EQ(a->pitchUpCentiDeg, -250);
    EXPECT_EQ(a->gyroHeadingCentiDeg, 9000);
    EXPECT_EQ(a->ball, -3);  // BallRaw -10 / 2.54, truncated
    EXPECT_FALSE(boxproto::DecodeAirData(frame));
}

TEST(FrameDecoding, RpmItemOfTheDocumentedExample) {
    const auto frame = OnlyFrame({0x05, 0x82, 0x02, 0x0E, 0x00, 0x01, 0x88, 0x20, 0x60, 0x09, 0x60,
                                  0x09, 0xFA, 0x05, 0x00, 0x08, 0x90, 0x50});
    const auto item = boxproto::AsItem(frame);
    ASSERT_TRUE(item);
    const auto e = boxproto::AsEngineItem(*item);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->engine, 1u);
    EXPECT_EQ(e->itemKind, 8);
    ASSERT_EQ(e->wordCount, 4u);
    EXPECT_EQ(e->words[0], 2400);
    EXPECT_EQ(e->words[1], 2400);
    EXPECT_EQ(e->words[3], 2048);
    EXPECT_DOUBLE_EQ(boxproto::ManifoldInHg(e->words[2]), 30.0);
    EXPECT_FALSE(boxproto::AsServoEcho(*item));
}

TEST(FrameDecoding, ServoEchoAndArincFrames) {
    const auto echoFrame = OnlyFrame(
        {0x05, 0x82, 0x02, 0x0B, 0x00, 0x01, 0x15, 0x10, 0x01, 0x00, 0x04, 0x46, 0x00, 0x7C, 0x4C});
    const auto echo = boxproto::AsServoEcho(*boxproto::AsItem(echoFrame));
    ASSERT_TRUE(echo);
    EXPECT_FALSE(echo->pitch);
    EXPECT_EQ(echo->engageBit, 1);
    EXPECT_EQ(echo->position, 1024);
    EXPECT_EQ(echo->trailer, 70);

    // Record 01 C8 34 12 60 goes out with its label bit-reversed.
    const auto arinc = boxproto::DecodeArinc(
        OnlyFrame({0x05, 0x82, 0x03, 0x01, 0x13, 0x34, 0x12, 0x60, 0xBA, 0x54}));
    ASSERT_TRUE(arinc);
    EXPECT_EQ(arinc->leadByte, 0x01);
    EXPECT_EQ(arinc->wordAsSent, 0x60123413u);
    EXPECT_EQ(arinc->word, 0x601234C8u);
}

// The bridge's own sender builds the air data frame; the readable values
// come back within the rounding of the bridge's conversions.
TEST(FrameDecoding, AirDataFrameFromTheBridgesSender) {
    bridge::testing::FakeSimLink sim;
    bridge::testing::FakeView view;
    bridge::testing::TestBridge parts(sim, view);
    bridge::testing::FakeBoxLine port;
    bridge::BindBoxLine(&port);
    auto& s = parts.state;
    s.Derived.AltitudeFeet = 3280;
    s.Derived.Latitude1e7 = 450000000;
    s.Derived.Longitude1e7 = -1234567890;
    s.Sim.GpsAltitude = 1000.25;
    s.Derived.VerticalSpeedFpm = 196;
    s.Derived.GroundSpeedCentiMs = 5144;
    s.Derived.TrueHeading1e5 = 27012345;
    s.Sim.AltimeterSetting = 16211;
    s.Derived.IasTenthsKmh = 1852;
    s.Sim.AmbientPressure = 2116.22;
    s.Sim.OatRaw = -256;
    s.Derived.CompassHeadingCentiDeg =
        35999;  // beyond 16 bits' positive half: sent as its low 16 bits
    s.BoxPorts.RadioPortMask = 0x0012;
    parts.cycle.TelemetryFrames().SendAirDataFrame();
    bridge::BindBoxLine(nullptr);

    const auto d = boxproto::DecodeAirData(OnlyFrame(port.TakeWritten()));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->altitudeFeet, 3280);
    EXPECT_EQ(d->latitude1e7, 450000000);
    EXPECT_EQ(d->longitude1e7, -1234567890);
    EXPECT_EQ(d->gpsAltitudeMm, 1000250);
    EXPECT_EQ(d->halfSinkRateFpm, -98);
    EXPECT_EQ(d->verticalSpeedFpm, 196);
    EXPECT_EQ(d->groundSpeedCentiMs, 5144);
    EXPECT_EQ(d->trueHeading1e5, 27012345);
    EXPECT_EQ(d->altimeterTenthsHpa, 10131);
    EXPECT_EQ(d->iasTenthsKmh, 1852);
    EXPECT_EQ(d->staticCount, 3346);
    EXPECT_NEAR(boxproto::StaticPressureHpa(d->staticCount), 1013.25, 0.3);
    EXPECT_EQ(d->oatCelsius, -1);
    EXPECT_EQ(d->compassHeadingCentiDeg, static_cast<std::int16_t>(35999));
    EXPECT_EQ(d->radioPortMask, 0x0012);
    EXPECT_EQ(d->tail69, 3);
    EXPECT_EQ(d->tail70, 6);
}

TEST(FrameDecoding, EngineCountsBackToUnits) {
    EXPECT_NEAR(boxproto::OilTemperatureCelsius(2887), 80.0, 0.2);  // 635.67 Rankine
    EXPECT_NEAR(boxproto::PressureBar(1694) * 14.5038, 60.0, 0.1);  // 8640 psf = 60 psi
    EXPECT_DOUBLE_EQ(boxproto::PressureBar(4095), 10.0);
    EXPECT_NEAR(boxproto::FuelFlowPph(49), 10.0, 0.05);
    EXPECT_EQ(boxproto::ReverseBits(0x01), 0x80);
    EXPECT_EQ(boxproto::ReverseBits(0xC8), 0x13);
}

TEST(RadioSentences, FrequencySentencesOfTheDocumentedExamples) {
    struct Case {
        std::string text;
        boxproto::SentenceKind kind;
        std::uint32_t active, standby;
    };
    const Case cases[] = {
        {"$PMRRV28>D<0N:6\r\n", boxproto::SentenceKind::Nav1Frequencies, 110500, 108000},
        {"$PMRRV35IDF0R0>=\r\n", boxproto::SentenceKind::Com1Frequencies, 121500, 118000},
        {"$PMRRC01F0X0R0>1\r\n", boxproto::SentenceKind::Com2Frequencies, 118000, 136000},
        {"$PMRRV28EW<0N" + boxproto::SentenceChecksum("$PMRRV28EW<0N") + "\r\n",
         boxproto::SentenceKind::Nav1Frequencies, 117975, 108000},
    };
    for (const Case& c : cases) {
        const auto s = boxproto::ParseRadioSentence(c.text);
        ASSERT_TRUE(s) << c.text;
        EXPECT_EQ(s->kind, c.kind) << c.text;
        EXPECT_TRUE(s->checksumOk) << c.text;
        EXPECT_TRUE(s->lineEndOk) << c.text;
        EXPECT_EQ(s->activeKhz, c.active) << c.text;
        EXPECT_EQ(s->standbyKhz, c.standby) << c.text;
    }
    EXPECT_EQ(boxproto::FormatMhz(110500), "110.50");
    EXPECT_EQ(boxproto::FormatMhz(118025), "118.025");
    EXPECT_EQ(boxproto::KhzFromLetters('F', '>'), 118350u);
}

TEST(RadioSentences, DamageIsReported) {
    const auto wrongSum = boxproto::ParseRadioSentence("$PMRRV28>D<0N:7\r\n");
    ASSERT_TRUE(wrongSum);
    EXPECT_FALSE(wrongSum->checksumOk);
    const auto noLineEnd = boxproto::ParseRadioSentence("$PMRRV28>D<0N:6");
    ASSERT_TRUE(noLineEnd);
    EXPECT_TRUE(noLineEnd->checksumOk);
    EXPECT_FALSE(noLineEnd->lineEndOk);
    EXPECT_FALSE(boxproto::ParseRadioSentence("hello\r\n"));
    EXPECT_FALSE(boxproto::ParseRadioSentence("$PMRRV2"));
}

TEST(RadioSentences, DeviationObsAndRadials) {
    const auto sentence = [](const std::string& body) {
        return boxproto::ParseRadioSentence(body + boxproto::SentenceChecksum(body) + "\r\n");
    };
    // CDI -99 and +99 travel as ")=" and "63"; the flags 0xF2 as "?2".
    const auto left = sentence("$PMRRV21)=63?2");
    ASSERT_TRUE(left);
    EXPECT_EQ(left->kind, boxproto::SentenceKind::Deviation);
    EXPECT_EQ(left->cdi, -99);
    EXPECT_EQ(left->glideslope, 99);
    EXPECT_EQ(left->statusFlags, 0xF2);

    const auto obs = sentence("$PMRRV22V045");
    ASSERT_TRUE(obs);
    EXPECT_EQ(obs->digits, "045");
    const auto noObsYet = sentence("$PMRRV22V");
    ASSERT_TRUE(noObsYet);
    EXPECT_EQ(noObsYet->digits, "");

    const auto radial = sentence("$PMRRV23V3599");
    ASSERT_TRUE(radial);
    EXPECT_EQ(radial->kind, boxproto::SentenceKind::Nav1Radial);
    EXPECT_TRUE(radial->radialValid);
    EXPECT_EQ(radial->digits, "3599");
    const auto noRadial = sentence("$PMRRV240");
    ASSERT_TRUE(noRadial);
    EXPECT_EQ(noRadial->kind, boxproto::SentenceKind::Nav2Radial);
    EXPECT_FALSE(noRadial->radialValid);
    EXPECT_EQ(noRadial->digits, "");
}

}  // namespace
