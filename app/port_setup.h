// The serial port setup dialog (Form15): choosing COM1..COM16 reopens the port
// to the interface box at once.
#pragma once

#include "app/box_port_control.h"
#include "app/message_display.h"
#include "app/radio_group.h"

namespace bridge {

class PortSetupModel {
public:
    PortSetupModel(BoxPortControl& port, MessageDisplay& display);
    PortSetupModel(const PortSetupModel&) = delete;
    PortSetupModel& operator=(const PortSetupModel&) = delete;

    // Each time the dialog is shown: selects CommsPort without touching the port.
    void FormShow();

    // A new selection: closes the port, names it COM<n> and opens it. A failed
    // open shows the port message; CommsPort takes the choice either way.
    void RadioGroup2Click();

    RadioGroup RadioGroup2;

private:
    BoxPortControl& port_;
    MessageDisplay& display_;
    bool loading_ = false;
};

}  // namespace bridge
