// The PC's serial port to the interface box, with one owner: its COM number
// (the one the settings file keeps), whether it is open, the box's adapter and
// the following of it, and the retries. Every open of the port goes through
// here, and an open that fails leaves the port closed (the serial component
// keeps a port open whose line setting was refused).
//
// States:
//   Closed   nothing open and nothing waited for: before the start, once the
//            window closes, after a failure that is not the port's
//   Open     the port is open; frames go out through it
//   Waiting  for the port, or for the box's adapter: missing or busy at the
//            start or at the pilot's choice, or another device holds its number
//   Lost     the open port went away (its adapter unplugged)
// While Waiting or Lost the ports are listed every second and after each
// device change (no open follows a change before a listing made after it),
// and the port is opened where the box's adapter is found (box_adapter.h).
// The port itself is tried every second, unless its open failed otherwise
// than missing or busy (a line setting refused: each open raises DTR, which
// resets some boxes), or Windows lists it as Bluetooth (its open can hold the
// window for seconds): those only after a device change. A message box that
// said the port is not available is taken down once it opens.
//
// Everything runs on the window thread; an open or close of the port services
// hand-overs, so ticks and events may run nested in it: they leave the port
// alone until it ends. Times are milliseconds of a monotonic clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/fail_safe/servo_release.h"
#include "app/identity/box_adapter.h"
#include "app/identity/port_listing.h"
#include "app/seams/box_line_control.h"
#include "app/seams/message_display.h"
#include "core/bridge_view.h"
#include "state/bridge_state.h"

namespace bridge {

class BoxLinePort {
public:
    enum class State : std::uint8_t { Closed, Open, Waiting, Lost };

    static constexpr std::uint64_t kRetryEveryMs = 1000;
    // A burst of device changes costs one listing.
    static constexpr std::uint64_t kDeviceChangeGapMs = 250;

    // `settings`: CommsPort follows the number; `link`: PortOpen follows the state.
    BoxLinePort(BoxLineControl& port, PortListing& listing, MessageDisplay& display, WindowLog& log,
                ServoRelease& release, BridgeSettings& settings, LinkControl& link);
    BoxLinePort(const BoxLinePort&) = delete;
    BoxLinePort& operator=(const BoxLinePort&) = delete;

    // The number and the adapter's identity the settings file keeps.
    void Load(unsigned number, std::optional<AdapterIdentity> saved);
    // Opens the port where the box's adapter is; a failure is logged with
    // what the bridge waits for, and the port message shown (ticks run on
    // inside it, and may open the port and take it down).
    void Start(std::uint64_t nowMs);
    // Every tick: the listing after a device change, and the retries.
    void Tick(std::uint64_t nowMs);
    // Windows announced a device that arrived or left.
    void DeviceChanged() { changed_ = true; }
    // The port reported its device gone; it is closed by now. The servos are
    // released: the box cannot command them.
    void PortLost(std::int32_t errorCode, std::uint64_t nowMs);
    // Windows goes to sleep: the ports are listed, the box's among them.
    void Suspend(std::uint64_t nowMs);
    // Windows resumed: a port that was open, or waited for, is closed and
    // opened again where the box's adapter is now (an adapter may have been
    // taken away and given back); if it does not open, it is waited for.
    void Resume(std::uint64_t nowMs);
    // The pilot chose COM<number> in the port dialog: it is opened whatever
    // it is, and its identity, from a listing made for it, becomes the box's
    // adapter's. The servos are released unless it is the open port already.
    void Choose(unsigned number);
    // The window closes: no more retries or listings; Close then closes the port.
    void WindowClosing();
    void Close();

    State CurrentState() const { return state_; }
    // The box's COM number, as the settings file keeps it.
    unsigned Number() const { return number_; }
    BoxAdapter& Adapter() { return adapter_; }
    const BoxAdapter& Adapter() const { return adapter_; }
    // The report's lines: the port's state, then the ports and the advice.
    std::vector<std::string> ReportLines() const;

private:
    enum class Outcome : std::uint8_t { Opened, Failed, Refused, Left, NotTried };
    enum class Occasion : std::uint8_t { Start, Second, Change };
    // What the bridge waits for, as the log last said it.
    enum class Reason : std::uint8_t { None, Port, DeviceChange, OtherDevice };

    // Opens the port where `answer` finds the box's adapter; nothing while
    // another device holds its number, nor by the second where only a device
    // change may try it again.
    Outcome TryAt(const AdapterAnswer& answer, Occasion occasion);
    // One open of COM<number>; a failure's code in error_.
    Outcome OpenAt(unsigned number);
    void BecameOpen(unsigned number);
    // After a failed start or choice: why, what the bridge waits for, and the
    // port message.
    void Failed(Outcome outcome);
    void Wait(State state, Outcome outcome);
    void Say(Reason reason, const std::string& line);
    void CloseForNow();
    void Name(unsigned number);
    void SetNumber(unsigned number);
    bool Waiting() const { return state_ == State::Waiting || state_ == State::Lost; }

    BoxLineControl& port_;
    MessageDisplay& display_;
    WindowLog& log_;
    ServoRelease& release_;
    BridgeSettings& settings_;
    LinkControl& link_;
    BoxAdapter adapter_;
    State state_ = State::Closed;
    Reason reason_ = Reason::None;
    unsigned number_ = 1;
    unsigned named_ = 0;       // the number the port is named for
    std::int32_t error_ = 0;   // of the last open that failed
    bool everySecond_ = true;  // waiting: the port itself is tried every second
    bool closing_ = false;     // the window closes
    bool busy_ = false;        // an open or close in progress: nested events leave the port
    bool changed_ = false;     // a device changed since the last listing
    int messagesShown_ = 0;    // port messages up now
    std::uint64_t lastTryMs_ = 0;
    std::uint64_t nowMs_ = 0;  // the clock as last seen: a choice's listing is stamped with it
};

}  // namespace bridge
