// The emulator's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boxemu {

enum class ViewMode : std::uint8_t { Auto, Panel, Plain, Quiet };

struct Options {
    bool pty = false;
    std::string device;      // a real serial port instead of a pty
    std::string link;        // a stable symbolic link to the pty
    std::string winePrefix;  // with com: <prefix>/dosdevices/com<N> -> link
    unsigned com = 0;
    std::string script;
    bool readStdin = true;
    std::string logPath;
    std::string summaryPath;
    ViewMode view = ViewMode::Auto;
    std::optional<std::uint32_t> durationMs;
    bool help = false;
};

// The options, or an error text for the user.
struct ParsedOptions {
    Options options;
    std::string error;
};

ParsedOptions ParseOptions(const std::vector<std::string>& args);
const char* UsageText();

}  // namespace boxemu
