// Faults injected into the whole system under Wine: a simulator that dies or
// answers badly, a serial adapter pulled out, a box that floods the line with
// garbage, a settings file that cannot be written, and closing the window at
// awkward moments. Each test checks what the bridge does and that nothing is
// lost; the figures asked for are printed ("[ measure  ]" lines) and recorded
// as test properties, with only generous sanity bounds asserted.
//
// On demand: BRIDGE_FAULT_REPEAT=N runs the repeatable faults N times (1 by
// default); BRIDGE_FLOOD_SECONDS=60 makes the garbage flood last a minute
// (10 s by default; BRIDGE_FLOOD_SEED picks other garbage);
// BRIDGE_UNPLUG_SECONDS sets the span the CPU time is measured over while the
// port is unplugged (10 s by default). For example:
//   BRIDGE_FLOOD_SECONDS=60 build/linux/tests/e2e/e2e_tests --gtest_filter='Faults.Garbage*'
// inside a Wine session (source scripts/wine-session.sh).
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/win32/control_ids.h"
#include "tests/e2e/box_line.h"
#include "tests/e2e/bridge_session.h"
#include "tests/e2e/session_test.h"
#include "tools/box_protocol/box_protocol.h"
#include "tools/box_protocol/frame_fields.h"

namespace bridge::e2e {
namespace {

namespace ids = gui::ids;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPairCom = 5;  // COM5: the pty pair that can be unplugged
constexpr const char* kProblem = "FlightSim problem: ";
constexpr const char* kConnected = "Connected to FS2004";
// The simulator client's retry budget: 10 sends of 400 ms and 10 pauses of 10 ms.
constexpr auto kRetryBudget = 4100ms;
// Room for Wine's scheduling and the probes' own start on a shared machine.
constexpr auto kMargin = 4000ms;

int EnvInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

int Repeats() { return EnvInt("BRIDGE_FAULT_REPEAT", 1); }

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::size_t Occurrences(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++n;
    }
    return n;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The text after "FlightSim problem: " must be one of the link's result texts
// for a failed exchange.
bool IsExchangeFailureText(const std::string& text) {
    return text == "IPC timed out all retries" || text == "IPC sendmessage failed all retries" ||
           text == "IPC request contains bad data";
}

// A 16-bit value as the simulator emulator logs written bytes: low byte first.
std::string Hex16(std::uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", v & 0xFFu, v >> 8);
    return text;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

// The wine server of this test run's prefix (it does work on behalf of the
// bridge, such as device waits, that the bridge's own CPU time leaves out);
// found, only to be looked at, by its name and its WINEPREFIX.
std::optional<pid_t> WineServerPid() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr) return std::nullopt;
    const std::string wanted = std::string("WINEPREFIX=") + prefix;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        // "wineserver" or "wineserver64"
        if (ReadWholeFile(entry.path().string() + "/comm").rfind("wineserver", 0) != 0) continue;
        std::istringstream environment(ReadWholeFile(entry.path().string() + "/environ"));
        std::string variable;
        while (std::getline(environment, variable, '\0')) {
            if (variable == wanted) return static_cast<pid_t>(std::stol(name));
        }
    }
    return std::nullopt;
}

// Takes write access away from a file or folder, from root too (who ignores
// permission bits) through the immutable attribute; gives it back at the end.
class WriteLock {
public:
    explicit WriteLock(std::string path) : path_(std::move(path)) {
        struct stat st {};
        if (stat(path_.c_str(), &st) != 0) return;
        mode_ = st.st_mode & 07777;
        chmod(path_.c_str(), mode_ & ~0222u);
        locked_ = true;
        if (geteuid() == 0) immutable_ = SetImmutable(true);
    }
    ~WriteLock() { Release(); }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    void Release() {
        if (!locked_) return;
        if (immutable_) SetImmutable(false);
        chmod(path_.c_str(), mode_);
        locked_ = immutable_ = false;
    }

    // Whether this process, at least, is now refused a write there.
    bool Effective() const {
        struct stat st {};
        if (stat(path_.c_str(), &st) != 0) return false;
        if (S_ISDIR(st.st_mode)) {
            const std::string probe = path_ + "/write-probe";
            const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) return true;
            close(fd);
            unlink(probe.c_str());
            return false;
        }
        const int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) return true;
        close(fd);
        return false;
    }

private:
    bool SetImmutable(bool on) const {
        const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        close(fd);
        return done;
    }

    std::string path_;
    mode_t mode_ = 0;
    bool locked_ = false;
    bool immutable_ = false;
};

class Faults : public SessionTest {
protected:
    static void Report(const std::string& name, const std::string& value) {
        RecordProperty(name, value);
        std::printf("[ measure  ] %s = %s\n", name.c_str(), value.c_str());
        std::fflush(stdout);
    }
    static void Report(const std::string& name, long value) { Report(name, std::to_string(value)); }

    std::string Memo() { return session.ControlText(ids::kLog); }

    bool WaitForLogCount(const std::string& text, std::size_t count,
                         std::chrono::milliseconds timeout = 30s) {
        return WaitUntil([&] { return Occurrences(Memo(), text) >= count; }, timeout);
    }

    bool Click(const char* windowClass, int id) {
        return session.ClickWhenEnabled(windowClass, id);
    }

    // Every frame the box emulator logged is one the bridge builds, and with
    // the simulator's values fixed every attitude and air data frame is the
    // same, but for the altimeter setting the box may have changed: a
    // snapshot damaged by a bad answer would show as a different frame. The
    // first of each is left out: it goes before the half-rate values of the
    // first tick have been converted.
    void ExpectFramesUnchanged() {
        std::vector<std::vector<std::uint8_t>> attitude;  // the distinct ones
        std::set<std::map<std::string, std::string>> airdata;
        bool firstAttitude = true, firstAirData = true;
        for (const auto& line : session.BoxLog()) {
            EXPECT_NE(line.kind, "other") << "a frame the bridge does not build";
            if (line.kind == "attitude" && !std::exchange(firstAttitude, false)) {
                if (std::find(attitude.begin(), attitude.end(), line.frame.bytes) ==
                    attitude.end()) {
                    attitude.push_back(line.frame.bytes);
                }
            }
            if (line.kind == "airdata" && !std::exchange(firstAirData, false)) {
                auto fields = line.fields;
                fields.erase("altimeter_dhpa");
                airdata.insert(fields);
            }
        }
        EXPECT_EQ(attitude.size(), 1u) << "attitude frames differ";
        EXPECT_EQ(airdata.size(), 1u) << "air data frames differ";
    }

