// The application shell in a test: a bridge with its real main cycle, the
// shell's fakes, and a temporary folder standing for the executable's.
#pragma once

#include "app/box_port_recovery.h"
#include "radio/radio_cycle.h"
#include "tests/app/temp_folder.h"
#include "tests/support/bridge_fixture.h"
#include "tests/support/fake_box_port_control.h"
#include "tests/support/fake_message_pump.h"
#include "tests/support/fake_shell_ui.h"
#include "tests/support/fake_sim_connection.h"

namespace bridge::testing {

class ShellFixture : public BridgeFixture, protected TempFolder {
protected:
    ShellFixture() : pump(cycle, view) {
        view.reconnectEnabled = true;  // Button1 as the form is loaded
    }

    // The radio port mask is computed by the radio emulation; until that is
    // in place, tests of the mask are skipped.
    static constexpr const char* kNoRadioPortMask = "the radio port mask is not computed yet";
    static bool RadioPortMaskComputed() {
        const BridgeState saved = Bridge;
        Bridge.SL30Port = 1;
        Bridge.SL40Port = 0;
        Bridge.RadioPortMask = 0;
        ComputeRadioPortMask();
        const bool computed = Bridge.RadioPortMask != 0;
        Bridge = saved;
        return computed;
    }

    FakeMessagePump pump;
    FakeBoxPortControl boxPortControl;
    FakeSimConnection simLink;
    FakeShellUi ui;
    BoxPortRecovery portRecovery{boxPortControl, view};
};

}  // namespace bridge::testing
