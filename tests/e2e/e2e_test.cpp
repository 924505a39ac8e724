// The whole system under Wine: bridge.exe, the simulator emulator and the box
// emulator, checked from their logs and through the bridge's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/win32/control_ids.h"
#include "tests/e2e/bridge_session.h"
#include "tests/e2e/reference_run.h"
#include "tests/e2e/session_test.h"
#include "tests/support/frame_names.h"

namespace bridge::e2e {
namespace {

namespace ids = gui::ids;
using namespace std::chrono_literals;

class EndToEnd : public SessionTest {};

// The cases on the box's line, once per program (see kBridgePrograms).
class LineEndToEnd : public PerProgram<EndToEnd> {};
INSTANTIATE_TEST_SUITE_P(Builds, LineEndToEnd, ::testing::ValuesIn(kBridgePrograms), ProgramName);

// On COM12, as USB adapters are often numbered: a port beyond COM9 opens
// only through the device namespace.
TEST_P(LineEndToEnd, WithoutSimulatorThenConnectingThroughTheReconnectButton) {
    Settings settings = kTwoEnginesBothRadios;
    settings.CommsPort = 11;
    session.WriteSettings(settings);
    ASSERT_TRUE(session.StartBox(12));
    ASSERT_TRUE(session.StartBridge());
    ASSERT_TRUE(session.WaitForLog(
        "Cannot connect to Flight Simulator - Cannot link to FSUIPC or WideClient"));
    EXPECT_EQ(Probe({"enabled", "TForm1", std::to_string(ids::kReconnectButton)}), "1");
    EXPECT_EQ(Probe({"caption", "TForm1"}), "");
    EXPECT_EQ(CountBox("attitude"), 0u);

    ASSERT_TRUE(session.StartSim());
    ASSERT_TRUE(session.Probe({"click", "TForm1", std::to_string(ids::kReconnectButton)}));
    ASSERT_TRUE(session.WaitForLog("Connected to FS2004"));
    EXPECT_EQ(Probe({"enabled", "TForm1", std::to_string(ids::kReconnectButton)}), "0");
    EXPECT_TRUE(WaitTicks(20)) << "frames flow on the COM port";
    const std::string log = session.ControlText(ids::kLog);
    EXPECT_EQ(log,
              "Cannot connect to Flight Simulator - Cannot link to FSUIPC or WideClient\r\n"
              "Connected to FS2004");  // the probe drops the last line end
}

// What bridge.exe asks of the simulator and sends to the box over the first
// 160 ticks is exactly what the natively tested logic does with the same
// values: request lists, frames byte for byte, and the output schedule.
TEST_P(LineEndToEnd, TicksMatchTheNativeBridgeByteForByte) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(session.WaitForBoxFrames("attitude", 170));
    ASSERT_TRUE(session.CloseBridge());

    const ReferenceRun reference = RunReference(kTwoEnginesBothRadios, 160);
    ASSERT_EQ(reference.exchanges.size(), 160u);
    ASSERT_EQ(reference.ticks.size(), 160u);
    const auto exchanges = CycleExchanges(session.SimLog());
    ASSERT_GE(exchanges.size(), 160u);
    for (std::size_t t = 0; t < 160; ++t) {
        ASSERT_EQ(exchanges[t].requests, reference.exchanges[t].requests) << "tick " << t + 1;
    }
    EXPECT_EQ(exchanges[0].requests.size(), 33u + 2 * 9) << "the first tick is half-rate";
    EXPECT_EQ(exchanges[1].requests.size(), 10u);

