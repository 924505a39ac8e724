// The main window's start-up, simulator connection and orderly stop (class TForm1).
// The GUI owns the controls and calls these handlers; everything here runs on
// the user-interface thread, with ticks of the main cycle possibly nested
// wherever messages are dispatched.
#pragma once

#include <string>

#include "app/fail_safe/servo_release.h"
#include "app/seams/box_line_control.h"
#include "app/seams/message_display.h"
#include "app/seams/message_pump.h"
#include "app/seams/sim_link_connection.h"
#include "app/settings/settings_location.h"
#include "core/bridge_view.h"
#include "state/bridge_state.h"

namespace bridge {

// The log line that follows a failed connect when the simulator's messages
// were blocked (system error 5): a simulator run as administrator does not
// take messages from a program that is not. Null for other failures.
const char* ConnectFailureHint(SimLinkResult result, std::uint32_t lastSendError);

// The state's groups the start-up and the close work on.
struct MainWindowGroups {
    BridgeSettings& Settings;
    LinkControl& Link;
    EngineState& Engines;      // the engine address base
    BoxPortRouting& BoxPorts;  // the radio port mask

    static MainWindowGroups Of(BridgeState& s) {
        return {s.Settings, s.Link, s.Engines, s.BoxPorts};
    }
};

class MainWindowModel {
public:
    MainWindowModel(MainWindowGroups state, BoxLineControl& port, SimLinkConnection& simLink,
                    BridgeView& view, WindowLog& log, ServoRelease& release,
                    MessageDisplay& display, MessagePump& pump, SettingsLocation settings);
    MainWindowModel(const MainWindowModel&) = delete;
    MainWindowModel& operator=(const MainWindowModel&) = delete;

    // Reads the settings, opens COM<CommsPort + 1> at 115200 baud (a failure
    // shows the port message and start-up goes on), connects to the simulator,
    // and sets the engine address base and the radio port mask.
    void FormCreate();

    // The reconnect button.
    void ReconnectClick();

    // Connects or reconnects to the simulator and logs the outcome; the
    // reconnect button is enabled while the link is down.
    void ConnectToSimulator();
    // The same, logging only a success: an automatic try. Returns the result.
    SimLinkResult TryConnect();

    // The user closes the window: stops the main cycle, closes the port and
    // writes the settings. False (the window stays open) when the settings
    // cannot be written; the message has been shown by then. A close after
    // that tries the write once more and ends the program either way: the
    // user knows, and there is nothing else to do.
    bool FormCloseQuery();

private:
    SimLinkResult Connect(bool logFailure);

    MainWindowGroups state_;
    BoxLineControl& port_;
    SimLinkConnection& simLink_;
    BridgeView& view_;
    WindowLog& log_;
    ServoRelease& release_;
    MessageDisplay& display_;
    MessagePump& pump_;
    SettingsLocation settings_;
    bool saveFailed_ = false;
};

}  // namespace bridge
