// The serial port setup dialog: choosing COM1..COM16 in the group, or any
// port Windows lists in the list beside it, opens the port to the interface
// box at once (the box's port does it: app/box_line_port).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/box_line_port/box_line_port.h"
#include "app/shell/radio_group.h"

namespace bridge {

class PortSetupModel {
public:
    explicit PortSetupModel(BoxLinePort& boxPort);
    PortSetupModel(const PortSetupModel&) = delete;
    PortSetupModel& operator=(const PortSetupModel&) = delete;

    // Each time the dialog is shown: selects the box's port without touching
    // it (nothing when it is above COM16).
    void FormShow();

    // A new selection in the group chooses its port.
    void PortGroupClick();

    // The user clicked the group's item `item` (the GUI calls this): its
    // port is chosen, whether the item was selected or not (a pilot who
    // replaced the adapter at the same number takes the new one with one
    // click).
    void PortGroupItemClick(int item);

    // The ports Windows lists, the box's adapter marked (and ones that may be
    // it, or look like it), as the list shows them: when the dialog shows
    // (after FormShow) and after each listing. A port the pilot selected
    // stays selected, else the box's.
    void ShowPorts();
    // The pilot moved the list's selection to line `index`: nothing opens.
    void PortListSelected(int index);
    // The pilot activated line `index` (a double-click, Enter, the button):
    // its port is chosen as a click in the group chooses COM1..COM16, at any
    // number; the group then shows it, or nothing above COM16.
    void PortListActivated(int index);

    RadioGroup PortGroup;
    // For the GUI: the list's lines and the one to select (-1: none).
    std::function<void(const std::vector<std::string>& lines, int selected)> OnPortsShown;

private:
    void ShowInGroup(unsigned number);

    BoxLinePort& boxPort_;
    bool loading_ = false;
    std::vector<unsigned> listed_;  // the port of each line of the list
    unsigned selected_ = 0;         // the port the pilot selected in the list
};

}  // namespace bridge
