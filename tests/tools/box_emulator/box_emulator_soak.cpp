// Soak measurement of the box emulator: feeds it the bridge's full traffic
// (the bridge's own senders, on the main cycle's schedule, sped up), has its
// script answer with commands throughout, and prints a table of its resident
// memory, CPU time and frame log size over the run. Not a test: it reports
// figures. Build it without sanitizers (preset linux-bench) for memory figures.
//
//   box_emulator_soak [--seconds N] [--speed K] [--emulator PATH]
//
// --speed 10 runs the 50 ms tick every 5 ms, so 180 s stand for 30 minutes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "boxlink/box_frames.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class PtyBoxLine : public bridge::BoxLine {
public:
    explicit PtyBoxLine(int fd) : fd_(fd) {}
    bridge::BoxWrite Write(const void* buffer, std::int32_t count) override {
        const ssize_t n = write(fd_, buffer, static_cast<std::size_t>(count));
        if (n == count) return bridge::BoxWrite::Queued;
        ++shortWrites;
        return bridge::BoxWrite::Refused;
    }
    std::int32_t Read(void* buffer, std::int32_t count) override {
        return static_cast<std::int32_t>(read(fd_, buffer, static_cast<std::size_t>(count)));
    }
    int shortWrites = 0;

private:
    int fd_;
};

long StatusKb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
    }
    return -1;
}

// User and system CPU time in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stoul(field);
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// One main-cycle tick's worth of frames, on the bridge's schedule.
void SendTick(bridge::testing::TestBridge& parts, unsigned tick) {
    auto& s = parts.state;
    bridge::Telemetry& t = parts.cycle.TelemetryFrames();
    bridge::FrameSender& sender = parts.cycle.Sender();
    s.Derived.BankCentiDeg = static_cast<std::int32_t>(tick % 6000) - 3000;
    s.Derived.AltitudeFeet = static_cast<std::int32_t>(tick % 10000);
    t.SendAttitudeFrame();
    if (tick % 2 == 0) t.SendAirDataFrame();
    for (unsigned n = 1; n <= 4; ++n) {
        if (tick % 4 == 0) t.SendRpmItem(n);
        if (tick % 15 == 0) {
            t.SendOilItem(n);
            t.SendFuelPressureItem(n);
            t.SendBlankItem(n);
            t.SendThermocoupleItems(n);
        }
        if (tick % 80 == 0) t.SendFuelFlowItem(n);
    }
    if (tick % 10 == 0) {
        for (const char* text : {"$PMRRV21<0<0<0", "$PMRRV22V045", "$PMRRV230", "$PMRRV240",
                                 "$PMRRV28>D<0N", "$PMRRV35IDF0R0"}) {
            std::string sentence = text;
            std::uint8_t sum = 0;
            for (std::size_t i = 6; i < sentence.size(); ++i)
                sum += static_cast<std::uint8_t>(sentence[i]);
            sentence += static_cast<char>((sum >> 4) + 0x30);
            sentence += static_cast<char>((sum & 15) + 0x30);
            sentence += "\r\n";
            sender.SendPortText(1, std::span(reinterpret_cast<const std::uint8_t*>(sentence.data()),
                                             sentence.size()));
        }
        static constexpr std::string_view kSl40 = "$PMRRC01F0X0R0>1\r\n";
        sender.SendPortText(
            2, std::span(reinterpret_cast<const std::uint8_t*>(kSl40.data()), kSl40.size()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    int speed = 10;
    std::string emulatorPath = BOX_EMULATOR_PATH;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--seconds") seconds = std::atoi(argv[i + 1]);
        if (a == "--speed") speed = std::atoi(argv[i + 1]);
        if (a == "--emulator") emulatorPath = argv[i + 1];
    }
    if (seconds <= 0 || speed <= 0) return 1;

    std::string pattern = (fs::temp_directory_path() / "box-emulator-soak.XXXXXX").string();
    const std::string dir = mkdtemp(pattern.data());
    const std::string log = dir + "/frames.log";
    const std::string script = dir + "/script.txt";
    {
        // Commands all through the run: one round every 100 attitude frames.
        std::ofstream s(script);
        const int rounds = seconds * speed * 20 / 100 + 1;
        for (int r = 0; r < rounds; ++r) {
            s << "wait-frames attitude 100\nservo bank engage " << (r * 37) % 2049
              << "\nservo pitch disengage 1024\nnav1sb 110.50\ncom2 121.50\naltimeter 1013.2\n";
        }
    }

    int out[2];
    if (pipe(out) != 0) return 1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args = {emulatorPath, "--pty", "--quiet",  "--no-stdin",
                                     "--log",      log,     "--script", script};
    std::vector<char*> argv2;
    for (auto& a : args) argv2.push_back(a.data());
    argv2.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv2[0], &actions, nullptr, argv2.data(), environ) != 0) return 1;
    close(out[1]);
    FILE* output = fdopen(out[0], "r");
    char readyLine[512] = {};
    if (std::fgets(readyLine, sizeof readyLine, output) == nullptr) return 1;
    std::string ready = readyLine;
    const std::string pty = ready.substr(11, ready.find_first_of(" \n", 11) - 11);
    const int fd = open(pty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return 1;
    PtyBoxLine port(fd);
    bridge::testing::FakeSimLink sim;
    bridge::testing::FakeView view;
    bridge::testing::TestBridge parts(sim, view);
    parts.state.Settings.EGTCHTSplit = 1;
    bridge::BindBoxLine(&port);

    std::printf("%8s %10s %10s %10s %12s %8s\n", "seconds", "ticks", "rss_kb", "hwm_kb",
                "log_bytes", "cpu_%");
    const auto start = Clock::now();
    const auto tickInterval = std::chrono::microseconds(50000 / speed);
    auto nextTick = start;
    auto nextSample = start;
    unsigned tick = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_until(nextTick);  // pacing the feed, not synchronising
        nextTick += tickInterval;
        SendTick(parts, tick++);
        std::array<std::uint8_t, 1000> incoming;
        while (port.Read(incoming.data(), 1000) > 0) {
        }
        if (Clock::now() >= nextSample) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            std::error_code ec;
            std::printf("%8.0f %10u %10ld %10ld %12llu %8.1f\n", elapsed, tick,
                        StatusKb(pid, "VmRSS"), StatusKb(pid, "VmHWM"),
                        static_cast<unsigned long long>(fs::file_size(log, ec)),
                        elapsed > 0 ? 100.0 * CpuSeconds(pid) / elapsed : 0.0);
            std::fflush(stdout);
            nextSample += std::chrono::seconds(std::max(1, seconds / 12));
        }
    }
    kill(pid, SIGTERM);
    char line[512];
    while (std::fgets(line, sizeof line, output) != nullptr) {
        if (std::string(line).rfind("summary ", 0) == 0 ||
            std::string(line).rfind("summary-kind", 0) == 0) {
            std::fputs(line, stdout);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::printf("ticks sent %u (%.1f minutes of bridge traffic), short writes %d, exit %d\n", tick,
                tick * 0.05 / 60.0, port.shortWrites, WEXITSTATUS(status));
    close(fd);
    fs::remove_all(dir);
    return 0;
}
