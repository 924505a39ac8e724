#include "app/settings/adapter_section.h"

#include <array>
#include <cstdio>
#include <utility>

#include "app/settings/path_text.h"
#include "app/settings/profile_file.h"

namespace bridge {
namespace {

constexpr unsigned kHighestPort = 256;  // CommsPort holds the number less one
constexpr const char* kUnknownIds = "*";

struct SectionText {
    std::string port, vendorId, productId, interfaceId, serialNumber, instanceId, presentIds;
};

// In the order they are read and written.
constexpr std::array<std::pair<const char*, std::string SectionText::*>, 7> kKeys = {{
    {"Port", &SectionText::port},
    {"VendorId", &SectionText::vendorId},
    {"ProductId", &SectionText::productId},
    {"Interface", &SectionText::interfaceId},
    {"SerialNumber", &SectionText::serialNumber},
    {"InstanceId", &SectionText::instanceId},
    {"PresentIds", &SectionText::presentIds},
}};

std::optional<unsigned> Digits(std::string_view text, unsigned base, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        unsigned digit = base;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        if (digit >= base) return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

std::optional<unsigned> PortNumber(std::string_view text) {
    if (text.size() < 4 || (text.substr(0, 3) != "COM" && text.substr(0, 3) != "com") ||
        text[3] == '0') {
        return std::nullopt;
    }
    const auto number = Digits(text.substr(3), 10, 3);
    if (!number || *number > kHighestPort) return std::nullopt;
    return number;
}

std::optional<std::uint16_t> Id(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    const auto value = Digits(text, 16, 4);
    if (!value) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::string IdText(std::uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
    return text;
}

std::string PresentIdsText(const AdapterIdentity& identity) {
    if (!identity.presentIdsKnown) return kUnknownIds;
    std::string text;
    for (const std::string& id : identity.presentIds) {
        if (!text.empty()) text += kPresentIdSeparator;
        text += id;
        if (!KeepableText(id) || text.size() > kLongestPresentIds) return kUnknownIds;
    }
    return text;
}

// Empty for an identity whose texts the section cannot keep.
SectionText ToText(const AdapterIdentity& identity) {
    if (identity.portNumber == 0 || identity.portNumber > kHighestPort ||
        !KeepableText(identity.interfaceId) || !KeepableText(identity.serialNumber) ||
        !KeepableText(identity.instanceId)) {
        return {};
    }
    return {"COM" + std::to_string(identity.portNumber),
            IdText(identity.vendorId),
            IdText(identity.productId),
            identity.interfaceId,
            identity.serialNumber,
            identity.instanceId,
            PresentIdsText(identity)};
}

std::optional<AdapterIdentity> FromText(const SectionText& text) {
    const auto port = PortNumber(text.port);
    const auto vendorId = Id(text.vendorId);
    const auto productId = Id(text.productId);
    if (!port || !vendorId || !productId || !KeepableText(text.interfaceId) ||
        !KeepableText(text.serialNumber) || !KeepableText(text.instanceId)) {
        return std::nullopt;
    }
    AdapterIdentity identity{
        *port,           *vendorId, *productId, text.interfaceId, text.serialNumber,
        text.instanceId, {},        true};
    if (text.presentIds == kUnknownIds) {
        identity.presentIdsKnown = false;
        return identity;
    }
    std::size_t begin = 0;
    while (begin < text.presentIds.size()) {
        std::size_t end = text.presentIds.find(kPresentIdSeparator, begin);
        if (end == std::string::npos) end = text.presentIds.size();
        if (end > begin) identity.presentIds.push_back(text.presentIds.substr(begin, end - begin));
        begin = end + 1;
    }
    return identity;
}

}  // namespace

SavedAdapter ReadAdapterSection(const std::filesystem::path& path) {
    SectionText text;
    SavedAdapter saved;
    for (const auto& [key, field] : kKeys) {
        text.*field = ReadProfileString(path, kAdapterSection, key);
        saved.inFile = saved.inFile || !(text.*field).empty();
    }
    saved.identity = FromText(text);
    return saved;
}

std::optional<std::string> WriteAdapterSection(const std::filesystem::path& path,
                                               const SavedAdapter& adapter) {
    const SectionText text = adapter.identity ? ToText(*adapter.identity) : SectionText{};
    if (text.port.empty() && !adapter.inFile) return std::nullopt;
    for (const auto& [key, field] : kKeys) {
        if (!WriteProfileString(path, kAdapterSection, key, text.*field)) {
            return "Unable to write to " + PathText(path);
        }
    }
    return std::nullopt;
}

}  // namespace bridge
