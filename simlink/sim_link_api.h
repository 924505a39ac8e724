// The requests the main cycle makes of the simulator link: queue reads and
// writes, then run them in one exchange. The IPC client implements it.
#pragma once

#include <cstdint>

#include "simlink/sim_link_result.h"

namespace bridge {

class SimLinkApi {
public:
    // Queues a read; destination must stay valid until the next Process,
    // which fills it.
    virtual bool Read(std::uint32_t offset, std::uint32_t size, void* destination,
                      SimLinkResult& result) = 0;
    // Queues a write; the bytes are copied at once.
    virtual bool Write(std::uint32_t offset, std::uint32_t size, const void* source,
                       SimLinkResult& result) = 0;
    // Runs every queued request in one exchange.
    virtual bool Process(SimLinkResult& result) = 0;

protected:
    ~SimLinkApi() = default;
};

}  // namespace bridge
