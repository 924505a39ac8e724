// Opening and closing the simulator link, as the main window does it. The GUI
// adapts SimLinkOpen/SimLinkClose of the IPC client to this.
#pragma once

#include <cstdint>

#include "simlink/sim_link_result.h"

namespace bridge {

// What a quick look at the simulator's server window found.
enum class ServerCheck : unsigned char { NoWindow, Hung, Answers };

class SimLinkConnection {
public:
    // Whether a server window is there and answers a message within a short
    // time-out (one that does not is not waited for). Dispatches nothing.
    virtual ServerCheck CheckServer() = 0;
    // SimLinkOpen: requestedSimulator 0 accepts any simulator. May dispatch
    // user-interface messages while it waits for the simulator's reply.
    virtual bool Open(std::int32_t requestedSimulator, SimLinkResult& result) = 0;
    // SimLinkClose.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The simulator id reported by the open link (index of the name table).
    virtual std::uint32_t SimulatorId() const = 0;
    // The system's error code of the last exchange that did not get through.
    virtual std::uint32_t LastSendError() const = 0;

protected:
    ~SimLinkConnection() = default;
};

}  // namespace bridge
