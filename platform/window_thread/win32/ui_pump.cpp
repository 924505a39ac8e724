#include "platform/window_thread/win32/ui_pump.h"

namespace bridge {

namespace {

PumpTurn Dispatch(MSG& message, HWND dialog) {
    if (message.message == WM_QUIT) {
        return {PumpTurn::Ended::Quit, static_cast<int>(message.wParam)};
    }
    if (dialog == nullptr || !IsDialogMessageA(dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return {PumpTurn::Ended::Dispatched};
}

PumpTurn DeliverSent(DWORD waitMs, HANDLE object) {
    const DWORD objects = object != nullptr ? 1 : 0;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    const DWORD r =
        MsgWaitForMultipleObjectsEx(objects, &object, waitMs, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    if (objects == 1 && r == WAIT_OBJECT_0) return {PumpTurn::Ended::Signalled};
    if (r == WAIT_TIMEOUT) return {PumpTurn::Ended::Idle};
    if (r != WAIT_OBJECT_0 + objects) return {PumpTurn::Ended::Failed};
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    return {PumpTurn::Ended::Dispatched};
}

}  // namespace

PumpTurn PumpOnce(PumpScope scope, DWORD waitMs, HANDLE object, HWND dialog) {
    if (scope == PumpScope::Sent) return DeliverSent(waitMs, object);
    MSG message;
    if (waitMs == INFINITE && object == nullptr) {
        // The system's own wait, as a plain message loop has it.
        if (GetMessageA(&message, nullptr, 0, 0) < 0) return {PumpTurn::Ended::Failed};
        return Dispatch(message, dialog);  // WM_QUIT included
    }
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        const DWORD objects = object != nullptr ? 1 : 0;
        const DWORD r =
            MsgWaitForMultipleObjectsEx(objects, &object, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (objects == 1 && r == WAIT_OBJECT_0) return {PumpTurn::Ended::Signalled};
        if (r == WAIT_TIMEOUT) return {PumpTurn::Ended::Idle};
        if (r != WAIT_OBJECT_0 + objects) return {PumpTurn::Ended::Failed};
        // Sent messages alone are delivered by the peek and leave nothing to take.
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return {PumpTurn::Ended::Idle};
    }
    return Dispatch(message, dialog);
}

}  // namespace bridge
