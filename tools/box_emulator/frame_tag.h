// What kind of frame arrived, in the terms a person and a script use:
// "attitude", "airdata", "item" (with address and item kind), "port" (with the
// box RS232 port), "arinc"; and selectors that pick frames by those terms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/box_protocol/box_protocol.h"

namespace boxemu {

enum class Category : std::uint8_t { AirData, Attitude, Item, Port, Arinc, Other };
inline constexpr std::size_t kCategoryCount = 6;

struct FrameTag {
    Category category = Category::Other;
    std::uint8_t address = 0;   // items
    std::uint8_t itemKind = 0;  // items
    std::uint8_t port = 0;      // port frames
};

FrameTag TagOf(const boxproto::Frame& frame);
const char* CategoryName(Category category);

// "any", a category name, "item:32", "item:32/8" or "port:1".
struct FrameSelector {
    std::optional<Category> category;  // none: any frame
    int address = -1;
    int itemKind = -1;
    int port = -1;

    bool Matches(const FrameTag& tag) const;
    std::string Text() const;
};

std::optional<FrameSelector> ParseSelector(std::string_view text);

}  // namespace boxemu
