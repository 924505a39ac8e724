// Programs the end-to-end tests start: native ones and Windows ones under
// Wine alike are children of the test, ended by their pid (never by name),
// and ended with the test if it dies.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bridge::e2e {

class ChildProcess {
public:
    struct Options {
        std::vector<std::string> argv;
        std::vector<std::string> extraEnv;  // "NAME=value", added to the test's environment
        std::string outputPath;             // stdout and stderr; empty keeps the test's
        std::string workDir;                // empty keeps the test's
        bool stdinPipe = false;             // WriteLine feeds the child's standard input
        bool stdoutPipe = false;            // Read takes its standard output (stderr: outputPath)
    };

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Terminate(); }

    bool Start(const Options& options);
    bool Running();
    // Waits for the child to end; false when it is still running at the deadline.
    bool WaitExit(std::chrono::milliseconds timeout);
    int exitStatus() const { return exitStatus_; }
    // SIGTERM, and SIGKILL if it has not ended within a few seconds.
    void Terminate();
    // SIGKILL at once: the program dies without a chance to clean up.
    void Kill();
    bool WriteLine(const std::string& line);
    // Appends what the child wrote to its standard output (stdoutPipe), waiting
    // up to `timeout` for something; false at its end or when nothing came.
    bool Read(std::string& into, std::chrono::milliseconds timeout);
    // Whether its standard output may still give something.
    bool Reading() const { return stdoutFd_ >= 0; }
    pid_t pid() const { return pid_; }

private:
    void CloseFds();

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    int exitStatus_ = -1;
};

// Polls `condition` until it holds or the timeout passes; true if it held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

std::string ReadWholeFile(const std::string& path);

// A Linux path as a Windows program under Wine names it (drive Z:).
std::string WinePath(const std::string& unixPath);

// User plus system CPU time of a running process (all its threads), from
// /proc/<pid>/stat; nothing when the process is not there.
std::optional<double> ProcessCpuSeconds(pid_t pid);

}  // namespace bridge::e2e
