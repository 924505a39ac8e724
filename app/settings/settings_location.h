// Where the settings file lives. Next to the executable, where it always has,
// when the program may write that folder. Installed under Program Files, or
// kept out by Controlled Folder Access, it may not (a 64-bit program gets no
// file virtualisation): then the settings live in a per-user folder, and a
// file shipped next to the executable is read until the per-user one exists.
// Reading and writing choose by the same test, so what was written is what is
// read at the next start.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "app/settings/adapter_section.h"
#include "state/bridge_state.h"

namespace bridge {

// Whether a file can be created in the folder (it is created and removed).
bool FolderWritable(const std::filesystem::path& folder);

class SettingsLocation {
public:
    using FolderProbe = bool (*)(const std::filesystem::path& folder);

    // perUserFolder may be empty (none known): the executable's folder only.
    SettingsLocation(std::filesystem::path executableFolder, std::filesystem::path perUserFolder,
                     FolderProbe folderWritable = &FolderWritable);

    // The per-user file when it exists and the executable's folder cannot be
    // written; else the file next to the executable.
    std::filesystem::path ReadPath() const;

    // Reads the five settings from ReadPath().
    void Read(BridgeSettings& settings) const;
    // Writes them next to the executable when its folder can be written, else
    // to the per-user file, creating its folder when needed. On failure the
    // text to show, "Unable to write to <path>".
    [[nodiscard]] std::optional<std::string> Write(const BridgeSettings& settings) const;

    // The box's adapter from ReadPath().
    SavedAdapter ReadAdapter() const;
    // The five settings, then the box's adapter, into the file Write chooses.
    [[nodiscard]] std::optional<std::string> Write(const BridgeSettings& settings,
                                                   const SavedAdapter& adapter) const;

private:
    bool UsePerUserFolder() const;
    std::filesystem::path WritePath() const;

    std::filesystem::path executableFolder_;
    std::filesystem::path perUserFolder_;
    FolderProbe folderWritable_;
};

}  // namespace bridge
