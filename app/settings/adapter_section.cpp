#include "app/settings/adapter_section.h"

#include <array>
#include <utility>

#include "app/settings/path_text.h"
#include "app/settings/profile_file.h"
#include "platform/port_list/port_texts.h"

namespace bridge {
namespace {

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
    if (identity.portNumber == 0 || identity.portNumber > kHighestComNumber ||
        !KeepableText(identity.interfaceId) || !KeepableText(identity.serialNumber) ||
        !KeepableText(identity.instanceId)) {
        return {};
    }
    return {ComName(identity.portNumber),  HexIdText(identity.vendorId),
            HexIdText(identity.productId), identity.interfaceId,
            identity.serialNumber,         identity.instanceId,
            PresentIdsText(identity)};
}

std::optional<AdapterIdentity> FromText(const SectionText& text) {
    const unsigned port = ComNumber(text.port);
    const auto vendorId = HexId(text.vendorId);
    const auto productId = HexId(text.productId);
    if (port == 0 || !vendorId || !productId || !KeepableText(text.interfaceId) ||
        !KeepableText(text.serialNumber) || !KeepableText(text.instanceId)) {
        return std::nullopt;
    }
    AdapterIdentity identity{
        port, *vendorId, *productId, text.interfaceId, text.serialNumber, text.instanceId,
        {},   false};
    // Missing, "*" or unreadable: unknown. A list written while the port was
    // open is never empty: it holds the box's own adapter.
    if (text.presentIds.empty() || text.presentIds == kUnknownIds) return identity;
    std::size_t begin = 0;
    while (begin <= text.presentIds.size()) {
        std::size_t end = text.presentIds.find(kPresentIdSeparator, begin);
        if (end == std::string::npos) end = text.presentIds.size();
        const std::string id = text.presentIds.substr(begin, end - begin);
        if (id.empty() || !KeepableText(id)) {
            identity.presentIds.clear();
            return identity;
        }
        identity.presentIds.push_back(id);
        begin = end + 1;
    }
    identity.presentIdsKnown = true;
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
