#include "tests/e2e/box_line.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "tests/e2e/child_process.h"

namespace bridge::e2e {

bool BoxLine::Open(const std::string& path) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios t{};
    if (tcgetattr(fd_, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(fd_, TCSANOW, &t);
    }
    stop_ = false;
    reader_ = std::thread([this] { ReadLoop(); });
    return true;
}

void BoxLine::Close() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void BoxLine::ReadLoop() {
    std::uint8_t buffer[4096];
    while (!stop_) {
        pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;  // 50 ms: how soon Close is noticed
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) continue;
        const Clock::time_point at = Clock::now();
        std::lock_guard<std::mutex> guard(lock_);
        bytes_ += static_cast<std::uint64_t>(n);
        decoder_.Feed(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)));
        for (auto& frame : decoder_.TakeFrames()) frames_.push_back({at, std::move(frame)});
    }
}

bool BoxLine::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p = {fd_, POLLOUT, 0};
        if (poll(&p, 1, 5000) <= 0) return false;  // the line stopped taking bytes
    }
    return true;
}

std::vector<BoxLine::Received> BoxLine::Frames() const {
    std::lock_guard<std::mutex> guard(lock_);
    return frames_;
}

std::vector<BoxLine::Received> BoxLine::FramesFrom(std::size_t first) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (first >= frames_.size()) return {};
    return {frames_.begin() + static_cast<std::ptrdiff_t>(first), frames_.end()};
}

std::size_t BoxLine::Count(const std::function<bool(const boxproto::Frame&)>& match) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t n = 0;
    for (const Received& r : frames_) n += match(r.frame) ? 1 : 0;
    return n;
}

bool BoxLine::WaitFor(const std::function<bool(const boxproto::Frame&)>& match, std::size_t count,
                      std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Count(match) >= count; }, timeout);
}

std::uint64_t BoxLine::Bytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
}

std::uint64_t BoxLine::BadFrames() const {
    std::lock_guard<std::mutex> guard(lock_);
    return decoder_.badFrames();
}

bool IsKind(const boxproto::Frame& frame, std::uint8_t kind) { return frame.kind == kind; }

bool IsItem(const boxproto::Frame& frame, std::uint8_t address, std::uint8_t itemKind) {
    const auto item = boxproto::AsItem(frame);
    return item && item->address == address && item->itemKind == itemKind;
}

}  // namespace bridge::e2e
