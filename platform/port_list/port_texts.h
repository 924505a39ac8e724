// The texts that name a serial port and a USB device, read and written in one
// place for the port listing and the settings file alike: "COMn" and the
// four hexadecimal digits of a vendor or product id. Header only: the
// settings file reaches this header and nothing else of the listing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// The highest COM number a port can be chosen at (the settings file keeps
// the number less one).
inline constexpr unsigned kHighestComNumber = 256;

// The number of a name "COMn" (any letter case, no leading zero), 1 to
// kHighestComNumber; 0 for any other name.
inline unsigned ComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6 || name[3] == '0') return 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if ((name[i] | 0x20) != "com"[i]) return 0;
    }
    unsigned number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') return 0;
        number = number * 10u + static_cast<unsigned>(c - '0');
    }
    return number <= kHighestComNumber ? number : 0;
}

// "COM7": the name the port is opened by and the user reads.
inline std::string ComName(unsigned number) { return "COM" + std::to_string(number); }

// Exactly four hexadecimal digits, either case: "10C4", "ea60".
inline std::optional<std::uint16_t> HexId(std::string_view digits) {
    if (digits.size() != 4) return std::nullopt;
    unsigned value = 0;
    for (const char c : digits) {
        unsigned digit = 16;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        if (digit >= 16) return std::nullopt;
        value = value * 16u + digit;
    }
    return static_cast<std::uint16_t>(value);
}

// "10C4": four upper-case digits.
inline std::string HexIdText(std::uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
    return text;
}

}  // namespace bridge
