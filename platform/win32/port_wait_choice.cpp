#include "platform/win32/port_wait_choice.h"

#include <utility>

#include "platform/win32/event_wait.h"
#include "platform/win32/read_wait.h"

namespace bridge {

namespace {

// Wine's ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

}  // namespace

ChosenWait MakePortWait(CommWaitChoice choice, std::uint32_t handledEventCodes,
                        std::size_t holdCapacity) {
    const bool readWait =
        choice == CommWaitChoice::Read || (choice == CommWaitChoice::Auto && RunningUnderWine());
    if (readWait && handledEventCodes == EV_RXCHAR) {
        auto wait = std::make_unique<ReadWait>(holdCapacity);
        ReadTurn* turn = wait.get();
        return {std::move(wait), turn};
    }
    return {std::make_unique<EventWait>(handledEventCodes)};
}

}  // namespace bridge
