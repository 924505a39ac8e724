// The log lines about the box's adapter and the ports, one line each: where
// the adapter went, which port may be it, ports that look alike, and advice
// the bridge can give by itself (an FTDI latency timer that holds the box's
// commands back, a driver that refuses the chip).
#pragma once

#include <optional>
#include <span>
#include <string>

#include "app/identity/adapter_identity.h"
#include "platform/port_list/listed_port.h"

namespace bridge {

// Above this an FTDI adapter's latency timer delays the box's commands
// noticeably (its default, 16 ms, is up to a third of a tick).
inline constexpr std::uint32_t kLatencyTimerAdviceMs = 4;

// "The box's adapter <name> (serial 01F3A9C2) is now COM7, was COM4".
std::string MovedLine(const ListedPort& port, unsigned wasNumber);
std::string MayBeLine(std::span<const ListedPort* const> ports);
std::string LookAlikeLine(std::span<const ListedPort* const> ports);
// "COM4 is now USB-SERIAL CH340 (USB 1A86:7523, no serial number), not the
// box's adapter (serial 01F3A9C2): ...", with how to take it.
std::string OtherDeviceLine(const ListedPort& port, const AdapterIdentity& adapter);
std::optional<std::string> LatencyAdvice(const ListedPort& port);
std::optional<std::string> ProblemAdvice(const ListedPort& port);

}  // namespace bridge
