#include "app/record/log_text.h"

#include <algorithm>
#include <cstdio>

namespace bridge {
namespace {

int Field(int value, int low, int high) { return std::clamp(value, low, high); }

// A log file's name: "bridge-", 8 digits, "-", 6 digits, "-", digits, ".log".
bool IsLogFileName(std::string_view name) {
    constexpr std::string_view kPrefix = "bridge-";
    constexpr std::string_view kSuffix = ".log";
    constexpr std::size_t kStampEnd = 7 + 8 + 1 + 6;
    if (name.size() <= kStampEnd + 1 + kSuffix.size() || name.substr(0, 7) != kPrefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix || name[15] != '-' ||
        name[kStampEnd] != '-') {
        return false;
    }
    const std::string_view pid =
        name.substr(kStampEnd + 1, name.size() - kStampEnd - 1 - kSuffix.size());
    auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return digits(name.substr(7, 8)) && digits(name.substr(16, 6)) && digits(pid) &&
           pid.size() <= 10;
}

// Start stamp, then process id as a number.
bool Newer(const std::string& a, const std::string& b) {
    const int stamp = a.compare(0, 22, b, 0, 22);
    if (stamp != 0) return stamp > 0;
    const auto pid = [](const std::string& s) { return std::stoull(s.substr(23)); };
    return pid(a) > pid(b);
}

}  // namespace

std::size_t FormatStamp(const LocalTime& t, char* out, std::size_t size) {
    if (size == 0) return 0;
    const int n =
        std::snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", Field(t.year, 0, 9999),
                      Field(t.month, 1, 12), Field(t.day, 1, 31), Field(t.hour, 0, 23),
                      Field(t.minute, 0, 59), Field(t.second, 0, 60), Field(t.millisecond, 0, 999));
    return n < 0 ? 0 : std::min(static_cast<std::size_t>(n), size - 1);
}

std::string LogFileName(const LocalTime& t, std::uint32_t processId) {
    char name[64];
    std::snprintf(name, sizeof name, "bridge-%04d%02d%02d-%02d%02d%02d-%lu.log",
                  Field(t.year, 0, 9999), Field(t.month, 1, 12), Field(t.day, 1, 31),
                  Field(t.hour, 0, 23), Field(t.minute, 0, 59), Field(t.second, 0, 60),
                  static_cast<unsigned long>(processId));
    return name;
}

std::vector<std::string> LogFilesToRemove(std::vector<std::string> names, std::size_t keep) {
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return !IsLogFileName(n); }),
                names.end());
    if (names.size() <= keep) return {};
    std::sort(names.begin(), names.end(), Newer);
    return {names.begin() + static_cast<std::ptrdiff_t>(keep), names.end()};
}

bool FailureRun::Failed(std::int32_t code, std::uint32_t& repeats) {
    repeats = 0;
    if (failing_ && code == code_) {
        repeats_ = repeats_ + 1u;
        return false;
    }
    if (failing_) repeats = repeats_;
    failing_ = true;
    code_ = code;
    repeats_ = 0;
    return true;
}

std::uint32_t FailureRun::Succeeded() {
    const std::uint32_t repeats = failing_ ? repeats_ : 0;
    failing_ = false;
    repeats_ = 0;
    return repeats;
}

}  // namespace bridge
