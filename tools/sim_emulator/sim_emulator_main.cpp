// The simulator emulator: a top-level window of class "UIPCMAIN" (or
// "FS98MAIN") that answers the registered message "FsasmLib:IPC" the way the
// simulator's IPC server does, over a 64 KiB image of FSUIPC offsets moved by
// a scripted flight. See emulator_options.h for the command line and
// sim_server.h for the log format. Stop it with WM_CLOSE.
#include <windows.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sim_emulator/emulator_options.h"
#include "tools/sim_emulator/flight_script.h"
#include "tools/sim_emulator/input_panel.h"
#include "tools/sim_emulator/sim_server.h"

namespace {

using namespace simemu;

// A section kept mapped, with the name it was mapped under.
struct KeptView {
    void* view = nullptr;
    std::string name;
};

struct Emulator {
    EmulatorOptions options;
    SimServer server;
    std::optional<FlightScript> script;
    FaultPlan faults;
    SlowPlan slow;
    UINT ipcMessage = 0;
    UINT faultMessage = 0;
    UINT holdMessage = 0;
    UINT slowMessage = 0;
    FILE* log = nullptr;
    std::string logText;
    LARGE_INTEGER frequency{};
    LARGE_INTEGER lastMove{};
    std::string panelText;                      // what the shown window's panel says
    std::map<std::string, KeptView> keptViews;  // --keep-mapped(-by-name), by KeptKey
};

constexpr UINT_PTR kPanelTimer = 1;
constexpr int kPanelControl = 100;
constexpr UINT kPanelIntervalMs = 250;

Emulator* gEmulator = nullptr;  // the window procedure's view of the one emulator

void WriteLog(Emulator& e) {
    if (e.log != nullptr && !e.logText.empty()) {
        std::fwrite(e.logText.data(), 1, e.logText.size(), e.log);
        std::fflush(e.log);
    }
    e.logText.clear();
}

void MoveFlight(Emulator& e) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const double seconds = static_cast<double>(now.QuadPart - e.lastMove.QuadPart) /
                           static_cast<double>(e.frequency.QuadPart);
    e.lastMove = now;
    if (e.script) e.script->Advance(seconds);
}

// Microseconds of the performance counter, without overflowing on the way.
std::uint64_t CounterMicroseconds(const Emulator& e) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
    const auto perSecond = static_cast<std::uint64_t>(e.frequency.QuadPart);
    return ticks / perSecond * 1000000u + ticks % perSecond * 1000000u / perSecond;
}

// What a kept view is found by: the atom's number, or the name it carries.
std::string KeptKey(const Emulator& e, ATOM atom, const char* name) {
    if (e.options.keepMapped == KeptSections::ByName) return name;
    char key[16];
    std::snprintf(key, sizeof key, "atom %04X", static_cast<unsigned>(atom));
    return key;
}

// The lines that say which section an exchange was served from.
void LogSection(Emulator& e, ATOM atom, const char* name, const std::string& mappedName,
                std::uint32_t stampWrites) {
    if (e.log == nullptr) return;
    char line[600];
    const auto exchange = static_cast<unsigned>(e.server.exchanges());
    if (mappedName != name) {
        std::snprintf(line, sizeof line, "STALE %u %04X %s %s\n", exchange,
                      static_cast<unsigned>(atom), mappedName.c_str(), name);
        e.logText.append(line);
    }
    if (e.server.stampWrites() != stampWrites) {
        std::snprintf(line, sizeof line, "CLIENT %u %04X %s\n", exchange,
                      static_cast<unsigned>(atom), name);
        e.logText.append(line);
    }
}

