#include "platform/win32/sim_link_transport_win32.h"

#include <windows.h>
#include <sddl.h>

#include "simlink/sim_link.h"

namespace bridge {
namespace {

// Full access for the interactive user, the system and the administrators.
constexpr char kSectionAccess[] = "D:(A;;GA;;;IU)(A;;GA;;;SY)(A;;GA;;;BA)";

class Win32Transport final : public SimLinkTransport {
public:
    constexpr Win32Transport() = default;

    NativeHandle FindServerWindow(const char* className) override {
        return FindWindowExA(nullptr, nullptr, className, nullptr);
    }

    std::uint32_t RegisterIpcMessage(const char* name) override {
        return RegisterWindowMessageA(name);
    }

    std::uint32_t ProcessId() override { return GetCurrentProcessId(); }

    std::uint16_t AddGlobalAtom(const char* name) override { return GlobalAddAtomA(name); }

    void RemoveGlobalAtom(std::uint16_t atom) override { GlobalDeleteAtom(atom); }

    NativeHandle CreateSection(const char* name, std::uint32_t size,
                               bool& alreadyExisted) override {
        // Run as administrator, the bridge would give the section the elevated
        // token's default security, which a simulator that is not elevated
        // cannot open. So the interactive user (and the system and the
        // administrators) get access whoever creates it; the name lives in the
        // session's own namespace. Default security if that cannot be built.
        SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
        ConvertStringSecurityDescriptorToSecurityDescriptorA(
            kSectionAccess, SDDL_REVISION_1, &security.lpSecurityDescriptor, nullptr);
        HANDLE section = CreateFileMappingA(
            INVALID_HANDLE_VALUE, security.lpSecurityDescriptor != nullptr ? &security : nullptr,
            PAGE_READWRITE, 0, size, name);
        alreadyExisted = section != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
        LocalFree(security.lpSecurityDescriptor);
        return section;  // null on failure, unlike CreateFileA
    }

    std::uint8_t* MapSection(NativeHandle section, std::uint32_t size) override {
        // A view larger than the section is refused by the system.
        return static_cast<std::uint8_t*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, size));
    }

    void UnmapSection(std::uint8_t* view) override { UnmapViewOfFile(view); }

    void CloseSection(NativeHandle section) override { CloseHandle(section); }

    SendOutcome SendIpcMessage(NativeHandle window, std::uint32_t message, std::uint16_t atom,
                               std::uint32_t timeoutMs) override {
        DWORD_PTR reply = 0;
        SendOutcome outcome;
        SetLastError(0);
        const LRESULT sent = SendMessageTimeoutA(static_cast<HWND>(window), message, atom, 0,
                                                 SMTO_NORMAL, timeoutMs, &reply);
        outcome.delivered = sent != 0;
        outcome.reply = reply;
        if (!outcome.delivered) outcome.lastError = GetLastError();
        return outcome;
    }

    void Pause(std::uint32_t milliseconds) override { Sleep(milliseconds); }
};

constinit Win32Transport gTransport;

}  // namespace

SimLinkTransport& Win32SimLinkTransport() { return gTransport; }

void InstallWin32SimLinkTransport() { InstallSimLinkTransport(&gTransport); }

}  // namespace bridge
