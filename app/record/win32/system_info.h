// What the log file's start and the diagnostics report say about the PC:
// Windows' version, elevation, the local time, the COM ports (Wine's version:
// platform/system/win32/wine.h).
#pragma once

#include <string>
#include <vector>

#include "app/record/log_text.h"

namespace bridge::gui {

// "Windows 10.0 build 19045" (the true version, not the one a manifest shows).
std::string WindowsVersionText();
// Whether the process runs elevated (as administrator).
bool IsElevated();
// The local date and time to the millisecond.
LocalTime LocalNow();
// The serial ports Windows lists (the serial ports' device map), sorted.
std::vector<std::string> ListedComPorts();

}  // namespace bridge::gui
