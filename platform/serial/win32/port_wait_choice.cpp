#include "platform/serial/win32/port_wait_choice.h"

#include <utility>

#include "platform/serial/win32/event_wait.h"
#include "platform/serial/win32/read_wait.h"
#include "platform/system/win32/wine.h"

namespace bridge {

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
