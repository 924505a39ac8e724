#include "app/win32/win32_shell_adapters.h"

#include <optional>
#include <string>

#include "platform/win32/ui_pump.h"
#include "simlink/sim_link.h"

namespace bridge::gui {

void CommBoxPortControl::SetBaudRate(std::uint32_t baud) {
    const std::optional<TBaudRate> rate = BaudRateFor(baud);
    if (!rate) throw ECommError("Unsupported baud rate " + std::to_string(baud), -1);
    comm_.SetBaudRate(*rate);
}

std::string CommBoxPortControl::ErrorText(std::int32_t code) const {
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
    if (server == nullptr) return ServerCheck::NoWindow;
    DWORD_PTR reply = 0;
    const LRESULT answered = SendMessageTimeoutA(
        server, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kCheckTimeoutMs, &reply);
    return answered != 0 ? ServerCheck::Answers : ServerCheck::Hung;
}

bool ProcessSimLinkConnection::Open(std::int32_t requestedSimulator, SimLinkResult& result) {
    return SimLinkOpen(requestedSimulator, result);
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
