#include "app/record/win32/system_info.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace bridge::gui {
namespace {

struct VersionInfo {  // RTL_OSVERSIONINFOW
    ULONG size;
    ULONG major;
    ULONG minor;
    ULONG build;
    ULONG platform;
    WCHAR servicePack[128];
};

FARPROC NtdllFunction(const char* name) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr ? GetProcAddress(ntdll, name) : nullptr;
}

// "COM7" before "COM10".
bool PortOrder(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

std::string WindowsVersionText() {
    using RtlGetVersion = LONG(WINAPI*)(VersionInfo*);
    VersionInfo info = {};
    info.size = sizeof info;
    const auto get =
        reinterpret_cast<RtlGetVersion>(reinterpret_cast<void*>(NtdllFunction("RtlGetVersion")));
    if (get == nullptr || get(&info) != 0) return "Windows (version unknown)";
    char text[64];
    std::snprintf(text, sizeof text, "Windows %lu.%lu build %lu", info.major, info.minor,
                  info.build);
    return text;
}

bool IsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const bool elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

LocalTime LocalNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::vector<std::string> ListedComPorts() {
    std::vector<std::string> ports;
    HKEY map = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE value[256];
        DWORD nameSize = sizeof name;
        DWORD valueSize = sizeof value - 1;
        DWORD type = 0;
        if (RegEnumValueA(map, i, name, &nameSize, nullptr, &type, value, &valueSize) !=
            ERROR_SUCCESS) {
            break;
        }
        if (type != REG_SZ) continue;
        value[valueSize] = 0;
        ports.emplace_back(reinterpret_cast<const char*>(value));
    }
    RegCloseKey(map);
    std::sort(ports.begin(), ports.end(), PortOrder);
    return ports;
}

}  // namespace bridge::gui
