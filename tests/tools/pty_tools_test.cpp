// pty_pair (null-modem pairs of ptys, unplugging) and pty_modem (the modem
// ioctls faked on ptys), checked natively.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

template <typename Done>
bool WaitUntil(Done done, int timeoutMs = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

int OpenPort(const fs::path& path) { return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); }

// Reads until `count` bytes have come or the time is up.
std::string ReadBytes(int fd, std::size_t count, int timeoutMs = 5000) {
    std::string out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count && Clock::now() < deadline) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

class PtyPair : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pty_pair_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        const std::string d = dir.string();
        char* argv[] = {const_cast<char*>(PTY_PAIR_PATH), const_cast<char*>(d.c_str()),
                        const_cast<char*>("com5"), const_cast<char*>("com6"), nullptr};
        ASSERT_EQ(posix_spawn(&pid, PTY_PAIR_PATH, nullptr, nullptr, argv, environ), 0);
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir / "ready"); }));
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "com5")));
        }
        fs::remove_all(dir);
    }

    fs::path dir;
    pid_t pid = 0;
};

TEST_F(PtyPair, RelaysBothWaysAndUnplugsAndPlugsADevice) {
    int a = OpenPort(dir / "com5");
    const int b = OpenPort(dir / "com6");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_EQ(write(a, "to six", 6), 6);
    EXPECT_EQ(ReadBytes(b, 6), "to six");
    ASSERT_EQ(write(b, "to five", 7), 7);
    EXPECT_EQ(ReadBytes(a, 7), "to five");
    EXPECT_EQ(ReadText(dir / "state-com5").rfind("plugged /dev/pts/", 0), 0u);
    EXPECT_TRUE(fs::exists(dir / "line-com5"));

    WriteText(dir / "unplug-com5", "");
    ASSERT_TRUE(WaitUntil([&] { return ReadText(dir / "state-com5") == "unplugged\n"; }));
    EXPECT_TRUE(
        fs::is_directory(fs::symlink_status(dir / "com5")));  // opens fail like a missing port
    char c;
    EXPECT_LE(read(a, &c, 1), 0);  // the open end sees the hang-up
    close(a);
    ASSERT_EQ(write(b, "lost", 4), 4);  // towards the unplugged end: dropped

    fs::remove(dir / "unplug-com5");
    ASSERT_TRUE(WaitUntil([&] { return ReadText(dir / "state-com5").rfind("plugged", 0) == 0; }));
    a = OpenPort(dir / "com5");
    ASSERT_GE(a, 0);
    ASSERT_EQ(write(b, "back", 4), 4);
    EXPECT_EQ(ReadBytes(a, 4), "back");
    close(a);
    close(b);
}

// The preload library, loaded here directly: its ioctl is called through a
// pointer, and it passes what it does not fake to the real one.
class PtyModem : public ::testing::Test {
protected:
    using IoctlFn = int (*)(int, unsigned long, ...);

    void SetUp() override {
        char pattern[] = "/tmp/pty_modem_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("PTY_MODEM_DIR", dir.c_str(), 1);  // read when the library loads
        library = dlopen(PTY_MODEM_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        fake = reinterpret_cast<IoctlFn>(dlsym(library, "ioctl"));
        ASSERT_NE(fake, nullptr);
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        struct stat st;
        fstat(slave, &st);
        lineFile =
            dir /
            ("pts" + std::to_string((major(st.st_rdev) - 136) * 256 + minor(st.st_rdev)) + ".line");
    }
    void TearDown() override {
        close(slave);
        close(master);
        if (library != nullptr) dlclose(library);
        fs::remove_all(dir);
    }
    int Lines() {
        int lines = 0;
        return fake(slave, TIOCMGET, &lines) == 0 ? lines : -1;
    }

    fs::path dir, lineFile;
    void* library = nullptr;
    IoctlFn fake = nullptr;
    int master = -1, slave = -1;
};

TEST_F(PtyModem, KeepsDtrAndRtsAndReportsTheInputLinesOfTheLineFile) {
    int bits = TIOCM_DTR | TIOCM_RTS;
    ASSERT_EQ(fake(slave, TIOCMBIS, &bits), 0);
    EXPECT_EQ(Lines(), TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD);
    bits = TIOCM_RTS;
    ASSERT_EQ(fake(slave, TIOCMBIC, &bits), 0);
    EXPECT_EQ(Lines(), TIOCM_DTR | TIOCM_CTS | TIOCM_DSR | TIOCM_CD);
    bits = TIOCM_RTS | TIOCM_CTS;  // only the outputs can be set
    ASSERT_EQ(fake(slave, TIOCMSET, &bits), 0);
    WriteText(lineFile, "cts=0 ri=1 frame=2 brk=1 rng=3");
    EXPECT_EQ(Lines(), TIOCM_RTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);

    serial_icounter_struct counts = {};
    ASSERT_EQ(fake(slave, TIOCGICOUNT, &counts), 0);
    EXPECT_EQ(counts.frame, 2);
    EXPECT_EQ(counts.brk, 1);
    EXPECT_EQ(counts.rng, 3);
    unsigned lsr = 0;
    ASSERT_EQ(fake(slave, TIOCSERGETLSR, &lsr), 0);
    EXPECT_EQ(lsr, static_cast<unsigned>(TIOCSER_TEMT));

    WriteText(lineFile, "modem=0");  // a driver without modem support
    EXPECT_EQ(Lines(), -1);
    EXPECT_NE(fake(slave, TIOCGICOUNT, &counts), 0);

    const int file = open(lineFile.c_str(), O_RDONLY);  // not a pty: never faked
    int lines = 0;
    EXPECT_NE(fake(file, TIOCMGET, &lines), 0);
    close(file);
}

TEST_F(PtyModem, AnArmedErrorHoldsBackInputUntilItIsCountedWithIt) {
    struct termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    WriteText(lineFile, "error_with_data=1");
    serial_icounter_struct counts = {};
    ASSERT_EQ(fake(slave, TIOCGICOUNT, &counts), 0);
    EXPECT_EQ(counts.frame, 0);  // no input yet: not counted

    ASSERT_EQ(write(master, "abc", 3), 3);
    int queued = -1;
    ASSERT_TRUE(WaitUntil([&] {
        int real = 0;
        ioctl(slave, FIONREAD, &real);
        return real == 3;
    }));
    ASSERT_EQ(fake(slave, TIOCGICOUNT, &counts), 0);
    EXPECT_EQ(counts.frame, 0);  // not yet: the input has not been held back once
    ASSERT_EQ(fake(slave, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 0);  // held back
    ASSERT_EQ(fake(slave, TIOCGICOUNT, &counts), 0);
    EXPECT_EQ(counts.frame, 1);
    ASSERT_EQ(fake(slave, FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 3);
    ASSERT_EQ(fake(slave, TIOCGICOUNT, &counts), 0);
    EXPECT_EQ(counts.frame, 1);  // once per generation
}

}  // namespace
