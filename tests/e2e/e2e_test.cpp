// The whole system under Wine: bridge.exe, the simulator emulator and the box
// emulator, checked from their logs and through the bridge's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/record/win32/record_ids.h"
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
// only through the device namespace. Started before the simulator, the bridge
// finds it by itself, and its quiet tries add no line to the log.
TEST_P(LineEndToEnd, WithoutSimulatorThenConnectedWithoutAClick) {
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

    std::this_thread::sleep_for(11s);  // a span with an automatic try that finds no simulator
    ASSERT_TRUE(session.StartSim());
    ASSERT_TRUE(session.WaitForLog("Connected to FS2004", 30s));
    EXPECT_EQ(Probe({"enabled", "TForm1", std::to_string(ids::kReconnectButton)}), "0");
    EXPECT_TRUE(WaitTicks(20)) << "frames flow on the COM port";
    const std::string log = session.ControlText(ids::kLog);
    EXPECT_EQ(log,
              "Cannot connect to Flight Simulator - Cannot link to FSUIPC or WideClient\r\n"
              "Connected to FS2004");  // the probe drops the last line end
    // The log file has each try: the first failure, then how many failed alike.
    const std::regex alike(
        R"(Connecting to the simulator: \d+ more tries failed alike \(result 2\))");
    ASSERT_TRUE(WaitUntil([&] { return std::regex_search(session.LogFileText(), alike); }, 10s))
        << session.LogFileText();
    const std::string file = session.LogFileText();
    const std::string first = "Connecting to the simulator failed: result 2, Cannot link";
    EXPECT_EQ(file.find(first), file.rfind(first)) << file;
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
    // Kept with the session's files when BRIDGE_E2E_KEEP is set.
    std::ofstream(session.folder() + "/bridge-log-file.txt", std::ios::binary) << log;
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

    // Windows going to sleep: the controls go back at once, and the ticks
    // after it keep them free. Resumed, the port is opened again and frames go on.
    std::size_t from = session.SimLog().size();
    ASSERT_TRUE(session.Probe({"post", "TForm1", "0x218", "4"}));  // PBT_APMSUSPEND
    ASSERT_TRUE(session.WaitForLog("Servos released: Windows is going to sleep"));
    ASSERT_TRUE(WaitTicks(5));
    const auto asleep = ControlWritesIn(session.SimLog(), from).disconnect;
    const auto released = std::find(asleep.begin(), asleep.end(), "00");
    ASSERT_NE(released, asleep.end());
    EXPECT_EQ(std::count(released, asleep.end(), "00"), asleep.end() - released);
    EXPECT_EQ(Probe({"text", "TForm1", std::to_string(ids::kBankServoLabel)}), "Not engaged");
    ASSERT_TRUE(session.Probe({"post", "TForm1", "0x218", "18"}));  // PBT_APMRESUMEAUTOMATIC
    ASSERT_TRUE(session.Probe({"post", "TForm1", "0x218", "7"}));   // PBT_APMRESUMESUSPEND
    ASSERT_TRUE(session.WaitForLog("Windows resumed: reopening the box's port COM7"));
    ASSERT_TRUE(WaitTicks(20)) << "frames go on";
    const std::string memo = session.ControlText(ids::kLog);
    EXPECT_EQ(memo.substr(memo.find("Windows is going")),
              "Windows is going to sleep\r\nServos released: Windows is going to sleep\r\n"
              "Windows resumed: reopening the box's port COM7");

    // Closed with the bank servo engaged: the last exchange hands it back.
    ASSERT_TRUE(session.BoxCommand("servo bank engage 700"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto written = ControlWritesIn(session.SimLog(), from).disconnect;
            return !written.empty() && written.back() == "02";
        },
        10s));
    from = session.SimLog().size();
    ASSERT_TRUE(session.CloseBridge());
    const ControlWrites closing = ControlWritesIn(session.SimLog(), from);
    ASSERT_FALSE(closing.disconnect.empty());
    EXPECT_EQ(closing.disconnect.back(), "00");
    const std::string simLog = session.SimLog();
    EXPECT_NE(simLog.find(" 310A 1 00", simLog.rfind("\nW ")), std::string::npos)
        << "the last write hands the controls back";
}

// One bridge per program folder: a second start there brings the first one's
// window back from minimised and ends before it touches the simulator or the
// log; a copy in another folder runs beside it.
TEST_F(EndToEnd, ASecondStartInTheSameFolderEndsACopyElsewhereRuns) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(session.Probe({"post", "TForm1", "0x112", "0xF020"}));  // minimise
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Probe({"state", "TApplication"}).find("iconic=1") != std::string::npos;
        },
        10s));
    ASSERT_TRUE(session.StartOtherBridge(session.AppFolder()));
    ASSERT_TRUE(session.WaitOtherBridgeExit(30s)) << "the second start ends";
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Probe({"state", "TForm1"}).find("foreground=1 iconic=0") != std::string::npos;
        },
        10s))
        << "the first one's window is back in front";
    EXPECT_NE(Probe({"state", "TApplication"}).find("iconic=0"), std::string::npos);
    EXPECT_EQ(session.ControlText(ids::kLog), "Connected to FS2004");
    const std::string simLog = session.SimLog();
    EXPECT_EQ(simLog.find("CLIENT "), simLog.rfind("CLIENT ")) << "one client: the first";

    // The copy's port is not there: its start-up message shows that it runs.
    const std::string other = session.folder() + "/other";
    std::filesystem::create_directories(other);
    std::filesystem::copy_file(session.AppFolder() + "/bridge.exe", other + "/bridge.exe");
    std::ofstream(other + "/VELMORA.INI") << "[Setup]\r\nCommsPort=8\r\n";
    ASSERT_TRUE(session.MakePortMissing(9));
    ASSERT_TRUE(session.StartOtherBridge(other));
    EXPECT_TRUE(session.ProbeOther({"wait", "#32770", "30000"})) << "the copy runs";
    EXPECT_TRUE(session.OtherBridgeRunning());
    EXPECT_TRUE(session.BridgeRunning());
}

TEST_F(EndToEnd, SimulatorThatStopsAnsweringIsReportedAndReconnected) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(WaitTicks(5));
    ASSERT_TRUE(session.SimCommand({"--fault", "no-reply"}));
    ASSERT_TRUE(session.WaitForLog("FlightSim problem: IPC timed out all retries", 30s));
    EXPECT_EQ(Probe({"enabled", "TForm1", std::to_string(ids::kReconnectButton)}), "1");
    const std::size_t stalled = AttitudeFrames();

    ASSERT_TRUE(session.SimCommand({"--fault", "none"}));
    ASSERT_TRUE(session.ClickWhenEnabled("TForm1", ids::kReconnectButton));
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
    ASSERT_TRUE(session.ClickWhenEnabled("#32770", 1));
    ASSERT_TRUE(session.WaitForLog("Connected to FS2004"));
    EXPECT_EQ(AttitudeFrames(), 0u);

    ASSERT_TRUE(session.ClickWhenEnabled("TForm1", ids::kPortButton));
    ASSERT_TRUE(session.Probe({"wait", "TForm15", "20000"}));
    EXPECT_EQ(Probe({"caption", "TForm15"}), "Serial port setup");
    const int chosenItem = ids::kPortDialogFirstPort + kChosenCom - 1;
    ASSERT_TRUE(session.ClickWhenEnabled("TForm15", chosenItem));
    EXPECT_TRUE(WaitTicks(10)) << "frames on the newly chosen port";
    ASSERT_TRUE(session.ClickWhenEnabled("TForm15", ids::kPortDialogOk));
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
