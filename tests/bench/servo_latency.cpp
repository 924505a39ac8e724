// Servo latency, measured on the running system: how long a servo command
// from the box takes to reach the simulator as an aileron write. Not a test:
// it prints a table. scripts/measure-servo-latency starts the system and runs
// it; by hand:
//
//   servo_latency --commands FIFO --sim-log PATH --box-log PATH [--count N] [--seed N]
//
// FIFO is the box emulator's standard input, PATH the simulator emulator's
// log (written with --log-times) and the box emulator's frame log. The
// commands alternate between two bank positions, so each one is a new aileron
// value, and are spaced by a random pause so they fall on every phase of the
// bridge's 50 ms tick.
//
// One clock for both ends: this program stamps each command with
// CLOCK_MONOTONIC_RAW as it hands it to the box emulator, and the simulator
// emulator stamps each exchange with QueryPerformanceCounter, which Wine reads
// from CLOCK_MONOTONIC_RAW. The program checks that rather than trusting it:
// an exchange's stamp must come shortly before this program reads its line.
// The box emulator's tx lines count milliseconds from its start; each command
// leaves at or after its hand-over, so the latest (hand-over - tx time) puts
// that start, and so each pty write, on the same clock.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kCentre = 1024;
constexpr int kOffset = 512;             // positions 512 and 1536
constexpr int kMaxPauseMs = 100;         // two ticks: every phase of the tick
constexpr int kCommandTimeoutMs = 2000;  // a command not seen by then counts as lost
constexpr std::int64_t kSameClockLimitUs = 20000;

std::int64_t NowUs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

struct Options {
    std::string commands, simLog, boxLog;
    int count = 200;
    unsigned seed = 1;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--commands")
            o.commands = value;
        else if (name == "--sim-log")
            o.simLog = value;
        else if (name == "--box-log")
            o.boxLog = value;
        else if (name == "--count")
            o.count = std::atoi(value.c_str());
        else if (name == "--seed")
            o.seed = static_cast<unsigned>(std::atoi(value.c_str()));
        else
            return std::nullopt;
    }
    if (argc % 2 == 0 || o.commands.empty() || o.simLog.empty() || o.boxLog.empty() ||
        o.count < 1) {
        return std::nullopt;
    }
    return o;
}

// An exchange in which the aileron write took a new value.
struct Change {
    std::uint32_t aileron = 0;
    std::int64_t stampUs = 0;                    // the exchange's start, simulator emulator's clock
    std::int64_t readRawUs = 0, readMonoUs = 0;  // when this program read its X line
    std::int64_t afterPreviousUs = 0;            // since the exchange before: the tick's period
};

// Follows the simulator emulator's log as it grows (inotify), exchange by
// exchange, and reports the exchanges whose aileron write differs from the
// previous one.
class SimLogFollower {
public:
    bool Open(const std::string& path) {
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        notify_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        return fd_ >= 0 && notify_ >= 0 && inotify_add_watch(notify_, path.c_str(), IN_MODIFY) >= 0;
    }

    // Reads the log written so far; its exchanges do not count as changes.
    void SkipHistory() {
        std::vector<Change> ignored;
        ReadAvailable(ignored);
        measuring_ = true;
    }

    // Reads what is there, or else waits up to `timeoutMs` for more; returns
    // the changes found.
    std::vector<Change> Poll(int timeoutMs) {
        std::vector<Change> changes;
        ReadAvailable(changes);
        if (!changes.empty()) return changes;
        pollfd p{notify_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) > 0) {
            char events[4096];
            while (read(notify_, events, sizeof events) > 0) {
            }
            ReadAvailable(changes);
        }
        return changes;
    }

    std::int64_t stampsChecked() const { return stampsChecked_; }
    // Median of (read time - stamp) over the exchanges read as they came.
    std::int64_t MedianGapUs(bool raw) const {
        std::vector<std::int64_t> gaps = raw ? rawGaps_ : monoGaps_;
        if (gaps.empty()) return 0;
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        return gaps[gaps.size() / 2];
    }