    // The bridge on the pty pair's COM port with the test as the box.
    void StartOnPortPair(BoxLine& box) {
        Settings settings = kTwoEnginesBothRadios;
        settings.CommsPort = kPairCom - 1;
        session.WriteSettings(settings);
        ASSERT_TRUE(session.StartPortPair(kPairCom));
        ASSERT_TRUE(box.Open(session.BoxEndPath()));
        ASSERT_TRUE(session.StartSim());
        ASSERT_TRUE(session.StartBridge());
        ASSERT_TRUE(session.WaitForLog(kConnected)) << Memo();
        ASSERT_TRUE(box.WaitFor(Attitude, 10));
    }

    static bool Attitude(const boxproto::Frame& f) { return IsKind(f, 1); }

    // Opens the operation setup dialog, clicks one of its items and closes it.
    void ChooseInOperationSetup(int item) {
        ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kSetupButton));
        ASSERT_TRUE(session.Probe({"wait", ids::kOperationSetupClass, "10000"}));
        ASSERT_TRUE(Click(ids::kOperationSetupClass, item));
        ASSERT_TRUE(Click(ids::kOperationSetupClass, ids::kSetupOk));
        ASSERT_TRUE(session.Probe({"gone", ids::kOperationSetupClass, "10000"}));
    }

    // The times between attitude frames that arrived from `from` to `to`, in ms.
    static std::vector<double> AttitudePeriods(const BoxLine& box, Clock::time_point from,
                                               Clock::time_point to) {
        std::vector<double> periods;
        Clock::time_point previous{};
        for (const auto& r : box.Frames()) {
            if (!Attitude(r.frame) || r.at < from || r.at > to) continue;
            if (previous != Clock::time_point{}) {
                periods.push_back(
                    std::chrono::duration<double, std::milli>(r.at - previous).count());
            }
            previous = r.at;
        }
        return periods;
    }

    // Closes the main window and measures how long the program takes to end.
    long CloseAndMeasure(std::chrono::milliseconds timeout = 30s) {
        const auto start = Clock::now();
        EXPECT_TRUE(session.Probe({"close", ids::kMainWindowClass}).has_value());
        EXPECT_TRUE(session.WaitBridgeExit(timeout)) << "the program did not end";
        return MsSince(start);
    }
};

// The cases on the box's line, once per program (see kBridgePrograms).
class LineFaults : public PerProgram<Faults> {};
INSTANTIATE_TEST_SUITE_P(Builds, LineFaults, ::testing::ValuesIn(kBridgePrograms), ProgramName);

// The simulator is killed between exchanges and, in the other round, while it
// holds an exchange. The failure is logged once, the failing tick ends within
// the retry budget, the window answers and a setup dialog opens and closes
// while the link is down, and the bridge finds the restarted simulator by
// itself, without a line for the tries that found none.
TEST_F(Faults, SimulatorKilledMidRunIsReportedAndReconnected) {
    // A held exchange lasts long enough for the kill to land inside it.
    const std::vector<std::string> simArgs = {"--fixed", "--no-reply-ms", "5000"};
    session.WriteSettings(kTwoEnginesBothRadios);
    ASSERT_TRUE(session.StartBox(kBoxCom));
    ASSERT_TRUE(session.StartSim(simArgs));
    ASSERT_TRUE(session.StartBridge());
    ASSERT_TRUE(session.WaitForLog(kConnected));

    const int rounds = 2 * Repeats();
    std::vector<std::string> expected = {kConnected};
    for (int round = 0; round < rounds; ++round) {
        const bool held = round % 2 == 1;
        const std::string name = std::string(held ? "kill_in_exchange" : "kill_between") + "_" +
                                 std::to_string(round / 2 + 1);
        ASSERT_TRUE(WaitTicks(5));
        if (held) {
            ASSERT_TRUE(session.SimCommand({"--fault", "no-reply", "--fault-count", "1"}));
            // The emulator logs the exchange before it starts holding it.
            ASSERT_TRUE(WaitUntil(
                [&] { return session.SimLog().find(" no-reply\n") != std::string::npos; }, 10s));
        }
        const auto killed = Clock::now();
        session.KillSim();
        ASSERT_TRUE(WaitForLogCount(kProblem, static_cast<std::size_t>(round + 1), 20s)) << Memo();
        const long failedAfter = MsSince(killed);
        Report(name + "_failure_logged_ms", failedAfter);
        EXPECT_LT(failedAfter, (kRetryBudget + kMargin).count()) << "a tick hung";

        const auto probeStart = Clock::now();
        const std::string log = Memo();
        Report(name + "_probe_ms", MsSince(probeStart));
        const std::string line = Lines(log).back();
        ASSERT_EQ(line.rfind(kProblem, 0), 0u) << log;
        EXPECT_TRUE(IsExchangeFailureText(line.substr(std::string(kProblem).size()))) << line;
        Report(name + "_text", line);
        expected.push_back(line);
        EXPECT_EQ(Probe({"enabled", ids::kMainWindowClass, std::to_string(ids::kReconnectButton)}),
                  "1");

        const auto dialogStart = Clock::now();
        ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kSetupButton));
        ASSERT_TRUE(session.Probe({"wait", ids::kOperationSetupClass, "10000"}));
        ASSERT_TRUE(Click(ids::kOperationSetupClass, ids::kSetupOk));
        ASSERT_TRUE(session.Probe({"gone", ids::kOperationSetupClass, "10000"}));
        Report(name + "_dialog_open_close_ms", MsSince(dialogStart));

        // What the box asks while the link is down is carried out once it is up again.
        const int position = 300 + 10 * round;
        const int tenthsHpa = 10010 + 5 * round;
        const std::size_t echoes = CountBox("item", "16/1");
        ASSERT_TRUE(session.BoxCommand("servo bank engage " + std::to_string(position)));
        ASSERT_TRUE(session.BoxCommand("altimeter " + std::to_string(tenthsHpa / 10) + "." +
                                       std::to_string(tenthsHpa % 10)));
        ASSERT_TRUE(WaitUntil([&] { return CountBox("tx") >= 2u * (round + 1); }, 10s));

        // Found again without a click, with one handshake.
        const std::size_t stalled = AttitudeFrames();
        ASSERT_TRUE(session.StartSim(simArgs));
        const auto restarted = Clock::now();
        ASSERT_TRUE(WaitForLogCount(kConnected, static_cast<std::size_t>(round + 2), 40s))
            << Memo();
        Report(name + "_connected_after_restart_ms", MsSince(restarted));
        EXPECT_EQ(Occurrences(session.SimLog(), "\nCLIENT "), 1u);
        expected.push_back(kConnected);
        ASSERT_TRUE(session.WaitForBoxFrames("attitude", stalled + 20)) << "frames resume";
        EXPECT_EQ(CountBox("item", "16/1"), echoes + 1) << "the command sent while down is echoed";
        const std::string simLog = session.SimLog();
        EXPECT_NE(
            simLog.find(" 0BB6 2 " + Hex16(static_cast<std::uint16_t>((1024 - position) * 32))),
            std::string::npos)
            << "the servo command sent while down reaches the simulator";
        EXPECT_NE(simLog.find(" 0330 2 " + Hex16(static_cast<std::uint16_t>(tenthsHpa * 16 / 10))),
                  std::string::npos)
            << "the altimeter setting sent while down reaches the simulator";
    }
    EXPECT_EQ(Lines(Memo()), expected);
    EXPECT_TRUE(session.BridgeRunning());
    ExpectFramesUnchanged();
}

