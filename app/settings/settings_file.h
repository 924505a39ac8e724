// The settings file VELMORA.INI: the five settings of the bridge state in
// section "Setup", read once at start-up and written once when the main
// window closes. Where the file lives is settings_location.h's business.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "state/bridge_state.h"

namespace bridge {

inline constexpr const char* kSettingsFileName = "VELMORA.INI";
inline constexpr const char* kSettingsSection = "Setup";

// The executable's path up to and including its last backslash; empty when it
// holds none. The whole path counts, however long it is. Wide, as the system
// gives it: a folder name outside the ANSI code page stays as it is.
std::wstring ExecutableFolder(std::wstring_view executablePath);

// The settings file in the given folder.
std::filesystem::path SettingsFilePath(const std::filesystem::path& folder);

// A value text as the settings hold it: "0x"/"0X" or "$" then hexadecimal,
// otherwise a signed decimal number; anything else is 0. The low 8 bits count.
std::uint8_t SettingValue(std::string_view text);

// Fills CommsPort, SL30Port, SL40Port, EGTCHTSplit and NumberOfEngines of the
// bridge state from the file; missing or malformed values become 0.
void ReadSettings(const std::filesystem::path& path, BridgeSettings& settings);

// Writes the five settings in that order. On the first failure the rest are
// not written and the result is the text to show: "Unable to write to <path>"
// (UTF-8).
[[nodiscard]] std::optional<std::string> WriteSettings(const std::filesystem::path& path,
                                                       const BridgeSettings& settings);

}  // namespace bridge
