// The line's totals as the parts that do the work count them (the serial
// port's writer, the receiver, the simulator link, the timer), and their
// texts: the totals line of the log file and the line statistics window.
// Both are formatted into the caller's fixed buffer: no allocation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "boxlink/box_line.h"

namespace bridge {

struct LineTotals {
    // Sent: frames the line took, by SentFrame, and their bytes.
    std::array<std::uint64_t, kSentFrameKinds> sent;
    std::uint64_t bytesSent;
    std::uint64_t refusedWrites;  // the port's queue would not take them
    std::uint64_t framesTooLong;  // never built: longer than the line takes
    // Received.
    std::uint64_t servoCommands;
    std::uint64_t boxCommands;
    std::uint64_t badFrames;
    std::uint64_t strayBytes;
    std::uint64_t framingErrors;
    std::uint64_t parityErrors;
    std::uint64_t overrunErrors;
    // Simulator.
    std::uint64_t exchanges;
    std::uint64_t exchangeFailures;
    std::uint64_t requestsNotQueued;
    // Timer and port threads.
    std::uint64_t missedTicks;
    std::uint64_t lateTicks;
    std::uint64_t abandonedTransfers;
    // The log file's writer fell behind by its whole queue.
    std::uint64_t droppedLogLines;
};

// What the statistics window shows besides the totals.
struct LineState {
    const char* portName;            // "COM7"
    const char* portState;           // "open", "not open", "lost"
    std::int64_t servoCommandAgeMs;  // since the last servo command; -1: none yet
    std::uint32_t exchangeMedianUs;  // over the last minute
    std::uint32_t exchangeLongestUs;
    std::uint32_t exchangesTimed;  // 0: none within the minute
};

// 11520 bytes a second: 115200 baud at ten bits a byte.
inline constexpr double kLineBytesPerSecond = 11520.0;

// "Line totals: sent 12034 attitude, 6017 air data, 9025 item, 2406 port
// frames, 1023456 bytes; received ...; 0 missed ticks", then the other counts;
// a count added later goes at the end, so that readers of the leading counts
// keep working.
std::size_t FormatTotalsLine(const LineTotals& totals, char* out, std::size_t size);

// The statistics window's text: `now` against `before`, taken `seconds`
// earlier, for the rates (none when seconds is not above 0).
std::size_t FormatLineStatistics(const LineTotals& now, const LineTotals& before, double seconds,
                                 const LineState& state, char* out, std::size_t size);

}  // namespace bridge
