// The commands a script or the keyboard gives the emulator, one per line:
//
//   servo bank|pitch engage|disengage <0..2048>
//   nav1|nav1sb|com1|com1sb|com2|com2sb <MHz> [port <1..5>]
//   altimeter <hPa>                  (also: alt)
//   porttext <1..5> <text>           text and CR LF as arriving on that port
//   raw <hex bytes>                  e.g. "raw 05 82 03 01 06 F4 27"
//   wait <time>                      "500ms", "2s", or milliseconds
//   wait-frames <selector> <count> [timeout <time>]
//   echo <text>
//   quit
//
// Blank lines and lines starting with "#" are skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/box_emulator/frame_tag.h"

namespace boxemu {

enum class RadioSlot : std::uint8_t { Nav1, Nav1Standby, Com1, Com1Standby, Com2, Com2Standby };

struct ServoCommand {
    std::uint8_t selector = 1;  // 1 bank, 2 pitch
    bool engage = false;
    std::int16_t position = 1024;
};
struct RadioCommand {
    RadioSlot slot = RadioSlot::Nav1;
    std::uint32_t kHz = 0;
    std::uint8_t port = 0;  // 0: the port the radio's sentences arrive on
};
struct AltimeterCommand {
    std::uint16_t tenthsHpa = 0;
};
struct PortTextCommand {
    std::uint8_t port = 1;
    std::string text;
};
struct RawCommand {
    std::vector<std::uint8_t> bytes;
};
struct WaitCommand {
    std::uint32_t ms = 0;
};
struct WaitFramesCommand {
    FrameSelector selector;
    std::uint32_t count = 0;
    std::uint32_t timeoutMs = 0;  // 0: no time-out
};
struct EchoCommand {
    std::string text;
};
struct QuitCommand {};

using Command = std::variant<ServoCommand, RadioCommand, AltimeterCommand, PortTextCommand,
                             RawCommand, WaitCommand, WaitFramesCommand, EchoCommand, QuitCommand>;

// A command, an error text, or neither (a blank or comment line).
struct ParsedLine {
    std::optional<Command> command;
    std::string error;
};

ParsedLine ParseCommand(std::string_view line);

// "500ms", "2s" or a number of milliseconds.
std::optional<std::uint32_t> ParseDuration(std::string_view text);

bool IsSl40(RadioSlot slot);
const char* RadioSlotName(RadioSlot slot);

// The box ports the radios' sentences were last seen on (0: not yet).
struct RadioPorts {
    std::uint8_t sl30 = 0;
    std::uint8_t sl40 = 0;
};

// The bytes a sending command puts on the line; empty for the others.
std::vector<std::uint8_t> CommandFrame(const Command& command, RadioPorts ports);
// The command in the syntax it was parsed from, in a canonical form.
std::string DescribeCommand(const Command& command);
// Short name of a sending command for logs: "servo", "radio", ...; null for the others.
const char* SentKindName(const Command& command);

}  // namespace boxemu