    const auto wire = TicksOnTheWire(session.BoxLog());
    ASSERT_GE(wire.size(), 160u);
    std::map<std::string, int> counts;
    for (std::size_t t = 0; t < 160; ++t) {
        ASSERT_EQ(testing::FrameNames(wire[t]), testing::FrameNames(reference.ticks[t]))
            << "tick " << t + 1;
        for (std::size_t f = 0; f < wire[t].size(); ++f) {
            ASSERT_EQ(wire[t][f].bytes, reference.ticks[t][f].bytes)
                << "tick " << t + 1 << " frame " << testing::FrameName(wire[t][f]);
            ++counts[testing::FrameName(wire[t][f])];
        }
    }
    // The schedule over 160 ticks, two engines, both radios.
    EXPECT_EQ(counts["attitude"], 160);
    EXPECT_EQ(counts["airdata"], 80);
    EXPECT_EQ(counts["item 32/8"] + counts["item 33/8"], 80);  // RPM every 4
    EXPECT_EQ(counts["port 1"], 16 * 6);                       // SL30 every 10
    EXPECT_EQ(counts["port 2"], 16);                           // SL40 every 10
    EXPECT_EQ(counts["item 32/5"] + counts["item 33/6"], 22);  // oil, fuel pressure: 3 mod 15
    EXPECT_EQ(counts["item 32/7"] + counts["item 33/7"], 22);  // blank: 10 mod 15
    EXPECT_EQ(counts["item 32/2"] + counts["item 33/4"], 20);  // thermocouples: 0 mod 15
    EXPECT_EQ(counts["item 32/1"] + counts["item 33/1"], 4);   // fuel flow at 80 and 160
    const std::string settings = session.SettingsText();
    EXPECT_EQ(settings,
              "[Setup]\r\nCommsPort=6\r\nSL30Port=1\r\nSL40Port=2\r\nEGTCHTSplit=1\r\n"
              "NumberOfEngines=2\r\n");

    // The log file: every line stamped to the millisecond, and at close the
    // totals, whose attitude frames are those the box decoded.
    const std::string log = session.LogFileText();
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Connected to FS2004\r\n)");
    EXPECT_TRUE(std::regex_search(log, stamped)) << log;
    std::smatch totals;
    ASSERT_TRUE(std::regex_search(log, totals, std::regex(R"(Line totals: sent (\d+) attitude)")))
        << log;
    const long logged = std::stol(totals[1]);
    const long decoded = static_cast<long>(AttitudeFrames());
    std::printf("[ measure  ] attitude frames in the totals line = %ld, decoded by the box = %ld\n",
                logged, decoded);
    std::ofstream(session.folder() + "/bridge-log-file.txt", std::ios::binary)
        << log;  // kept with BRIDGE_E2E_KEEP
    EXPECT_LE(std::abs(logged - decoded), 2) << logged << " logged, " << decoded << " decoded";
}

TEST_P(LineEndToEnd, CommandsFromTheBoxReachTheSimulatorAndTheWindow) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(WaitTicks(12));

    ASSERT_TRUE(session.BoxCommand("servo bank engage 512"));
    ASSERT_TRUE(session.BoxCommand("servo pitch engage 1536"));
    ASSERT_TRUE(session.BoxCommand("altimeter 1022.8"));
    ASSERT_TRUE(session.BoxCommand("nav1sb 110.50 port 1"));
    ASSERT_TRUE(session.WaitForBoxFrames("item", 1));
    ASSERT_TRUE(WaitTicks(30));

    // The window follows the engaged servos.
    EXPECT_EQ(Probe({"text", "TForm1", std::to_string(ids::kBankServoLabel)}), "Engaged");
    EXPECT_EQ(Probe({"text", "TForm1", std::to_string(ids::kPitchServoLabel)}), "Engaged");
    EXPECT_EQ(Probe({"trackbar", "TForm1", std::to_string(ids::kBankTrackBar)}), "512");
    EXPECT_EQ(Probe({"trackbar", "TForm1", std::to_string(ids::kPitchTrackBar)}), "512");

    // One echo per servo command.
    EXPECT_EQ(CountBox("item", "16/1"), 1u);
    EXPECT_EQ(CountBox("item", "17/1"), 1u);
    for (const auto& line : session.BoxLog()) {
        if (line.tag == "16/1") {
            EXPECT_EQ(line.fields.at("pos"), "512");
        }
        if (line.tag == "17/1") {
            EXPECT_EQ(line.fields.at("pos"), "1536");
        }
    }

    // The simulator saw the writes: controls, disconnect byte, altimeter and,
    // on a half-rate tick, the NAV1 standby frequency instead of its read.
    const auto exchanges = CycleExchanges(session.SimLog());
    auto has = [](const testing::LoggedExchange& x, const std::string& request) {
        return std::find(x.requests.begin(), x.requests.end(), request) != x.requests.end();
    };
    bool aileron = false, elevator = false, disconnect = false, altimeter = false, nav = false;
    for (const auto& x : exchanges) {
        aileron |= has(x, "W 0BB6 2 0040");
        elevator |= has(x, "W 0BB2 2 00C0");
        disconnect |= has(x, "W 310A 1 03");
        altimeter |= has(x, "W 0330 2 EC3F");
        if (has(x, "W 311E 2 5010")) {
            nav = true;
            EXPECT_FALSE(has(x, "R 311E 2")) << "the written frequency is not read in its tick";
            EXPECT_TRUE(has(x, "R 0560 8")) << "written on a half-rate tick";
        }
    }
    EXPECT_TRUE(aileron);
    EXPECT_TRUE(elevator);
    EXPECT_TRUE(disconnect);
    EXPECT_TRUE(altimeter);
    EXPECT_TRUE(nav);
    // The new frequency comes back in the SL30's sentence 28.
    ASSERT_TRUE(WaitTicks(20));
    bool sentence = false;
    for (const auto& line : session.BoxLog()) {
        const auto f = line.fields.find("nav1sb_khz");
        sentence |= f != line.fields.end() && f->second == "110500";
    }
    EXPECT_TRUE(sentence);
}

