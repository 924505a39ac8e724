// The main window's message boxes, play button, position field, file dialog
// and setup dialogs, and the record the shell drives, recorded.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/seams/message_display.h"
#include "app/seams/shell_dialogs.h"
#include "app/seams/shell_record.h"
#include "app/shell/arinc_playback.h"

namespace bridge::testing {

class FakeShellUi : public MessageDisplay,
                    public PlaybackView,
                    public ShellDialogs,
                    public ShellRecord {
public:
    std::vector<std::string> messages;
    std::optional<std::string> chosenFile;  // nothing: the dialog is cancelled
    std::vector<std::string> dialogFolders;
    std::string playCaption = "Play ARINC";
    std::vector<std::string> playCaptions;
    std::vector<std::string> positions;

    // What runs while a message box is shown (ticks, clicks), and the boxes
    // taken down by the program rather than by OK.
    std::function<void()> inMessage;
    int takenDown = 0;
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (inMessage) inMessage();
    }
    void TakeDownMessages() override { ++takenDown; }
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

    // What runs while a setup dialog is shown (the choices made in it).
    std::function<void()> inPortDialog;
    std::function<void()> inOperationSetup;
    void ShowPortDialog() override {
        if (inPortDialog) inPortDialog();
    }
    void ShowOperationSetup() override {
        if (inOperationSetup) inOperationSetup();
    }

    int recordTicks = 0;
    int totalsRecorded = 0;
    bool recordClosed = false;
    const char* recordFailureLine = nullptr;  // handed out once, at the next tick
    std::vector<std::pair<BridgeSettings, BridgeSettings>> setupChanges;
    const char* Tick(std::uint64_t) override {
        ++recordTicks;
        return std::exchange(recordFailureLine, nullptr);
    }
    void RecordTotals() override { ++totalsRecorded; }
    void RecordOperationSetup(const BridgeSettings& before, const BridgeSettings& after) override {
        setupChanges.emplace_back(before, after);
    }
    void Close() override { recordClosed = true; }
};

}  // namespace bridge::testing
