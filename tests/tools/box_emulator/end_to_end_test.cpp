// The emulator as a program on a pty. This test plays the bridge's end of
// the line: it writes frames built by the bridge's own senders and reads the
// emulator's commands through the bridge's own receiver.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "boxlink/box_frames.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 20000;  // generous: the emulator runs under the sanitizers

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The emulator, with standard output and error on one pipe.
class Emulator {
public:
    explicit Emulator(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        std::vector<std::string> all = {BOX_EMULATOR_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output_ = out[0];
        if (error != 0) throw std::runtime_error("posix_spawn");
    }
    ~Emulator() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(output_);
    }

    // The next line of output, or "" when none came in time.
    std::string ReadLine() {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
        std::size_t end;
        while ((end = text_.find('\n', consumed_)) == std::string::npos) {
            if (!ReadSome(deadline)) return "";
        }
        std::string line = text_.substr(consumed_, end - consumed_);
        consumed_ = end + 1;
        return line;
    }

    // Everything up to the emulator's end; then its exit status (-1: no exit in time).
    int Finish() {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
        while (ReadSome(deadline)) {
        }
        if (!ended_) return -1;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string& Output() const { return text_; }
    void Signal(int signal) { kill(pid_, signal); }

private:
    bool ReadSome(Clock::time_point deadline) {
        pollfd p{output_, POLLIN, 0};
        if (poll(&p, 1, MsLeft(deadline)) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0) {
            ended_ = true;
            return false;
        }
        text_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string text_;
    std::size_t consumed_ = 0;
    bool ended_ = false;
};

// The bridge's serial port on the pty's other side.
class PtyBoxLine : public bridge::BoxLine {
public:
    explicit PtyBoxLine(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~PtyBoxLine() {
        if (fd_ >= 0) close(fd_);
    }
    bool IsOpen() const { return fd_ >= 0; }
    bridge::BoxWrite Write(const void* buffer, std::int32_t count) override {
        const ssize_t n = write(fd_, buffer, static_cast<std::size_t>(count));
        return n == count ? bridge::BoxWrite::Queued : bridge::BoxWrite::Refused;
    }
    std::int32_t Read(void* buffer, std::int32_t count) override {
        return static_cast<std::int32_t>(read(fd_, buffer, static_cast<std::size_t>(count)));
    }
    // Runs received bytes through the bridge's receiver until `done` holds.
    bool ReceiveUntil(bridge::Receiver& receiver, const std::function<bool()>& done) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
        while (!done()) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, MsLeft(deadline)) <= 0) return false;
            receiver.ReceiveEvent(*this, bridge::kMaxReadPerEvent);
        }
        return true;
    }

private:
    int fd_;
};

// Port text that reached the bridge's reply handlers, as "<port>:<text>".
std::vector<std::string> replies;

void CaptureReply(void* frame) {
    const auto& b = *static_cast<const bridge::ReceiverState*>(frame);
    const auto* text = reinterpret_cast<const char*>(b.ReceiveBuffer.data()) + 1;
    replies.push_back(std::to_string(b.ReceiveBuffer[0] + 1) + ":" +
                      std::string(text, static_cast<std::size_t>(b.FrameLength - 2)));
}