TEST_F(EndToEnd, SimulatorThatStopsAnsweringIsReportedAndReconnected) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(WaitTicks(5));
    ASSERT_TRUE(session.SimCommand({"--fault", "no-reply"}));
    ASSERT_TRUE(session.WaitForLog("FlightSim problem: IPC timed out all retries", 30s));
    EXPECT_EQ(Probe({"enabled", "TForm1", std::to_string(ids::kReconnectButton)}), "1");
    const std::size_t stalled = AttitudeFrames();

    ASSERT_TRUE(session.SimCommand({"--fault", "none"}));
    ASSERT_TRUE(session.Probe({"click", "TForm1", std::to_string(ids::kReconnectButton)}));
    ASSERT_TRUE(session.WaitForBoxFrames("attitude", stalled + 20));
    const std::string log = session.ControlText(ids::kLog);
    EXPECT_EQ(log,
              "Connected to FS2004\r\nFlightSim problem: IPC timed out all retries\r\n"
              "Connected to FS2004");
    EXPECT_EQ(Probe({"enabled", "TForm1", std::to_string(ids::kReconnectButton)}), "0");
}

// A missing port gives the port message; choosing a port that exists in the
// serial port dialog (COM10: beyond COM9, as USB adapters are often numbered)
// opens it at once, and the choice is saved at exit.
TEST_P(LineEndToEnd, PortMessageThenAnotherPortThroughTheSerialPortDialog) {
    constexpr int kChosenCom = 10;
    session.WriteSettings({2, 0, 0, 0, 1});  // COM3
    ASSERT_TRUE(session.MakePortMissing(3));
    ASSERT_TRUE(session.StartSim());
    ASSERT_TRUE(session.StartBox(kChosenCom));
    ASSERT_TRUE(session.StartBridge(false));
    ASSERT_TRUE(session.Probe({"wait", "#32770", "20000"}));
    EXPECT_EQ(Probe({"text", "#32770", "65535"}),
              "The selected port COM3 is not available, please choose another if possible or "
              "free this port if it is in use by another application.");
    // Before any window of ours, it must not hide behind a full-screen
    // simulator: in the foreground, with a taskbar button of its own (no
    // owner). (It asks to stay on top too, which Wine does not carry out.)
    const std::string state = Probe({"state", "#32770"});
    EXPECT_NE(state.find("owned=0 foreground=1"), std::string::npos) << state;
    EXPECT_EQ(Probe({"caption", "#32770"}), "Dravik EFIS to Flightsim bridge");
    ASSERT_TRUE(session.Probe({"click", "#32770", "1"}));
    ASSERT_TRUE(session.WaitForLog("Connected to FS2004"));
    EXPECT_EQ(AttitudeFrames(), 0u);

    ASSERT_TRUE(session.Probe({"click", "TForm1", std::to_string(ids::kPortButton)}));
    ASSERT_TRUE(session.Probe({"wait", "TForm15", "20000"}));
    EXPECT_EQ(Probe({"caption", "TForm15"}), "Serial port setup");
    const int chosenItem = ids::kPortDialogFirstPort + kChosenCom - 1;
    ASSERT_TRUE(session.Probe({"click", "TForm15", std::to_string(chosenItem)}));
    EXPECT_TRUE(WaitTicks(10)) << "frames on the newly chosen port";
    ASSERT_TRUE(session.Probe({"click", "TForm15", std::to_string(ids::kPortDialogOk)}));
    ASSERT_TRUE(session.CloseBridge());
    EXPECT_NE(session.SettingsText().find("CommsPort=9\r\n"), std::string::npos);
}

