#include "tools/box_emulator/options.h"

#include <charconv>

#include "tools/box_emulator/commands.h"

namespace boxemu {

const char* UsageText() {
    return "Usage: box_emulator (--pty | --device PATH) [options]\n"
           "The interface box's end of the bridge's serial line: shows what the bridge sends\n"
           "and sends what a box sends.\n"
           "  --pty               create a pseudo-terminal for the bridge to open\n"
           "  --device PATH       use a serial port (115200 8N1, raw, no flow control)\n"
           "  --link PATH         keep a symbolic link at PATH to the pty\n"
           "  --wine-prefix DIR   link DIR/dosdevices/comN to the pty's stable link\n"
           "                      (default link DIR/box-emulator/comN); needs --com\n"
           "  --com N             the COM number (1..256) for --wine-prefix\n"
           "  --script FILE       run the commands in FILE, then those typed\n"
           "  --no-stdin          read no commands from standard input\n"
           "  --log FILE          write one line per frame received or sent to FILE\n"
           "  --summary FILE      write the summary at exit to FILE as well\n"
           "  --plain             a snapshot line every second (default when not a terminal)\n"
           "  --quiet             no panel and no snapshots\n"
           "  --duration TIME     stop after TIME, e.g. 30s or 1500ms\n"
           "Commands (script or keyboard, one per line):\n"
           "  servo bank|pitch engage|disengage <0..2048>\n"
           "  nav1|nav1sb|com1|com1sb|com2|com2sb <MHz> [port <1..5>]\n"
           "  altimeter <hPa>\n"
           "  porttext <1..5> <text>\n"
           "  raw <hex bytes>\n"
           "  wait <time>\n"
           "  wait-frames attitude|airdata|item[:A[/K]]|port[:N]|arinc|other|any <count>"
           " [timeout <time>]\n"
           "  echo <text>\n"
           "  quit\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions result;
    Options& o = result.options;
    const auto fail = [&result](std::string text) {
        result.error = std::move(text);
        return result;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const auto value = [&]() -> const std::string& { return args[++i]; };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--pty") {
            o.pty = true;
        } else if (a == "--no-stdin") {
            o.readStdin = false;
        } else if (a == "--plain") {
            o.view = ViewMode::Plain;
        } else if (a == "--quiet") {
            o.view = ViewMode::Quiet;
        } else if (!hasValue &&
                   (a == "--device" || a == "--link" || a == "--wine-prefix" || a == "--com" ||
                    a == "--script" || a == "--log" || a == "--summary" || a == "--duration")) {
            return fail(a + " needs a value");
        } else if (a == "--device") {
            o.device = value();
        } else if (a == "--link") {
            o.link = value();
        } else if (a == "--wine-prefix") {
            o.winePrefix = value();
        } else if (a == "--com") {
            const std::string& n = value();
            unsigned com = 0;
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), com);
            if (ec != std::errc() || end != n.data() + n.size() || com < 1 || com > 256) {
                return fail("--com needs a number from 1 to 256");
            }
            o.com = com;
        } else if (a == "--script") {
            o.script = value();
        } else if (a == "--log") {
            o.logPath = value();
        } else if (a == "--summary") {
            o.summaryPath = value();
        } else if (a == "--duration") {
            o.durationMs = ParseDuration(value());
            if (!o.durationMs) return fail("--duration needs a time, e.g. 30s or 1500ms");
        } else {
            return fail("unknown option " + a);
        }
    }
    if (o.help) return result;
    if (o.pty == !o.device.empty()) return fail("give either --pty or --device PATH");
    if (!o.winePrefix.empty() && o.com == 0) return fail("--wine-prefix needs --com N");
    if (o.com != 0 && o.winePrefix.empty()) return fail("--com needs --wine-prefix DIR");
    if (!o.device.empty() && (!o.link.empty() || !o.winePrefix.empty())) {
        return fail("--link and --wine-prefix go with --pty");
    }
    return result;
}

}  // namespace boxemu
