// The emulator's serial line and waits on Linux (POSIX with the usual pty
// functions).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tools/box_emulator/serial_line.h"

namespace boxemu {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// 115200 8N1, no parity, no flow control, no line editing or translation.
bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;  // a peer's blocking read waits for a byte; ours never blocks
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, B115200) != 0 || cfsetospeed(&t, B115200) != 0) return false;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

struct SerialLine::Handles {
    int line = -1;
    // The pty's other side, held open by the emulator itself: while any
    // descriptor of it is open, the line keeps its settings and reads on our
    // side wait instead of failing between the bridge's sessions.
    int keeper = -1;

    ~Handles() {
        if (keeper >= 0) close(keeper);
        if (line >= 0) close(line);
    }
};

SerialLine::SerialLine(std::unique_ptr<Handles> handles, std::string peerPath)
    : handles_(std::move(handles)), peerPath_(std::move(peerPath)) {}

SerialLine::~SerialLine() = default;

std::unique_ptr<SerialLine> SerialLine::OpenPseudoTerminal(std::string& error) {
    auto h = std::make_unique<Handles>();
    h->line = posix_openpt(O_RDWR | O_NOCTTY);
    if (h->line < 0) {
        error = SystemError("posix_openpt");
        return nullptr;
    }
    if (grantpt(h->line) != 0 || unlockpt(h->line) != 0) {
        error = SystemError("unlockpt");
        return nullptr;
    }
    char name[128];
    if (ptsname_r(h->line, name, sizeof name) != 0) {
        error = SystemError("ptsname_r");
        return nullptr;
    }
    h->keeper = open(name, O_RDWR | O_NOCTTY);
    if (h->keeper < 0 || !MakeRaw(h->keeper)) {
        error = SystemError(std::string("cannot set up ") + name);
        return nullptr;
    }
    if (fcntl(h->line, F_SETFL, fcntl(h->line, F_GETFL) | O_NONBLOCK) != 0) {
        error = SystemError("fcntl");
        return nullptr;
    }
    return std::unique_ptr<SerialLine>(new SerialLine(std::move(h), name));
}

std::unique_ptr<SerialLine> SerialLine::OpenDevice(const std::string& path, std::string& error) {
    auto h = std::make_unique<Handles>();
    h->line = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (h->line < 0) {
        error = SystemError("cannot open " + path);
        return nullptr;
    }
    if (!MakeRaw(h->line)) {
        error = SystemError("cannot set " + path + " to 115200 8N1 raw");
        return nullptr;
    }
    tcflush(h->line, TCIOFLUSH);
    return std::unique_ptr<SerialLine>(new SerialLine(std::move(h), path));
}

std::ptrdiff_t SerialLine::Read(std::span<std::uint8_t> buffer) {
    const ssize_t n = read(handles_->line, buffer.data(), buffer.size());
    if (n >= 0) return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    return -1;
}

std::size_t SerialLine::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(handles_->line, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // queue full (EAGAIN) or the line failed: the rest is dropped
        }
    }
    return done;
}

Events SerialLine::Wait(bool watchInput, int timeoutMs) {
    pollfd fds[2] = {{handles_->line, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    Events events;
    if (poll(fds, watchInput ? 2 : 1, timeoutMs) <= 0) return events;  // time-out or signal
    events.line = (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    events.input = watchInput && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    return events;
}

std::ptrdiff_t ReadInput(std::span<char> buffer) {
    const ssize_t n = read(STDIN_FILENO, buffer.data(), buffer.size());
    return n < 0 ? -1 : n;
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a signal ends the wait in poll at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a closed output pipe shows as a failed write instead
}

bool StopRequested() { return stopRequested != 0; }

bool OutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace boxemu
