#include "simlink/sim_link_result.h"

#include <array>

namespace bridge {

const char* SimLinkResultText(SimLinkResult result) {
    static constexpr std::array<const char*, 16> kTexts = {
        "Okay",
        "Attempt to Open when already Open",
        "Cannot link to FSUIPC or WideClient",
        "Failed to Register common message with Windows",
        "Failed to create Atom for mapping filename",
        "Failed to create a file mapping object",
        "Failed to open a view to the file map",
        "Incorrect version of FSUIPC, or not FSUIPC",
        "Sim is not version requested",
        "Call cannot execute, link not Open",
        "Call cannot execute: no requests accumulated",
        "IPC timed out all retries",
        "IPC sendmessage failed all retries",
        "IPC request contains bad data",
        "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
        "Read or Write request cannot be added, memory for Process is full",
    };
    const auto index = static_cast<std::size_t>(result);
    return index < kTexts.size() ? kTexts[index] : "Unknown result";
}

// FSUIPC's own numbering, continued past FSX for the simulators of today.
std::string SimulatorName(std::uint32_t simulatorId) {
    static constexpr std::array<const char*, 14> kNames = {
        "Any",    "FS98", "FS2K", "CFS2", "CFS1",  "FLY",   "FS2002",
        "FS2004", "FSX",  "ESP",  "P3D",  "FSX64", "P3D64", "MSFS",
    };
    if (simulatorId < kNames.size()) return kNames[simulatorId];
    return "simulator " + std::to_string(simulatorId);
}

}  // namespace bridge
