// The serial port setup dialog: choosing COM1..COM16 reopens the port
// to the interface box at once.
#pragma once

#include "app/fail_safe/box_line_recovery.h"
#include "app/fail_safe/servo_release.h"
#include "app/seams/box_line_control.h"
#include "app/seams/message_display.h"
#include "app/shell/radio_group.h"
#include "state/bridge_state.h"

namespace bridge {

class PortSetupModel {
public:
    PortSetupModel(BoxLineControl& port, MessageDisplay& display, WindowLog& log,
                   ServoRelease& release, BoxLineRecovery& recovery, BridgeSettings& settings,
                   LinkControl& link);
    PortSetupModel(const PortSetupModel&) = delete;
    PortSetupModel& operator=(const PortSetupModel&) = delete;

    // Each time the dialog is shown: selects CommsPort without touching the port.
    void FormShow();

    // A new selection: releases the servos (the box on the old port commanded
    // them), closes the port, names it COM<n> and opens it. A failed open logs
    // why and shows the port message; CommsPort takes the choice either way.
    // The retries for a lost port end: the user has chosen.
    void PortGroupClick();

    // The user clicked item `index` (the GUI calls this). A new selection runs
    // PortGroupClick; the selected item does nothing, unless its port was
    // lost: then it is tried again at once (quietly, as the retries are).
    void PortGroupItemClick(int index);

    RadioGroup PortGroup;

private:
    BoxLineControl& port_;
    MessageDisplay& display_;
    WindowLog& log_;
    ServoRelease& release_;
    BoxLineRecovery& recovery_;
    BridgeSettings& settings_;
    LinkControl& link_;
    bool loading_ = false;
};

}  // namespace bridge
