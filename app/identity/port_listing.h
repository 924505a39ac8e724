// How the bridge learns which serial ports are present: on Windows the
// system's listing (platform/port_list/win32/), in the tests device lists
// written as fixtures.
#pragma once

#include <vector>

#include "platform/port_list/listed_port.h"

namespace bridge {

class PortListing {
public:
    // The present ports, sorted by number. Never opens one.
    virtual std::vector<ListedPort> List() = 0;

protected:
    ~PortListing() = default;
};

}  // namespace bridge
