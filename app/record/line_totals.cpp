#include "app/record/line_totals.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace bridge {
namespace {

constexpr const char* kKindNames[kSentFrameKinds] = {"Attitude", "Air data", "Items", "Port frames",
                                                     "ARINC"};

unsigned long long U(std::uint64_t v) { return static_cast<unsigned long long>(v); }

// Appends to a fixed buffer; what does not fit is cut.
class Text {
public:
    Text(char* out, std::size_t size) : out_(out), size_(size) {
        if (size_ > 0) out_[0] = '\0';
    }
    void Add(const char* format, ...) {
        if (used_ + 1 >= size_) return;
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(out_ + used_, size_ - used_, format, args);
        va_end(args);
        if (n > 0) used_ = std::min(used_ + static_cast<std::size_t>(n), size_ - 1);
    }
    std::size_t Length() const { return used_; }

private:
    char* out_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// Per second, from two counts; 0 without a span. A count that went back
// (never) gives 0 rather than a wrapped difference.
double Rate(std::uint64_t now, std::uint64_t before, double seconds) {
    if (!(seconds > 0.0) || now < before) return 0.0;
    return static_cast<double>(now - before) / seconds;
}

}  // namespace

std::size_t FormatTotalsLine(const LineTotals& t, char* out, std::size_t size) {
    using K = SentFrame;
    const auto sent = [&t](K kind) { return U(t.sent[static_cast<std::size_t>(kind)]); };
    Text text(out, size);
    text.Add(
        "Line totals: sent %llu attitude, %llu air data, %llu item, %llu port frames, "
        "%llu bytes; ",
        sent(K::Attitude), sent(K::AirData), sent(K::Item), sent(K::Port), U(t.bytesSent));
    text.Add("received %llu servo commands, %llu box commands, %llu bad frames, %llu stray bytes; ",
             U(t.servoCommands), U(t.boxCommands), U(t.badFrames), U(t.strayBytes));
    text.Add("simulator %llu exchanges, %llu failures; %llu missed ticks", U(t.exchanges),
             U(t.exchangeFailures), U(t.missedTicks));
    text.Add(
        "; %llu late ticks, %llu ARINC frames, %llu refused writes, %llu frames too long, "
        "line errors: %llu framing, %llu parity, %llu overrun; %llu requests not queued, "
        "%llu abandoned transfers",
        U(t.lateTicks), sent(K::Arinc), U(t.refusedWrites), U(t.framesTooLong), U(t.framingErrors),
        U(t.parityErrors), U(t.overrunErrors), U(t.requestsNotQueued), U(t.abandonedTransfers));
    text.Add("; %llu log lines dropped", U(t.droppedLogLines));
    return text.Length();
}

std::size_t FormatLineStatistics(const LineTotals& now, const LineTotals& before, double seconds,
                                 const LineState& state, char* out, std::size_t size) {
    Text text(out, size);
    text.Add("Port %s: %s\r\n\r\nSent\tper second\ttotal\r\n", state.portName, state.portState);
    for (std::size_t k = 0; k < kSentFrameKinds; ++k) {
        text.Add("%s\t%.1f\t%llu\r\n", kKindNames[k], Rate(now.sent[k], before.sent[k], seconds),
                 U(now.sent[k]));
    }
    const double bytesPerSecond = Rate(now.bytesSent, before.bytesSent, seconds);
    text.Add("Bytes\t%.0f\t%llu\r\nLine in use\t%.1f %%\r\n", bytesPerSecond, U(now.bytesSent),
             100.0 * bytesPerSecond / kLineBytesPerSecond);
    text.Add("Refused writes\t\t%llu\r\nFrames too long\t\t%llu\r\n\r\n", U(now.refusedWrites),
             U(now.framesTooLong));
    text.Add("Received\r\nServo commands\t\t%llu\r\nBox commands\t\t%llu\r\n", U(now.servoCommands),
             U(now.boxCommands));
    text.Add("Bad frames\t\t%llu\r\nStray bytes\t\t%llu\r\n", U(now.badFrames), U(now.strayBytes));
    text.Add("Framing errors\t\t%llu\r\nParity errors\t\t%llu\r\nOverrun errors\t\t%llu\r\n",
             U(now.framingErrors), U(now.parityErrors), U(now.overrunErrors));
    if (state.servoCommandAgeMs < 0) {
        text.Add("Last servo command\t\tnone yet\r\n\r\n");
    } else {
        text.Add("Last servo command\t\t%.1f s ago\r\n\r\n",
                 static_cast<double>(state.servoCommandAgeMs) / 1000.0);
    }
    text.Add("Simulator\r\nExchanges\t%.1f\t%llu\r\nFailures\t\t%llu\r\n",
             Rate(now.exchanges, before.exchanges, seconds), U(now.exchanges),
             U(now.exchangeFailures));
    if (state.exchangesTimed == 0) {
        text.Add("Exchange time\t\tnone in the last minute\r\n");
    } else {
        text.Add(
            "Exchange time, median\t\t%.1f ms\r\nExchange time, longest\t\t%.1f ms\r\n"
            "\t\t(over the last minute)\r\n",
            state.exchangeMedianUs / 1000.0, state.exchangeLongestUs / 1000.0);
    }
    text.Add("Requests not queued\t\t%llu\r\n\r\nTicks\r\nMissed\t\t%llu\r\nLate\t\t%llu\r\n",
             U(now.requestsNotQueued), U(now.missedTicks), U(now.lateTicks));
    text.Add("Log lines dropped\t\t%llu\r\n", U(now.droppedLogLines));
    return text.Length();
}

}  // namespace bridge
