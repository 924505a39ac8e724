// Program entry: the application window with the title, the main window with
// its components and dialogs, and the message loop until the main window
// closes. The simulator link is closed at the end.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>

#include "app/settings_file.h"
#include "app/win32/application_window.h"
#include "app/win32/main_form.h"
#include "platform/win32/sim_link_transport_win32.h"
#include "simlink/sim_link.h"

namespace {

std::string ExecutablePath() {
    // Long paths are not cut: the settings file must be found next to the program.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    bridge::InstallWin32SimLinkTransport();

    int exitCode = 1;
    {
        bridge::gui::ApplicationWindow application;
        if (!application.Create()) return 1;
        bridge::gui::MainForm form1(application);
        if (!form1.Create(bridge::ExecutableFolder(ExecutablePath()))) return 1;
        ShowWindow(form1.handle(), showCommand);
        exitCode = RunMessageLoop();
    }
    bridge::SimLinkClose();
    return exitCode;
}
