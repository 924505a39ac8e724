#include "state/bridge_state.h"

namespace bridge {

BridgeState Bridge{};

void ResetBridgeState() { Bridge = BridgeState{}; }

}  // namespace bridge
