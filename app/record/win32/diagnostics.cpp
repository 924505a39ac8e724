#include "app/record/win32/diagnostics.h"

#include <commdlg.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/record/diagnostics_report.h"
#include "app/record/win32/log_file_win32.h"
#include "app/record/win32/record_ids.h"
#include "app/record/win32/system_info.h"
#include "app/settings/path_text.h"
#include "app/shell/shell_texts.h"
#include "bridge_version.h"
#include "platform/serial/win32/overlapped_transfer.h"
#include "platform/system/win32/wine.h"
#include "simlink/sim_link.h"

namespace bridge::gui {
namespace {

constexpr const char* kExchange = "An exchange with the simulator";

const char* PortStateText(PortState state) {
    switch (state) {
        case PortState::Open: return "open";
        case PortState::Closing: return "closing";
        case PortState::Lost: return "lost, trying to reopen it";
        case PortState::Closed: break;
    }
    return "not open";
}

std::filesystem::path DesktopFolder() {
    PWSTR desktop = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop))) folder = desktop;
    CoTaskMemFree(desktop);
    return folder;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

Diagnostics::Diagnostics(TComm& comm, TThreadedTimer& timer, const MainCycle& cycle,
                         const Receiver& receiver, const LinkControl& link, MessageDisplay& display)
    : comm_(comm),
      timer_(timer),
      cycle_(cycle),
      receiver_(receiver),
      link_(link),
      display_(display),
      log_(&LocalNow),
      statistics_([this](LineTotals& totals, LineState& state) { Gather(totals, state); }) {}

Diagnostics::~Diagnostics() { Close(); }

void Diagnostics::Start(const std::filesystem::path& perUserFolder,
                        const std::filesystem::path& settingsPath) {
    settingsPath_ = settingsPath;
    logFolder_ = LogFolder(perUserFolder);
    if (!logFolder_.empty()) {
        logPath_ = logFolder_ / LogFileName(LocalNow(), GetCurrentProcessId());
    }
    log_.Start(OpenLogFile(logFolder_, logPath_));
    failureLine_ =
        "Cannot write the log file " + PathText(logPath_.empty() ? logFolder_ : logPath_);

    const std::string wine = WineVersion();
    log_.Record(std::string(kApplicationTitle) + " version " + BRIDGE_VERSION_TEXT + " started");
    log_.Record(WindowsVersionText() +
                (wine.empty() ? ", not under Wine" : ", under Wine " + wine) +
                (IsElevated() ? ", elevated (as administrator)" : ", not elevated"));
    log_.Record("Settings file: " + PathText(settingsPath));
}

void Diagnostics::Close() {
    if (closed_) return;
    closed_ = true;
    RecordTotals();
    log_.Stop();
}

void Diagnostics::AddSystemMenuItems(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu == nullptr) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, ids::kLineStatisticsCommand, "Line statistics");
    AppendMenuA(menu, MF_STRING, ids::kSaveReportCommand, "Save diagnostics report...");
    AppendMenuA(menu, MF_STRING, ids::kOpenLogFolderCommand, "Open log folder");
}

