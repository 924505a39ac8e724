// Result codes of the simulator link, their texts, and the simulator names.
#pragma once

#include <cstdint>
#include <string>

namespace bridge {

enum class SimLinkResult : std::uint32_t {
    Okay = 0,
    AlreadyOpen = 1,
    NoServer = 2,
    RegisterFailed = 3,
    AtomFailed = 4,
    MappingFailed = 5,
    ViewFailed = 6,
    WrongVersion = 7,
    WrongSimulator = 8,
    NotOpen = 9,
    NothingQueued = 10,
    TimedOut = 11,
    SendFailed = 12,
    BadReply = 13,
    NoSimOnServer = 14,
    BlockFull = 15,
};

// The text shown to the user for a result code.
const char* SimLinkResultText(SimLinkResult result);

// The name of a simulator id ("Any", "FS98", ... "FSX", ... "MSFS"); an id
// beyond the table gives "simulator <id>", which a user can report.
std::string SimulatorName(std::uint32_t simulatorId);

}  // namespace bridge