private:
    void ReadAvailable(std::vector<Change>& changes) {
        char buffer[65536];
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
            const std::int64_t raw = NowUs(CLOCK_MONOTONIC_RAW);
            const std::int64_t mono = NowUs(CLOCK_MONOTONIC);
            // Only lines read as they came (not a backlog) say how quickly they arrive.
            const bool fresh = measuring_ && n < static_cast<ssize_t>(sizeof buffer);
            pending_.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
                 start = end + 1) {
                Line(pending_.substr(start, end - start), raw, mono, fresh, changes);
            }
            pending_.erase(0, start);
        }
    }

    void Line(const std::string& text, std::int64_t raw, std::int64_t mono, bool fresh,
              std::vector<Change>& changes) {
        std::istringstream fields(text);
        std::string kind, offset, last;
        std::uint32_t exchange = 0, size = 0;
        fields >> kind >> exchange;
        if (kind == "W") {
            fields >> offset >> size >> last;
            if (offset == "0BB6" && size == 2) {
                written_ = static_cast<std::uint32_t>(std::strtoul(last.c_str(), nullptr, 16));
            }
            return;
        }
        if (kind != "X") return;
        std::optional<std::int64_t> stamp;
        for (std::string field; fields >> field;) {
            if (field.rfind("qpc_us=", 0) == 0) stamp = std::atoll(field.c_str() + 7);
        }
        if (stamp && fresh) {
            ++stampsChecked_;
            rawGaps_.push_back(raw - *stamp);
            monoGaps_.push_back(mono - *stamp);
        }
        if (measuring_ && written_ && written_ != current_ && stamp) {
            changes.push_back(Change{*written_, *stamp, raw, mono, *stamp - previousStamp_});
        }
        if (stamp) previousStamp_ = *stamp;
        if (written_) current_ = written_;
        written_.reset();
    }

    int fd_ = -1, notify_ = -1;
    std::string pending_;
    bool measuring_ = false;
    std::optional<std::uint32_t> written_, current_;
    std::vector<std::int64_t> rawGaps_, monoGaps_;
    std::int64_t stampsChecked_ = 0;
    std::int64_t previousStamp_ = 0;
};

struct Sample {
    int position = 0;
    std::int64_t sentRawUs = 0, sentMonoUs = 0;
    std::optional<Change> change;
};

// The box emulator's "tx servo" lines: milliseconds since it started.
std::vector<long> BoxServoTimes(const std::string& path) {
    std::vector<long> times;
    std::ifstream log(path);
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        long ms = 0;
        std::string kind, tag;
        if (fields >> ms >> kind >> tag && kind == "tx" && tag == "servo") times.push_back(ms);
    }
    return times;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