bool Diagnostics::SystemCommand(HWND window, WPARAM command, int dpi) {
    switch (command & 0xFFF0) {
        case ids::kLineStatisticsCommand:
            if (statistics_.handle() == nullptr && !statistics_.Create(window)) return true;
            statistics_.Show(dpi);
            return true;
        case ids::kSaveReportCommand: SaveReport(window); return true;
        case ids::kOpenLogFolderCommand: {
            std::error_code ignored;
            std::filesystem::create_directories(logFolder_, ignored);
            ShellExecuteW(window, L"open", logFolder_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            return true;
        }
        default: return false;
    }
}

void Diagnostics::ApplyDpi(int dpi) {
    if (statistics_.handle() != nullptr) statistics_.ApplyDpi(dpi, nullptr);
}

const char* Diagnostics::Tick(std::uint64_t nowMs) {
    nowMs_ = nowMs;
    // The window's log says "FlightSim problem: " and the text; the file
    // gets the result code, repeats summarised.
    const ExchangeCounts& exchanges = ProcessSimLinkClient().Counts();
    if (exchanges.Failures() != exchangeFailuresSeen_) {
        exchangeFailuresSeen_ = exchanges.Failures();
        const auto code = static_cast<SimLinkResult>(exchanges.LastFailure());
        log_.RecordFailure(exchangeFailures_, kExchange, static_cast<std::int32_t>(code),
                           SimLinkResultText(code));
    } else if (exchanges.Exchanges() != exchangesSeen_) {
        log_.RecordSuccess(exchangeFailures_, kExchange);
    }
    exchangesSeen_ = exchanges.Exchanges();
    const std::uint32_t servo = receiver_.Counts().servoCommands;
    if (servo != servoCommandsSeen_) {
        servoCommandsSeen_ = servo;
        lastServoCommandMs_ = nowMs;
    }
    return log_.TakeWriteFailure() ? failureLine_.c_str() : nullptr;
}

void Diagnostics::GatherTotals(LineTotals& t) const {
    for (std::size_t k = 0; k < kSentFrameKinds; ++k) {
        t.sent[k] = comm_.Written(static_cast<std::uint8_t>(k));
    }
    t.bytesSent = comm_.BytesWritten();
    t.refusedWrites = comm_.RefusedWrites();
    t.framesTooLong = cycle_.Sender().FramesTooLong();
    const ReceiveCounts& received = receiver_.Counts();
    t.servoCommands = received.servoCommands;
    t.boxCommands = received.boxCommands;
    t.badFrames = received.badFrames;
    t.strayBytes = received.strayBytes;
    const LineErrorCounts& errors = comm_.LineErrors();
    t.framingErrors = errors.framing;
    t.parityErrors = errors.parity;
    t.overrunErrors = errors.overrun;
    const ExchangeCounts& exchanges = ProcessSimLinkClient().Counts();
    t.exchanges = exchanges.Exchanges();
    t.exchangeFailures = exchanges.Failures();
    t.requestsNotQueued = cycle_.Requests().RequestsNotQueued();
    t.missedTicks = timer_.MissedTicks();
    t.lateTicks = timer_.LateTicks();
    t.abandonedTransfers = AbandonedTransfers();
    t.droppedLogLines = log_.DroppedLines();
}

void Diagnostics::Gather(LineTotals& totals, LineState& state) const {
    GatherTotals(totals);
    state.portName = comm_.DeviceName().c_str();
    state.portState = PortStateText(comm_.State());
    state.servoCommandAgeMs =
        lastServoCommandMs_ == 0 ? -1 : static_cast<std::int64_t>(nowMs_ - lastServoCommandMs_);
    const ExchangeTimeSummary times =
        ProcessSimLinkClient().Counts().LastMinute(SteadyMicroseconds());
    state.exchangesTimed = times.count;
    state.exchangeMedianUs = times.medianUs;
    state.exchangeLongestUs = times.longestUs;
}

void Diagnostics::RecordOperationSetup(const BridgeSettings& before, const BridgeSettings& after) {
    if (before.NumberOfEngines == after.NumberOfEngines &&
        before.EGTCHTSplit == after.EGTCHTSplit && before.SL30Port == after.SL30Port &&
        before.SL40Port == after.SL40Port) {
        return;
    }
    std::array<char, LogFile::kLineSize> line;
    std::snprintf(line.data(), line.size(),
                  "Operation setup: %u engines, EGT/CHT split %u, SL30 on box port %u, SL40 on "
                  "box port %u",
                  after.NumberOfEngines, after.EGTCHTSplit, after.SL30Port, after.SL40Port);
    log_.Record(line.data());
}

void Diagnostics::RecordTotals() {
    LineTotals totals{};
    GatherTotals(totals);
    std::array<char, LogFile::kLineSize> line;
    FormatTotalsLine(totals, line.data(), line.size());
    log_.Record(line.data());
}

std::string Diagnostics::ReportText() const {
    ReportParts parts;
    parts.version = BRIDGE_VERSION_TEXT;
    parts.windows = WindowsVersionText();
    parts.wine = WineVersion();
    parts.elevated = IsElevated();
    parts.settingsPath = PathText(settingsPath_);
    parts.settingsText = FileText(settingsPath_);
    parts.comPorts = ListedComPorts();
    if (PortLines) parts.portLines = PortLines();
    parts.chosenPort = comm_.DeviceName();
    parts.linkUp = link_.SimLinkUp;
    if (SimLinkServerVersion() != 0) {
        parts.simulatorName = SimulatorName(SimLinkSimulatorId());
        parts.fsuipcVersion = SimLinkServerVersion();
    }
    LineTotals totals{};
    LineState state{};
    Gather(totals, state);
    std::array<char, 4096> statistics;
    FormatLineStatistics(totals, totals, 0.0, state, statistics.data(), statistics.size());
    std::array<char, LogFile::kLineSize> line;
    FormatTotalsLine(totals, line.data(), line.size());
    parts.statistics = std::string(statistics.data()) + "\r\n" + line.data();
    parts.logLines = log_.History();
    return AssembleReport(parts);
}

// A save dialog on the Desktop with a dated name; the cycle runs on while
// it is open, as in the other dialogs.
void Diagnostics::SaveReport(HWND owner) {
    std::array<wchar_t, 32768> path{};
    const std::wstring name = std::filesystem::path(ReportFileName(LocalNow())).wstring();
    name.copy(path.data(), path.size() - 1);
    const std::wstring folder = DesktopFolder().wstring();
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files\0*.*\0";
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrDefExt = L"txt";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&dialog)) return;
    const std::filesystem::path chosen(path.data());
    const std::string report = ReportText();
    std::ofstream file(chosen, std::ios::binary | std::ios::trunc);
    file.write(report.data(), static_cast<std::streamsize>(report.size()));
    file.close();
    if (!file) {
        display_.ShowMessage("Unable to write to " + PathText(chosen));
        return;
    }
    log_.Record("Saved a diagnostics report to " + PathText(chosen));
}

}  // namespace bridge::gui
