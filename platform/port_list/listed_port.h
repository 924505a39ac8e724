// A serial port as Windows lists it: its COM name, the names Windows shows
// for it, and for a USB adapter what tells one adapter from another. Texts
// are UTF-8, in whatever language Windows gives them. The listing never
// opens a port to learn this (a Bluetooth port's open can block for seconds).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port_list/port_texts.h"

namespace bridge {

enum class PortBus : std::uint8_t { Usb, Bluetooth, Other };

struct ListedPort {
    std::string name;     // as Windows names it: "COM7", "LPT1", ...
    unsigned number = 0;  // n of COMn, 1..kHighestComNumber; 0 for any other name
    std::string friendlyName;
    std::string manufacturer;
    std::string instanceId;
    PortBus bus = PortBus::Other;
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    std::string interfaceId;        // "MI_00" of a composite device, FTDI's channel letter
    std::string serialNumber;       // a real one, or empty
    std::string locationPath;       // where it is plugged, when Windows says
    std::uint32_t problemCode = 0;  // Windows' device problem code; 0: none
    std::optional<std::uint32_t> latencyTimerMs;  // an FTDI adapter's

    bool operator==(const ListedPort&) const = default;
};

// The friendly name without the " (COMn)" Windows appends, else the port's name.
std::string ShownName(const ListedPort& port);

// What tells the adapter apart: "serial 01F3A9C2", "serial FT4ZQ8AB, channel B",
// "USB 1A86:7523, no serial number", "Bluetooth"; "" for other ports.
std::string AdapterText(const ListedPort& port);

// The diagnostics report's line for the port: its name, names, bus, ids, serial
// number, location, problem code and latency timer.
std::string PortReportLine(const ListedPort& port);

// Sorted by number, names that are not COMn last.
void SortPorts(std::vector<ListedPort>& ports);

}  // namespace bridge
