// The Windows side of the serial component's settings (comm_settings.h):
// the DCB's flag word and the COMMTIMEOUTS, each converted in this one
// place. The bit layout and the values themselves are owned by
// comm_settings.h and checked against the system's definitions at compile
// time (comm_settings_win32.cpp).
#pragma once

#include <windows.h>

#include "platform/serial/comm_settings.h"

namespace bridge {

// The DCB members the component sets, out of and back into a DCB.
DcbFields ToFields(const DCB& dcb);
void FromFields(const DcbFields& fields, DCB& dcb);

// Sets the five timeouts on an open port; false (with the system's error) on failure.
bool SetPortTimeouts(HANDLE port, const CommTimeoutValues& values);

}  // namespace bridge