// Automatic tries hold the window only briefly. Against a server window with
// no simulator behind it (the handshake is refused after its five attempts),
// and against a simulator that hangs in an exchange: its window does not
// answer the quick check, so no try is made until it answers again, and then
// the link comes back by itself. The longest time the window's message loop
// was held is measured over each phase's automatic try.
TEST_F(Faults, AutomaticTriesHoldTheWindowBriefly) {
    session.WriteSettings(kTwoEnginesBothRadios);
    ASSERT_TRUE(session.StartBox(kBoxCom));
    ASSERT_TRUE(session.StartSim({"--fixed", "--class", "FS98MAIN", "--simulator-word", "0"}));
    ASSERT_TRUE(session.StartBridge());
    const std::string noSimulator =
        "Cannot connect to Flight Simulator - Maybe running on WideClient, but FS not running on "
        "Server, or wrong FSUIPC";
    ASSERT_TRUE(session.WaitForLog(noSimulator)) << Memo();
    const auto noSimulatorHeld =
        session.Probe({"held", ids::kMainWindowClass, std::to_string(ids::kLog), "15000"});
    ASSERT_TRUE(noSimulatorHeld);
    Report("no_simulator_window_held_ms", *noSimulatorHeld);
    EXPECT_LT(std::stol(*noSimulatorHeld), 2000);
    EXPECT_EQ(Occurrences(session.SimLog(), "\nCLIENT "), 2u) << "the start's try and one more";
    EXPECT_EQ(Memo(), noSimulator) << "no line for the automatic try";

    session.KillSim();
    ASSERT_TRUE(session.StartSim({"--fixed", "--no-reply-ms", "20000"}));
    ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kReconnectButton));
    ASSERT_TRUE(session.WaitForLog(kConnected)) << Memo();
    ASSERT_TRUE(WaitTicks(5));
    ASSERT_TRUE(session.SimCommand({"--fault", "no-reply", "--fault-count", "1"}));
    ASSERT_TRUE(WaitForLogCount(kProblem, 1)) << Memo();
    const auto failed = Clock::now();
    const auto hungHeld =
        session.Probe({"held", ids::kMainWindowClass, std::to_string(ids::kLog), "12000"});
    ASSERT_TRUE(hungHeld);
    Report("hung_simulator_window_held_ms", *hungHeld);
    EXPECT_LT(std::stol(*hungHeld), 2000);
    ASSERT_TRUE(WaitForLogCount(kConnected, 2, 60s)) << "found again once it answers";
    Report("hung_simulator_connected_after_failure_ms", MsSince(failed));
    EXPECT_EQ(Lines(Memo()).size(), 4u);
}

// The emulator keeps each section mapped once used, as some servers do, and
// finds it again by the atom's number (as one FSUIPC server for Wine does) or
// by the atom's name.
class KeptSections : public Faults, public ::testing::WithParamInterface<const char*> {};

