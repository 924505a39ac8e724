// The box's adapter as the bridge remembers it, to find it again wherever
// Windows numbers it: a USB adapter's vendor and product ids with the
// interface of a multi-port chip, its serial number where it has a real one,
// its instance id, and the COM number it was taken at. For an adapter without
// a serial number, the instance ids of the ports alike that were present
// when it was taken: one that was not there then has arrived since. The
// settings file keeps it (app/settings/adapter_section.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// The settings file keeps the identity's texts as they are: printable ASCII,
// no ',' (which separates the present ids), no longer than an instance id.
inline constexpr std::size_t kLongestIdentityText = 200;  // Windows' own limit for an instance id
inline constexpr char kPresentIdSeparator = ',';
inline constexpr std::size_t kLongestPresentIds = 2000;  // within what a settings value holds
inline bool KeepableText(std::string_view text) {
    if (text.size() > kLongestIdentityText) return false;
    for (const char c : text) {
        if (c <= ' ' || c > '~' || c == kPresentIdSeparator) return false;
    }
    return true;
}

struct AdapterIdentity {
    unsigned portNumber = 0;  // COMn it was taken at
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string interfaceId;   // "MI_00", FTDI's channel letter, or empty
    std::string serialNumber;  // empty: none of its own
    std::string instanceId;
    std::vector<std::string> presentIds;
    bool presentIdsKnown = true;  // false: too many to keep, so none counts as new
};

}  // namespace bridge
