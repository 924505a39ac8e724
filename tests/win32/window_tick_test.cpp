// Whole ticks as bridge.exe runs them allocate nothing: the real main window
// (its labels and track bars), the timer's hand-over, the serial component's
// Write on COM5 and the exchange with the simulator emulator process. The
// global operator new of this executable is replaced here, so every
// allocation on any thread is counted.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "app/win32/application_window.h"
#include "app/win32/main_form.h"
#include "core/bridge_state.h"
#include "platform/win32/sim_link_transport_win32.h"
#include "simlink/sim_link.h"
#include "tests/win32/sim_emulator_process.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace bridge::testing {
namespace {

// Four engines, both radios, the box on COM5 (the com_ports fixture's).
constexpr const char* kSettings =
    "[Setup]\r\nCommsPort=4\r\nSL30Port=1\r\nSL40Port=2\r\nEGTCHTSplit=1\r\n"
    "NumberOfEngines=4\r\n";
constexpr long kTicks = 160;  // every output of the cycle falls due at least once

// Dispatches the user-interface thread's messages until `count` more ticks
// have run (each moves TickPhase on by one, of ten), at most 30 s. Returns
// how many ran.
long RunTicks(long count) {
    long ticks = 0;
    std::uint8_t last = Bridge.TickPhase;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    MSG message;
    while (ticks < count && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const std::uint8_t now = Bridge.TickPhase;
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

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    InstallWin32SimLinkTransport();
    {
        gui::ApplicationWindow application;
        ASSERT_TRUE(application.Create());
        gui::MainForm form1(application);
        ASSERT_TRUE(form1.Create(folder, {}));
        ASSERT_TRUE(Bridge.PortOpen);
        ASSERT_TRUE(Bridge.SimLinkUp);
        ASSERT_EQ(RunTicks(3), 3);

        // As after servo commands, radio selections and an altimeter setting
        // from the box: writes and echoes go out with the ticks below.
        Bridge.BankServoEngaged = Bridge.PitchServoEngaged = true;
        Bridge.BankEchoPending = Bridge.PitchEchoPending = true;
        Bridge.AltimeterWritePending = true;
        Bridge.Nav1ActiveWrite = 0x1050;
        const long before = allocations.load();
        const long ticks = RunTicks(kTicks);
        const long during = allocations.load() - before;

        EXPECT_GE(ticks, kTicks);
        EXPECT_EQ(during, 0);
        EXPECT_TRUE(Bridge.SimLinkUp);
    }
    SimLinkClose();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace bridge::testing
