// Short names for frames in schedule tests: "attitude", "airdata",
// "item 32/8" (address/item kind), "port 1", "arinc".
#pragma once

#include <string>
#include <vector>

#include "tools/box_protocol/box_protocol.h"

namespace bridge::testing {

inline std::string FrameName(const boxproto::Frame& frame) {
    switch (frame.kind) {
        case 0: return "airdata";
        case 1: return "attitude";
        case 3: return "arinc";
        default: break;
    }
    if (const auto item = boxproto::AsItem(frame)) {
        return "item " + std::to_string(item->address) + "/" + std::to_string(item->itemKind);
    }
    if (const auto text = boxproto::AsPortText(frame)) return "port " + std::to_string(text->port);
    return "unknown";
}

inline std::vector<std::string> FrameNames(const std::vector<boxproto::Frame>& frames) {
    std::vector<std::string> names;
    for (const auto& f : frames) names.push_back(FrameName(f));
    return names;
}

}  // namespace bridge::testing
