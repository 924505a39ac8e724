// The main window's message boxes, play button, position field and file
// dialog, recorded.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/seams/message_display.h"
#include "app/shell/arinc_playback.h"

namespace bridge::testing {

class FakeShellUi : public MessageDisplay, public PlaybackView {
public:
    std::vector<std::string> messages;
    std::optional<std::string> chosenFile;  // nothing: the dialog is cancelled
    std::vector<std::string> dialogFolders;
    std::string playCaption = "Play ARINC";
    std::vector<std::string> playCaptions;
    std::vector<std::string> positions;

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::optional<std::filesystem::path> ChooseFile(
        const std::filesystem::path& initialFolder) override {
        dialogFolders.push_back(initialFolder.string());
        if (!chosenFile) return std::nullopt;
        return std::filesystem::path(*chosenFile);
    }
    void SetPlayCaption(const char* caption) override {
        playCaption = caption;
        playCaptions.emplace_back(caption);
    }
    void SetPositionText(const char* text) override { positions.emplace_back(text); }
};

}  // namespace bridge::testing
