// The serial port setup dialog: choosing COM1..COM16 in the group, or any
// port Windows lists in the list beside it, reopens the port to the
// interface box at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/fail_safe/box_line_recovery.h"
#include "app/fail_safe/servo_release.h"
#include "app/identity/box_adapter.h"
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

    // Each time the dialog is shown: selects CommsPort without touching the
    // port (nothing when it is above COM16).
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

    // The ports Windows lists, the box's adapter marked (and one that may be
    // it), as the list shows them: when the dialog shows (after FormShow)
    // and after each listing. A port the pilot selected stays selected, else
    // the box's.
    void ShowPorts(const BoxAdapter& adapter);
    // The pilot moved the list's selection to line `index`: nothing opens.
    void PortListSelected(int index);
    // The pilot activated line `index` (a double-click, Enter, the button):
    // its port is chosen as a click in the group chooses COM1..COM16, at any
    // number; the group then shows it, or nothing above COM16. The box's own
    // port is left as it is while open, and tried at once while lost.
    void PortListActivated(int index);

    RadioGroup PortGroup;
    // For the GUI: the list's lines and the one to select (-1: none).
    std::function<void(const std::vector<std::string>& lines, int selected)> OnPortsShown;
    // After a port is chosen, in the group or in the list: its COM number.
    std::function<void(unsigned portNumber)> OnPortChosen;

private:
    void Choose(unsigned portNumber);
    void ShowInGroup(unsigned portNumber);

    BoxLineControl& port_;
    MessageDisplay& display_;
    WindowLog& log_;
    ServoRelease& release_;
    BoxLineRecovery& recovery_;
    BridgeSettings& settings_;
    LinkControl& link_;
    bool loading_ = false;
    std::vector<unsigned> listed_;  // the port of each line of the list
    unsigned selected_ = 0;         // the port the pilot selected in the list
};

}  // namespace bridge
