// The log file: every line of the window's log and what the window does not
// show, each stamped with the local time to the millisecond, written by a
// thread of its own. The user-interface thread hands a line over by copying
// it into a fixed ring: it never allocates and never waits for the disk. A
// disk that is full or a folder that cannot be written costs the file only:
// lines are then dropped, and the shell says so once.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "app/record/log_text.h"

namespace bridge {

// Where the writer puts the bytes: a file, or a fake in tests.
class LogSink {
public:
    virtual ~LogSink() = default;
    // Appends the bytes; false when they could not all be written.
    virtual bool Write(const char* bytes, std::size_t count) = 0;
};

class LogFile {
public:
    using Clock = LocalTime (*)();

    static constexpr std::size_t kLineSize = 640;  // stamp and line end included; longer is cut
    static constexpr std::size_t kQueuedLines = 256;
    static constexpr std::size_t kHistoryLines = 500;
    static constexpr std::uint64_t kSizeLimit = 5 * 1024 * 1024;
    static constexpr const char* kFullLine =
        "The log file has reached 5 MB: nothing more is written to it";

    // `sizeLimit`: where the file stops growing (tests make it small).
    explicit LogFile(Clock clock, std::uint64_t sizeLimit = kSizeLimit);
    ~LogFile();  // Stop
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Starts the writer on `sink`; without one (the file could not be made),
    // or without a thread for the writer, the log file has failed from the
    // start.
    void Start(std::unique_ptr<LogSink> sink);
    // Writes what was handed over and ends the writer. Lines recorded after
    // it are kept for History only.
    void Stop();

    // A line, stamped now. On the user-interface thread.
    void Record(std::string_view text);
    // A try of `what` failed with result `code`: recorded when it is the first
    // failure or its result changed; tries that failed alike are counted
    // into `run` and recorded with the next change or success.
    void RecordFailure(FailureRun& run, std::string_view what, std::int32_t code,
                       std::string_view resultText);
    void RecordSuccess(FailureRun& run, std::string_view what);

    // True once, the first time it is asked after the file failed.
    bool TakeWriteFailure();
    bool Failed() const { return failed_.load(std::memory_order_acquire); }
    // Lines dropped because the writer was behind by kQueuedLines.
    std::uint32_t DroppedLines() const { return dropped_; }
    // The last kHistoryLines lines, oldest first, each ending in "\r\n".
    std::string History() const;

private:
    using Line = std::array<char, kLineSize>;
    struct Queued {
        Line text;
        std::size_t length;
    };

    void Run();
    bool Put(const char* bytes, std::size_t length);

    Clock clock_;
    std::uint64_t sizeLimit_;
    std::unique_ptr<LogSink> sink_;
    std::thread writer_;

    std::mutex lock_;  // guards the five below; never held during a write
    std::condition_variable queued_;
    std::unique_ptr<Queued[]> queue_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    bool stopping_ = false;

    std::uint32_t dropped_ = 0;
    std::uint64_t written_ = 0;  // the writer's
    bool full_ = false;          // the writer's
    std::atomic<bool> failed_{false};
    bool failureTold_ = false;

    // The user-interface thread's own copy, for the diagnostics report.
    std::unique_ptr<Queued[]> history_;
    std::size_t historyNext_ = 0;
    std::size_t historyCount_ = 0;
};

}  // namespace bridge