// Carries out one exchange: the atom names the client's section. With
// --keep-mapped(-by-name) the section stays mapped (and its name in use)
// after the exchange, for as long as the emulator runs, and is served again
// when its key comes back: by atom number, a section that the atom no longer
// names is served, as servers that cache by number do.
LRESULT Exchange(Emulator& e, WPARAM wParam) {
    const auto atom = static_cast<ATOM>(wParam);
    std::string* log = e.log != nullptr ? &e.logText : nullptr;
    if (log != nullptr && e.options.logTimes) e.server.StampNextExchange(CounterMicroseconds(e));
    const Fault fault = e.faults.Next();
    // Slow but correct: the answer comes late, and is the right one.
    if (const std::uint32_t delay = e.slow.Next(GetTickCount64())) Sleep(delay);
    if (fault == Fault::NoReply || fault == Fault::BadReply) {
        const LRESULT answer = static_cast<LRESULT>(e.server.Serve({}, fault, log));
        WriteLog(e);
        // Holding the answer past the client's timeout is what a hung
        // server looks like to it.
        if (fault == Fault::NoReply) Sleep(e.options.noReplyMs);
        return answer;
    }
    char name[256];
    if (GlobalGetAtomNameA(atom, name, sizeof name) == 0) {
        e.server.Refuse("atom", fault, log);
        WriteLog(e);
        return 0;
    }
    const bool keep = e.options.keepMapped != KeptSections::None;
    const std::string key = keep ? KeptKey(e, atom, name) : std::string();
    const auto kept = keep ? e.keptViews.find(key) : e.keptViews.end();
    void* view = kept != e.keptViews.end() ? kept->second.view : nullptr;
    const std::string mappedName = kept != e.keptViews.end() ? kept->second.name : name;
    HANDLE section = nullptr;
    if (view == nullptr) {
        section = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
        if (section == nullptr) {
            e.server.Refuse("section", fault, log);
            WriteLog(e);
            return 0;
        }
        view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0);
    }
    LRESULT answer = 0;
    if (view == nullptr) {
        e.server.Refuse("view", fault, log);
    } else {
        // A client may have made its section smaller than a request block.
        MEMORY_BASIC_INFORMATION info{};
        const SIZE_T queried = VirtualQuery(view, &info, sizeof info);
        const std::size_t size =
            queried == 0 ? 0 : std::min<std::size_t>(info.RegionSize, kBlockSize);
        MoveFlight(e);
        const std::uint32_t stampWrites = e.server.stampWrites();
        answer = static_cast<LRESULT>(e.server.Serve(
            std::span<std::uint8_t>(static_cast<std::uint8_t*>(view), size), fault, log));
        LogSection(e, atom, name, mappedName, stampWrites);
        if (keep && section != nullptr) {
            e.keptViews[key] = KeptView{view, name};  // the handle stays open with it
            section = nullptr;
        } else if (section != nullptr) {
            UnmapViewOfFile(view);
        }
    }
    if (section != nullptr) CloseHandle(section);
    WriteLog(e);
    return answer;
}

LRESULT SetFault(Emulator& e, WPARAM wParam, LPARAM lParam) {
    const auto index = static_cast<std::size_t>(wParam & 0xFFu);
    if (index >= kFaultCount) return 0;
    const auto fault = static_cast<Fault>(index);
    const auto count = static_cast<std::uint32_t>(wParam >> 8);
    const auto goodFirst = static_cast<std::uint32_t>(lParam);
    e.faults.Set(fault, goodFirst, count);
    if (e.log != nullptr) {
        std::fprintf(e.log, "FAULT %s %u %u\n", FaultName(fault), static_cast<unsigned>(goodFirst),
                     static_cast<unsigned>(count));
        std::fflush(e.log);
    }
    return 1;
}

// The no-reply hold and the slow mode, given while running.
LRESULT SetHold(Emulator& e, WPARAM wParam) {
    e.options.noReplyMs = static_cast<std::uint32_t>(wParam);
    if (e.log != nullptr) {
        std::fprintf(e.log, "HOLD %u\n", static_cast<unsigned>(wParam));
        std::fflush(e.log);
    }
    return 1;
}

LRESULT SetSlow(Emulator& e, WPARAM wParam, LPARAM lParam) {
    const auto minMs = static_cast<std::uint32_t>(wParam & 0xFFFFu);
    const auto maxMs = static_cast<std::uint32_t>((wParam >> 16) & 0xFFFFu);
    const auto forMs = static_cast<std::uint32_t>(lParam);
    e.slow.Set(minMs, maxMs, forMs, GetTickCount64());
    if (e.log != nullptr) {
        std::fprintf(e.log, "SLOW %u %u %u\n", static_cast<unsigned>(minMs),
                     static_cast<unsigned>(maxMs), static_cast<unsigned>(forMs));
        std::fflush(e.log);
    }
    return 1;
}

// The shown window's text follows the image a few times a second, redrawn
// only on change; window_probe reads it as control kPanelControl.
void RefreshPanel(Emulator& e, HWND window) {
    std::string text = InputPanelText(e.server.image(), e.server.exchanges());
    if (text == e.panelText) return;
    e.panelText = std::move(text);
    HWND panel = GetDlgItem(window, kPanelControl);
    SetWindowTextA(panel, e.panelText.c_str());
    UpdateWindow(panel);
}

