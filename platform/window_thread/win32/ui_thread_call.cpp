#include "platform/window_thread/win32/ui_thread_call.h"

#include <mutex>

#include "platform/window_thread/win32/ui_pump.h"

namespace bridge {

namespace {

constexpr char kWindowClass[] = "BridgeUiThreadCall";
constexpr UINT kCallMessage = WM_USER + 1;

void RegisterWindowClass(WNDPROC procedure) {
    static std::once_flag once;
    std::call_once(once, [procedure] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassA(&windowClass);
    });
}

}  // namespace

UiThreadCall::UiThreadCall() {
    RegisterWindowClass(&UiThreadCall::WindowProc);
    done_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    abortEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    window_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
}

UiThreadCall::~UiThreadCall() {
    Abort();
    if (destroyedWhileServing_ != nullptr) *destroyedWhileServing_ = true;
    if (window_ != nullptr) {
        // Messages still queued for the window are dropped with it.
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (done_ != nullptr) CloseHandle(done_);
    if (abortEvent_ != nullptr) CloseHandle(abortEvent_);
}

UiThreadCall::Outcome UiThreadCall::Run(Function function, void* context) noexcept {
    if (Aborted()) return Outcome::Aborted;
    if (!Start(function, context)) return Outcome::Failed;
    return Wait();
}

bool UiThreadCall::Start(Function function, void* context) noexcept {
    if (!Ready() || Aborted()) return false;
    function_ = function;
    context_ = context;
    ended_.store(false, std::memory_order_seq_cst);
    pending_.store(true, std::memory_order_release);
    if (!SendNotifyMessageA(window_, kCallMessage, 0, 0)) {
        pending_.store(false, std::memory_order_release);
        return false;  // the window, or the user-interface thread, is gone
    }
    return true;
}

UiThreadCall::Outcome UiThreadCall::Wait() noexcept {
    waiting_.store(true, std::memory_order_seq_cst);
    const HANDLE handles[] = {done_, abortEvent_};
    while (!ended_.load(std::memory_order_seq_cst)) {
        // A signal left over from an earlier call only costs one more look.
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
            waiting_.store(false, std::memory_order_seq_cst);
            return Outcome::Aborted;
        }
    }
    waiting_.store(false, std::memory_order_seq_cst);
    return outcome_.load(std::memory_order_acquire);
}

void UiThreadCall::Abort() noexcept {
    aborted_.store(true, std::memory_order_release);
    if (abortEvent_ != nullptr) SetEvent(abortEvent_);
}

void UiThreadCall::Service() noexcept {
    // A message left over from an aborted Run finds nothing pending.
    if (!pending_.exchange(false, std::memory_order_acq_rel) || Aborted()) return;
    bool destroyed = false;
    destroyedWhileServing_ = &destroyed;
    Outcome outcome = Outcome::Ran;
    try {
        function_(context_);
    } catch (...) {
        outcome = Outcome::Raised;
    }
    if (destroyed) return;  // the function ended our owner; nobody waits any more
    destroyedWhileServing_ = nullptr;
    outcome_.store(outcome, std::memory_order_release);
    ended_.store(true, std::memory_order_seq_cst);
    if (waiting_.load(std::memory_order_seq_cst)) SetEvent(done_);
}

LRESULT CALLBACK UiThreadCall::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCallMessage) {
        auto* call = reinterpret_cast<UiThreadCall*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (call != nullptr) call->Service();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool WaitServicingSentMessages(HANDLE object) {
    for (;;) {
        const PumpTurn turn = PumpOnce(PumpScope::Sent, INFINITE, object);
        if (turn.ended == PumpTurn::Ended::Signalled) return true;
        if (turn.ended == PumpTurn::Ended::Failed) return false;
    }
}

}  // namespace bridge
