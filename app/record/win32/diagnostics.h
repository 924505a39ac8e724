// The record a pilot can send: the log file, the line totals in it at close
// and every ten minutes, the "Line statistics" window and the diagnostics
// report, reached from the main window's system menu. The main window makes
// one and hands it the components whose counts it shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/record/line_totals.h"
#include "app/record/log_file.h"
#include "app/record/win32/line_statistics_window.h"
#include "app/seams/message_display.h"
#include "app/seams/shell_record.h"
#include "boxlink/receiver.h"
#include "core/main_cycle.h"
#include "platform/serial/win32/comm.h"
#include "platform/timer/win32/threaded_timer.h"
#include "state/bridge_state.h"

namespace bridge::gui {

class Diagnostics : public ShellRecord {
public:
    // `display` shows why a report could not be saved.
    Diagnostics(TComm& comm, TThreadedTimer& timer, const MainCycle& cycle,
                const Receiver& receiver, const LinkControl& link, MessageDisplay& display);
    ~Diagnostics();  // Close
    Diagnostics(const Diagnostics&) = delete;
    Diagnostics& operator=(const Diagnostics&) = delete;

    // Opens the log file in `perUserFolder`\logs and records the start: the
    // version, Windows, Wine, elevation and the settings file.
    void Start(const std::filesystem::path& perUserFolder,
               const std::filesystem::path& settingsPath);
    // The totals line, then the log file is written out and closed.
    void Close() override;

    LogFile& Log() { return log_; }
    const LogFile& Log() const { return log_; }
    const std::filesystem::path& LogPath() const { return logPath_; }

    // Adds "Line statistics", "Save diagnostics report..." and "Open log
    // folder" to the window's system menu.
    void AddSystemMenuItems(HWND window);
    // A WM_SYSCOMMAND: true when it was one of ours.
    bool SystemCommand(HWND window, WPARAM command, int dpi);
    // Follows the main window to a new scale.
    void ApplyDpi(int dpi);

    // From each tick: a failed exchange's result code, the age of the last
    // servo command. The line for the window's log when the log file has
    // just failed (once); null otherwise.
    const char* Tick(std::uint64_t nowMs) override;
    void RecordTotals() override;

    void GatherTotals(LineTotals& totals) const;
    // The operation setup's choices, when they changed.
    void RecordOperationSetup(const BridgeSettings& before, const BridgeSettings& after) override;
    // The diagnostics report as it would be saved now.
    std::string ReportText() const;

    // The ports as Windows describes them, the box's marked, and the advice
    // given about them; without it the report names the ports alone.
    std::function<std::vector<std::string>()> PortLines;

private:
    void Gather(LineTotals& totals, LineState& state) const;
    void SaveReport(HWND owner);

    TComm& comm_;
    TThreadedTimer& timer_;
    const MainCycle& cycle_;
    const Receiver& receiver_;
    const LinkControl& link_;
    MessageDisplay& display_;
    LogFile log_;
    std::filesystem::path logFolder_;
    std::filesystem::path logPath_;
    std::filesystem::path settingsPath_;
    std::string failureLine_;
    bool closed_ = false;
    std::uint64_t exchangeFailuresSeen_ = 0;
    std::uint64_t exchangesSeen_ = 0;
    FailureRun exchangeFailures_;
    std::uint32_t servoCommandsSeen_ = 0;
    std::uint64_t lastServoCommandMs_ = 0;
    std::uint64_t nowMs_ = 0;
    LineStatisticsWindow statistics_;
};

}  // namespace bridge::gui
