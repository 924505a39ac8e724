// Whole ticks as bridge.exe runs them allocate nothing, with either way of
// waiting on the port: the real main window (its labels and track bars), the
// timer's hand-over, the serial component's Write on COM5 and the exchange
// with the simulator emulator process, with the log file written and the
// line statistics window open and refreshing. Every allocation on any thread is
// counted. COM6, the far end of the line, is read all along, so no frame is
// left waiting for the next test of the pair.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/record/win32/record_ids.h"
#include "app/win32/application_window.h"
#include "app/win32/control_ids.h"
#include "app/win32/main_form.h"
#include "platform/serial/win32/port_wait_choice.h"
#include "simlink/sim_link.h"
#include "simlink/win32/sim_link_transport_win32.h"
#include "state/bridge_state.h"
#include "tests/support/allocation_count.h"
#include "tests/win32/sim_emulator_process.h"

namespace bridge::testing {
namespace {

// Four engines, both radios, the box on COM5 (the com_ports fixture's).
constexpr const char* kSettings =
    "[Setup]\r\nCommsPort=4\r\nSL30Port=1\r\nSL40Port=2\r\nEGTCHTSplit=1\r\n"
    "NumberOfEngines=4\r\n";
constexpr long kTicks = 160;  // every output of the cycle falls due at least once

// Reads the far end of the line into one buffer until stopped and the line
// has gone quiet; allocates nothing while it runs.
class LineDrain {
public:
    LineDrain()
        : port_(CreateFileA("\\\\.\\COM6", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
        if (port_ == INVALID_HANDLE_VALUE) return;
        COMMTIMEOUTS timeouts = {MAXDWORD, MAXDWORD, 100, 0, 0};  // each read: what came, or 0.1 s
        SetCommTimeouts(port_, &timeouts);
        reader_ = std::thread([this] { Run(); });
    }
    ~LineDrain() { Stop(); }
    bool IsOpen() const { return port_ != INVALID_HANDLE_VALUE; }

    // Bytes read in all, once the line has been quiet for two reads.
    std::uint64_t Stop() {
        stopping_ = true;
        if (reader_.joinable()) reader_.join();
        if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
        return bytes_;
    }

private:
    void Run() {
        static std::uint8_t buffer[4096];
        int quietReads = 0;
        while (!stopping_ || quietReads < 2) {
            DWORD got = 0;
            if (!ReadFile(port_, buffer, sizeof buffer, &got, nullptr)) break;
            bytes_ += got;
            quietReads = got == 0 ? quietReads + 1 : 0;
        }
    }

    HANDLE port_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> bytes_{0};
    std::thread reader_;
};

// Dispatches the user-interface thread's messages until `count` more ticks
// have run (each moves TickPhase on by one, of ten), at most 30 s. Returns
// how many ran.
long RunTicks(const BridgeState& state, long count) {
    long ticks = 0;
    std::uint8_t last = state.Counters.TickPhase;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    MSG message;
    while (ticks < count && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const std::uint8_t now = state.Counters.TickPhase;
        ticks += (now + 10 - last) % 10;
        last = now;
    }
    return ticks;
}

TEST(WindowTick, WholeTicksThroughTheMainWindowAllocateNothing) {
    ASSERT_NE(std::getenv("BRIDGE_COM_PORTS_DIR"), nullptr) << "needs the com_ports fixture";
    SimEmulatorProcess simulator;
    ASSERT_TRUE(simulator.Start("--fixed"));
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("bridge-window-tick-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "VELMORA.INI", std::ios::binary) << kSettings;

    LineDrain farEnd;
    ASSERT_TRUE(farEnd.IsOpen());
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    InstallWin32SimLinkTransport();
    for (const CommWaitChoice wait : {CommWaitChoice::Events, CommWaitChoice::Read}) {
        SCOPED_TRACE(wait == CommWaitChoice::Events ? "event wait" : "read wait");
        gui::ApplicationWindow application;
        ASSERT_TRUE(application.Create());
        const std::filesystem::path perUser = folder / (wait == CommWaitChoice::Events ? "e" : "r");
        gui::MainForm mainWindow(application, wait, folder, perUser);
        ASSERT_TRUE(mainWindow.Create());
        BridgeState& state = mainWindow.State();
        ASSERT_TRUE(state.Link.PortOpen);
        ASSERT_TRUE(state.Link.SimLinkUp);
        SendMessageA(mainWindow.handle(), WM_SYSCOMMAND, gui::ids::kLineStatisticsCommand, 0);
        HWND statistics = FindWindowA(gui::ids::kLineStatisticsClass, "Line statistics");
        ASSERT_TRUE(statistics != nullptr && IsWindowVisible(statistics));
        ASSERT_EQ(RunTicks(state, 3), 3);

        // As after servo commands, radio selections and an altimeter setting
        // from the box: writes and echoes go out with the ticks below.
        state.Servos.BankServoEngaged = state.Servos.PitchServoEngaged = true;
        state.Servos.BankEchoPending = state.Servos.PitchEchoPending = true;
        state.Altimeter.AltimeterWritePending = true;
        state.RadioWrites.Nav1ActiveWrite = 0x1050;
        const long before = AllocationCount();
        const long ticks = RunTicks(state, kTicks);
        const long during = AllocationCount() - before;

        EXPECT_GE(ticks, kTicks);
        EXPECT_EQ(during, 0);
        EXPECT_TRUE(state.Link.SimLinkUp);
        EXPECT_FALSE(mainWindow.diagnostics().Log().Failed());
        // The report as it would be saved: each of its parts.
        const std::string report = mainWindow.diagnostics().ReportText();
        for (const char* part :
             {"== Program ==", "Windows ", "Running under Wine", "elevated",
              "VELMORA.INI\r\n[Setup]\r\nCommsPort=4", "== COM ports ==\r\n", "Chosen: COM5",
              "Connected to FS2004\r\nFSUIPC version 0x", "Port COM5: open", "Line totals: sent ",
              "== Last log lines ==", " Connected to FS2004\r\n"}) {
            EXPECT_NE(report.find(part), std::string::npos) << part << " in\n" << report;
        }
        SimLinkClose();
    }
    EXPECT_GT(farEnd.Stop(), static_cast<std::uint64_t>(kTicks) * 28);  // an attitude frame a tick
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace bridge::testing
