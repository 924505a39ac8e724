// The diagnostics report a pilot saves and sends: one text file with what a
// stranger needs to tell what went wrong on the pilot's PC.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/record/log_text.h"

namespace bridge {

struct ReportParts {
    std::string version;  // the program's version and build
    std::string windows;  // "Windows 10.0 build 19045"
    std::string wine;     // Wine's version; empty on Windows
    bool elevated = false;
    std::string settingsPath;
    std::string settingsText;           // empty: no such file
    std::vector<std::string> comPorts;  // as Windows lists them
    std::string chosenPort;
    // The ports with what Windows says of each, the box's marked, then the
    // advice given; when there are any, instead of comPorts.
    std::vector<std::string> portLines;
    bool linkUp = false;        // the simulator link is up now
    std::string simulatorName;  // the server last connected to; empty: none yet
    std::uint32_t fsuipcVersion = 0;
    std::string statistics;  // the line statistics as they stand
    std::string logLines;    // the last lines of the log, each ending in "\r\n"
};

// "0x19980005 (1.998e)": as read, and as a version number where it decodes
// (the high word's four BCD digits, the low word's build letter).
std::string FsuipcVersionText(std::uint32_t version);

// "bridge-report-20261207-201346.txt".
std::string ReportFileName(const LocalTime& now);

// The report's text, its parts under headings, with Windows line ends.
std::string AssembleReport(const ReportParts& parts);

}  // namespace bridge
