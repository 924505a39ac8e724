#include "tools/box_emulator/commands.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "tools/box_protocol/box_protocol.h"
#include "tools/box_protocol/frame_fields.h"

namespace boxemu {
namespace {

constexpr std::size_t kPortTextMax = 251;  // LEN = 1 + text + CR LF + trailing byte <= 255

struct RadioSlotInfo {
    const char* name;
    bool sl40;
    std::uint8_t messageId;
    std::uint32_t lowKhz;
    std::uint32_t highKhz;
};

// Message ids of the radios' frequency selections; NAV 108.00 to 117.975 MHz,
// COM 118.00 to 136.975 MHz.
constexpr RadioSlotInfo kSlots[] = {
    {"nav1", false, 0x27, 108000, 117975}, {"nav1sb", false, 0x28, 108000, 117975},
    {"com1", false, 0x42, 118000, 136975}, {"com1sb", false, 0x29, 118000, 136975},
    {"com2", true, 0x00, 118000, 136975},  {"com2sb", true, 0x01, 118000, 136975},
};

const RadioSlotInfo& Info(RadioSlot slot) { return kSlots[static_cast<std::size_t>(slot)]; }

constexpr const char* kBlanks = " \t\r\n";  // a script written on Windows ends lines in CR LF

// Splits off the next word; `rest` keeps what follows it.
std::string_view NextWord(std::string_view& rest) {
    const std::size_t start = rest.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const std::size_t end = rest.find_first_of(kBlanks);
    const std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    return word;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(kBlanks);
    return text.substr(start, end - start + 1);
}

template <typename T>
std::optional<T> Integer(std::string_view text, T low, T high) {
    T v{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) {
        return std::nullopt;
    }
    return v;
}

// "110.50", "110.5", "118.025" or "110" to kHz, digit by digit.
std::optional<std::uint32_t> Kilohertz(std::string_view text) {
    const std::size_t dot = text.find('.');
    const auto mhz = Integer<std::uint32_t>(text.substr(0, dot), 0, 999);
    if (!mhz) return std::nullopt;
    std::uint32_t fraction = 0;
    if (dot != std::string_view::npos) {
        const std::string_view digits = text.substr(dot + 1);
        if (digits.empty() || digits.size() > 3) return std::nullopt;
        for (std::size_t i = 0; i < 3; ++i) {
            const char c = i < digits.size() ? digits[i] : '0';
            if (c < '0' || c > '9') return std::nullopt;
            fraction = fraction * 10 + static_cast<std::uint32_t>(c - '0');
        }
    }
    return *mhz * 1000 + fraction;
}

std::optional<std::uint8_t> BoxPort(std::string_view text) {
    return Integer<std::uint8_t>(text, 1, 5);
}

ParsedLine Error(std::string text) { return {std::nullopt, std::move(text)}; }
ParsedLine Ok(Command command) { return {std::move(command), {}}; }

ParsedLine ParseServo(std::string_view rest) {
    const std::string_view servo = NextWord(rest);
    const std::string_view action = NextWord(rest);
    const std::string_view position = NextWord(rest);
    ServoCommand c;
    if (servo == "bank") {
        c.selector = 1;
    } else if (servo == "pitch") {
        c.selector = 2;
    } else {
        return Error("servo: expected bank or pitch");
    }
    if (action == "engage") {
        c.engage = true;
    } else if (action != "disengage") {
        return Error("servo: expected engage or disengage");
    }
    const auto p = Integer<std::int16_t>(position, 0, 2048);
    if (!p || !NextWord(rest).empty()) return Error("servo: expected a position 0..2048");
    c.position = *p;
    return Ok(c);
}

ParsedLine ParseRadio(RadioSlot slot, std::string_view rest) {
    const RadioSlotInfo& info = Info(slot);
    const std::string name = info.name;
    const auto kHz = Kilohertz(NextWord(rest));
    if (!kHz) return Error(name + ": expected a frequency in MHz, e.g. 110.50");
    if (*kHz < info.lowKhz || *kHz > info.highKhz || *kHz % 25 != 0) {
        return Error(name + ": " + boxproto::FormatMhz(*kHz) + " MHz is not a channel of " +
                     boxproto::FormatMhz(info.lowKhz) + " to " + boxproto::FormatMhz(info.highKhz) +
                     " MHz in 25 kHz steps");
    }
    RadioCommand c{slot, *kHz, 0};
    const std::string_view keyword = NextWord(rest);
    if (!keyword.empty()) {
        const auto port = BoxPort(NextWord(rest));
        if (keyword != "port" || !port || !NextWord(rest).empty()) {
            return Error(name + ": expected \"port <1..5>\" after the frequency");
        }
        c.port = *port;
    }
    return Ok(c);
}

ParsedLine ParseAltimeter(std::string_view rest) {
    std::string_view value = NextWord(rest);
    const std::string_view unit = NextWord(rest);
    if (value.ends_with("hPa")) value.remove_suffix(3);
    double hPa = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), hPa);
    const bool unitOk = unit.empty() || unit == "hPa" || unit == "hpa";
    if (ec != std::errc() || end != value.data() + value.size() || !unitOk ||
        !NextWord(rest).empty() || !(hPa >= 0.0 && hPa <= 6553.5)) {
        return Error("altimeter: expected a setting of 0 to 6553.5 hPa");
    }
    return Ok(AltimeterCommand{static_cast<std::uint16_t>(std::lround(hPa * 10.0))});
}

