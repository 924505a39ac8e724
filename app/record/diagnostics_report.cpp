#include "app/record/diagnostics_report.h"

#include <cstdio>

namespace bridge {
namespace {

constexpr const char* kEnd = "\r\n";

void Heading(std::string& out, const char* title) {
    if (!out.empty()) out += kEnd;
    out += "== ";
    out += title;
    out += " ==";
    out += kEnd;
}

void Line(std::string& out, const std::string& text) {
    out += text;
    out += kEnd;
}

// The text as it is, with Windows line ends throughout and a last one.
void Block(std::string& out, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    if (!text.empty() && text.back() != '\n') out += kEnd;
}

}  // namespace

std::string FsuipcVersionText(std::uint32_t version) {
    char text[48];
    const unsigned high = version >> 16;
    const unsigned build = version & 0xFFFFu;
    bool bcd = true;
    for (int shift = 0; shift < 16; shift += 4) bcd = bcd && ((high >> shift) & 0xFu) <= 9;
    const unsigned long hex = version;
    if (!bcd || build > 26) {
        std::snprintf(text, sizeof text, "0x%08lX", hex);
    } else if (build == 0) {
        std::snprintf(text, sizeof text, "0x%08lX (%X.%03X)", hex, high >> 12, high & 0xFFFu);
    } else {
        std::snprintf(text, sizeof text, "0x%08lX (%X.%03X%c)", hex, high >> 12, high & 0xFFFu,
                      static_cast<char>('a' + build - 1));
    }
    return text;
}

std::string ReportFileName(const LocalTime& t) {
    char name[64];
    std::snprintf(name, sizeof name, "bridge-report-%04d%02d%02d-%02d%02d%02d.txt", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    return name;
}

std::string AssembleReport(const ReportParts& p) {
    std::string out;
    Heading(out, "Program");
    Line(out, "Dravik EFIS to Flightsim bridge, version " + p.version);
    Heading(out, "Windows");
    Line(out, p.windows);
    Line(out, p.wine.empty() ? "Not running under Wine" : "Running under Wine " + p.wine);
    Line(out, p.elevated ? "Elevated (run as administrator)" : "Not elevated");
    Heading(out, "Settings file");
    Line(out, p.settingsPath);
    if (p.settingsText.empty()) {
        Line(out, "(no settings file there)");
    } else {
        Block(out, p.settingsText);
    }
    Heading(out, "COM ports");
    if (p.comPorts.empty() && p.portLines.empty()) Line(out, "(Windows lists none)");
    for (const std::string& line : p.portLines) Line(out, line);
    if (p.portLines.empty()) {
        for (const std::string& port : p.comPorts) {
            Line(out, port + (port == p.chosenPort ? "  <- the box's port" : ""));
        }
    }
    if (!p.chosenPort.empty()) Line(out, "Chosen: " + p.chosenPort);
    Heading(out, "Simulator");
    const std::string version = "FSUIPC version " + FsuipcVersionText(p.fsuipcVersion);
    if (p.linkUp && !p.simulatorName.empty()) {
        Line(out, "Connected to " + p.simulatorName);
        Line(out, version);
    } else {
        Line(out, "Not connected");
        if (!p.simulatorName.empty())
            Line(out, "Last connected to " + p.simulatorName + ", " + version);
    }
    Heading(out, "Line statistics");
    Block(out, p.statistics);
    Heading(out, "Last log lines");
    Block(out, p.logLines);
    return out;
}

}  // namespace bridge
