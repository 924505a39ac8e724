#include "app/win32/win32_shell_adapters.h"

#include <optional>
#include <string>

#include "app/record/diagnostics_report.h"
#include "platform/window_thread/win32/ui_pump.h"
#include "simlink/sim_link.h"

namespace bridge::gui {
namespace {

constexpr const char* kConnecting = "Connecting to the simulator";

}  // namespace

void CommBoxLineControl::SetBaudRate(std::uint32_t baud) {
    const std::optional<TBaudRate> rate = BaudRateFor(baud);
    if (!rate) throw ECommError("Unsupported baud rate " + std::to_string(baud), -1);
    comm_.SetBaudRate(*rate);
}

void CommBoxLineControl::Open() {
    const std::string what = "Opening the box's port " + comm_.DeviceName();
    try {
        comm_.Open();
    } catch (const ECommError& e) {
        if (log_ != nullptr) log_->RecordFailure(openFailures_, what, e.ErrorCode, e.what());
        throw;
    }
    if (log_ == nullptr) return;
    log_->RecordSuccess(openFailures_, what);
    static constexpr const char* kParity[] = {"no", "odd", "even", "mark", "space"};
    static constexpr const char* kStopbits[] = {"one", "one and a half", "two"};
    log_->Record("Opened the box's port " + comm_.DeviceName() + " at " +
                 std::to_string(BaudRateValue(comm_.BaudRate())) + " baud, " +
                 std::to_string(4 + static_cast<int>(comm_.Databits())) + " data bits, " +
                 kParity[static_cast<int>(comm_.Parity()) % 5] + " parity, " +
                 kStopbits[static_cast<int>(comm_.Stopbits()) % 3] + " stop bit, no handshaking");
}

void CommBoxLineControl::Close() {
    const bool wasOpen = comm_.IsOpen();
    comm_.Close();
    if (wasOpen && log_ != nullptr) log_->Record("Closed the box's port " + comm_.DeviceName());
}

std::string CommBoxLineControl::ErrorText(std::int32_t code) const {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result =
        length > 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    return result;
}

// WM_NULL, blocking: nothing of ours runs nested in the check. A window the
// system already knows to be hung is given up at once, any other after the
// time-out.
ServerCheck ProcessSimLinkConnection::CheckServer() {
    HWND server = FindWindowExA(nullptr, nullptr, kServerWindowClass, nullptr);
    if (server == nullptr) server = FindWindowExA(nullptr, nullptr, kServerWindowClassOld, nullptr);
    ServerCheck check = ServerCheck::NoWindow;
    if (server != nullptr) {
        DWORD_PTR reply = 0;
        const LRESULT answered = SendMessageTimeoutA(
            server, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kCheckTimeoutMs, &reply);
        check = answered != 0 ? ServerCheck::Answers : ServerCheck::Hung;
    }
    // A quiet try that ends here failed as an open would have: in the log
    // file with the others, repeats summarised.
    if (check != ServerCheck::Answers && log_ != nullptr) {
        const SimLinkResult result =
            check == ServerCheck::NoWindow ? SimLinkResult::NoServer : SimLinkResult::TimedOut;
        log_->RecordFailure(openFailures_, kConnecting, static_cast<std::int32_t>(result),
                            SimLinkResultText(result));
    }
    return check;
}

bool ProcessSimLinkConnection::Open(std::int32_t requestedSimulator, SimLinkResult& result) {
    const bool opened = SimLinkOpen(requestedSimulator, result);
    if (log_ == nullptr) return opened;
    if (!opened) {
        log_->RecordFailure(openFailures_, kConnecting, static_cast<std::int32_t>(result),
                            SimLinkResultText(result));
        return false;
    }
    log_->RecordSuccess(openFailures_, kConnecting);
    log_->Record("Simulator " + SimulatorName(SimLinkSimulatorId()) + ", FSUIPC version " +
                 FsuipcVersionText(SimLinkServerVersion()));
    return true;
}

void ProcessSimLinkConnection::Close() { SimLinkClose(); }

bool ProcessSimLinkConnection::IsOpen() const { return SimLinkIsOpen(); }

std::uint32_t ProcessSimLinkConnection::SimulatorId() const { return SimLinkSimulatorId(); }

std::uint32_t ProcessSimLinkConnection::LastSendError() const { return SimLinkLastSendError(); }

void Win32MessagePump::ProcessMessages() {
    constexpr DWORD kWaitMs = 20;
    PumpTurn turn = PumpOnce(PumpScope::All, kWaitMs);
    while (turn.ended == PumpTurn::Ended::Dispatched) turn = PumpOnce(PumpScope::All, 0);
    // The main loop ends the program; leave the request for it.
    if (turn.ended == PumpTurn::Ended::Quit) PostQuitMessage(turn.quitCode);
}

}  // namespace bridge::gui
