#include "simlink/sim_link.h"

namespace bridge {

// Constructed on first use and destroyed (closing the link) when the program
// ends; a transport installed before that first use is destroyed after it.
SimLinkClient& ProcessSimLinkClient() {
    static SimLinkClient client;
    return client;
}

SimLinkApi& ProcessSimLink() { return ProcessSimLinkClient(); }

bool InstallSimLinkTransport(SimLinkTransport* transport) {
    return ProcessSimLinkClient().SetTransport(transport);
}

bool SimLinkOpen(std::int32_t requestedSimulator, SimLinkResult& result) {
    return ProcessSimLinkClient().Open(requestedSimulator, result);
}

void SimLinkClose() { ProcessSimLinkClient().Close(); }

bool SimLinkRead(std::uint32_t offset, std::uint32_t size, void* destination,
                 SimLinkResult& result) {
    return ProcessSimLinkClient().Read(offset, size, destination, result);
}

bool SimLinkWrite(std::uint32_t offset, std::uint32_t size, const void* source,
                  SimLinkResult& result) {
    return ProcessSimLinkClient().Write(offset, size, source, result);
}

bool SimLinkProcess(SimLinkResult& result) { return ProcessSimLinkClient().Process(result); }

bool SimLinkIsOpen() { return ProcessSimLinkClient().IsOpen(); }
std::uint32_t SimLinkSimulatorId() { return ProcessSimLinkClient().SimulatorId(); }
std::uint32_t SimLinkServerVersion() { return ProcessSimLinkClient().ServerVersion(); }
std::uint32_t SimLinkLastSendError() { return ProcessSimLinkClient().LastSendError(); }

}  // namespace bridge
