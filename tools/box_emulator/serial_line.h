// The operating system's part of the emulator: the box's end of the serial
// line (a pseudo-terminal or a real serial port), waiting for the line and for
// typed commands, and the stop signals. serial_line_posix.cpp implements it
// for Linux; a Windows port needs only another implementation of this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace boxemu {

struct Events {
    bool line = false;   // bytes from the bridge are waiting
    bool input = false;  // standard input is readable (or ended)
};

class SerialLine {
public:
    // A new pty; the bridge opens the path PeerPath() names.
    static std::unique_ptr<SerialLine> OpenPseudoTerminal(std::string& error);
    // A serial port set to 115200 baud, 8N1, raw, no flow control.
    static std::unique_ptr<SerialLine> OpenDevice(const std::string& path, std::string& error);

    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    const std::string& PeerPath() const { return peerPath_; }
    // Bytes waiting, up to the buffer's size: 0 when none, -1 when the line failed.
    std::ptrdiff_t Read(std::span<std::uint8_t> buffer);
    // Queues bytes for sending without blocking; returns how many were taken
    // (fewer when the line's output queue is full, e.g. nobody reads the pty).
    std::size_t Write(std::span<const std::uint8_t> bytes);
    // Waits up to timeoutMs for the line or, when watchInput, standard input.
    // Returns early, with no events, when a stop signal arrives.
    Events Wait(bool watchInput, int timeoutMs);

private:
    struct Handles;
    SerialLine(std::unique_ptr<Handles> handles, std::string peerPath);

    std::unique_ptr<Handles> handles_;
    std::string peerPath_;
};

// Standard input without blocking after Wait reported it: bytes read, 0 at
// its end, -1 when nothing could be read.
std::ptrdiff_t ReadInput(std::span<char> buffer);

// SIGINT and SIGTERM (or their equivalents) set the stop request.
void InstallStopHandlers();
bool StopRequested();

bool OutputIsTerminal();

}  // namespace boxemu
