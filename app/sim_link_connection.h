// Opening and closing the simulator link, as the main window does it. The GUI
// adapts SimLinkOpen/SimLinkClose of the IPC client to this.
#pragma once

#include <cstdint>

#include "simlink/sim_link_result.h"

namespace bridge {

class SimLinkConnection {
public:
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
