// Links that let Wine programs open the emulator's pty as a COM port: a
// stable link of ours pointing at the pty (whose name changes with every
// start), and Wine's <prefix>/dosdevices/comN pointing at the stable link.
// Wine rebuilds dosdevices/comN from the registry whenever its server starts,
// so a lasting setup also needs HKLM\Software\Wine\Ports COMn = the stable
// link's path (scripts/box-emulator.sh has a function for that).
#pragma once

#include <optional>
#include <string>

namespace boxemu {

std::string DefaultStableLink(const std::string& winePrefix, unsigned com);
std::string ComPortLinkPath(const std::string& winePrefix, unsigned com);

// Points `link` at `target`, replacing whatever `link` was; creates the
// link's folder. Returns an error text on failure.
std::optional<std::string> PointLink(const std::string& link, const std::string& target);

// When the emulator ends, its stable link is pointed at the folder it lives
// in: a COM port linked to a folder fails to open like a missing port, while
// one linked to a missing file would still open in Wine and take writes.
std::optional<std::string> RetireLink(const std::string& link);

}  // namespace boxemu
