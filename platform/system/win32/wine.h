// Whether the program runs under Wine, which serves some calls differently
// from Windows (see port_wait.h): the wait on the box's port is chosen by it,
// and the log file and the report name it.
#pragma once

#include <string>

namespace bridge {

// Wine's version when the program runs under Wine (its ntdll exports it;
// Windows' does not); empty on Windows.
std::string WineVersion();
bool RunningUnderWine();

}  // namespace bridge
