#include "app/settings/settings_file.h"

#include <array>
#include <cstdint>

#include "app/settings/path_text.h"
#include "app/settings/profile_file.h"
#include "state/bridge_state.h"

namespace bridge {
namespace {

struct SettingKey {
    const char* name;
    std::uint8_t BridgeSettings::*field;
};

// In the order they are read and written.
constexpr std::array<SettingKey, 5> kSettingKeys = {{
    {"CommsPort", &BridgeSettings::CommsPort},
    {"SL30Port", &BridgeSettings::SL30Port},
    {"SL40Port", &BridgeSettings::SL40Port},
    {"EGTCHTSplit", &BridgeSettings::EGTCHTSplit},
    {"NumberOfEngines", &BridgeSettings::NumberOfEngines},
}};

constexpr std::int64_t kIntMax = 2147483647;
constexpr std::uint64_t kUInt32Max = 0xFFFFFFFFu;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Up to 32 bits of hexadecimal digits; a 32-bit pattern with the top bit set
// stands for a negative number, as for a 32-bit integer.
std::optional<std::int64_t> ParseHex(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value * 16u + static_cast<std::uint64_t>(digit);
        if (value > kUInt32Max) return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

// A signed decimal number within the 32-bit range.
std::optional<std::int64_t> ParseDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kIntMax + 1) return std::nullopt;
    }
    if (!negative && magnitude > kIntMax) return std::nullopt;
    return negative ? -magnitude : magnitude;
}

std::optional<std::int64_t> ParseNumber(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return ParseHex(text.substr(2));
    }
    if (!text.empty() && text[0] == '$') return ParseHex(text.substr(1));
    return ParseDecimal(text);
}

}  // namespace

std::wstring ExecutableFolder(std::wstring_view executablePath) {
    const std::size_t slash = executablePath.rfind(L'\\');
    if (slash == std::wstring_view::npos) return {};
    return std::wstring(executablePath.substr(0, slash + 1));
}

std::filesystem::path SettingsFilePath(const std::filesystem::path& folder) {
    return folder / kSettingsFileName;
}

std::uint8_t SettingValue(std::string_view text) {
    const std::int64_t value = ParseNumber(text).value_or(0);
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) & 0xFFu);
}

void ReadSettings(const std::filesystem::path& path, BridgeSettings& settings) {
    for (const SettingKey& key : kSettingKeys) {
        settings.*key.field = SettingValue(ReadProfileString(path, kSettingsSection, key.name));
    }
}

std::optional<std::string> WriteSettings(const std::filesystem::path& path,
                                         const BridgeSettings& settings) {
    for (const SettingKey& key : kSettingKeys) {
        const std::string value = std::to_string(settings.*key.field);
        if (!WriteProfileString(path, kSettingsSection, key.name, value)) {
            return "Unable to write to " + PathText(path);
        }
    }
    return std::nullopt;
}

}  // namespace bridge
