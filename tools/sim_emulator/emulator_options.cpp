#include "tools/sim_emulator/emulator_options.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace simemu {
namespace {

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (status != std::errc{} || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<EmulatorOptions> ParseOptions(std::span<const std::string_view> args,
                                            std::string& error) {
    EmulatorOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        if (name == "--keep-mapped" || name == "--keep-mapped-by-name") {
            o.keepMapped = name == "--keep-mapped" ? KeptSections::ByAtom : KeptSections::ByName;
            continue;
        }
        bool* flag = name == "--fixed"        ? &o.fixed
                     : name == "--show"       ? &o.show
                     : name == "--help"       ? &o.help
                     : name == "--stop"       ? &o.stopRunning
                     : name == "--send-fault" ? &o.sendFault
                     : name == "--log-times"  ? &o.logTimes
                                              : nullptr;
        if (flag != nullptr) {
            *flag = true;
            continue;
        }
        static constexpr std::string_view kWithValue[] = {
            "--class",       "--log",         "--ready-event",    "--fault",
            "--version",     "--simulator",   "--simulator-word", "--fault-after",
            "--fault-count", "--no-reply-ms", "--slow-min-ms",    "--slow-max-ms",
            "--slow-for-ms", "--seed"};
        if (std::find(std::begin(kWithValue), std::end(kWithValue), name) == std::end(kWithValue)) {
            error = "unknown option: " + std::string(name);
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "missing value after " + std::string(name);
            return std::nullopt;
        }
        const std::string_view value = args[++i];
        const auto number = ParseNumber(value);
        const auto needNumber = [&](std::uint32_t& field) {
            if (!number) error = "not a number: " + std::string(value);
            if (number) field = *number;
            return number.has_value();
        };
        if (name == "--class") {
            if (value != "UIPCMAIN" && value != "FS98MAIN") {
                error = "unknown window class: " + std::string(value);
                return std::nullopt;
            }
            o.windowClass = value;
        } else if (name == "--log") {
            o.logPath = value;
        } else if (name == "--ready-event") {
            o.readyEvent = value;
        } else if (name == "--fault") {
            const auto fault = ParseFault(value);
            if (!fault) {
                error = "unknown fault: " + std::string(value);
                return std::nullopt;
            }
            o.fault = *fault;
            o.faultGiven = true;
        } else if (name == "--version") {
            if (!needNumber(o.version)) return std::nullopt;
        } else if (name == "--simulator") {
            std::uint32_t id = 0;
            if (!needNumber(id) || id > 0xFFFF) {
                if (error.empty()) error = "simulator id above 65535";
                return std::nullopt;
            }
            o.simulatorWord = 0xFADE0000u | id;
        } else if (name == "--simulator-word") {
            if (!needNumber(o.simulatorWord)) return std::nullopt;
        } else if (name == "--fault-after") {
            if (!needNumber(o.faultAfter)) return std::nullopt;
        } else if (name == "--fault-count") {
            if (!needNumber(o.faultCount)) return std::nullopt;
        } else if (name == "--no-reply-ms") {
            if (!needNumber(o.noReplyMs)) return std::nullopt;
            o.holdGiven = true;
        } else {
            std::uint32_t* field = name == "--slow-min-ms"   ? &o.slowMinMs
                                   : name == "--slow-max-ms" ? &o.slowMaxMs
                                   : name == "--slow-for-ms" ? &o.slowForMs
                                                             : &o.seed;
            if (!needNumber(*field)) return std::nullopt;
            o.slowGiven = o.slowGiven || field != &o.seed;
        }
    }
    if (o.slowMinMs > 0xFFFF || o.slowMaxMs > 0xFFFF) {
        error = "a slow delay above 65535 ms";
        return std::nullopt;
    }
    return o;
}

}  // namespace simemu