// Each kind of bad answer fails the exchange with "IPC request contains bad
// data"; a wrong version at connect is refused with its own text. The bridge
// keeps running, the reconnect button reconnects at the first press each time, and the
// values it sends are never taken from a refused answer. Each reconnect finds
// its section still held by the server, and Wine hands the freed atom number
// out again: the handshake must land in the block the server serves.
TEST_P(KeptSections, BadAnswersAreReportedAndTheLinkRecovers) {
    StartAll(kTwoEnginesBothRadios, {"--fixed", GetParam()});
    const std::string badData = std::string(kProblem) + "IPC request contains bad data";
    const std::string wrongVersion =
        "Cannot connect to Flight Simulator - Incorrect version of FSUIPC, or not FSUIPC";
    std::vector<std::string> expected = {kConnected};
    std::size_t failures = 0, connects = 1, tried = 0;
    for (int round = 0; round < Repeats(); ++round) {
        for (const char* fault :
             {"bad-reply", "bad-size", "huge-size", "bad-marker", "bad-reference", "bad-end"}) {
            SCOPED_TRACE(fault);
            ASSERT_TRUE(WaitTicks(3));
            ASSERT_TRUE(session.SimCommand({"--fault", fault, "--fault-count", "1"}));
            ASSERT_TRUE(WaitForLogCount(badData, ++failures)) << Memo();
            expected.push_back(badData);
            EXPECT_EQ(
                Probe({"enabled", ids::kMainWindowClass, std::to_string(ids::kReconnectButton)}),
                "1");
            ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kReconnectButton));
            ASSERT_TRUE(WaitForLogCount(kConnected, ++connects)) << Memo();
            expected.push_back(kConnected);
            ++tried;
        }
        // The link must be down for the next connect to meet the wrong version.
        ASSERT_TRUE(WaitTicks(3));
        ASSERT_TRUE(session.SimCommand({"--fault", "bad-reply", "--fault-count", "1"}));
        ASSERT_TRUE(WaitForLogCount(badData, ++failures)) << Memo();
        expected.push_back(badData);
        ASSERT_TRUE(session.SimCommand({"--fault", "wrong-version", "--fault-count", "1"}));
        ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kReconnectButton));
        ASSERT_TRUE(WaitForLogCount(wrongVersion, static_cast<std::size_t>(round + 1))) << Memo();
        expected.push_back(wrongVersion);
        EXPECT_EQ(Probe({"enabled", ids::kMainWindowClass, std::to_string(ids::kReconnectButton)}),
                  "1");
        ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kReconnectButton));
        ASSERT_TRUE(WaitForLogCount(kConnected, ++connects)) << Memo();
        expected.push_back(kConnected);
        ++tried;
    }
    ASSERT_TRUE(WaitTicks(20)) << "frames resume";
    Report("bad_answers_tried", static_cast<long>(tried));
    EXPECT_EQ(Lines(Memo()), expected);
    EXPECT_TRUE(session.BridgeRunning());
    ExpectFramesUnchanged();
    // Every refused exchange is logged by the emulator with its fault.
    const std::string simLog = session.SimLog();
    for (const char* fault : {"bad-reply", "bad-size", "huge-size", "bad-marker", "bad-reference",
                              "bad-end", "wrong-version"}) {
        EXPECT_GE(Occurrences(simLog, std::string(" ") + fault + "\n"),
                  static_cast<std::size_t>(Repeats()))
            << fault;
    }
    // Every open (the refused ones too) said hello in the section the server
    // served, under the same atom number each time; none was served from a
    // section that its atom no longer names.
    std::set<std::string> atoms, names;
    std::size_t opens = 0;
    for (const std::string& line : Lines(simLog)) {
        std::istringstream fields(line);
        std::string kind, exchange, atom, name;
        fields >> kind >> exchange >> atom >> name;
        if (kind != "CLIENT") continue;
        ++opens;
        atoms.insert(atom);
        names.insert(name);
    }
    EXPECT_EQ(opens, connects + static_cast<std::size_t>(Repeats()));
    EXPECT_EQ(atoms.size(), 1u) << "the atom number must come back for the test to mean anything";
    EXPECT_EQ(names.size(), 1u);
    const std::size_t stale = Occurrences(simLog, "\nSTALE ");
    EXPECT_EQ(stale, 0u) << simLog.substr(simLog.find("\nSTALE "), 300);
    Report("opens_seen", static_cast<long>(opens));
    Report("atom_numbers_seen", static_cast<long>(atoms.size()));
    Report("stale_exchanges", static_cast<long>(stale));
}

INSTANTIATE_TEST_SUITE_P(Faults, KeptSections,
                         ::testing::Values("--keep-mapped", "--keep-mapped-by-name"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "--keep-mapped" ? "ByAtomNumber"
                                                                               : "ByName";
                         });

