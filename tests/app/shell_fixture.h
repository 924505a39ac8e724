// The application shell in a test: a bridge with its real main cycle, the
// shell's fakes, the shell itself (each pumped tick is the shell's, 50 ms on),
// and a temporary folder standing for the executable's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "app/box_line_port/box_line_port.h"
#include "app/shell/bridge_shell.h"
#include "tests/app/temp_folder.h"
#include "tests/support/bridge_fixture.h"
#include "tests/support/fake_box_line_control.h"
#include "tests/support/fake_message_pump.h"
#include "tests/support/fake_shell_ui.h"
#include "tests/support/fake_sim_connection.h"
#include "tests/support/port_fixtures.h"

namespace bridge::testing {

class ShellFixture : public BridgeFixture, protected TempFolder {
protected:
    ShellFixture() : pump(cycle, view) {
        view.reconnectEnabled = true;  // the reconnect button as the window is loaded
        pump.TickWith([this] { shell.Tick(nowMs += 50); });
    }

    ShellOutside Outside() { return {port, boxLineControl, simLink, view, ui, ui, pump, ui, ui}; }
    // Another shell on the same bridge, with its settings in `executableFolder`.
    std::unique_ptr<BridgeShell> MakeShell(const std::filesystem::path& executableFolder) {
        return std::make_unique<BridgeShell>(
            bridge, Outside(), SettingsLocation(executableFolder, {}), executableFolder);
    }

    std::uint64_t nowMs = 0;  // the shell's clock
    FakeMessagePump pump;
    FakeBoxLineControl boxLineControl;
    FakeSimConnection simLink;
    FakeShellUi ui;
    // For the tests of the box's port and the port dialog alone.
    FakePortListing listing;
    BoxLinePort boxPort{boxLineControl, listing, ui, log, release, state.Settings, state.Link};
    BridgeShell shell{bridge, Outside(), SettingsLocation(Folder(), {}), Folder()};
};

}  // namespace bridge::testing
