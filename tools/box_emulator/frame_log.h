// The frame log: one line per decoded frame and per command sent, for tests
// and soak runs to read back.
//
//   <ms> <kind> <tag> <hex> [<key>=<value> ...]
//
// ms: milliseconds since the emulator started. kind: attitude, airdata, item,
// port, arinc, other; tx for a frame the emulator sent; echo for a script's
// echo line (tag and hex "-", then text=). tag: "-", the
// item's "<address>/<item kind>", the port frame's box port, or for tx the
// command ("servo", "radio", "altimeter", "porttext", "raw"). hex: the whole
// frame, upper case, no spaces. Values never contain spaces; text fields are
// last, with bytes outside "!".."~" and the backslash written as \xHH.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "tools/box_emulator/commands.h"
#include "tools/box_emulator/frame_tag.h"
#include "tools/box_protocol/box_protocol.h"

namespace boxemu {

void AppendFrameLine(std::string& out, std::uint64_t ms, const boxproto::Frame& frame,
                     const FrameTag& tag);
void AppendSentLine(std::string& out, std::uint64_t ms, const Command& command,
                    std::span<const std::uint8_t> bytes);
void AppendEchoLine(std::string& out, std::uint64_t ms, std::string_view text);
void AppendEscaped(std::string& out, std::string_view text);

// Buffered file output; lines reach the file at the latest on Flush.
class FrameLog {
public:
    FrameLog() = default;
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;
    ~FrameLog();

    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    void Frame(std::uint64_t ms, const boxproto::Frame& frame, const FrameTag& tag);
    void Sent(std::uint64_t ms, const Command& command, std::span<const std::uint8_t> bytes);
    void Echo(std::uint64_t ms, std::string_view text);
    void Flush();

private:
    void WriteLine();

    std::FILE* file_ = nullptr;
    std::string line_;
};

}  // namespace boxemu
