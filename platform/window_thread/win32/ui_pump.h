// The one pump of the user-interface thread: every loop of ours that waits on
// that thread (the program's message loop, a modal dialog's loop, the
// application's waits for the main cycle, a wait for a worker to end) takes
// and dispatches messages through PumpOnce. What may then run nested inside
// what, and which guard covers which case: app/NESTING.md.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bridge {

// What a turn takes: every message, or only those that other threads sent
// (hand-overs among them); posted ones then stay queued for an outer loop.
enum class PumpScope : std::uint8_t { All, Sent };

struct PumpTurn {
    enum class Ended : std::uint8_t {
        Dispatched,  // one message taken and dispatched (sent ones: all delivered)
        Idle,        // nothing came within the wait (or only sent messages, delivered)
        Quit,        // WM_QUIT taken: its code in quitCode, for the main loop
        Signalled,   // `object` was signalled
        Failed,      // the wait failed
    };
    Ended ended;
    int quitCode = 0;
};

// One turn: takes a message in `scope`, waiting up to `waitMs` (INFINITE:
// without limit) for one, or for `object` (null: none), and dispatches it.
// A message for `dialog` (null: none) goes through the dialog's keyboard
// handling first.
PumpTurn PumpOnce(PumpScope scope, DWORD waitMs, HANDLE object = nullptr, HWND dialog = nullptr);

}  // namespace bridge
