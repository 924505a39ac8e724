// What each event of the bridge's main window does, and in which order: the
// start, the timer's tick, the box's bytes, Reconnect, the dialogs and what
// they choose, Play, a device arriving, sleep and resume, a lost port and the
// close. The window turns each of its messages into one call here.
// Everything runs on the window thread, and may run nested wherever that
// thread waits (app/NESTING.md says where, and what each event does in each
// state).
//
// The shell is in one of three states: starting until the start's own try at
// the simulator has ended, running, and closing from the first close request
// until the process ends (also when a close is refused because the settings
// could not be written). While closing, nothing tries the simulator and no
// "Connected to" line is written. While an open of the simulator link is in
// progress (the start's, Reconnect's, an automatic try, a resume's), a nested
// tick leaves its try due for the first tick after the open, a nested resume
// reopens the box's port but does not try, and a nested Reconnect does nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "app/box_line_port/box_line_port.h"
#include "app/fail_safe/power_events.h"
#include "app/fail_safe/sim_link_retry.h"
#include "app/identity/port_listing.h"
#include "app/record/totals_schedule.h"
#include "app/seams/box_line_control.h"
#include "app/seams/message_display.h"
#include "app/seams/message_pump.h"
#include "app/seams/shell_dialogs.h"
#include "app/seams/shell_record.h"
#include "app/seams/sim_link_connection.h"
#include "app/settings/settings_location.h"
#include "app/shell/arinc_playback.h"
#include "app/shell/bridge_core.h"
#include "app/shell/operation_setup.h"
#include "app/shell/port_setup.h"
#include "boxlink/box_line.h"
#include "core/bridge_view.h"

namespace bridge {

// The log line that follows a failed connect when the simulator's messages
// were blocked (system error 5): a simulator run as administrator does not
// take messages from a program that is not. Null for other failures.
const char* ConnectFailureHint(SimLinkResult result, std::uint32_t lastSendError);

// What the shell works through, all of it the window's.
struct ShellOutside {
    BoxLine& line;  // the receiver reads the box's bytes here
    BoxLineControl& port;
    SimLinkConnection& sim;
    BridgeView& view;
    MessageDisplay& display;
    PlaybackView& playback;
    MessagePump& pump;
    ShellDialogs& dialogs;
    ShellRecord& record;
    PortListing* ports = nullptr;  // the serial ports Windows lists; none: no port is listed
};

class BridgeShell {
public:
    enum class Phase : std::uint8_t { Starting, Running, Closing };

    BridgeShell(BridgeCore& core, const ShellOutside& outside, SettingsLocation settings,
                std::filesystem::path executableFolder);
    BridgeShell(const BridgeShell&) = delete;
    BridgeShell& operator=(const BridgeShell&) = delete;

    // Reads the settings, opens the box's port where its adapter is (a
    // failure shows the port message, which the port's opening takes down,
    // and the start goes on when it is closed), tries the simulator once, and
    // sets the engine address base and the radio port mask. Times are
    // milliseconds of a monotonic clock.
    void Start(std::uint64_t nowMs = 0);

    void Tick(std::uint64_t nowMs);
    void ReceiveEvent(std::int32_t count);
    void ReconnectClick(std::uint64_t nowMs);
    void PortButtonClick();
    void PortDialogShown();
    // The user clicked item `item` of the port dialog's group.
    void PortChosen(int item);
    // The user moved the selection of the port dialog's list, or activated
    // its line `index` (a double-click, Enter, its button).
    void PortListSelected(int index);
    void PortListActivated(int index);
    void SetupButtonClick();
    void OperationSetupActivated();
    void PlayButtonClick();
    // Windows announced a device change; `arrival` when a device arrived.
    void DeviceChanged(bool arrival, std::uint64_t nowMs);
    void Suspend(std::uint64_t nowMs);
    void Resume(bool automatic, std::uint64_t nowMs);
    // The box's port reported its device gone; it is closed by now.
    void PortLost(std::int32_t errorCode, std::uint64_t nowMs);
    // The user closes the window: the servos released, the main cycle
    // stopped, the port closed and the settings written. True when the
    // window may go (the record closed by then); false, and the window stays,
    // when the settings could not be written: the message has been shown. A
    // close after that tries the write once more and ends either way.
    bool CloseRequested();

    Phase CurrentPhase() const { return phase_; }
    OperationSetupModel& OperationSetup() { return operationSetup_; }
    PortSetupModel& PortSetup() { return portSetup_; }
    // The box's port, its adapter and the ports as last listed (the report
    // shows them).
    const BoxLinePort& BoxPort() const { return boxPort_; }

private:
    // Whether an open of the simulator link may start now.
    bool MayOpen() const { return phase_ != Phase::Closing && !opening_; }
    // Opens (or reopens) the simulator link and logs the outcome: a failure
    // only when `logFailure`, nothing once the window is closing. The
    // reconnect button is enabled while the link is down.
    SimLinkResult Connect(bool logFailure);

    struct NoPorts : PortListing {
        std::vector<ListedPort> List() override { return {}; }
    };

    BridgeCore& core_;
    ShellOutside out_;
    SettingsLocation settings_;
    NoPorts noPorts_;
    bool adapterInFile_ = false;  // the settings file held an identity at start
    BoxLinePort boxPort_;
    SimLinkRetry simRetry_;
    PowerEvents power_;
    PortSetupModel portSetup_;
    OperationSetupModel operationSetup_;
    ArincPlayback playback_;
    TotalsSchedule totals_;
    Phase phase_ = Phase::Starting;
    bool opening_ = false;          // an open of the simulator link is in progress
    bool closeInProgress_ = false;  // a close request waits for the cycle
    bool saveFailed_ = false;
};

}  // namespace bridge
