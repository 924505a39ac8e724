// The threaded timer and the hand-over to the user-interface thread. The test
// thread is the user-interface thread. Times are checked only where the
// behaviour is about time, with margins far above scheduling noise.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/timer/win32/threaded_timer.h"
#include "platform/window_thread/win32/ui_thread_call.h"
#include "tests/win32/message_pump.h"

namespace bridge {
namespace {

using testing::PumpFor;
using testing::PumpUntil;

ULONGLONG Now() { return GetTickCount64(); }

struct TickLog {
    std::vector<ULONGLONG> at;
    void Attach(TThreadedTimer& timer) {
        timer.OnTimer = [this](TThreadedTimer&) { at.push_back(Now()); };
    }
};

TEST(ThreadedTimer, StartsStoppedAndTicksOneIntervalAfterEnabling) {
    TThreadedTimer timer;
    EXPECT_FALSE(timer.Enabled());
    EXPECT_FALSE(timer.AllowZero());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_EQ(timer.ThreadPriority(), tpNormal);
    TickLog log;
    log.Attach(timer);
    timer.SetInterval(300);
    PumpFor(400);
    EXPECT_TRUE(log.at.empty());

    const ULONGLONG enabledAt = Now();
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return log.at.size() >= 2; }));
    EXPECT_GE(log.at[0] - enabledAt, 280u);
    EXPECT_GE(log.at[1] - log.at[0], 280u);
}

TEST(ThreadedTimer, EnablingAnEnabledTimerDoesNotRestartTheInterval) {
    TThreadedTimer timer;
    TickLog log;
    log.Attach(timer);
    timer.SetInterval(600);
    const ULONGLONG enabledAt = Now();
    timer.SetEnabled(true);
    PumpFor(300);
    timer.SetEnabled(true);  // no change: the first tick stays at 600 ms
    timer.SetInterval(600);  // the same value: no change either
    ASSERT_TRUE(PumpUntil([&] { return !log.at.empty(); }));
    EXPECT_LT(log.at[0] - enabledAt, 850u);  // a restart would put it at 900 ms
}

TEST(ThreadedTimer, ANewIntervalStartsAFullIntervalUnderTheNewValue) {
    TThreadedTimer timer;
    TickLog log;
    log.Attach(timer);
    timer.SetInterval(40);
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return log.at.size() >= 2; }));
    const ULONGLONG changedAt = Now();
    timer.SetInterval(500);
    const std::size_t before = log.at.size();
    ASSERT_TRUE(PumpUntil([&] { return log.at.size() > before; }));
    EXPECT_GE(log.at[before] - changedAt, 480u);
    EXPECT_TRUE(timer.Enabled());
}

TEST(ThreadedTimer, IntervalZeroTicksOnlyWithAllowZero) {
    TThreadedTimer timer;
    TickLog log;
    log.Attach(timer);
    timer.SetInterval(0);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    PumpFor(300);
    EXPECT_TRUE(log.at.empty());

    timer.SetInterval(30);  // a non-zero interval starts it
    ASSERT_TRUE(PumpUntil([&] { return log.at.size() >= 2; }));

    timer.SetInterval(0);
    const std::size_t stoppedAt = log.at.size();
    PumpFor(200);
    EXPECT_LE(log.at.size(), stoppedAt + 1);  // at most the tick already on its way

    timer.SetAllowZero(true);  // enabled at interval 0 with AllowZero: ticks back to back
    ASSERT_TRUE(PumpUntil([&] { return log.at.size() >= stoppedAt + 200; }));
}

TEST(ThreadedTimer, AHandlerThatRaisesDoesNotStopTheTimer) {
    TThreadedTimer timer;
    int calls = 0;
    timer.OnTimer = [&](TThreadedTimer&) {
        ++calls;
        throw std::runtime_error("tick failed");
    };
    timer.SetInterval(10);
    timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return calls >= 5; }));
}