// One control as window_probe dump shows it.
struct Placed {
    int id = 0;
    std::string className;
    int left = 0, top = 0, width = 0, height = 0;
};

std::vector<Placed> Controls(BridgeSession& session, const char* windowClass) {
    std::vector<Placed> controls;
    std::istringstream dump(session.Probe({"dump", windowClass}).value_or(""));
    for (std::string line; std::getline(dump, line);) {
        Placed c;
        std::istringstream fields(line);
        fields >> c.id >> c.className;
        const std::size_t rect = line.find(" rect=");
        if (rect == std::string::npos || std::sscanf(line.c_str() + rect, " rect=%d,%d,%d,%d",
                                                     &c.left, &c.top, &c.width, &c.height) != 4) {
            continue;
        }
        controls.push_back(c);
    }
    return controls;
}

std::array<int, 4> WindowRect(BridgeSession& session, const char* windowClass) {
    std::array<int, 4> r{};
    const std::string text = session.Probe({"rect", windowClass, "0"}).value_or("");
    std::sscanf(text.c_str(), "%d,%d,%d,%d", &r[0], &r[1], &r[2], &r[3]);
    return r;
}

int AtOneAndAHalf(int v) { return (3 * v + 1) / 2; }  // MulDiv(v, 144, 96) for v >= 0

// Labels that fit their text are measured in the new font, not scaled.
bool FitsItsText(const Placed& c) {
    return c.className == "Static" &&
           c.id != ids::kFirstLabel + 5;  // the pitch servo caption has a fixed size
}

// A change of screen scale (the window moved to a 150 % monitor): the window
// takes the suggested size, and its controls, both dialogs and the line
// statistics window (open from the system menu) are laid out again at 1.5
// times; back at 100 %, everything is as it was.
TEST_F(EndToEnd, WindowAndDialogsFollowAChangeOfScreenScale) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(
        session.Probe({"syscommand", "TForm1", std::to_string(ids::kLineStatisticsCommand)}));
    ASSERT_TRUE(session.Probe({"wait", ids::kLineStatisticsClass, "10000"}));
    EXPECT_EQ(Probe({"caption", ids::kLineStatisticsClass}), "Line statistics");
    const char* forms[] = {"TForm1", "TForm15", "TForm2", ids::kLineStatisticsClass};
    std::map<std::string, std::vector<Placed>> before;
    std::map<std::string, std::array<int, 4>> beforeRect;
    for (const char* form : forms) {
        before[form] = Controls(session, form);
        beforeRect[form] = WindowRect(session, form);
        ASSERT_FALSE(before[form].empty()) << form;
    }
    ASSERT_TRUE(session.Probe({"dpichanged", "TForm1", "144"}));
    for (const char* form : forms) {
        SCOPED_TRACE(form);
        const auto r = WindowRect(session, form);
        EXPECT_EQ(r[2], AtOneAndAHalf(beforeRect[form][2]));
        EXPECT_EQ(r[3], AtOneAndAHalf(beforeRect[form][3]));
        const std::vector<Placed> after = Controls(session, form);
        ASSERT_EQ(after.size(), before[form].size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            const Placed& was = before[form][i];
            const Placed& is = after[i];
            SCOPED_TRACE(is.id);
            EXPECT_EQ(is.left, AtOneAndAHalf(was.left));
            EXPECT_EQ(is.top, AtOneAndAHalf(was.top));
            if (FitsItsText(is)) {  // a bigger font: between 1.2 and 1.8 times
                EXPECT_GT(is.height * 5, was.height * 6);
                EXPECT_LT(is.height * 5, was.height * 9);
            } else {
                EXPECT_EQ(is.width, AtOneAndAHalf(was.width));
                EXPECT_EQ(is.height, AtOneAndAHalf(was.height));
            }
        }
    }
    EXPECT_TRUE(WaitTicks(10)) << "the cycle goes on";

    ASSERT_TRUE(session.Probe({"dpichanged", "TForm1", "96", "144"}));
    for (const char* form : forms) {
        SCOPED_TRACE(form);
        const std::vector<Placed> after = Controls(session, form);
        ASSERT_EQ(after.size(), before[form].size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(std::tie(after[i].left, after[i].top, after[i].width, after[i].height),
                      std::tie(before[form][i].left, before[form][i].top, before[form][i].width,
                               before[form][i].height))
                << after[i].id;
        }
    }
}

}  // namespace
}  // namespace bridge::e2e