ParsedLine ParsePortText(std::string_view rest) {
    const auto port = BoxPort(NextWord(rest));
    const std::string_view text = Trimmed(rest);
    if (!port || text.empty()) return Error("porttext: expected a port 1..5 and a text");
    if (text.size() > kPortTextMax) return Error("porttext: the text is longer than 251 bytes");
    return Ok(PortTextCommand{*port, std::string(text)});
}

ParsedLine ParseRaw(std::string_view rest) {
    RawCommand c;
    int high = -1;
    for (const char ch : rest) {
        if (ch == ' ' || ch == '\t' || ch == ',') continue;
        int nibble = -1;
        if (ch >= '0' && ch <= '9') nibble = ch - '0';
        if (ch >= 'a' && ch <= 'f') nibble = ch - 'a' + 10;
        if (ch >= 'A' && ch <= 'F') nibble = ch - 'A' + 10;
        if (nibble < 0) return Error(std::string("raw: '") + ch + "' is not a hex digit");
        if (high < 0) {
            high = nibble;
        } else {
            c.bytes.push_back(static_cast<std::uint8_t>(high * 16 + nibble));
            high = -1;
        }
    }
    if (high >= 0 || c.bytes.empty()) return Error("raw: expected whole hex bytes");
    return Ok(c);
}

ParsedLine ParseWaitFrames(std::string_view rest) {
    const auto selector = ParseSelector(NextWord(rest));
    if (!selector) {
        return Error(
            "wait-frames: expected attitude, airdata, item[:A[/K]], port[:N], arinc, other or "
            "any");
    }
    const auto count = Integer<std::uint32_t>(NextWord(rest), 1, 1000000000);
    if (!count) return Error("wait-frames: expected a frame count of at least 1");
    WaitFramesCommand c{*selector, *count, 0};
    const std::string_view keyword = NextWord(rest);
    if (!keyword.empty()) {
        const auto timeout = ParseDuration(NextWord(rest));
        if (keyword != "timeout" || !timeout || *timeout == 0 || !NextWord(rest).empty()) {
            return Error("wait-frames: expected \"timeout <time>\" after the count");
        }
        c.timeoutMs = *timeout;
    }
    return Ok(c);
}

}  // namespace

std::optional<std::uint32_t> ParseDuration(std::string_view text) {
    std::uint32_t scale = 1;
    if (text.ends_with("ms")) {
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        text.remove_suffix(1);
        scale = 1000;
    }
    const auto v = Integer<std::uint32_t>(text, 0, 4000000000u / scale);
    if (!v) return std::nullopt;
    return *v * scale;
}