// The COM port's device disappears, as a USB adapter's does when pulled out:
// one log line, no crash and no busy loop while it is gone (the bridge's CPU
// time is measured, retries included); plugged back in, frames and servo
// echoes resume by themselves within about two seconds, with one more line,
// and every command the box sends from then on gets through. Choosing another
// port in the serial port dialog ends the retries, choosing this one again
// reopens it; and closing the window while the device is gone ends the
// program promptly.
TEST_P(LineFaults, UnpluggedPortIsReportedAndReopensByItself) {
    BoxLine box;
    StartOnPortPair(box);
    const pid_t bridge = session.BridgePid();
    const auto measure = std::chrono::seconds(EnvInt("BRIDGE_UNPLUG_SECONDS", 10));
    const std::string lost = "Lost the box's port COM" + std::to_string(kPairCom) + " (error ";
    const std::string reopened = "Reopened the box's port COM" + std::to_string(kPairCom);
    const auto echoes = [](const boxproto::Frame& f) { return IsItem(f, 16, 1); };

    // For comparison: half the span with the port working.
    const std::optional<pid_t> server = WineServerPid();
    const auto cpuBefore = ProcessCpuSeconds(bridge);
    const auto serverBefore = server ? ProcessCpuSeconds(*server) : std::nullopt;
    std::this_thread::sleep_for(measure / 2);  // a measuring span, not a synchronisation
    const auto cpuPlugged = ProcessCpuSeconds(bridge);
    const auto serverPlugged = server ? ProcessCpuSeconds(*server) : std::nullopt;
    ASSERT_TRUE(cpuBefore && cpuPlugged);
    const double half = std::chrono::duration<double>(measure / 2).count();
    Report("cpu_plugged_percent", std::to_string(100.0 * (*cpuPlugged - *cpuBefore) / half));
    if (serverBefore && serverPlugged) {
        Report("wineserver_cpu_plugged_percent",
               std::to_string(100.0 * (*serverPlugged - *serverBefore) / half));
    }

    const std::size_t rounds = static_cast<std::size_t>(Repeats());
    for (std::size_t round = 1; round <= rounds; ++round) {
        const std::string r = std::to_string(round);
        // Both servos engaged when the adapter goes: within a second the
        // exchanges hand the controls back, and keep doing so.
        ASSERT_TRUE(box.Write(boxproto::ServoCommandFrame(1, true, 600)));
        ASSERT_TRUE(box.Write(boxproto::ServoCommandFrame(2, true, 600)));
        const auto lastDisconnect = [&](std::size_t from, const char* value) {
            const auto written = ControlWritesIn(session.SimLog(), from).disconnect;
            return !written.empty() && written.back() == value;
        };
        ASSERT_TRUE(WaitUntil([&] { return lastDisconnect(0, "03"); }, 10s));
        const std::size_t engagedAt = session.SimLog().size();
        ASSERT_TRUE(session.UnplugPort());
        const auto unplugged = Clock::now();
        ASSERT_TRUE(WaitUntil([&] { return lastDisconnect(engagedAt, "00"); }, 10s));
        const long releasedMs = MsSince(unplugged);
        Report("servos_released_after_unplug_ms_" + r, releasedMs);
        EXPECT_LT(releasedMs, kMargin.count());
        const std::size_t releasedAt = session.SimLog().size();
        ASSERT_TRUE(WaitForLogCount(lost, round, 10s)) << Memo();
        EXPECT_EQ(Occurrences(Memo(), "Servos released: the box's port was lost"), round);
        const auto cpuStart = ProcessCpuSeconds(bridge);
        const auto serverStart = server ? ProcessCpuSeconds(*server) : std::nullopt;
        std::this_thread::sleep_for(measure);  // a measuring span, not a synchronisation
        const auto cpuEnd = ProcessCpuSeconds(bridge);
        const auto serverEnd = server ? ProcessCpuSeconds(*server) : std::nullopt;
        ASSERT_TRUE(cpuStart && cpuEnd) << "the bridge died while its port was gone";
        const double seconds = std::chrono::duration<double>(measure).count();
        const double share = (*cpuEnd - *cpuStart) / seconds;
        Report("cpu_unplugged_percent_" + r, std::to_string(100.0 * share));
        if (serverStart && serverEnd) {
            // Shared with the other programs of the run: reported, not judged.
            Report("wineserver_cpu_unplugged_percent_" + r,
                   std::to_string(100.0 * (*serverEnd - *serverStart) / seconds));
        }
        EXPECT_LT(share, 0.5) << "busy while the port is gone";
        const std::string memo = Memo();
        EXPECT_EQ(Occurrences(memo, lost), round) << "one line for the loss, none per retry";
        EXPECT_EQ(Occurrences(memo, reopened), round - 1);
        EXPECT_EQ(Occurrences(memo, kConnected), 1u);
        EXPECT_FALSE(session.Probe({"wait", "#32770", "0"}).has_value()) << "no message box";

        ASSERT_TRUE(session.PlugPort());
        const auto plugged = Clock::now();
        const std::size_t before = box.Count(Attitude);
        ASSERT_TRUE(box.WaitFor(Attitude, before + 1, 2s + kMargin))
            << "frames resume by themselves";
        Report("frames_after_plug_ms_" + r, MsSince(plugged));
        // Nothing engaged since the loss, until the box's engaged command below.
        const ControlWrites whileFree = ControlWritesIn(session.SimLog(), releasedAt);
        EXPECT_EQ(std::count(whileFree.disconnect.begin(), whileFree.disconnect.end(), "00"),
                  static_cast<long>(whileFree.disconnect.size()));
        EXPECT_EQ(whileFree.inputs, 0u);
        // Every command from now on gets through: each is echoed in turn.
        for (int i = 0; i < 5; ++i) {
            const auto position = static_cast<std::int16_t>(100 * static_cast<int>(round) + i);
            const std::size_t echoed = box.Count(echoes);
            ASSERT_TRUE(box.Write(boxproto::ServoCommandFrame(1, true, position)));
            ASSERT_TRUE(box.WaitFor(echoes, echoed + 1, 5s)) << "command " << i;
            const auto frames = box.Frames();
            const auto last =
                std::find_if(frames.rbegin(), frames.rend(),
                             [&](const BoxLine::Received& f) { return echoes(f.frame); });
            const auto echo = boxproto::AsServoEcho(*boxproto::AsItem(last->frame));
            ASSERT_TRUE(echo);
            EXPECT_EQ(echo->position, position);
        }
        ASSERT_TRUE(WaitForLogCount(reopened, round));
        EXPECT_EQ(Occurrences(Memo(), reopened), round);
        EXPECT_TRUE(lastDisconnect(releasedAt, "02")) << "the bank servo alone engaged again";
    }
    EXPECT_EQ(box.BadFrames(), 0u);

    // Pulled out again, and another port chosen in the dialog (not there:
    // its message box is answered): once the device is back, the bridge
    // stays off it until this port is chosen again.
    ASSERT_TRUE(session.UnplugPort());
    ASSERT_TRUE(WaitForLogCount(lost, rounds + 1, 10s));
    const int otherCom = kPairCom + 1;
    ASSERT_TRUE(session.MakePortMissing(otherCom));
    ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kPortButton));
    ASSERT_TRUE(session.Probe({"wait", ids::kPortDialogClass, "10000"}));
    ASSERT_TRUE(Click(ids::kPortDialogClass, ids::kPortDialogFirstPort + otherCom - 1));
    ASSERT_TRUE(session.Probe({"wait", "#32770", "10000"}));
    EXPECT_EQ(Probe({"text", "#32770", "65535"}),
              "The selected port COM" + std::to_string(otherCom) +
                  " is not available, please choose another if possible or free this port "
                  "if it is in use by another application.");
    ASSERT_TRUE(Click("#32770", 1));
    ASSERT_TRUE(session.Probe({"gone", "#32770", "10000"}));
    ASSERT_TRUE(session.PlugPort());
    const std::size_t off = box.Count(Attitude);
    const std::size_t exchanges = Occurrences(session.SimLog(), "\nX ");
    ASSERT_TRUE(
        WaitUntil([&] { return Occurrences(session.SimLog(), "\nX ") >= exchanges + 60; }, 20s))
        << "three seconds of ticks";
    EXPECT_EQ(box.Count(Attitude), off) << "the retries ended with the choice of another port";
    EXPECT_EQ(Occurrences(Memo(), reopened), rounds);
    ASSERT_TRUE(Click(ids::kPortDialogClass, ids::kPortDialogFirstPort + kPairCom - 1));
    ASSERT_TRUE(box.WaitFor(Attitude, off + 20)) << "frames on the port chosen again";
    ASSERT_TRUE(Click(ids::kPortDialogClass, ids::kPortDialogOk));
    ASSERT_TRUE(session.Probe({"gone", ids::kPortDialogClass, "10000"}));

    // Pulled out once more, and the window closed while it is out.
    ASSERT_TRUE(session.UnplugPort());
    ASSERT_TRUE(WaitForLogCount(lost, rounds + 2, 10s));
    const long closeMs = CloseAndMeasure();
    Report("close_while_unplugged_ms", closeMs);
    EXPECT_LT(closeMs, kMargin.count());
    EXPECT_NE(session.SettingsText().find("CommsPort=" + std::to_string(kPairCom - 1) + "\r\n"),
              std::string::npos);
}

