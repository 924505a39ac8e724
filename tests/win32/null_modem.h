// The far end of the test line. scripts/test (through ctest) runs pty_pair,
// which joins COM5 and COM6 with a null-modem cable of pseudo-terminals (see
// tools/pty_pair). The component under test opens COM5; PeerPort opens COM6
// and keeps reading in a thread of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace bridge::testing {

inline constexpr char kPortUnderTest[] = "COM5";
inline constexpr char kPeerPort[] = "COM6";

// The pty_pair state directory (a Unix path), or empty when not set up.
std::string NullModemDir();
// Writes the line file of a port ("com5"), line-com5: modem lines and error counters
// reported by the pty_modem preload library.
bool SetLineState(const char* portName, const std::string& text);
// Pulls a port's device out ("com5"), or puts a new one in, as pty_pair does
// for a USB adapter; waits until that is done.
bool SetPlugged(const char* portName, bool plugged);

class PeerPort {
public:
    explicit PeerPort(const char* name = kPeerPort);
    ~PeerPort();
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    bool Send(std::span<const std::uint8_t> bytes);
    bool Send(const std::string& text);
    // Waits (up to the timeout) until `count` bytes have arrived in total.
    bool WaitForBytes(std::size_t count, DWORD timeoutMs = 10000);
    std::vector<std::uint8_t> Received();

private:
    void ReadLoop();

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE stop_ = nullptr;
    std::mutex lock_;
    std::vector<std::uint8_t> received_;
    std::thread reader_;
};

}  // namespace bridge::testing