TEST(ThreadedTimer, AHandlerThatDisablesTheTimerGetsNoFurtherCall) {
    TThreadedTimer timer;
    int calls = 0;
    timer.OnTimer = [&](TThreadedTimer& sender) {
        ++calls;
        sender.SetEnabled(false);
    };
    timer.SetInterval(20);
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
    PumpFor(200);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(timer.Enabled());

    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
}

// And the pause after a handler that ran long is still a full interval: the
// worker's wake-ups, which came meanwhile, do not count.
TEST(ThreadedTimer, TicksNeverOverlapEvenWhenTheHandlerPumpsMessages) {
    TThreadedTimer timer;
    int depth = 0, maxDepth = 0, calls = 0;
    std::vector<std::int64_t> startsUs, endsUs;
    timer.OnTimer = [&](TThreadedTimer&) {
        startsUs.push_back(NowMicroseconds());
        ++calls;
        maxDepth = std::max(maxDepth, ++depth);
        PumpFor(60);  // a nested message loop, as in a modal dialog, for several intervals
        --depth;
        endsUs.push_back(NowMicroseconds());
    };
    timer.SetInterval(10);
    timer.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return calls >= 4; }));
    EXPECT_EQ(maxDepth, 1);
    for (std::size_t i = 1; i < startsUs.size(); ++i) {
        EXPECT_GE(startsUs[i] - endsUs[i - 1], 5000) << "pause before tick " << i;
    }
}

TEST(ThreadedTimer, DestroyingItWhileATickWaitsForTheUiThreadDropsTheTick) {
    int calls = 0;
    auto timer = std::make_unique<TThreadedTimer>();
    timer->OnTimer = [&](TThreadedTimer&) { ++calls; };
    timer->SetInterval(10);
    timer->SetEnabled(true);
    ASSERT_TRUE(testing::WaitForSentMessage());  // the worker is blocked in the hand-over
    timer.reset();
    PumpFor(100);
    EXPECT_EQ(calls, 0);
}

TEST(ThreadedTimer, DestructionEndsTheWorkerInEveryState) {
    { TThreadedTimer never; }
    {
        TThreadedTimer parked;
        parked.SetInterval(0);
        parked.SetEnabled(true);
    }
    {
        TThreadedTimer waiting;
        waiting.SetInterval(100000);
        waiting.SetEnabled(true);
    }
    // Destroyed by its own handler.
    auto* timer = new TThreadedTimer;
    bool destroyed = false;
    timer->OnTimer = [&](TThreadedTimer& sender) {
        destroyed = true;  // before the delete, which frees this handler too
        delete &sender;
    };
    timer->SetInterval(10);
    timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return destroyed; }));
    PumpFor(50);
}

// The hidden window of this thread's only hand-over, or null.
HWND HandOverWindow() {
    for (HWND w = FindWindowExA(HWND_MESSAGE, nullptr, "BridgeUiThreadCall", nullptr); w != nullptr;
         w = FindWindowExA(HWND_MESSAGE, w, "BridgeUiThreadCall", nullptr)) {
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) return w;
    }
    return nullptr;
}

// A tick that cannot be handed over (its window is gone) is missed, and the
// worker waits a full interval before the next, rather than spinning.
TEST(ThreadedTimer, AFailedHandOverKeepsTheInterval) {
    TThreadedTimer timer;
    TickLog log;
    log.Attach(timer);
    timer.SetInterval(50);
    const HWND window = HandOverWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(DestroyWindow(window));
    timer.SetEnabled(true);
    PumpFor(1000);
    EXPECT_TRUE(log.at.empty());
    EXPECT_GE(timer.MissedTicks(), 5u);   // about 20
    EXPECT_LE(timer.MissedTicks(), 40u);  // a spinning worker misses thousands
}

TEST(ThreadedTimer, PriorityIsTheWorkersAndNothingTicksWithoutAHandler) {
    TThreadedTimer timer;
    timer.SetThreadPriority(tpHigher);
    EXPECT_EQ(timer.ThreadPriority(), tpHigher);
    timer.SetInterval(5);
    timer.SetEnabled(true);
    PumpFor(50);  // an empty OnTimer: the worker runs, nothing is called
    TickLog log;
    log.Attach(timer);
    EXPECT_TRUE(PumpUntil([&] { return log.at.size() >= 2; }));
}

