// What the emulator shows: a panel redrawn in place on a terminal, a snapshot
// line per second for logs, and the summary at exit.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "tools/box_emulator/box_monitor.h"

namespace boxemu {

// The panel as plain lines, each ending in a line feed.
std::string RenderPanel(const BoxMonitor& monitor, const std::string& portText,
                        const std::deque<std::string>& messages, std::uint64_t nowMs);
// The panel wrapped in ANSI codes that redraw it from the top left corner.
std::string RenderPanelInPlace(const std::string& panel);
// "snapshot t=<ms> frames=... bank=... nav1=110.50/108.00 ..." in one line.
std::string RenderSnapshot(const BoxMonitor& monitor, std::uint64_t nowMs);
// Lines starting "summary", "summary-kind", "summary-item" and "summary-port".
std::string RenderSummary(const BoxMonitor& monitor, std::uint64_t nowMs);

}  // namespace boxemu
