#include "app/win32/win32_shell_adapters.h"

#include <optional>
#include <string>

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
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        MsgWaitForMultipleObjectsEx(0, nullptr, kWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The main loop ends the program; leave the request for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace bridge::gui