TEST(PreciseWait, BothWaysTellATimeoutFromASignal) {
    const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (const bool highResolution : {true, false}) {
        PreciseWait wait(highResolution);
        wait.HoldResolution(true);
        const std::int64_t before = NowMicroseconds();
        EXPECT_FALSE(wait.Wait(event, 30000));
        EXPECT_GE(NowMicroseconds() - before, 29000);
        SetEvent(event);
        EXPECT_TRUE(wait.Wait(event, 10000000));  // signalled: at once, not after 10 s
        EXPECT_FALSE(wait.Wait(event, 0));
        SetEvent(event);
        EXPECT_TRUE(wait.Wait(event, 0));
        wait.HoldResolution(false);
    }
    CloseHandle(event);
}

// --- the hand-over itself

TEST(UiThreadCall, RunsTheFunctionOnTheUiThreadAndWaitsForIt) {
    UiThreadCall call;
    const DWORD uiThread = GetCurrentThreadId();
    DWORD ranOn = 0;
    std::atomic<int> outcome{-1};
    std::atomic<int> raised{-1};
    std::thread worker([&] {
        outcome = static_cast<int>(
            call.Run([](void* p) { *static_cast<DWORD*>(p) = GetCurrentThreadId(); }, &ranOn));
        raised = static_cast<int>(call.Run([](void*) { throw std::runtime_error("x"); }, nullptr));
    });
    ASSERT_TRUE(PumpUntil([&] { return raised != -1; }));
    worker.join();
    EXPECT_EQ(ranOn, uiThread);
    EXPECT_EQ(outcome, static_cast<int>(UiThreadCall::Outcome::Ran));
    EXPECT_EQ(raised, static_cast<int>(UiThreadCall::Outcome::Raised));
}

TEST(UiThreadCall, AbortEndsAPendingRunWithoutRunningTheFunction) {
    UiThreadCall call;
    bool ran = false;
    std::atomic<int> outcome{-1};
    std::thread worker([&] {
        outcome = static_cast<int>(call.Run([](void* p) { *static_cast<bool*>(p) = true; }, &ran));
    });
    ASSERT_TRUE(testing::WaitForSentMessage());
    call.Abort();
    worker.join();
    EXPECT_EQ(outcome, static_cast<int>(UiThreadCall::Outcome::Aborted));
    PumpFor(50);  // the message in flight is ignored
    EXPECT_FALSE(ran);
    EXPECT_EQ(call.Run([](void*) {}, nullptr), UiThreadCall::Outcome::Aborted);
}

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND MessageBoxOf(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(thread, FindMessageBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST(UiThreadCall, IsServicedInsideAMessageBox) {
    UiThreadCall call;
    const DWORD uiThread = GetCurrentThreadId();
    bool ranInsideBox = false;
    std::atomic<int> outcome{-1};
    std::thread worker([&] {
        // Once the box is up, the hand-over can only be serviced by its loop;
        // the function then closes the box.
        HWND box = nullptr;
        for (int i = 0; i < 1000 && box == nullptr; ++i) {
            box = MessageBoxOf(uiThread);
            if (box == nullptr) Sleep(10);
        }
        if (box == nullptr) {
            outcome = -2;
            return;
        }
        struct Context {
            HWND box;
            bool* ran;
        } context{box, &ranInsideBox};
        outcome = static_cast<int>(call.Run(
            [](void* p) {
                auto* c = static_cast<Context*>(p);
                *c->ran = MessageBoxOf(GetCurrentThreadId()) == c->box;
                PostMessageA(c->box, WM_COMMAND, IDOK, 0);
            },
            &context));
    });
    MessageBoxA(nullptr, "hand-over test", "timer_win32_tests", MB_OK);
    worker.join();
    ASSERT_NE(outcome, -2) << "the message box never appeared";
    EXPECT_TRUE(ranInsideBox);
    EXPECT_EQ(outcome, static_cast<int>(UiThreadCall::Outcome::Ran));
}

}  // namespace
}  // namespace bridge
