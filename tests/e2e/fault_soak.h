// The fault soak (fault_soak): what a run saw, on one clock, and the checks
// read from it. Every time is in microseconds of CLOCK_MONOTONIC_RAW, the
// clock Wine's QueryPerformanceCounter reads: the simulator emulator stamps
// its exchanges with it (--log-times), window_probe stamps what it did with
// it, and the driver stamps its injections and the box's frames with it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bridge::e2e::soak {

using Us = std::int64_t;
inline constexpr Us kMs = 1000;
inline constexpr Us kSecond = 1000 * kMs;

// The fault kinds, each with its weight in the default mix (kPlans in
// fault_soak.cpp).
enum class Kind : int {
    Unplug,           // the box's adapter out for 0.2 to 20 s
    Renumber,         // the adapter out, and back in another socket under another COM number
    SimKill,          // the simulator emulator killed and started again
    SimHang,          // no answer for 2 to 8 s
    SimSlow,          // every answer after 50 to 400 ms for a while
    Sleep,            // suspend, then one or both resumes, sent as Windows sends them
    ResumeAlone,      // an automatic resume without a suspend
    DeviceChange,     // WM_DEVICECHANGE, sent
    Noise,            // random bytes, a frame with a bad check, a frame cut short
    ClickReconnect,   // while it is enabled: the link failed, a try due or in progress
    ClickPortDialog,  // a missing port chosen (its message box answered), then the box's again
    ClickSetup,       // the operation setup opened and closed
    CloseRestart,     // the window closed at a random moment, the bridge started again
    SecondStart,      // bridge.exe started again beside the running one
    Overlap,  // two at once: unplug in a hang, sleep in a reconnect, close in a slow exchange
    Count
};
inline constexpr int kKindCount = static_cast<int>(Kind::Count);
const char* KindName(Kind kind);

struct Injection {
    Kind kind = Kind::Count;
    std::string variant;
    Us start = 0;
    Us end = 0;              // when the fault itself was over (0: not yet)
    Us release = -1;         // a moment the servos must be released (box lost, sleep, close, port)
    Us resume = -1;          // the box's port is reopened from here (a resume)
    Us boxBack = -1;         // when the box could be heard again (plugged, port chosen, restart)
    bool simFault = false;   // its recovery is the simulator link's
    bool lineFault = false;  // its recovery is the box line's
    bool excuses = false;    // commands sent meanwhile may be lost
    bool survived = true;    // the bridge ran on, or was closed on purpose and started again
    std::string note;
};

enum class CommandType : int {
    BankEngage,
    PitchEngage,
    BankFree,
    PitchFree,
    Altimeter,
    Nav1,
    Com1,
    Com2
};

struct Command {
    Us at = 0;
    CommandType type = CommandType::Altimeter;
    std::string write;  // for a setting: the simulator's write it must give ("0330 6919")
};

struct Exchange {
    Us at = 0;
    bool answered = false;   // answer 1
    int disconnect = -1;     // controls-disconnect written, -1 none
    bool bank = false;       // aileron written
    bool pitch = false;      // elevator written
    bool handshake = false;  // read the server version
    bool client = false;     // a client's first handshake (its stamp written)
    std::size_t hash = 0;    // of its requests: a block sent again after a time-out repeats it
};

struct SettingWrite {
    Us at = 0;
    std::size_t exchange = 0;  // index into Records::exchanges
    std::string write;         // "0330 6919"
};

// One start of bridge.exe, to its end.
struct BridgeRun {
    Us spawned = 0;
    Us shown = 0;
    Us closeAt = -1;  // the close posted
    Us exited = -1;
    std::string logFile;    // the log file's text, read after the end
    std::string windowLog;  // the window's log, read just before the close
};

struct Sample {
    Us at = 0;
    std::size_t run = 0;
    long rssKb = 0;
    long handles = -1;  // as Windows reports them (-1: it reports nothing)
    long threads = 0;   // as Windows reports them
    long tasks = 0;     // the Wine process's Linux threads
    long fds = 0;       // and its open file descriptors
};

struct Failure {
    Us at = 0;
    std::string check;
    std::string detail;
};

struct Records {
    Us begin = 0;   // the fault phase's start
    Us finish = 0;  // the end of the run
    std::uint32_t seed = 0;
    bool longRun = false;  // 10 minutes or more: the rates and slopes are judged
    std::vector<Exchange> exchanges;
    std::vector<SettingWrite> settings;
    std::vector<Us> attitude;  // attitude frames' arrival at the box
    // Port frames' arrival at the box, by box port (0 for ports above 2):
    // the radios' sentences, each of which gives the radio's replies on that
    // port a way in (until the first, a selection from that port is dropped).
    std::vector<std::pair<Us, int>> portFrames;
    std::vector<Injection> injections;
    std::vector<Command> commands;
    std::vector<BridgeRun> runs;
    std::vector<Sample> samples;
    std::vector<Failure> live;  // seen while running: a crash, a message box, two port owners
    std::size_t resends = 0;
};

struct Analysis {
    std::vector<Failure> failures;
    std::string table;
};

// Judges everything that happened before `horizon`.
Analysis Analyze(const Records& records, Us horizon);

}  // namespace bridge::e2e::soak