// The box floods the line with garbage at its full rate (115200 baud) with
// valid servo commands and altimeter settings among it. The bridge keeps its
// 50 ms cycle (the period is measured from the attitude frames' arrival) and
// acts on every valid frame: each servo command is echoed and written to the
// simulator, each altimeter setting written and read back in the air data.
TEST_P(LineFaults, GarbageFloodAtLineRateKeepsTheCycleAndTheValidFrames) {
    BoxLine box;
    StartOnPortPair(box);
    const int seconds = EnvInt("BRIDGE_FLOOD_SECONDS", 10);
    constexpr auto kSlot = 20ms;             // the flood is written in slots of
    constexpr std::size_t kSlotBytes = 230;  // 11,500 bytes a second: 115200 baud, 10 bits a byte
    constexpr int kSlotsPerValidFrame = 10;  // one valid frame every 200 ms: four ticks apart
    const unsigned seed = static_cast<unsigned>(EnvInt("BRIDGE_FLOOD_SEED", 20240611));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byteValue(0, 255);
    Report("flood_seed", static_cast<long>(seed));

    // Garbage that never forms a frame header by chance: a header the
    // receiver accepts takes the next LEN bytes as payload whatever they are,
    // so a chance header could swallow a valid frame, which no receiver can
    // avoid. Headers that are dropped are put in on purpose instead.
    std::uint8_t last = 0;
    auto garbage = [&](std::vector<std::uint8_t>& out, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            auto b = static_cast<std::uint8_t>(byteValue(random));
            if (last == 0x05 && b == 0x82) b = 0x83;
            out.push_back(b);
            last = b;
        }
        // A frame header right after 0x05 is not seen (0x05 0x05 0x82 is no header).
        if (count > 0 && last == 0x05) out.back() = last = 0x06;
    };
    const std::vector<std::vector<std::uint8_t>> droppedOnPurpose = {
        {0x05, 0x82, 0x00},                                      // LEN below 3
        {0x05, 0x82, 0x02},                                      // LEN below 3
        {0x05, 0x82, 0x05, 0x07, 0x11, 0x22, 0x33, 0x44, 0x55},  // kind 7: no handler
        boxproto::ServoCommandFrame(1, true, 100, 0x0012),       // wrong check word
        boxproto::ServoCommandFrame(3, true, 100),               // no such servo
    };

    struct Sent {
        bool altimeter;
        bool bank;
        std::int16_t position;
        std::uint16_t tenthsHpa;
    };
    std::vector<Sent> sent;
    // The period without a flood, for comparison.
    const auto quietStart = Clock::now();
    ASSERT_TRUE(box.WaitFor(Attitude, box.Count(Attitude) + 40));
    Report("quiet_tick_period_median_ms",
           std::to_string(Percentile(AttitudePeriods(box, quietStart, Clock::now()), 0.5)));
    const std::size_t attitudeBefore = box.Count(Attitude);
    const auto floodStart = Clock::now();
    std::size_t bytesSent = 0;
    bool lineStopped = false;
    // The flood is written from a thread of its own, so the window can be
    // used meanwhile.
    std::thread flood([&] {
        auto next = floodStart;
        const int slots = seconds * 1000 / static_cast<int>(kSlot.count());
        for (int slot = 0; slot < slots && !lineStopped; ++slot) {
            std::vector<std::uint8_t> chunk;
            garbage(chunk, kSlotBytes / 2);
            if (slot % kSlotsPerValidFrame == 0) {
                const int k = slot / kSlotsPerValidFrame;
                Sent s{};
                s.altimeter = k % 3 == 2;
                s.bank = k % 3 == 0;
                // Distinct values, so each write can be found in the simulator's log.
                s.position = static_cast<std::int16_t>(64 + (k * 37) % 1900);
                s.tenthsHpa = static_cast<std::uint16_t>(9500 + 5 * k);  // 950.0 hPa on
                const auto frame =
                    s.altimeter ? boxproto::AltimeterFrame(s.tenthsHpa)
                                : boxproto::ServoCommandFrame(s.bank ? 1 : 2, true, s.position);
                chunk.insert(chunk.end(), frame.begin(), frame.end());
                sent.push_back(s);
            } else if (slot % kSlotsPerValidFrame == kSlotsPerValidFrame / 2) {
                const auto& junk =
                    droppedOnPurpose[static_cast<std::size_t>(slot / kSlotsPerValidFrame) %
                                     droppedOnPurpose.size()];
                chunk.insert(chunk.end(), junk.begin(), junk.end());
            }
            last = chunk.back();
            garbage(chunk, kSlotBytes > chunk.size() ? kSlotBytes - chunk.size() : 0);
            lineStopped = !box.Write(chunk);
            bytesSent += chunk.size();
            next += kSlot;
            std::this_thread::sleep_until(next);  // pacing the line, as a UART does
        }
    });
    // Meanwhile the window answers and a setup dialog opens and closes.
    const bool echoed =
        box.WaitFor([](const boxproto::Frame& f) { return IsItem(f, 16, 1); }, 1, 10s);
    const auto dialogStart = Clock::now();
    const bool dialog = echoed && Click(ids::kMainWindowClass, ids::kSetupButton) &&
                        session.Probe({"wait", ids::kOperationSetupClass, "10000"}) &&
                        Click(ids::kOperationSetupClass, ids::kSetupOk) &&
                        session.Probe({"gone", ids::kOperationSetupClass, "10000"});
    const long dialogMs = MsSince(dialogStart);
    flood.join();
    ASSERT_TRUE(echoed) << "no servo echo within the flood's first seconds";
    ASSERT_TRUE(dialog) << "the setup dialog during the flood";
    ASSERT_FALSE(lineStopped) << "the line stopped taking bytes";
    Report("dialog_open_close_during_flood_ms", dialogMs);
    const auto floodEnd = Clock::now();
    Report("flood_seconds", static_cast<long>(seconds));
    Report("flood_bytes", static_cast<long>(bytesSent));
    // The last commands are carried out.
    ASSERT_TRUE(box.WaitFor(Attitude, box.Count(Attitude) + 10));

    // The cycle's period during the flood, from the attitude frames' arrival.
    const std::vector<double> periods = AttitudePeriods(box, floodStart, floodEnd);
    const double floodMs = std::chrono::duration<double, std::milli>(floodEnd - floodStart).count();
    Report("flood_attitude_frames", static_cast<long>(periods.size() + 1));
    Report("flood_expected_frames", static_cast<long>(floodMs / 50));
    Report("tick_period_median_ms", std::to_string(Percentile(periods, 0.5)));
    Report("tick_period_p99_ms", std::to_string(Percentile(periods, 0.99)));
    Report("tick_period_max_ms", std::to_string(Percentile(periods, 1.0)));
    EXPECT_GT(box.Count(Attitude) - attitudeBefore, static_cast<std::size_t>(floodMs / 50 / 2))
        << "the cycle slowed to less than half its rate";
    EXPECT_LT(Percentile(periods, 0.5), 100.0);

    // Every servo command is echoed once, in order, and written to the simulator.
    std::vector<std::int16_t> bankSent, pitchSent, bankEchoed, pitchEchoed;
    for (const Sent& s : sent) {
        if (!s.altimeter) (s.bank ? bankSent : pitchSent).push_back(s.position);
    }
    for (const auto& r : box.Frames()) {
        const auto item = boxproto::AsItem(r.frame);
        if (!item) continue;
        if (const auto echo = boxproto::AsServoEcho(*item)) {
            (echo->pitch ? pitchEchoed : bankEchoed).push_back(echo->position);
        }
    }
    EXPECT_EQ(bankEchoed, bankSent);
    EXPECT_EQ(pitchEchoed, pitchSent);
    // The simulator's log lines "W <exchange> <offset> <size> <bytes>", without the exchange.
    std::set<std::string> writes;
    for (const auto& line : Lines(session.SimLog())) {
        std::istringstream fields(line);
        std::string kind, exchange, offset, size, bytes;
        if (fields >> kind >> exchange >> offset >> size >> bytes && kind == "W") {
            writes.insert(kind + " " + offset + " " + size + " " + bytes);
        }
    }
    std::size_t missing = 0;
    for (const Sent& s : sent) {
        std::string request;
        if (s.altimeter) {
            request = "W 0330 2 " + Hex16(static_cast<std::uint16_t>(s.tenthsHpa * 16 / 10));
        } else {
            const auto command = static_cast<std::uint16_t>((1024 - s.position) * 32);
            request = std::string(s.bank ? "W 0BB6 2 " : "W 0BB2 2 ") + Hex16(command);
        }
        const bool found = writes.count(request) != 0;
        if (!found) {
            ++missing;
            ADD_FAILURE() << "not written to the simulator: " << request;
        }
    }
    Report("valid_frames_sent", static_cast<long>(sent.size()));
    Report("valid_frames_lost", static_cast<long>(missing));
    // The last altimeter setting is read back and sent in the air data frame.
    std::uint16_t lastAltimeter = 0;
    for (const Sent& s : sent) {
        if (s.altimeter) lastAltimeter = s.tenthsHpa;
    }
    const auto frames = box.Frames();
    const auto lastAirData = std::find_if(frames.rbegin(), frames.rend(),
                                          [](const auto& r) { return IsKind(r.frame, 0); });
    ASSERT_NE(lastAirData, frames.rend());
    const auto airData = boxproto::DecodeAirData(lastAirData->frame);
    ASSERT_TRUE(airData);
    EXPECT_EQ(airData->altimeterTenthsHpa, lastAltimeter);
    EXPECT_EQ(box.BadFrames(), 0u);
    EXPECT_TRUE(session.BridgeRunning());
}

