// The log file's texts: the time stamp every line begins with, the file's
// name, and which of the older files in the folder go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// The local date and time to the millisecond, as the system gives it.
struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};

// "2026-12-07 20:13:46.123 " into out (NUL-terminated, cut to its size);
// returns the characters written. Fields out of range are clamped.
std::size_t FormatStamp(const LocalTime& time, char* out, std::size_t size);

// "bridge-20261207-201346-4242.log".
std::string LogFileName(const LocalTime& start, std::uint32_t processId);

// Of the names in the log folder, the log files beyond the newest `keep`
// (newest: the latest start; of one second, the higher process id). Other
// names are never among them.
std::vector<std::string> LogFilesToRemove(std::vector<std::string> names, std::size_t keep);

// The first failure of a run of tries and each change of its result code
// are recorded; tries that fail alike are counted, and the count is recorded
// when the result changes or a try succeeds.
class FailureRun {
public:
    // A try failed with `code`: whether to record it. `repeats` is then the
    // count of tries that failed alike before it (0: none to record).
    bool Failed(std::int32_t code, std::uint32_t& repeats);
    // A try succeeded: the count of tries that failed alike to record (0: none).
    std::uint32_t Succeeded();
    // The code of the failure the repeats are of.
    std::int32_t Code() const { return code_; }

private:
    bool failing_ = false;
    std::int32_t code_ = 0;
    std::uint32_t repeats_ = 0;
};

}  // namespace bridge
