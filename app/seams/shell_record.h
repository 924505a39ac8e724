// The record (the log file, its totals lines, the report) as the shell
// drives it; on Windows, the diagnostics.
#pragma once

#include <cstdint>

#include "state/bridge_state.h"

namespace bridge {

class ShellRecord {
public:
    // Every tick, with a monotonic clock in ms: what the record follows from
    // the components' counts. The line for the window's log when the log file
    // has just failed (once); null otherwise.
    virtual const char* Tick(std::uint64_t nowMs) = 0;
    // The line's totals into the log file.
    virtual void RecordTotals() = 0;
    // The operation setup's choices, when they changed.
    virtual void RecordOperationSetup(const BridgeSettings& before,
                                      const BridgeSettings& after) = 0;
    // The window goes: the totals, then the log file written out and closed.
    virtual void Close() = 0;

protected:
    ~ShellRecord() = default;
};

}  // namespace bridge