void CreatePanel(Emulator& e, HWND window, HINSTANCE instance) {
    RECT area;
    GetClientRect(window, &area);
    HWND panel = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 8,
                                 6, area.right - 16, area.bottom - 12, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPanelControl)),
                                 instance, nullptr);
    SendMessageA(panel, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), 0);
    RefreshPanel(e, window);
    SetTimer(window, kPanelTimer, kPanelIntervalMs, nullptr);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (gEmulator != nullptr) {
        if (message == gEmulator->ipcMessage) return Exchange(*gEmulator, wParam);
        if (message == gEmulator->faultMessage) return SetFault(*gEmulator, wParam, lParam);
        if (message == gEmulator->holdMessage) return SetHold(*gEmulator, wParam);
        if (message == gEmulator->slowMessage) return SetSlow(*gEmulator, wParam, lParam);
        if (message == WM_TIMER && wParam == kPanelTimer) {
            RefreshPanel(*gEmulator, window);
            return 0;
        }
    }
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void AnnounceReady(Emulator& e) {
    char line[160];
    std::snprintf(line, sizeof line, "READY %lu %s %08X %08X\n", GetCurrentProcessId(),
                  e.options.windowClass.c_str(), static_cast<unsigned>(e.options.version),
                  static_cast<unsigned>(e.options.simulatorWord));
    if (e.log != nullptr) {
        std::fputs(line, e.log);
        std::fflush(e.log);
    }
    std::fputs(line, stdout);
    std::fflush(stdout);
    if (!e.options.readyEvent.empty()) {
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, e.options.readyEvent.c_str());
        if (event != nullptr) {
            SetEvent(event);
            CloseHandle(event);
        }
    }
}

int Run(Emulator& e) {
    if (!e.options.logPath.empty()) {
        e.log = std::fopen(e.options.logPath.c_str(), "wb");  // "\n" line ends everywhere
        if (e.log == nullptr) {
            std::fprintf(stderr, "sim_emulator: cannot write %s\n", e.options.logPath.c_str());
            return 2;
        }
    }
    e.server.SetIdentity(e.options.version, e.options.simulatorWord);
    if (e.options.fixed) {
        WriteControlValues(ControlValues{}, e.server.image());
        WriteFlightValues(FixedFlightValues(), e.server.image());
    } else {
        e.script.emplace(e.server.image());
    }
    e.faults.Set(e.options.fault, e.options.faultAfter, e.options.faultCount);
    e.slow = SlowPlan(e.options.seed);
    e.slow.Set(e.options.slowMinMs, e.options.slowMaxMs, e.options.slowForMs, GetTickCount64());
    QueryPerformanceFrequency(&e.frequency);
    QueryPerformanceCounter(&e.lastMove);
    e.ipcMessage = RegisterWindowMessageA("FsasmLib:IPC");
    e.faultMessage = RegisterWindowMessageA("SimEmulator:Fault");
    e.holdMessage = RegisterWindowMessageA("SimEmulator:Hold");
    e.slowMessage = RegisterWindowMessageA("SimEmulator:Slow");

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = e.options.windowClass.c_str();
    if (e.ipcMessage == 0 || e.faultMessage == 0 || e.holdMessage == 0 || e.slowMessage == 0 ||
        RegisterClassA(&windowClass) == 0) {
        std::fprintf(stderr, "sim_emulator: cannot set up the window\n");
        return 2;
    }
    gEmulator = &e;
    const std::string title = "Simulator emulator (" + e.options.windowClass + ")";
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 360, e.options.show ? 190 : 120,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "sim_emulator: cannot create the window\n");
        return 2;
    }
    if (e.options.show) {
        CreatePanel(e, window, instance);
        ShowWindow(window, SW_SHOWNORMAL);
    }
    AnnounceReady(e);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    gEmulator = nullptr;
    if (e.log != nullptr) {
        std::fputs("STOP\n", e.log);
        std::fclose(e.log);
    }
    std::fputs("STOP\n", stdout);
    return 0;
}

// --stop and --send-fault: act on an emulator that is already running.
int ControlRunning(const EmulatorOptions& o) {
    HWND window = FindWindowExA(nullptr, nullptr, o.windowClass.c_str(), nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "sim_emulator: no window of class %s\n", o.windowClass.c_str());
        return 1;
    }
    if (o.sendFault) {
        const auto send = [window](const char* name, WPARAM wParam, LPARAM lParam) {
            DWORD_PTR answer = 0;
            return SendMessageTimeoutA(window, RegisterWindowMessageA(name), wParam, lParam,
                                       SMTO_NORMAL, 10000, &answer) != 0 &&
                   answer == 1;
        };
        bool sent = true;
        if (o.holdGiven) sent = send("SimEmulator:Hold", o.noReplyMs, 0);
        if (sent && o.slowGiven) {
            sent = send("SimEmulator:Slow", o.slowMinMs | (static_cast<WPARAM>(o.slowMaxMs) << 16),
                        static_cast<LPARAM>(o.slowForMs));
        }
        if (sent && (o.faultGiven || !(o.holdGiven || o.slowGiven))) {
            sent = send("SimEmulator:Fault",
                        static_cast<WPARAM>(o.fault) + (static_cast<WPARAM>(o.faultCount) << 8),
                        static_cast<LPARAM>(o.faultAfter));
        }
        return sent ? 0 : 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (process == nullptr) return 0;
    const DWORD waited = WaitForSingleObject(process, 30000);
    CloseHandle(process);
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    auto options = ParseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "sim_emulator: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options->stopRunning || options->sendFault) return ControlRunning(*options);
    static Emulator emulator;  // 64 KiB image and more: not on the stack
    emulator.options = *options;
    return Run(emulator);
}
