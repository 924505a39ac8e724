// The simulator link's operating-system side on Windows: FindWindowExA,
// RegisterWindowMessageA, global atoms, a paging-file section and
// SendMessageTimeoutA.
#pragma once

#include "simlink/sim_link_transport.h"

namespace bridge {

// The one Windows transport. It has no state and a trivial destructor, so it
// stays usable while static objects (the process-wide link among them) are
// destroyed at program end.
SimLinkTransport& Win32SimLinkTransport();

// Installs it for the process-wide link (see simlink/sim_link.h); call once
// at start-up on the user-interface thread.
void InstallWin32SimLinkTransport();

}  // namespace bridge
