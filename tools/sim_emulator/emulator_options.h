// The simulator emulator's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tools/sim_emulator/sim_server.h"

namespace simemu {

inline constexpr const char* kUsage =
    "sim_emulator [options]\n"
    "  --class NAME          window class, UIPCMAIN (default) or FS98MAIN\n"
    "  --version N           value served at 0x3304 (default 0x3A000000)\n"
    "  --simulator N         simulator id; serves 0xFADE0000 + N at 0x3308 (default 7)\n"
    "  --simulator-word N    the whole 32-bit value served at 0x3308\n"
    "  --fixed               fixed known values, no motion\n"
    "  --log PATH            log every exchange to PATH, one request per line\n"
    "  --log-times           end each exchange's X line in the log with qpc_us=<time>:\n"
    "                        when it began, in microseconds of QueryPerformanceCounter\n"
    "  --ready-event NAME    set the named event when ready\n"
    "  --fault KIND          none, no-reply, bad-reply, wrong-version, bad-size,\n"
    "                        huge-size, bad-marker, bad-reference, bad-end\n"
    "  --fault-after N       that many good exchanges first (default 0)\n"
    "  --fault-count N       that many faulty exchanges, 0 for all (default 0)\n"
    "  --no-reply-ms N       how long a no-reply fault holds the answer (default 500)\n"
    "  --slow-min-ms N       slow but correct: each exchange answered after a delay\n"
    "  --slow-max-ms N       drawn from N..M ms (a maximum of 0, the default, is never\n"
    "  --slow-for-ms N       slow), for N ms from the start or the command (0: always)\n"
    "  --seed N              seeds the slow mode's delays (default 1)\n"
    "  --keep-mapped         keep each client's section mapped once it has been used,\n"
    "                        as some servers do, and serve that view again whenever\n"
    "                        the same atom number comes back, whatever the atom names\n"
    "                        now (logged as STALE when it names another section)\n"
    "  --keep-mapped-by-name keep each section mapped the same way, found again by\n"
    "                        the name the atom carries\n"
    "  --show                show the window, with the inputs clients wrote (controls,\n"
    "                        altimeter setting, radios) and the attitude in its\n"
    "                        control 100 (window_probe text UIPCMAIN 100)\n"
    "  --stop                instead of serving: close the running emulator of --class\n"
    "                        and wait until it has ended\n"
    "  --send-fault          instead of serving: give the running emulator of --class\n"
    "                        the fault of --fault, --fault-after and --fault-count;\n"
    "                        with --no-reply-ms or --slow-max-ms, that hold or slow\n"
    "                        mode (and the fault only when --fault is given too)\n"
    "Numbers are decimal or 0x-prefixed hexadecimal. Faults can also be set while\n"
    "running with the registered message \"SimEmulator:Fault\": first parameter the\n"
    "fault's number (its place in the list above, from 0) plus 256 times the count,\n"
    "second parameter the number of good exchanges first; \"SimEmulator:Hold\" sets\n"
    "the no-reply hold (first parameter, ms) and \"SimEmulator:Slow\" the slow mode\n"
    "(first parameter minimum plus 65536 times maximum, second the duration, ms).\n";

// How the emulator finds a section it has already mapped; a kept section
// stays mapped, and its name in use, for as long as the emulator runs.
enum class KeptSections : std::uint8_t { None, ByAtom, ByName };

struct EmulatorOptions {
    std::string windowClass = "UIPCMAIN";
    std::uint32_t version = kDefaultVersion;
    std::uint32_t simulatorWord = kDefaultSimulatorWord;
    bool fixed = false;
    std::string logPath;
    bool logTimes = false;
    std::string readyEvent;
    Fault fault = Fault::None;
    std::uint32_t faultAfter = 0;
    std::uint32_t faultCount = 0;
    std::uint32_t noReplyMs = 500;
    std::uint32_t slowMinMs = 0;
    std::uint32_t slowMaxMs = 0;
    std::uint32_t slowForMs = 0;
    std::uint32_t seed = 1;
    // Which of those the command line gave (for --send-fault).
    bool faultGiven = false;
    bool holdGiven = false;
    bool slowGiven = false;
    bool show = false;
    KeptSections keepMapped = KeptSections::None;
    bool help = false;
    bool stopRunning = false;
    bool sendFault = false;
};

// The options, or nothing with `error` set.
std::optional<EmulatorOptions> ParseOptions(std::span<const std::string_view> args,
                                            std::string& error);

}  // namespace simemu
