// Program entry: one bridge per program folder, the application window with
// the title, the main window with its components and dialogs, and the message
// loop until the main window closes. The simulator link is closed at the end.
#include <windows.h>
#include <commctrl.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "app/settings/settings_file.h"
#include "app/shell/shell_texts.h"
#include "app/win32/application_window.h"
#include "app/win32/main_form.h"
#include "app/win32/single_instance.h"
#include "platform/timer/win32/power_throttling.h"
#include "platform/window_thread/win32/ui_pump.h"
#include "simlink/sim_link.h"
#include "simlink/win32/sim_link_transport_win32.h"

namespace {

// How boxComm_ waits on the box's port: the build's BRIDGE_COMM_WAIT (Auto, Events or Read).
#ifndef BRIDGE_COMM_WAIT
#define BRIDGE_COMM_WAIT Auto
#endif
constexpr bridge::CommWaitChoice kCommWait = bridge::CommWaitChoice::BRIDGE_COMM_WAIT;

// Wide, so that a folder name outside the ANSI code page is kept; and not cut
// however long: the settings file must be found next to the program.
std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// %LOCALAPPDATA%\<application title>: where the settings go when the
// executable's folder cannot be written. Empty when the system names none.
std::filesystem::path PerUserFolder() {
    PWSTR localAppData = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &localAppData))) {
        folder = std::filesystem::path(localAppData) / bridge::kApplicationTitle;
    }
    CoTaskMemFree(localAppData);
    return folder;
}

int RunMessageLoop() {
    using bridge::PumpTurn;
    for (;;) {
        const PumpTurn turn = bridge::PumpOnce(bridge::PumpScope::All, INFINITE);
        if (turn.ended == PumpTurn::Ended::Quit) return turn.quitCode;
        if (turn.ended == PumpTurn::Ended::Failed) return 1;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    const std::wstring executable = ExecutablePath();
    const bridge::gui::SingleInstance instance(
        std::filesystem::path(executable).parent_path().wstring());
    if (instance.AnotherRuns()) {
        instance.BringOtherForward();
        return 0;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    bridge::OptOutOfPowerThrottling();
    bridge::InstallWin32SimLinkTransport();

    int exitCode = 1;
    {
        bridge::gui::ApplicationWindow application;
        if (!application.Create()) return 1;
        application.AnswerActivation(bridge::gui::SingleInstance::ActivateMessage(),
                                     instance.Tag());
        std::optional<bridge::gui::MainForm> mainWindow;
        try {
            mainWindow.emplace(application, kCommWait, bridge::ExecutableFolder(executable),
                               PerUserFolder());
        } catch (const std::exception& e) {
            // A component that cannot run (the timer's thread was refused).
            bridge::gui::ShowPlainMessage(e.what());
            return 1;
        }
        if (!mainWindow->Create()) return 1;
        ShowWindow(mainWindow->handle(), showCommand);
        exitCode = RunMessageLoop();
    }
    bridge::SimLinkClose();
    return exitCode;
}