ParsedLine ParseCommand(std::string_view line) {
    std::string_view rest = line;
    const std::string_view word = NextWord(rest);
    if (word.empty() || word.starts_with('#')) return {};
    if (word == "servo") return ParseServo(rest);
    for (std::size_t i = 0; i < std::size(kSlots); ++i) {
        if (word == kSlots[i].name) return ParseRadio(static_cast<RadioSlot>(i), rest);
    }
    if (word == "altimeter" || word == "alt") return ParseAltimeter(rest);
    if (word == "porttext") return ParsePortText(rest);
    if (word == "raw") return ParseRaw(rest);
    if (word == "wait") {
        const auto ms = ParseDuration(NextWord(rest));
        if (!ms || !NextWord(rest).empty()) return Error("wait: expected a time, e.g. 500ms or 2s");
        return Ok(WaitCommand{*ms});
    }
    if (word == "wait-frames") return ParseWaitFrames(rest);
    if (word == "echo") return Ok(EchoCommand{std::string(Trimmed(rest))});
    if (word == "quit" || word == "exit") {
        if (!NextWord(rest).empty()) return Error(std::string(word) + ": takes no arguments");
        return Ok(QuitCommand{});
    }
    return Error("unknown command \"" + std::string(word) + "\"");
}

bool IsSl40(RadioSlot slot) { return Info(slot).sl40; }

const char* RadioSlotName(RadioSlot slot) { return Info(slot).name; }

std::vector<std::uint8_t> CommandFrame(const Command& command, RadioPorts ports) {
    if (const auto* c = std::get_if<ServoCommand>(&command)) {
        return boxproto::ServoCommandFrame(c->selector, c->engage, c->position);
    }
    if (const auto* c = std::get_if<RadioCommand>(&command)) {
        const RadioSlotInfo& info = Info(c->slot);
        std::uint8_t port = c->port != 0 ? c->port : info.sl40 ? ports.sl40 : ports.sl30;
        if (port < 1 || port > 5) port = 1;
        return boxproto::PortDataFrame(
            port, boxproto::RadioReplySentence(info.sl40, info.messageId, c->kHz));
    }
    if (const auto* c = std::get_if<AltimeterCommand>(&command)) {
        return boxproto::AltimeterFrame(c->tenthsHpa);
    }
    if (const auto* c = std::get_if<PortTextCommand>(&command)) {
        return boxproto::PortDataFrame(c->port, c->text + "\r\n");
    }
    if (const auto* c = std::get_if<RawCommand>(&command)) return c->bytes;
    return {};
}

std::string DescribeCommand(const Command& command) {
    char text[64];
    if (const auto* c = std::get_if<ServoCommand>(&command)) {
        std::snprintf(text, sizeof text, "servo %s %s %d", c->selector == 2 ? "pitch" : "bank",
                      c->engage ? "engage" : "disengage", c->position);
        return text;
    }
    if (const auto* c = std::get_if<RadioCommand>(&command)) {
        std::string d = std::string(RadioSlotName(c->slot)) + " " + boxproto::FormatMhz(c->kHz);
        if (c->port != 0) d += " port " + std::to_string(c->port);
        return d;
    }
    if (const auto* c = std::get_if<AltimeterCommand>(&command)) {
        std::snprintf(text, sizeof text, "altimeter %u.%u", c->tenthsHpa / 10u, c->tenthsHpa % 10u);
        return text;
    }
    if (const auto* c = std::get_if<PortTextCommand>(&command)) {
        return "porttext " + std::to_string(c->port) + " " + c->text;
    }
    if (const auto* c = std::get_if<RawCommand>(&command)) {
        std::string d = "raw";
        for (const std::uint8_t b : c->bytes) {
            std::snprintf(text, sizeof text, " %02X", b);
            d += text;
        }
        return d;
    }
    if (const auto* c = std::get_if<WaitCommand>(&command)) {
        return "wait " + std::to_string(c->ms) + "ms";
    }
    if (const auto* c = std::get_if<WaitFramesCommand>(&command)) {
        std::string d = "wait-frames " + c->selector.Text() + " " + std::to_string(c->count);
        if (c->timeoutMs != 0) d += " timeout " + std::to_string(c->timeoutMs) + "ms";
        return d;
    }
    if (const auto* c = std::get_if<EchoCommand>(&command)) return "echo " + c->text;
    return "quit";
}

const char* SentKindName(const Command& command) {
    if (std::holds_alternative<ServoCommand>(command)) return "servo";
    if (std::holds_alternative<RadioCommand>(command)) return "radio";
    if (std::holds_alternative<AltimeterCommand>(command)) return "altimeter";
    if (std::holds_alternative<PortTextCommand>(command)) return "porttext";
    if (std::holds_alternative<RawCommand>(command)) return "raw";
    return nullptr;
}

}  // namespace boxemu
