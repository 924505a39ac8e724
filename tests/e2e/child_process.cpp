#include "tests/e2e/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace bridge::e2e {
namespace {

int OpenPidFd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

}  // namespace

bool ChildProcess::Start(const Options& options) {
    // Everything the child needs is prepared before fork: between fork and
    // exec only async-signal-safe calls are made.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.insert(env.end(), options.extraEnv.begin(), options.extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = options.argv;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (options.stdinPipe && pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    int outFds[2] = {-1, -1};
    if (options.stdoutPipe && pipe2(outFds, O_CLOEXEC) != 0) {
        if (pipeFds[0] >= 0) close(pipeFds[0]);
        if (pipeFds[1] >= 0) close(pipeFds[1]);
        return false;
    }
    const int input = options.stdinPipe ? pipeFds[0] : open("/dev/null", O_RDONLY | O_CLOEXEC);
    // Appending, so that a reader of the pipe may add to the same file.
    const int output = options.outputPath.empty()
                           ? -1
                           : open(options.outputPath.c_str(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // A test that dies must not leave its programs running.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        dup2(input, STDIN_FILENO);
        if (output >= 0) {
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
        }
        if (outFds[1] >= 0) dup2(outFds[1], STDOUT_FILENO);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(127);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(input);
    if (output >= 0) close(output);
    if (outFds[1] >= 0) close(outFds[1]);
    if (pid_ < 0) {
        if (pipeFds[1] >= 0) close(pipeFds[1]);
        if (outFds[0] >= 0) close(outFds[0]);
        return false;
    }
    stdinFd_ = pipeFds[1];
    stdoutFd_ = outFds[0];
    pidFd_ = OpenPidFd(pid_);
    exitStatus_ = -1;
    return true;
}

bool ChildProcess::Running() { return pid_ > 0 && !WaitExit(std::chrono::milliseconds(0)); }

bool ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return true;
    if (pidFd_ >= 0) {
        pollfd p = {pidFd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) == 0) return false;
    }
    int status = 0;
    const pid_t done = waitpid(pid_, &status, pidFd_ >= 0 ? 0 : WNOHANG);
    if (done == 0) return false;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    CloseFds();
    pid_ = -1;
    return true;
}

void ChildProcess::CloseFds() {
    for (int* fd : {&pidFd_, &stdinFd_, &stdoutFd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void ChildProcess::Terminate() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!WaitExit(std::chrono::seconds(5))) {
        kill(pid_, SIGKILL);
        WaitExit(std::chrono::seconds(5));
    }
}

void ChildProcess::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    WaitExit(std::chrono::seconds(10));
}

bool ChildProcess::WriteLine(const std::string& line) {
    if (stdinFd_ < 0) return false;
    const std::string text = line + "\n";
    return write(stdinFd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool ChildProcess::Read(std::string& into, std::chrono::milliseconds timeout) {
    if (stdoutFd_ < 0) return false;
    pollfd p = {stdoutFd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(stdoutFd_, buffer, sizeof buffer);
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
        close(stdoutFd_);  // its end: nothing more will come
        stdoutFd_ = -1;
    }
    if (got <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(got));
    return true;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling other processes
    }
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string WinePath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::optional<double> ProcessCpuSeconds(pid_t pid) {
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    // The command name is in parentheses and may hold blanks: fields are
    // counted from the last ')'. utime and stime are fields 14 and 15.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) utime = std::stoull(field);
        if (number == 15) stime = std::stoull(field);
    }
    if (!fields) return std::nullopt;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace bridge::e2e
