#include "platform/port_list/instance_id.h"

#include <cstddef>

#include "platform/port_list/port_texts.h"

namespace bridge {
namespace {

constexpr std::size_t kPlaceholderMaxLength = 4;

// Serial numbers that chips of many devices report alike: counterfeit FTDI
// chips carry A50285BI.
constexpr std::string_view kSharedSerialNumbers[] = {"A50285BI"};

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameIdText(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char upper = UpperAscii(c);
    if (upper >= 'A' && upper <= 'F') return upper - 'A' + 10;
    return -1;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

// One token of a device id: VID_xxxx, PID_xxxx or MI_xx.
void ReadToken(std::string_view token, InstanceIdFacts& facts) {
    if (StartsWith(token, "VID_") && !facts.vendorId) facts.vendorId = HexId(token.substr(4));
    if (StartsWith(token, "PID_") && !facts.productId) facts.productId = HexId(token.substr(4));
    if (StartsWith(token, "MI_") && token.size() == 5 && HexDigit(token[3]) >= 0 &&
        HexDigit(token[4]) >= 0 && facts.interfaceId.empty()) {
        facts.interfaceId = Upper(token);
    }
}

// "VID_0403+PID_6001+A50285BIA": after the ids, the serial number with the
// channel letter appended; a device without a serial number has a part
// Windows made up (with '&') and no channel.
void ReadFtdiDeviceId(std::string_view deviceId, InstanceIdFacts& facts) {
    std::size_t begin = 0;
    for (int i = 0; i < 2; ++i) {
        const std::size_t plus = deviceId.find('+', begin);
        ReadToken(deviceId.substr(begin, plus == std::string_view::npos ? plus : plus - begin),
                  facts);
        if (plus == std::string_view::npos) return;
        begin = plus + 1;
    }
    const std::string_view rest = deviceId.substr(begin);
    if (rest.size() < 2 || rest.find('&') != std::string_view::npos) return;
    const char channel = UpperAscii(rest.back());
    if (channel < 'A' || channel > 'D') return;
    facts.interfaceId = std::string(1, channel);
    const std::string_view serial = rest.substr(0, rest.size() - 1);
    if (IsRealSerialNumber(serial)) {
        facts.serialNumber = std::string(serial);
    } else {
        facts.sharedSerialNumber = true;
    }
}

}  // namespace

bool IsRealSerialNumber(std::string_view part) {
    if (part.size() <= kPlaceholderMaxLength || part.find('&') != std::string_view::npos) {
        return false;
    }
    for (const std::string_view shared : kSharedSerialNumbers) {
        if (SameIdText(part, shared)) return false;
    }
    return part.find_first_not_of(part.front()) != std::string_view::npos &&
           part.find_first_not_of('0') != std::string_view::npos;
}

bool SameIdText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

bool IsFtdiEnumerator(std::string_view enumerator) { return SameIdText(enumerator, "FTDIBUS"); }

bool IsBluetoothEnumerator(std::string_view enumerator) { return StartsWith(enumerator, "BTH"); }

InstanceIdFacts ParseInstanceId(std::string_view id) {
    InstanceIdFacts facts;
    const std::size_t first = id.find('\\');
    facts.enumerator = std::string(id.substr(0, first));
    if (first == std::string_view::npos) return facts;
    const std::size_t last = id.rfind('\\');
    std::string_view deviceId = id.substr(first + 1);
    if (last != first) {
        deviceId = id.substr(first + 1, last - first - 1);
        facts.lastPart = std::string(id.substr(last + 1));
    }
    if (IsFtdiEnumerator(facts.enumerator)) {
        ReadFtdiDeviceId(deviceId, facts);
        return facts;
    }
    std::size_t begin = 0;
    for (;;) {
        const std::size_t amp = deviceId.find('&', begin);
        ReadToken(deviceId.substr(begin, amp == std::string_view::npos ? amp : amp - begin), facts);
        if (amp == std::string_view::npos) break;
        begin = amp + 1;
    }
    if (facts.vendorId && facts.productId && !facts.lastPart.empty() &&
        facts.lastPart.find('&') == std::string::npos) {
        if (IsRealSerialNumber(facts.lastPart)) {
            facts.serialNumber = facts.lastPart;
        } else {
            facts.sharedSerialNumber = true;
        }
    }
    return facts;
}

}  // namespace bridge