// The settings cannot be written at exit: the message names the file, the
// window stays open and the main cycle has stopped; a second close while
// nothing changed shows it again without waiting for a tick; once the file
// can be written, a close ends the program and the settings are saved.
// A settings file that cannot be written, in a folder that can: the first
// close says so and keeps the window open; the second ends the program.
// The log folder cannot be written either: the bridge runs on and says so
// once in its window.
TEST_F(Faults, ReadOnlySettingsFileIsReportedOnceAndTheSecondCloseEnds) {
    fs::create_directories(session.LogFolder());
    WriteLock logs(session.LogFolder());
    if (!logs.Effective()) GTEST_SKIP() << "cannot take write access away here";
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(session.WaitForLog("Cannot write the log file "));
    ASSERT_TRUE(WaitTicks(5));
    const std::string windowLog = session.ControlText(ids::kLog);
    EXPECT_EQ(windowLog.find("Cannot write the log file"),
              windowLog.rfind("Cannot write the log file"));
    EXPECT_TRUE(fs::is_empty(session.LogFolder()));
    const std::string before = session.SettingsText();
    WriteLock lock(session.SettingsPath());
    if (!lock.Effective()) GTEST_SKIP() << "cannot take write access away here";

    const auto start = Clock::now();
    ASSERT_TRUE(session.Probe({"close", ids::kMainWindowClass}));
    ASSERT_TRUE(session.Probe({"wait", "#32770", "20000"}));
    Report("file_message_after_close_ms", MsSince(start));
    EXPECT_EQ(Probe({"text", "#32770", "65535"}),
              "Unable to write to " + WinePath(session.SettingsPath()));
    EXPECT_EQ(Probe({"caption", "#32770"}), "Dravik EFIS to Flightsim bridge");
    ASSERT_TRUE(Click("#32770", 1));
    ASSERT_TRUE(session.Probe({"gone", "#32770", "10000"}));
    EXPECT_TRUE(session.BridgeRunning());
    EXPECT_TRUE(session.Probe({"wait", ids::kMainWindowClass, "1000"})) << "the window stays";

    Report("file_second_close_ms", CloseAndMeasure(10s));
    lock.Release();
    EXPECT_EQ(session.SettingsText(), before);
}

