#include "platform/window_thread/win32/worker_thread.h"

#include <process.h>

#include "platform/window_thread/win32/ui_thread_call.h"

namespace bridge {

int PlatformPriority(TThreadPriority priority) {
    switch (priority) {
        case tpIdle: return THREAD_PRIORITY_IDLE;
        case tpLowest: return THREAD_PRIORITY_LOWEST;
        case tpLower: return THREAD_PRIORITY_BELOW_NORMAL;
        case tpHigher: return THREAD_PRIORITY_ABOVE_NORMAL;
        case tpHighest: return THREAD_PRIORITY_HIGHEST;
        case tpTimeCritical: return THREAD_PRIORITY_TIME_CRITICAL;
        case tpNormal:
        default: return THREAD_PRIORITY_NORMAL;
    }
}

WorkerThread::~WorkerThread() {
    if (handle_ != nullptr) CloseHandle(handle_);
}

bool WorkerThread::Start() {
    if (handle_ != nullptr) return true;
    unsigned id = 0;
    const std::uintptr_t h =
        _beginthreadex(nullptr, 0, &WorkerThread::Entry, this, CREATE_SUSPENDED, &id);
    if (h == 0) return false;
    handle_ = reinterpret_cast<HANDLE>(h);
    SetThreadPriority(handle_, PlatformPriority(priority_));
    ResumeThread(handle_);
    return true;
}

bool WorkerThread::Finished() const noexcept {
    return handle_ == nullptr || WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
}

void WorkerThread::SetPriority(TThreadPriority priority) noexcept {
    priority_ = priority;
    if (handle_ != nullptr) SetThreadPriority(handle_, PlatformPriority(priority));
}

void WorkerThread::WaitFor() noexcept {
    if (handle_ != nullptr) WaitServicingSentMessages(handle_);
}

unsigned __stdcall WorkerThread::Entry(void* self) {
    static_cast<WorkerThread*>(self)->Execute();
    return 0;
}

}  // namespace bridge