void SendText(bridge::FrameSender& sender, std::uint8_t port, std::string_view text) {
    sender.SendPortText(port,
                        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest() {
        std::string pattern = (fs::temp_directory_path() / "box-emulator-e2e.XXXXXX").string();
        dir = mkdtemp(pattern.data());
        replies.clear();
    }
    ~EndToEndTest() override {
        bridge::BindBoxLine(nullptr);
        fs::remove_all(dir);
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    static std::string PortOf(const std::string& readyLine) {
        const std::string key = "ready port=";
        if (readyLine.rfind(key, 0) != 0) return "";
        return readyLine.substr(key.size(), readyLine.find(' ', key.size()) - key.size());
    }
    std::vector<std::string> LogLines(const std::string& path) {
        std::ifstream file(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    }
    static int Count(const std::vector<std::string>& lines, const std::string& part) {
        int n = 0;
        for (const std::string& line : lines) n += line.find(part) != std::string::npos ? 1 : 0;
        return n;
    }
    std::string dir;
    bridge::testing::FakeSimLink sim;
    bridge::testing::FakeView view;
    bridge::testing::TestBridge bridgeParts{sim, view};
};

TEST_F(EndToEndTest, BridgeFramesInCommandsOut) {
    const std::string script = Write("script.txt",
                                     "wait-frames attitude 3 timeout 20s\n"
                                     "servo bank engage 1024\n"
                                     "servo pitch engage 512\n"
                                     "altimeter 1022.8\n"
                                     "wait-frames port 2 timeout 20s\n"
                                     "nav1sb 110.50\n"
                                     "com2 121.50\n"
                                     "echo radios sent\n"
                                     "wait-frames arinc 1 timeout 20s\n"
                                     "quit\n");
    const std::string log = dir + "/frames.log";
    Emulator emulator({"--pty", "--quiet", "--no-stdin", "--script", script, "--log", log});
    const std::string ready = emulator.ReadLine();
    PtyBoxLine port(PortOf(ready));
    ASSERT_TRUE(port.IsOpen()) << ready;

    // Line noise and a damaged frame first: 3 stray bytes, then an attitude
    // frame with a wrong xor byte, whose other 27 bytes are stray.
    auto& s = bridgeParts.state;
    bridge::Telemetry& telemetry = bridgeParts.cycle.TelemetryFrames();
    bridge::FrameSender& sender = bridgeParts.cycle.Sender();
    s.Sim.GForceRaw = 624;
    s.Derived.TurnRateTenths = 30;
    s.Derived.BankCentiDeg = 1500;
    s.Derived.PitchUpCentiDeg = -250;
    s.Derived.GyroHeadingCentiDeg = 9000;
    s.Sim.BallRaw = -10;
    telemetry.SendAttitudeFrame();  // no port bound yet: builds the frame only
    std::array<std::uint8_t, 31> noise = {0x00, 0x11, 0x22};
    std::copy(s.Frames.AttitudeFrame.begin(), s.Frames.AttitudeFrame.end(), noise.begin() + 3);
    noise[30] ^= 0x40;
    port.Write(noise.data(), static_cast<std::int32_t>(noise.size()));

    bridge::BindBoxLine(&port);
    for (int i = 0; i < 3; ++i) telemetry.SendAttitudeFrame();
    s.Derived.AltitudeFeet = 3280;
    s.Sim.AltimeterSetting = 16211;
    s.Sim.AmbientPressure = 2116.22;
    telemetry.SendAirDataFrame();
    s.Engines.EngineAddressBase = 32;
    s.Engines.Snapshot[0].RpmRaw = 9600;
    s.Engines.Snapshot[0].RpmScaler = 16384;
    s.Engines.Snapshot[0].ManifoldRaw = 30720;
    telemetry.SendRpmItem(1);
    bridge::InstallReplyHandler(s.BoxPorts, 3, {CaptureReply, &s.Receive});
    bridge::InstallReplyHandler(s.BoxPorts, 2, {CaptureReply, &s.Receive});
    SendText(sender, 3, "$PMRRV28>D<0N:6\r\n");
    SendText(sender, 2, "$PMRRC01F0X0R0>1\r\n");

    ASSERT_TRUE(port.ReceiveUntil(bridgeParts.receiver, [] { return replies.size() == 2; }))
        << emulator.Output();
    EXPECT_TRUE(s.Servos.BankServoEngaged);
    EXPECT_EQ(s.Servos.BankServoCommand, 0);
    EXPECT_TRUE(s.Servos.PitchServoEngaged);
    EXPECT_EQ(s.Servos.PitchServoCommand, 16384);
    EXPECT_TRUE(s.Altimeter.AltimeterWritePending);
    EXPECT_EQ(s.Altimeter.AltimeterCommand, 16364);
    // Each selection goes to the port its radio's sentences came from.
    EXPECT_EQ(replies[0], "3:$PMRRV28>D01<\r\n");
    EXPECT_EQ(replies[1], "2:$PMRRC00ID01=\r\n");

    sender.SendArincWord(0x01, 0x60123413);
    EXPECT_EQ(emulator.Finish(), 0) << emulator.Output();
    const std::string& out = emulator.Output();
    EXPECT_NE(out.find("echo radios sent\n"), std::string::npos) << out;
    EXPECT_NE(out.find("summary elapsed_ms="), std::string::npos) << out;
    EXPECT_NE(out.find(" frames=8 "), std::string::npos) << out;
    EXPECT_NE(out.find(" bad_frames=1 stray_bytes=30 "), std::string::npos) << out;
    EXPECT_NE(out.find("\nsummary-kind attitude frames=3 "), std::string::npos) << out;
    EXPECT_NE(out.find("\nsummary-item 32/8 frames=1 "), std::string::npos) << out;
    EXPECT_NE(out.find("\nsummary-port 3 frames=1 "), std::string::npos) << out;

    const auto lines = LogLines(log);
    EXPECT_EQ(Count(lines,
                    " attitude - 05820100000000E803E8031E00000000000000DC0506FF2823FD22C8 "
                    "g_milli=1000 g2_milli=1000 turn_tenths=30 bank_cdeg=1500 "
                    "pitch_cdeg=-250 gyro_cdeg=9000 ball=-3"),
              3);
    EXPECT_EQ(Count(lines, " airdata - "), 1);
    EXPECT_EQ(Count(lines, " alt_ft=3280 "), 1);
    EXPECT_EQ(Count(lines, " altimeter_dhpa=10131 "), 1);
    EXPECT_EQ(Count(lines, " static_count=3346 "), 1);
    EXPECT_EQ(Count(lines,
                    " item 32/8 0582020E0001882060096009FA0500089050 engine=1 rpm=2400 "
                    "rpm2=2400 map=1530 w3=2048"),
              1);
    EXPECT_EQ(Count(lines, " port 3 "), 1);
    EXPECT_EQ(Count(lines, " nav1_khz=110500 nav1sb_khz=108000 "), 1);
    EXPECT_EQ(Count(lines, " port 2 "), 1);
    EXPECT_EQ(Count(lines, " com2_khz=118000 com2sb_khz=136000 "), 1);
    EXPECT_EQ(Count(lines, " arinc - 0582030113341260BA54 lead=0x01 word=0x601234C8 "), 1);
    EXPECT_EQ(Count(lines, " tx servo 05820600110001010004 "), 1);
    EXPECT_EQ(Count(lines, " tx servo "), 2);
    EXPECT_EQ(Count(lines, " tx altimeter 0582030106F427 altimeter_dhpa=10228"), 1);
    EXPECT_EQ(Count(lines, " tx radio "), 2);
    EXPECT_EQ(Count(lines, " echo - - text=radios\\x20sent"), 1);
    ASSERT_EQ(lines.size(), 14u);  // 8 frames, 5 sent, 1 echo
    std::uint64_t last = 0;
    for (const std::string& line : lines) {
        const std::uint64_t ms = std::stoull(line);
        EXPECT_GE(ms, last) << line;
        last = ms;
    }
}

TEST_F(EndToEndTest, StopsOnSigtermAndLeavesTheComPortClosed) {
    const std::string prefix = dir + "/prefix";
    Emulator emulator({"--pty", "--plain", "--wine-prefix", prefix, "--com", "4"});
    const std::string ready = emulator.ReadLine();
    const std::string pty = PortOf(ready);
    const std::string stable = prefix + "/box-emulator/com4";
    EXPECT_EQ(ready,
              "ready port=" + pty + " link=" + stable + " com=" + prefix + "/dosdevices/com4");
    EXPECT_EQ(fs::read_symlink(stable), pty);
    EXPECT_EQ(fs::read_symlink(prefix + "/dosdevices/com4"), stable);

    emulator.Signal(SIGTERM);
    EXPECT_EQ(emulator.Finish(), 0) << emulator.Output();
    EXPECT_NE(emulator.Output().find("\nsummary elapsed_ms="), std::string::npos);
    EXPECT_TRUE(fs::is_directory(prefix + "/dosdevices/com4"));
}

TEST_F(EndToEndTest, DurationEndsTheRunAndPlainModeSnapshotsEverySecond) {
    Emulator emulator({"--pty", "--plain", "--no-stdin", "--duration", "1200ms"});
    EXPECT_EQ(emulator.Finish(), 0) << emulator.Output();
    const std::string& out = emulator.Output();
    EXPECT_EQ(out.rfind("ready port=", 0), 0u) << out;
    EXPECT_NE(out.find("\nsnapshot t="), std::string::npos) << out;
    EXPECT_NE(out.find("\nsummary elapsed_ms=1"), std::string::npos) << out;
}

TEST_F(EndToEndTest, ScriptMistakesAndTimeOutsFailTheRun) {
    const std::string typo = Write("typo.txt", "echo fine\nservo bank engage 4000\n");
    Emulator early({"--pty", "--quiet", "--no-stdin", "--script", typo});
    EXPECT_EQ(early.Finish(), 2);
    EXPECT_NE(early.Output().find(typo + ":2: servo: expected a position 0..2048"),
              std::string::npos)
        << early.Output();
    EXPECT_EQ(early.Output().find("ready"), std::string::npos);

    const std::string waits = Write("waits.txt", "wait-frames attitude 1 timeout 200ms\nquit\n");
    Emulator late({"--pty", "--quiet", "--no-stdin", "--script", waits});
    EXPECT_EQ(late.Finish(), 2);
    EXPECT_NE(late.Output().find(waits + ":1: wait-frames attitude 1 timed out with 0 frames; "
                                         "script stopped"),
              std::string::npos)
        << late.Output();
}

}  // namespace
