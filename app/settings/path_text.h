// A file's path as text for the user (messages), in UTF-8: the shell converts
// its texts to UTF-16 for the system, so a folder name outside the ANSI code
// page shows as it is.
#pragma once

#include <filesystem>
#include <string>

namespace bridge {

inline std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace bridge