void PrintRow(const char* name, const std::vector<double>& ms, const char* what) {
    if (ms.empty()) {
        std::printf("%-22s %8s\n", name, "-");
        return;
    }
    std::printf("%-22s %8.1f %8.1f %8.1f %8.1f   %s\n", name, Percentile(ms, 0.5),
                Percentile(ms, 0.99), *std::min_element(ms.begin(), ms.end()),
                *std::max_element(ms.begin(), ms.end()), what);
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: servo_latency --commands FIFO --sim-log PATH --box-log PATH "
                     "[--count N] [--seed N]\n");
        return 2;
    }
    SimLogFollower sim;
    const int commands = open(options->commands.c_str(), O_WRONLY | O_CLOEXEC);
    if (!sim.Open(options->simLog) || commands < 0) {
        std::fprintf(stderr, "servo_latency: cannot open the logs or %s\n",
                     options->commands.c_str());
        return 1;
    }
    sim.SkipHistory();
    std::mt19937 random(options->seed);
    std::uniform_int_distribution<int> pause(0, kMaxPauseMs);

    std::vector<Sample> samples;
    for (int i = 0; i < options->count; ++i) {
        Sample s;
        s.position = kCentre + (i % 2 == 0 ? kOffset : -kOffset);
        const std::string line = "servo bank engage " + std::to_string(s.position) + "\n";
        s.sentMonoUs = NowUs(CLOCK_MONOTONIC);
        s.sentRawUs = NowUs(CLOCK_MONOTONIC_RAW);
        if (write(commands, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            std::fprintf(stderr, "servo_latency: the box emulator does not take commands\n");
            return 1;
        }
        const std::int64_t deadline = s.sentRawUs + kCommandTimeoutMs * 1000;
        while (!s.change && NowUs(CLOCK_MONOTONIC_RAW) < deadline) {
            const auto left = static_cast<int>((deadline - NowUs(CLOCK_MONOTONIC_RAW)) / 1000);
            for (const Change& c : sim.Poll(std::max(left, 1))) {
                if (!s.change) s.change = c;
            }
        }
        samples.push_back(s);
        // The pause: the log keeps being read, so the next command starts afresh.
        const std::int64_t resume = NowUs(CLOCK_MONOTONIC_RAW) + pause(random) * 1000;
        for (std::int64_t now; (now = NowUs(CLOCK_MONOTONIC_RAW)) < resume;) {
            sim.Poll(static_cast<int>((resume - now) / 1000) + 1);
        }
    }
    close(commands);

    // The box emulator flushes its log every 200 ms: wait for all tx lines.
    std::vector<long> tx;
    for (int tries = 0; tries < 50; ++tries) {
        tx = BoxServoTimes(options->boxLog);
        if (tx.size() >= samples.size()) break;
        sim.Poll(100);
    }

    const bool sameClock = sim.stampsChecked() > 0 && sim.MedianGapUs(true) >= 0 &&
                           sim.MedianGapUs(true) < kSameClockLimitUs;
    // The box emulator's tx times count from its start. Each command went out
    // at or after its hand-over, so the latest (hand-over - tx time) places
    // that start on this program's clock, to within the log's millisecond.
    const bool haveTx = tx.size() == samples.size();
    double boxStartMs = -1e300;
    for (std::size_t i = 0; haveTx && i < samples.size(); ++i) {
        boxStartMs = std::max(boxStartMs, static_cast<double>(samples[i].sentMonoUs) / 1000.0 -
                                              static_cast<double>(tx[i]));
    }
    std::vector<double> fromTx, fromHandOver, seen, boxLag, period;
    std::size_t lost = 0, wrongValue = 0;
    std::optional<std::uint32_t> valueHigh, valueLow;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        if (!s.change) {
            ++lost;
            continue;
        }
        // Each position always gives the same aileron value.
        auto& expected = s.position > kCentre ? valueHigh : valueLow;
        if (!expected) expected = s.change->aileron;
        if (*expected != s.change->aileron) ++wrongValue;
        fromHandOver.push_back(static_cast<double>(s.change->stampUs - s.sentRawUs) / 1000.0);
        seen.push_back(static_cast<double>(s.change->readRawUs - s.sentRawUs) / 1000.0);
        period.push_back(static_cast<double>(s.change->afterPreviousUs) / 1000.0);
        if (haveTx) {
            const double txMonoMs = static_cast<double>(tx[i]) + boxStartMs;
            const double rawMinusMonoMs = static_cast<double>(s.sentRawUs - s.sentMonoUs) / 1000.0;
            fromTx.push_back(static_cast<double>(s.change->stampUs) / 1000.0 -
                             (txMonoMs + rawMinusMonoMs));
            boxLag.push_back(txMonoMs - static_cast<double>(s.sentMonoUs) / 1000.0);
        }
    }

    std::printf(
        "Servo command -> aileron write in the simulator: %zu commands "
        "(bank, %d and %d alternately, 0..%d ms apart)\n\n",
        samples.size(), kCentre + kOffset, kCentre - kOffset, kMaxPauseMs);
    std::printf("%-22s %8s %8s %8s %8s\n", "(ms)", "median", "p99", "min", "max");
    if (sameClock) {
        PrintRow("latency", fromTx,
                 "box emulator's tx (pty write) -> exchange with the write began");
        PrintRow("from the hand-over", fromHandOver,
                 "command handed to the box emulator -> that exchange began");
    }
    PrintRow("seen in the log", seen, "command handed to the box emulator -> exchange read back");
    PrintRow("tick before the write", period, "exchange before -> the one with the write");
    PrintRow("box emulator's lag", boxLag,
             "hand-over -> its tx time (relative: the quickest counts as 0; +-1 ms)");
    std::printf(
        "\nlost commands (no new aileron value within %d ms): %zu; wrong values: %zu; "
        "box emulator tx lines: %zu\n",
        kCommandTimeoutMs, lost, wrongValue, tx.size());
    std::printf(
        "clock check over %lld exchanges: read time - exchange stamp, median %.3f ms on "
        "CLOCK_MONOTONIC_RAW, %.3f ms on CLOCK_MONOTONIC: %s\n",
        static_cast<long long>(sim.stampsChecked()), sim.MedianGapUs(true) / 1000.0,
        sim.MedianGapUs(false) / 1000.0,
        sameClock ? "the stamps are CLOCK_MONOTONIC_RAW"
                  : "the stamps are not this clock; only 'seen in the log' is valid");
    return lost == 0 && wrongValue == 0 ? 0 : 1;
}
