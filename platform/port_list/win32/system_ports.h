// The present serial ports as Windows lists them: the Ports class's device
// nodes (SetupAPI, present ones only), their names and PortName, FTDI's
// latency timer, the configuration manager's problem code and the nodes
// above them with their location paths; then the serial device map's ports
// that no node gave (a virtual port's driver may have none). Wide calls
// throughout, texts in UTF-8. Nothing here opens a port. Windows 7 SP1 has
// every call.
#pragma once

#include <vector>

#include "platform/port_list/listed_port.h"

namespace bridge {

std::vector<ListedPort> ListSystemPorts();

}  // namespace bridge
