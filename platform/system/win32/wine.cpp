#include "platform/system/win32/wine.h"

#include <windows.h>

namespace bridge {

std::string WineVersion() {
    using GetVersion = const char*(CDECL*)();
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto get = ntdll == nullptr ? nullptr
                                      : reinterpret_cast<GetVersion>(reinterpret_cast<void*>(
                                            GetProcAddress(ntdll, "wine_get_version")));
    const char* version = get != nullptr ? get() : nullptr;
    return version != nullptr ? version : "";
}

bool RunningUnderWine() {
    static const bool wine = !WineVersion().empty();
    return wine;
}

}  // namespace bridge
