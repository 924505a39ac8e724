// The process-wide simulator link: one per process, reached through the
// operation names the rest of the program uses. It is closed by itself when
// the program ends. Call these from the user-interface thread only.
#pragma once

#include <cstdint>

#include "simlink/sim_link_api.h"
#include "simlink/sim_link_client.h"
#include "simlink/sim_link_result.h"
#include "simlink/sim_link_transport.h"

namespace bridge {

// Sets the operating-system side of the link (at start-up, or a fake in
// tests); closes the link first if it is open. Without a transport every open
// fails with NoServer. The transport must stay valid until it is replaced or
// the program ends. False, and nothing changes, during an exchange.
bool InstallSimLinkTransport(SimLinkTransport* transport);

bool SimLinkOpen(std::int32_t requestedSimulator, SimLinkResult& result);
void SimLinkClose();
bool SimLinkRead(std::uint32_t offset, std::uint32_t size, void* destination,
                 SimLinkResult& result);
bool SimLinkWrite(std::uint32_t offset, std::uint32_t size, const void* source,
                  SimLinkResult& result);
bool SimLinkProcess(SimLinkResult& result);

bool SimLinkIsOpen();
// Meaningful after a successful open (see SimulatorName for its text).
std::uint32_t SimLinkSimulatorId();
std::uint32_t SimLinkServerVersion();
// The system's error code of the last exchange that did not get through.
std::uint32_t SimLinkLastSendError();

// The process-wide link, for the main cycle, and as the client itself.
SimLinkApi& ProcessSimLink();
SimLinkClient& ProcessSimLinkClient();

}  // namespace bridge