// bridge.exe in a folder it cannot write (as Program Files is to a user),
// named outside the ANSI code page: it reads its settings there, saves them
// per user at the first close and reads them from there at the next start;
// once the folder can be written, they go back next to the program.
TEST_F(Faults, UnwritableProgramFolderKeepsTheSettingsPerUser) {
    ASSERT_TRUE(session.RenameAppFolder("\u041f\u0438\u043b\u043e\u0442 \u98de\u884c"));
    StartAll(kTwoEnginesBothRadios);  // frames on COM7: read from that folder
    ASSERT_TRUE(WaitTicks(5));
    ChooseInOperationSetup(ids::kSetupSl40PortGroup + 3);  // the SL40 to box port 3
    WriteLock lock(session.AppFolder());
    if (!lock.Effective()) GTEST_SKIP() << "cannot take write access away here";

    Report("per_user_first_close_ms", CloseAndMeasure(10s));
    const std::string chosen =
        "[Setup]\r\nCommsPort=6\r\nSL30Port=1\r\nSL40Port=3\r\nEGTCHTSplit=1\r\n"
        "NumberOfEngines=2\r\n";
    EXPECT_EQ(ReadWholeFile(session.PerUserSettingsPath()), chosen);
    EXPECT_NE(session.SettingsText().find("SL40Port=2\r\n"), std::string::npos);

    // The next start sends the SL40's sentences to box port 3, not 2.
    const std::size_t port2 = CountBox("port", "2"), port3 = CountBox("port", "3");
    ASSERT_TRUE(session.StartBridge());
    ASSERT_TRUE(WaitUntil([&] { return CountBox("port", "3") >= port3 + 3; }, 20s));
    EXPECT_EQ(CountBox("port", "2"), port2);

    lock.Release();
    Report("per_user_second_close_ms", CloseAndMeasure(10s));
    EXPECT_EQ(session.SettingsText(), chosen);
}

// Closing during ARINC playback: the hidden play button is clicked, the file
// dialog given a recording, and the window closed while records go out.
TEST_F(Faults, CloseDuringArincPlaybackEndsTheProgram) {
    StartAll(kTwoEnginesBothRadios);
    // Three records; the first is 01 C8 34 12 60 (frame 05 82 03 01 13 34 12 60 BA 54).
    const std::vector<std::uint8_t> recording = {0x01, 0xC8, 0x34, 0x12, 0x60, 0x02, 0x01, 0x00,
                                                 0x00, 0x00, 0x03, 0x0F, 0xAA, 0x55, 0x80};
    const std::string file = session.AppFolder() + "/ARINC.REC";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(recording.data()),
               static_cast<std::streamsize>(recording.size()));
    ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kPlayButton));  // hidden, but it takes a click
    ASSERT_TRUE(session.Probe({"wait", "#32770", "20000"})) << "the file dialog";
    ASSERT_TRUE(session.ChooseInFileDialog(WinePath(file)));
    ASSERT_TRUE(session.WaitForBoxFrames("arinc", 7)) << "playback runs";
    EXPECT_EQ(Probe({"text", ids::kMainWindowClass, std::to_string(ids::kPlayButton)}), "Playing");
    std::vector<std::vector<std::uint8_t>> arinc;
    for (const auto& line : session.BoxLog()) {
        if (line.kind == "arinc") arinc.push_back(line.frame.bytes);
    }
    ASSERT_GE(arinc.size(), 4u);
    EXPECT_EQ(arinc[0], (std::vector<std::uint8_t>{0x05, 0x82, 0x03, 0x01, 0x13, 0x34, 0x12, 0x60,
                                                   0xBA, 0x54}));
    EXPECT_EQ(arinc[3], arinc[0]) << "the file plays round";

    const long closeMs = CloseAndMeasure();
    Report("close_during_playback_ms", closeMs);
    EXPECT_LT(closeMs, (kRetryBudget + kMargin).count());
    EXPECT_NE(session.SettingsText().find("NumberOfEngines=2"), std::string::npos);
}

// The file dialog of ARINC playback is open when the window is closed; it
// goes with its owner, and the program ends rather than start playback.
TEST_F(Faults, CloseDuringFileDialogEndsTheProgram) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kPlayButton));
    ASSERT_TRUE(session.Probe({"wait", "#32770", "20000"})) << "the file dialog";
    const long closeMs = CloseAndMeasure();
    Report("close_during_file_dialog_ms", closeMs);
    EXPECT_LT(closeMs, (kRetryBudget + kMargin).count());
    EXPECT_EQ(CountBox("arinc"), 0u);
    EXPECT_NE(session.SettingsText().find("CommsPort=6"), std::string::npos);
}

TEST_F(Faults, CloseDuringModalDialogEndsTheProgram) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(WaitTicks(5));
    ASSERT_TRUE(Click(ids::kMainWindowClass, ids::kPortButton));
    ASSERT_TRUE(session.Probe({"wait", ids::kPortDialogClass, "10000"}));
    ASSERT_TRUE(WaitTicks(5)) << "the cycle runs while the dialog is open";
    const long closeMs = CloseAndMeasure();
    Report("close_during_dialog_ms", closeMs);
    EXPECT_LT(closeMs, (kRetryBudget + kMargin).count());
    EXPECT_NE(session.SettingsText().find("CommsPort=6"), std::string::npos);
}

// The simulator holds every exchange: the close waits at most for the tick
// in progress to use up its retries. The user, seeing nothing happen, closes
// a second time; that close runs inside the first one's wait.
TEST_F(Faults, CloseWhileSimulatorDoesNotAnswerEndsWithinTheRetryBudget) {
    StartAll(kTwoEnginesBothRadios);
    ASSERT_TRUE(WaitTicks(5));
    ASSERT_TRUE(session.SimCommand({"--fault", "no-reply"}));
    ASSERT_TRUE(
        WaitUntil([&] { return session.SimLog().find(" no-reply\n") != std::string::npos; }, 10s));
    const auto start = Clock::now();
    ASSERT_TRUE(session.Probe({"close", ids::kMainWindowClass}));
    ASSERT_TRUE(session.Probe({"close", ids::kMainWindowClass}));
    EXPECT_TRUE(session.WaitBridgeExit(30s)) << "the program did not end";
    const long closeMs = MsSince(start);
    Report("close_while_sim_silent_ms", closeMs);
    EXPECT_LT(closeMs, (kRetryBudget + kMargin).count());
    EXPECT_NE(session.SettingsText().find("CommsPort=6"), std::string::npos);
}

}  // namespace
}  // namespace bridge::e2e
