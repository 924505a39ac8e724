#include "tools/box_emulator/frame_tag.h"

#include <charconv>

namespace boxemu {
namespace {

constexpr const char* kCategoryNames[kCategoryCount] = {"airdata", "attitude", "item",
                                                        "port",    "arinc",    "other"};

std::optional<int> Number(std::string_view text, int max) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < 0 || v > max) {
        return std::nullopt;
    }
    return v;
}

}  // namespace

FrameTag TagOf(const boxproto::Frame& frame) {
    FrameTag tag;
    switch (frame.kind) {
        case 0: tag.category = Category::AirData; return tag;
        case 1: tag.category = Category::Attitude; return tag;
        case 3: tag.category = Category::Arinc; return tag;
        default: break;
    }
    if (const auto item = boxproto::AsItem(frame)) {
        tag.category = Category::Item;
        tag.address = item->address;
        tag.itemKind = item->itemKind;
    } else if (frame.bytes.size() >= 8 && frame.bytes[4] == 1) {
        tag.category = Category::Port;
        tag.port = frame.bytes[5];
    }
    return tag;
}

const char* CategoryName(Category category) {
    return kCategoryNames[static_cast<std::size_t>(category)];
}

bool FrameSelector::Matches(const FrameTag& tag) const {
    if (!category) return true;
    if (*category != tag.category) return false;
    if (address >= 0 && address != tag.address) return false;
    if (itemKind >= 0 && itemKind != tag.itemKind) return false;
    return port < 0 || port == tag.port;
}

std::string FrameSelector::Text() const {
    if (!category) return "any";
    std::string text = CategoryName(*category);
    // Appended piece by piece: GCC 12 at -O3 misreports "literal" + string.
    if (address >= 0) text.append(":").append(std::to_string(address));
    if (itemKind >= 0) text.append("/").append(std::to_string(itemKind));
    if (port >= 0) text.append(":").append(std::to_string(port));
    return text;
}

std::optional<FrameSelector> ParseSelector(std::string_view text) {
    FrameSelector selector;
    if (text == "any") return selector;
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    for (std::size_t i = 0; i < kCategoryCount; ++i) {
        if (name == kCategoryNames[i]) selector.category = static_cast<Category>(i);
    }
    if (!selector.category) return std::nullopt;
    if (colon == std::string_view::npos) return selector;
    const std::string_view detail = text.substr(colon + 1);
    if (selector.category == Category::Port) {
        const auto port = Number(detail, 255);
        if (!port) return std::nullopt;
        selector.port = *port;
        return selector;
    }
    if (selector.category != Category::Item) return std::nullopt;
    const std::size_t slash = detail.find('/');
    const auto address = Number(detail.substr(0, slash), 255);
    if (!address) return std::nullopt;
    selector.address = *address;
    if (slash != std::string_view::npos) {
        const auto kind = Number(detail.substr(slash + 1), 15);
        if (!kind) return std::nullopt;
        selector.itemKind = *kind;
    }
    return selector;
}

}  // namespace boxemu
