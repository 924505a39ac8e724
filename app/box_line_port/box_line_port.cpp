#include "app/box_line_port/box_line_port.h"

#include <utility>

#include "app/identity/port_advice.h"
#include "app/settings/comms_port.h"
#include "platform/port_list/port_texts.h"
#include "platform/serial/comm_error.h"

namespace bridge {

BoxLinePort::BoxLinePort(BoxLineControl& port, PortListing& listing, MessageDisplay& display,
                         WindowLog& log, ServoRelease& release, BridgeSettings& settings,
                         LinkControl& link)
    : port_(port),
      display_(display),
      log_(log),
      release_(release),
      settings_(settings),
      link_(link),
      adapter_(listing, log) {}

void BoxLinePort::Load(unsigned number, std::optional<AdapterIdentity> saved) {
    SetNumber(number);
    adapter_.Load(std::move(saved), number);
    Name(number);
}

void BoxLinePort::Start(std::uint64_t nowMs) {
    nowMs_ = lastTryMs_ = nowMs;
    adapter_.List(nowMs, false);
    const Outcome outcome = TryAt(adapter_.Find(number_, true, nowMs), Occasion::Start);
    if (outcome != Outcome::Opened) Failed(outcome);
}

// The listing comes first: no open follows a device change before a listing
// made after it.
void BoxLinePort::Tick(std::uint64_t nowMs) {
    nowMs_ = nowMs;
    if (closing_ || busy_) return;
    // Unsigned: a clock that went back gives a large difference, and a turn.
    const bool changeDue = changed_ && nowMs - adapter_.ListedMs() >= kDeviceChangeGapMs;
    const bool secondDue = Waiting() && nowMs - lastTryMs_ >= kRetryEveryMs;
    if (!changeDue && !secondDue) return;
    // A change counts whichever listing comes first after it.
    const Occasion occasion = changed_ ? Occasion::Change : Occasion::Second;
    changed_ = false;
    adapter_.List(nowMs, state_ == State::Open);
    if (!Waiting()) return;
    lastTryMs_ = nowMs;
    const State waiting = state_;
    const Outcome outcome = TryAt(adapter_.Find(number_, false, nowMs), occasion);
    if (outcome != Outcome::Opened) Wait(waiting, outcome);
}

void BoxLinePort::PortLost(std::int32_t errorCode, std::uint64_t nowMs) {
    nowMs_ = nowMs;
    if (state_ != State::Open) return;
    state_ = State::Closed;
    link_.PortOpen = false;
    adapter_.Closed();
    const std::string lost =
        "Lost the box's port " + ComName(number_) + " (error " + std::to_string(errorCode) + ")";
    if (closing_) {  // no retry follows
        log_.Append(lost);
        return;
    }
    log_.Append(lost, ", trying to reopen it");
    state_ = State::Lost;
    reason_ = Reason::Port;  // the line said it
    everySecond_ = true;
    lastTryMs_ = nowMs;
    release_.Release(ServoReleaseReason::PortLost);
}

void BoxLinePort::Suspend(std::uint64_t nowMs) {
    nowMs_ = nowMs;
    if (!closing_ && !busy_) adapter_.List(nowMs, state_ == State::Open);
}

void BoxLinePort::Resume(std::uint64_t nowMs) {
    nowMs_ = nowMs;
    if (closing_) {
        log_.Append("Windows resumed while the window closes: no port is reopened");
        return;
    }
    if (state_ == State::Closed) {
        log_.Append("Windows resumed: the box's port was not open, none is reopened");
        return;
    }
    if (busy_) return;  // nested in an open or close of the port, which goes on
    // If it does not open, the retries take over, quietly.
    const State waiting = state_ == State::Open ? State::Lost : state_;
    if (state_ == State::Open) reason_ = Reason::Port;
    CloseForNow();
    adapter_.List(nowMs, false);
    lastTryMs_ = nowMs;
    const AdapterAnswer answer = adapter_.Find(number_, false, nowMs);
    if (answer.action != AdapterAnswer::Action::Leave) {
        log_.Append("Windows resumed: reopening the box's port ", ComName(answer.number));
    }
    const Outcome outcome = TryAt(answer, Occasion::Change);
    if (outcome != Outcome::Opened) Wait(waiting, outcome);
}

// The choice takes effect (number, identity) before any message box, whose
// nested ticks see it.
void BoxLinePort::Choose(unsigned number) {
    if (closing_ || busy_) return;
    adapter_.List(nowMs_, state_ == State::Open);
    if (state_ == State::Open && number == number_) {
        adapter_.Chosen(number);
        adapter_.Opened(number, number);
        return;
    }
    const ListedPort* listed = adapter_.PortAt(number);
    const bool bluetooth = listed != nullptr && listed->bus == PortBus::Bluetooth;
    release_.Release(ServoReleaseReason::PortChosen);
    CloseForNow();
    const Outcome outcome = OpenAt(number);  // another exception leaves the choice untaken
    SetNumber(number);
    adapter_.Chosen(number);
    if (outcome == Outcome::Opened) {
        BecameOpen(number);
        return;
    }
    everySecond_ = outcome == Outcome::Failed && !bluetooth;
    Failed(outcome);
}

void BoxLinePort::WindowClosing() {
    closing_ = true;
    if (Waiting()) state_ = State::Closed;
}

void BoxLinePort::Close() {
    if (state_ == State::Open) CloseForNow();
    state_ = State::Closed;
}

std::vector<std::string> BoxLinePort::ReportLines() const {
    const char* what = "closed";
    switch (state_) {
        case State::Open: what = "open"; break;
        case State::Lost: what = "lost, waiting for it"; break;
        case State::Waiting: what = "waiting for it"; break;
        case State::Closed: break;
    }
    std::string line = "The box's port " + ComName(number_) + ": " + what;
    if (Waiting()) {
        line += reason_ == Reason::OtherDevice ? " (another device holds the number: waiting for "
                                                 "the box's adapter, listed every second)"
                : everySecond_ ? " (tried every second and after each device change)"
                               : " (tried after each device change)";
    }
    std::vector<std::string> lines = {line};
    const std::vector<std::string> ports = adapter_.ReportLines(number_);
    lines.insert(lines.end(), ports.begin(), ports.end());
    return lines;
}

// The port itself waits for a device change after a refused setting, or as
// a Bluetooth port; the adapter found elsewhere is tried at once.
BoxLinePort::Outcome BoxLinePort::TryAt(const AdapterAnswer& answer, Occasion occasion) {
    if (answer.action == AdapterAnswer::Action::Leave) {
        Say(Reason::OtherDevice, OtherDeviceLine(*answer.other, *adapter_.Identity()));
        return Outcome::Left;
    }
    const bool itself = answer.number == number_;
    if (occasion == Occasion::Second && itself && (!everySecond_ || answer.bluetooth)) {
        return Outcome::NotTried;
    }
    const Outcome outcome = OpenAt(answer.number);
    if (outcome == Outcome::Opened) {
        BecameOpen(answer.number);
    } else {
        everySecond_ = outcome == Outcome::Failed && !answer.bluetooth;
    }
    return outcome;
}

BoxLinePort::Outcome BoxLinePort::OpenAt(unsigned number) {
    Name(number);
    busy_ = true;
    try {
        port_.Open();
    } catch (const ECommError& e) {
        error_ = e.ErrorCode;
        // The device opened but refused a line setting: the component keeps
        // it open. Closed either way, so the next try starts afresh.
        const bool refused = port_.IsOpen();
        port_.Close();
        busy_ = false;
        return refused ? Outcome::Refused : Outcome::Failed;
    } catch (...) {
        busy_ = false;
        throw;
    }
    busy_ = false;
    return Outcome::Opened;
}

// Lost or waited for, the port's return is said once; the start's and the
// choice's own opens need no line.
void BoxLinePort::BecameOpen(unsigned number) {
    const State before = state_;
    state_ = State::Open;
    link_.PortOpen = true;
    reason_ = Reason::None;
    everySecond_ = true;
    adapter_.Opened(number, number_);
    SetNumber(number);
    if (before == State::Lost) log_.Append("Reopened the box's port ", ComName(number));
    if (before == State::Waiting) {
        log_.Append("Opened the box's port ", ComName(number) + ", which the bridge waited for");
    }
    if (messagesShown_ > 0) {  // "not available" no longer holds
        messagesShown_ = 0;
        display_.TakeDownMessages();
    }
}

void BoxLinePort::Failed(Outcome outcome) {
    if (outcome == Outcome::Failed || outcome == Outcome::Refused) {
        log_.Append(PortOpenFailureLine(port_, error_));
    }
    Wait(State::Waiting, outcome);
    if (outcome == Outcome::Left || state_ == State::Open || closing_) return;
    ++messagesShown_;
    display_.ShowMessage(PortNotAvailableMessage(named_));
    if (messagesShown_ > 0) --messagesShown_;
}

void BoxLinePort::Wait(State state, Outcome outcome) {
    if (state_ == State::Open || closing_) return;  // opened, or closed, by a nested event
    state_ = state;
    link_.PortOpen = false;
    lastTryMs_ = nowMs_;
    if (outcome != Outcome::Failed && outcome != Outcome::Refused) return;
    if (everySecond_) {
        Say(Reason::Port, "Waiting for the box's port " + ComName(number_) +
                              ": it is opened as soon as it can be");
    } else {
        Say(Reason::DeviceChange,
            "Waiting for a device change to try the box's port " + ComName(number_) + " again");
    }
}

void BoxLinePort::Say(Reason reason, const std::string& line) {
    if (reason == reason_) return;
    reason_ = reason;
    log_.Append(line);
}

void BoxLinePort::CloseForNow() {
    if (state_ == State::Open) adapter_.Closed();
    state_ = State::Closed;
    link_.PortOpen = false;
    busy_ = true;
    port_.Close();
    busy_ = false;
}

void BoxLinePort::Name(unsigned number) {
    if (named_ == number) return;
    named_ = number;
    port_.SetDeviceName(ComName(number));
}

void BoxLinePort::SetNumber(unsigned number) {
    number_ = number;
    SetBoxComNumber(settings_, number);
}

}  // namespace bridge
