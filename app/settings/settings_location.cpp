#include "app/settings/settings_location.h"

#include <fstream>
#include <system_error>
#include <utility>

#include "app/settings/settings_file.h"

namespace bridge {

bool FolderWritable(const std::filesystem::path& folder) {
    const std::filesystem::path probe = folder / "VELMORA.INI.write-test";
    {
        std::ofstream file(probe, std::ios::binary | std::ios::trunc);
        if (!file.is_open()) return false;
    }
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return true;
}

SettingsLocation::SettingsLocation(std::filesystem::path executableFolder,
                                   std::filesystem::path perUserFolder, FolderProbe folderWritable)
    : executableFolder_(std::move(executableFolder)),
      perUserFolder_(std::move(perUserFolder)),
      folderWritable_(folderWritable) {}

bool SettingsLocation::UsePerUserFolder() const {
    return !perUserFolder_.empty() && !folderWritable_(executableFolder_);
}

std::filesystem::path SettingsLocation::ReadPath() const {
    // The folder is probed only when there is a per-user file to choose.
    const std::filesystem::path perUser = SettingsFilePath(perUserFolder_);
    std::error_code ignored;
    if (!perUserFolder_.empty() && std::filesystem::exists(perUser, ignored) &&
        UsePerUserFolder()) {
        return perUser;
    }
    return SettingsFilePath(executableFolder_);
}

void SettingsLocation::Read(BridgeSettings& settings) const { ReadSettings(ReadPath(), settings); }

std::filesystem::path SettingsLocation::WritePath() const {
    if (!UsePerUserFolder()) return SettingsFilePath(executableFolder_);
    std::error_code failed;  // a folder that cannot be made fails the write that follows
    std::filesystem::create_directories(perUserFolder_, failed);
    return SettingsFilePath(perUserFolder_);
}

std::optional<std::string> SettingsLocation::Write(const BridgeSettings& settings) const {
    return WriteSettings(WritePath(), settings);
}

SavedAdapter SettingsLocation::ReadAdapter() const { return ReadAdapterSection(ReadPath()); }

std::optional<std::string> SettingsLocation::Write(const BridgeSettings& settings,
                                                   const SavedAdapter& adapter) const {
    const std::filesystem::path path = WritePath();
    if (auto failed = WriteSettings(path, settings)) return failed;
    return WriteAdapterSection(path, adapter);
}

}  // namespace bridge
