// The same configuration run natively: the portable bridge (main cycle,
// simulator link client) against the emulator's own server code in fixed
// mode, through an in-memory transport. What bridge.exe sends and asks under
// Wine must be exactly what this run sends and asks.
#pragma once

#include <string>
#include <vector>

#include "tests/e2e/bridge_session.h"
#include "tests/support/emulator_log.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::e2e {

struct ReferenceRun {
    std::vector<std::vector<boxproto::Frame>> ticks;  // frames written in each tick
    std::vector<testing::LoggedExchange> exchanges;   // each tick's exchange
};

ReferenceRun RunReference(const Settings& settings, int tickCount);

// The exchanges of the main cycle in an emulator log: the handshake's
// exchanges (before the first attitude read) are left out.
std::vector<testing::LoggedExchange> CycleExchanges(const std::string& log);

// The box log's frames to the box, grouped by tick: a tick starts with its
// attitude frame (servo echoes that precede it are counted with it).
std::vector<std::vector<boxproto::Frame>> TicksOnTheWire(const std::vector<BoxLogLine>& log);

}  // namespace bridge::e2e
