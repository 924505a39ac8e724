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
