// The test's own thread plays the user-interface thread: these run its
// message loop, which is where hand-overs from worker threads are serviced.
#pragma once

#include <windows.h>

#include <algorithm>

namespace bridge::testing {

inline void PumpPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Runs the message loop until `done()` holds or `timeoutMs` have passed;
// returns done(). Conditions set by other threads are looked at every 10 ms.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs = 10000) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPendingMessages();
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10));
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// Runs the message loop for a while, to show that something does not happen.
inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// Waits, without servicing it, until another thread has sent this thread a
// message (a hand-over that is now waiting for us).
inline bool WaitForSentMessage(DWORD timeoutMs = 10000) {
    return MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_SENDMESSAGE, 0) == WAIT_OBJECT_0;
}

}  // namespace bridge::testing
