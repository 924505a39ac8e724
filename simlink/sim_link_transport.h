// What the simulator link needs from the operating system: the server window,
// the registered message, a global atom naming the shared section, the section
// itself, the exchange message and pauses. The Windows implementation lives in
// platform/win32/; tests use an in-memory one.
#pragma once

#include <cstdint>

namespace bridge {

// Opaque operating-system handles (a window, a section); null means none.
using NativeHandle = void*;

struct SendOutcome {
    bool delivered = false;       // the server answered within the timeout
    std::uintptr_t reply = 0;     // its answer, when delivered
    std::uint32_t lastError = 0;  // the system's error code, taken at once on failure
};

class SimLinkTransport {
public:
    // A top-level window of that class, or null.
    virtual NativeHandle FindServerWindow(const char* className) = 0;
    // The message id registered for `name`, or 0 on failure.
    virtual std::uint32_t RegisterIpcMessage(const char* name) = 0;
    virtual std::uint32_t ProcessId() = 0;
    // A global atom for `name`, or 0 on failure.
    virtual std::uint16_t AddGlobalAtom(const char* name) = 0;
    virtual void RemoveGlobalAtom(std::uint16_t atom) = 0;
    // A named section of `size` bytes in the paging file, or null. When a
    // section of that name existed already, its handle is returned with
    // `alreadyExisted` set; that section keeps its own size.
    virtual NativeHandle CreateSection(const char* name, std::uint32_t size,
                                       bool& alreadyExisted) = 0;
    // A writable view of the section's first `size` bytes, or null (also when
    // the section is smaller).
    virtual std::uint8_t* MapSection(NativeHandle section, std::uint32_t size) = 0;
    virtual void UnmapSection(std::uint8_t* view) = 0;
    virtual void CloseSection(NativeHandle section) = 0;
    // Sends `message` (first parameter the atom, second 0) and waits up to
    // `timeoutMs` for the answer. May dispatch messages sent to this thread
    // by others while it waits.
    virtual SendOutcome SendIpcMessage(NativeHandle window, std::uint32_t message,
                                       std::uint16_t atom, std::uint32_t timeoutMs) = 0;
    virtual void Pause(std::uint32_t milliseconds) = 0;

protected:
    // Not virtual, so that a stateless transport can be a trivially
    // destructible global that outlives every static destructor.
    ~SimLinkTransport() = default;
};

}  // namespace bridge
