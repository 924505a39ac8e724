#include "tools/sim_emulator/input_panel.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "tools/sim_emulator/flight_script.h"

namespace simemu {
namespace {

void Add(std::string& out, const char* format, ...) {
    char line[160];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0)
        out.append(line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
    out += "\r\n";
}

// A frequency as the simulator holds it: four BCD digits without the leading 1.
std::string Mhz(std::uint16_t bcd) {
    char text[16];
    std::snprintf(text, sizeof text, "1%02X.%02X", static_cast<unsigned>(bcd >> 8),
                  static_cast<unsigned>(bcd & 0xFFu));
    return text;
}

const char* Disconnected(std::uint8_t bits) {
    switch (bits & 0x03u) {
        case 0x01u: return "elevator";
        case 0x02u: return "aileron";
        case 0x03u: return "aileron, elevator";
        default: return "none";
    }
}

}  // namespace

std::string InputPanelText(const Image& m, std::uint32_t exchanges) {
    std::string out;
    Add(out, "Exchanges   %u", static_cast<unsigned>(exchanges));
    Add(out, "Aileron     %+6d   Elevator %+6d", GetI16(m, at::kAileron), GetI16(m, at::kElevator));
    Add(out, "Controls disconnected: %s", Disconnected(m[at::kDisconnect]));
    Add(out, "Bank        %+6.1f   Pitch up %+6.1f", GetF64(m, at::kBank), -GetF64(m, at::kPitch));
    Add(out, "Altimeter   %.1f hPa", GetU16(m, at::kAltimeter) / 16.0);
    const struct {
        const char* name;
        std::uint32_t active, standby;
    } radios[] = {{"NAV1", at::kNav1Active, at::kNav1Standby},
                  {"COM1", at::kCom1Active, at::kCom1Standby},
                  {"COM2", at::kCom2Active, at::kCom2Standby}};
    for (const auto& r : radios) {
        Add(out, "%s        %s   standby %s", r.name, Mhz(GetU16(m, r.active)).c_str(),
            Mhz(GetU16(m, r.standby)).c_str());
    }
    return out;
}

}  // namespace simemu
