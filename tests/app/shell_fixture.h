// The application shell in a test: a bridge with its real main cycle, the
// shell's fakes, and a temporary folder standing for the executable's.
#pragma once

#include "app/fail_safe/box_line_recovery.h"
#include "tests/app/temp_folder.h"
#include "tests/support/bridge_fixture.h"
#include "tests/support/fake_box_line_control.h"
#include "tests/support/fake_message_pump.h"
#include "tests/support/fake_shell_ui.h"
#include "tests/support/fake_sim_connection.h"

namespace bridge::testing {

class ShellFixture : public BridgeFixture, protected TempFolder {
protected:
    ShellFixture() : pump(cycle, view) {
        view.reconnectEnabled = true;  // the reconnect button as the window is loaded
    }

    FakeMessagePump pump;
    FakeBoxLineControl boxLineControl;
    FakeSimConnection simLink;
    FakeShellUi ui;
    BoxLineRecovery portRecovery{boxLineControl, log, state.Link, release};
};

}  // namespace bridge::testing
