#include "app/record/log_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

namespace bridge {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Stamp, text (cut to fit) and line end into `line`; returns the length.
std::size_t Compose(const LocalTime& now, std::string_view text,
                    std::array<char, LogFile::kLineSize>& line) {
    std::size_t n = FormatStamp(now, line.data(), line.size());
    const std::size_t room = line.size() - n - kLineEnd.size();
    const std::size_t length = std::min(text.size(), room);
    std::memcpy(line.data() + n, text.data(), length);
    n += length;
    std::memcpy(line.data() + n, kLineEnd.data(), kLineEnd.size());
    return n + kLineEnd.size();
}

}  // namespace

LogFile::LogFile(Clock clock, std::uint64_t sizeLimit)
    : clock_(clock),
      sizeLimit_(sizeLimit),
      queue_(std::make_unique<Queued[]>(kQueuedLines)),
      history_(std::make_unique<Queued[]>(kHistoryLines)) {}

LogFile::~LogFile() { Stop(); }

void LogFile::Start(std::unique_ptr<LogSink> sink) {
    if (sink == nullptr) {
        failed_.store(true, std::memory_order_release);
        return;
    }
    sink_ = std::move(sink);
    try {
        writer_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {  // no thread to be had: the file goes, not the bridge
        sink_.reset();
        failed_.store(true, std::memory_order_release);
    }
}

void LogFile::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    queued_.notify_one();
    if (writer_.joinable()) writer_.join();
}

void LogFile::Record(std::string_view text) {
    Queued& kept = history_[historyNext_];
    kept.length = Compose(clock_(), text, kept.text);
    historyNext_ = (historyNext_ + 1) % kHistoryLines;
    historyCount_ = std::min(historyCount_ + 1, kHistoryLines);
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_ || Failed()) return;  // before Start: queued for the writer
        if (count_ == kQueuedLines) {
            dropped_ = dropped_ + 1u;
            return;
        }
        queue_[(first_ + count_) % kQueuedLines] = kept;
        ++count_;
    }
    queued_.notify_one();
}

void LogFile::RecordFailure(FailureRun& run, std::string_view what, std::int32_t code,
                            std::string_view resultText) {
    std::uint32_t repeats = 0;
    const std::int32_t before = run.Code();
    if (!run.Failed(code, repeats)) return;
    std::array<char, kLineSize> line;
    if (repeats > 0) {
        std::snprintf(line.data(), line.size(), "%.*s: %lu more tries failed alike (result %ld)",
                      static_cast<int>(what.size()), what.data(),
                      static_cast<unsigned long>(repeats), static_cast<long>(before));
        Record(line.data());
    }
    std::snprintf(line.data(), line.size(), "%.*s failed: result %ld, %.*s",
                  static_cast<int>(what.size()), what.data(), static_cast<long>(code),
                  static_cast<int>(resultText.size()), resultText.data());
    Record(line.data());
}

void LogFile::RecordSuccess(FailureRun& run, std::string_view what) {
    const std::int32_t code = run.Code();
    const std::uint32_t repeats = run.Succeeded();
    if (repeats == 0) return;
    std::array<char, kLineSize> line;
    std::snprintf(line.data(), line.size(), "%.*s: %lu more tries failed alike (result %ld)",
                  static_cast<int>(what.size()), what.data(), static_cast<unsigned long>(repeats),
                  static_cast<long>(code));
    Record(line.data());
}

bool LogFile::TakeWriteFailure() {
    if (!Failed() || failureTold_) return false;
    failureTold_ = true;
    return true;
}

std::string LogFile::History() const {
    std::string text;
    const std::size_t oldest = (historyNext_ + kHistoryLines - historyCount_) % kHistoryLines;
    for (std::size_t i = 0; i < historyCount_; ++i) {
        const Queued& line = history_[(oldest + i) % kHistoryLines];
        text.append(line.text.data(), line.length);
    }
    return text;
}

// The writer: takes one line at a time out of the ring, then writes it with
// the lock released.
void LogFile::Run() {
    Queued line;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            queued_.wait(guard, [this] { return count_ > 0 || stopping_; });
            if (count_ == 0) return;  // stopping, and all written
            line = queue_[first_];
            first_ = (first_ + 1) % kQueuedLines;
            --count_;
        }
        if (full_ || Failed()) continue;
        if (written_ + line.length + kLineSize > sizeLimit_) {
            line.length = Compose(clock_(), kFullLine, line.text);
            full_ = true;
        }
        if (!Put(line.text.data(), line.length)) failed_.store(true, std::memory_order_release);
    }
}

bool LogFile::Put(const char* bytes, std::size_t length) {
    written_ += length;
    return sink_->Write(bytes, length);
}

}  // namespace bridge
