// fault_soak: the whole system under Wine for a while, with faults injected
// at random moments from a seed, and the checks of fault_soak_checks.cpp
// read from the box's and the simulator's own records. Run it inside a Wine
// session (scripts/soak --faults does):
//
//   fault_soak [--minutes M | --seconds S] [--seed N] [--short] [--report FILE] [--logs DIR]
//              [--keep-going]
//
// The box is the driver itself, on the far end of the pty pair that can be
// unplugged; it sends servo commands, radio selections and altimeter
// settings at a steady pace, each with a value of its own. The simulator
// emulator flies its scripted flight and stamps each exchange. Faults run
// each in a thread of their own, holding what they use (the box's port, the
// simulator, the window, the line), so faults that use different things
// overlap as they come. --short: every kind once, then more, with short
// durations and no wait for calm (the test command's run). A failed check
// ends the run (unless --keep-going) and keeps the logs.
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "app/win32/control_ids.h"
#include "tests/e2e/adapter_keys.h"
#include "tests/e2e/box_line.h"
#include "tests/e2e/bridge_session.h"
#include "tests/e2e/fault_soak.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::e2e::soak {
namespace {

namespace ids = gui::ids;
namespace fs = std::filesystem;

Us NowUs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &t);
    return static_cast<Us>(t.tv_sec) * kSecond + t.tv_nsec / 1000;
}

// The box line stamps frames with the steady clock (CLOCK_MONOTONIC).
Us ToRaw(std::chrono::steady_clock::time_point at) {
    const auto us = [](std::chrono::steady_clock::time_point t) {
        return static_cast<Us>(
            std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count());
    };
    return us(at) + (NowUs() - us(std::chrono::steady_clock::now()));
}

void SleepUntil(Us at) {
    const Us left = at - NowUs();
    if (left > 0) std::this_thread::sleep_for(std::chrono::microseconds(left));
}

constexpr int kBoxCom = 5;      // the pty pair that can be unplugged
constexpr int kMissingCom = 6;  // a port that is not there
constexpr int kOtherCom = 7;    // where the adapter is numbered in another socket
// The adapter's serial number: the bridge finds it by it under any number.
constexpr const char* kAdapterSerial = "01F3A9C2";
constexpr Settings kSettings = {kBoxCom - 1, 1, 2, 1, 2};
constexpr Us kCommandPeriod = 400 * kMs;

// Children are started from this one thread: a child is ended when the
// thread that started it ends (PR_SET_PDEATHSIG), and the faults' threads
// are short.
class Spawner {
public:
    Spawner() : thread_([this] { Loop(); }) {}
    ~Spawner() {
        {
            std::lock_guard<std::mutex> guard(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void Run(const std::function<void()>& task) {
        std::lock_guard<std::mutex> one(caller_);
        std::unique_lock<std::mutex> lock(m_);
        task_ = &task;
        cv_.notify_all();
        cv_.wait(lock, [&] { return task_ == nullptr; });
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(m_);
        while (!stop_) {
            cv_.wait(lock, [&] { return stop_ || task_ != nullptr; });
            if (task_ == nullptr) continue;
            (*task_)();
            task_ = nullptr;
            cv_.notify_all();
        }
    }

    std::mutex caller_, m_;
    std::condition_variable cv_;
    const std::function<void()>* task_ = nullptr;
    bool stop_ = false;
    std::thread thread_;
};

// Where the bridge's receiver stands after the bytes the box sent, as the
// box line's frames are read (05 82, a length of 3 or more, a kind, the
// payload; a byte other than 82 after 05 goes back to hunting, a second 05
// too). A frame is read whole only if it starts with the receiver hunting: a
// frame cut short takes the next frame's first bytes, and a lone 05 at the
// end of what follows makes the receiver miss the sync of the frame after.
class ReceiveModel {
public:
    bool Hunting() const { return state_ == State::Hunt; }
    void Feed(const std::vector<std::uint8_t>& bytes) {
        for (const std::uint8_t b : bytes) {
            switch (state_) {
                case State::Hunt: state_ = b == 0x05 ? State::Sync : State::Hunt; break;
                case State::Sync: state_ = b == 0x82 ? State::Length : State::Hunt; break;
                case State::Length:
                    remaining_ = b;
                    state_ = b >= 3 ? State::Kind : State::Hunt;
                    break;
                case State::Kind: state_ = State::Payload; break;
                case State::Payload:
                    if (--remaining_ == 0) state_ = State::Hunt;
                    break;
            }
        }
    }

private:
    enum class State { Hunt, Sync, Length, Kind, Payload } state_ = State::Hunt;
    int remaining_ = 0;
};

enum Resource : unsigned { kPort = 1, kSim = 2, kWindow = 4, kLine = 8 };

struct KindPlan {
    int weight;
    unsigned resources;
};
// By Kind. Reconnect clicks weigh most: a click while a try waits for a slow
// simulator is the pilot's moment the window's event order must get right.
constexpr KindPlan kPlans[kKindCount] = {
    {10, kPort},                  // Unplug
    {5, kPort | kWindow},         // Renumber: the device change is sent to the window
    {6, kSim},                    // SimKill
    {6, kSim},                    // SimHang
    {6, kSim},                    // SimSlow
    {6, kWindow},                 // Sleep
    {3, kWindow},                 // ResumeAlone
    {3, kWindow},                 // DeviceChange
    {8, kLine},                   // Noise
    {12, kWindow | kSim},         // ClickReconnect
    {4, kWindow | kPort},         // ClickPortDialog
    {3, kWindow},                 // ClickSetup
    {4, kWindow | kPort | kSim},  // CloseRestart: each restart starts the samples anew
    {3, kWindow},                 // SecondStart
    {8, kWindow | kPort | kSim},  // Overlap
};

struct Options {
    Us length = 30 * 60 * kSecond;
    std::uint32_t seed = 0;
    bool shortRun = false;
    bool keepGoing = false;
    std::string report;
    std::string logs;  // the folder the session's folder goes in (default: the temporary one)
};

std::string Hex16(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", v & 0xFFu, (v >> 8) & 0xFFu);
    return text;
}

unsigned Bcd(std::uint32_t kHz) {
    const std::uint32_t b = (kHz - 100000) / 10;
    return (b / 1000 % 10) << 12 | (b / 100 % 10) << 8 | (b / 10 % 10) << 4 | b % 10;
}

class Soak {
public:
    explicit Soak(const Options& o) : o_(o), random_(o.seed) {}
    int Run();

private:
    // Set-up and the threads that run all the time.
    bool StartSystem();
    bool StartBridge();
    void Feeder();
    void Monitor();
    void Ingest();
    void IngestSimLog(int start);
    void WatchBridge();
    void WatchMessageBoxes();
    void TakeSample();
    void Schedule();
    // Back at full rate, and (unless `anyFaults`) no fault active.
    bool Calm(bool anyFaults = false);
    bool WaitCalm(Us timeout, bool anyFaults = false);
    void Finish();

    // The faults.
    void RunFault(Kind kind, std::uint32_t seed);
    void Unplug(std::mt19937& r, Kind as, Us length);
    void Renumber(std::mt19937& r);
    void SimKill(std::mt19937& r);
    void SimHang(std::mt19937& r, Kind as, Us hold, const std::function<void(Us)>& during = {});
    void SimSlow(std::mt19937& r);
    void Sleep(std::mt19937& r, Kind as, Us at);
    void SendOne(Kind kind, const std::string& variant, const std::string& message, bool port);
    void Noise(std::mt19937& r);
    void ClickReconnect(std::mt19937& r, Kind as, bool slow, bool targeted, bool sleepInside);
    void ClickPortDialog(std::mt19937& r);
    void ClickSetup();
    // A dialog opened by its button and closed by its OK; the click's moment.
    Us OpenAndClose(const std::string& dialog, int button, int ok);
    void CloseRestart(std::mt19937& r, Kind as, const std::string& variant, Us at);
    void SecondStart();
    void Overlap(std::mt19937& r);

    // Helpers.
    // In a long run, whether the running bridge is too young to be closed:
    // the slopes are fitted past each run's start-up, so runs must last.
    bool TooYoungToClose();
    std::size_t Begin(Injection f);
    void Update(std::size_t index, const std::function<void(Injection&)>& change);
    void LiveFailure(const std::string& check, const std::string& detail);
    // The box sends nothing from 300 ms before a release the driver makes
    // until just after it, so that each command is clearly before or after
    // it; and nothing while no bridge has the box's port open (the pty keeps
    // what a closed port would drop).
    void Quiet(Us at, Us until = 0) {
        quietFrom_ = at - 300 * kMs;
        quietTo_ = until > 0 ? until : at + 50 * kMs;
    }
    bool SimSend(const std::string& message, std::uint64_t wParam, std::uint64_t lParam);
    bool LinkUp();
    Us FailLink();
    Us WaitUnanswered(Us from, Us timeout);
    // Returns whether the bridge reads `bytes` from a frame's start.
    bool BoxWrite(const std::vector<std::uint8_t>& bytes, Us* at = nullptr);
    std::vector<std::string> SimArguments();
    Us Uniform(std::mt19937& r, Us low, Us high) {
        return std::uniform_int_distribution<Us>(low, high)(r);
    }
    bool Chance(std::mt19937& r, double p) { return std::uniform_real_distribution<>(0, 1)(r) < p; }

    Options o_;
    std::mt19937 random_;
    BridgeSession session_;
    Spawner spawner_;  // after the session: ended before it
    BoxLine box_;
    std::mutex boxWrite_;
    ReceiveModel receiver_;  // guarded by boxWrite_
    ProbeServer probeMonitor_, probeSim_, probeWindow_;

    std::mutex m_;  // guards what follows
    std::condition_variable changed_;
    Records rec_;
    unsigned busy_ = 0;
    int simLogs_ = 0;
    std::vector<std::thread> faults_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> stopFeeder_{false};
    std::atomic<bool> stopMonitor_{false};
    std::atomic<bool> closing_{false};
    std::atomic<int> dialogs_{0};       // faults with a message box or dialog of their own open
    std::atomic<int> boxCom_{kBoxCom};  // where Windows numbers the box's adapter now
    std::atomic<int> active_{0};
    std::atomic<pid_t> bridgePid_{-1};
    std::atomic<Us> quietFrom_{0}, quietTo_{0};
    std::atomic<long> noiseOpen_{-1};  // a noise burst waiting for the next valid frame

    // The monitor's places in the records it reads.
    std::size_t framesRead_ = 0;
    struct SimTail {
        std::size_t offset = 0;
        std::string partial;
        Exchange pending;
        std::string requests;
        std::vector<std::string> writes;
        long last = -1;  // index of its last exchange in rec_.exchanges
    };
    std::vector<SimTail> tails_;
};

std::size_t Soak::Begin(Injection f) {
    std::lock_guard<std::mutex> guard(m_);
    rec_.injections.push_back(std::move(f));
    return rec_.injections.size() - 1;
}

void Soak::Update(std::size_t index, const std::function<void(Injection&)>& change) {
    std::lock_guard<std::mutex> guard(m_);
    change(rec_.injections[index]);
}

void Soak::LiveFailure(const std::string& check, const std::string& detail) {
    std::lock_guard<std::mutex> guard(m_);
    rec_.live.push_back({NowUs(), check, detail});
    if (!o_.keepGoing) stop_ = true;
}

std::vector<std::string> Soak::SimArguments() {
    return {"--log-times", "--seed", std::to_string(o_.seed + static_cast<unsigned>(simLogs_))};
}

bool Soak::SimSend(const std::string& message, std::uint64_t wParam, std::uint64_t lParam) {
    return probeSim_
               .Run("send UIPCMAIN " + message + " " + std::to_string(wParam) + " " +
                    std::to_string(lParam))
               .status == 0;
}

// Exchanges going on: the link is up.
bool Soak::LinkUp() {
    std::lock_guard<std::mutex> guard(m_);
    for (auto e = rec_.exchanges.rbegin(); e != rec_.exchanges.rend(); ++e) {
        if (e->answered) return NowUs() - e->at < 300 * kMs;
    }
    return false;
}

// Makes the link fail with a bad answer, once it is up: the moment of the
// failing exchange, or -1 (the fault taken back) when none came.
Us Soak::FailLink() {
    WaitUntil([&] { return stop_ || LinkUp(); }, std::chrono::seconds(20));
    const Us sent = NowUs();
    SimSend("SimEmulator:Fault", 2 + 256, 0);  // bad-reply, once
    const Us failed = WaitUnanswered(sent, 5 * kSecond);
    if (failed < 0) SimSend("SimEmulator:Fault", 0, 0);
    return failed;
}

// The first exchange from `from` on that the emulator did not answer.
Us Soak::WaitUnanswered(Us from, Us timeout) {
    Us found = -1;
    WaitUntil(
        [&] {
            std::lock_guard<std::mutex> guard(m_);
            for (auto e = rec_.exchanges.rbegin(); e != rec_.exchanges.rend() && e->at >= from;
                 ++e) {
                if (!e->answered) found = e->at;
            }
            return found >= 0;
        },
        std::chrono::milliseconds(timeout / kMs));
    return found;
}

bool Soak::BoxWrite(const std::vector<std::uint8_t>& bytes, Us* at) {
    std::lock_guard<std::mutex> guard(boxWrite_);
    if (at != nullptr) *at = NowUs();
    box_.Write(bytes);
    const bool whole = receiver_.Hunting();
    receiver_.Feed(bytes);
    return whole;
}

// ---------------------------------------------------------------- set-up

bool Soak::StartBridge() {
    {
        std::lock_guard<std::mutex> guard(m_);
        rec_.runs.push_back({});
        rec_.runs.back().spawned = NowUs();
    }
    bool started = false;
    spawner_.Run([&] { started = session_.StartBridge(false); });
    if (!started) return false;
    bridgePid_ = session_.BridgePid();
    const auto shown = probeWindow_.Run(std::string("wait ") + ids::kMainWindowClass + " 30000");
    if (shown.status != 0) return false;
    {
        std::lock_guard<std::mutex> guard(m_);
        rec_.runs.back().shown = shown.atUs;
    }
    // The first time a bridge opens each dialog costs it up to 1 MB once
    // (Wine's dialog and common-control code), whenever it comes: in a long
    // run, within the start-up that the slopes leave out.
    if (rec_.longRun) {
        OpenAndClose(ids::kOperationSetupClass, ids::kSetupButton, ids::kSetupOk);
        OpenAndClose(ids::kPortDialogClass, ids::kPortButton, ids::kPortDialogOk);
    }
    return true;
}

bool Soak::StartSystem() {
    session_.WriteSettings(kSettings);
    if (!session_.StartPortPair(kBoxCom) || !session_.MakePortMissing(kMissingCom) ||
        !session_.MakePortMissing(kOtherCom) ||
        !session_.ImportRegistry(AdapterKeysRemoved() + AdapterKeys(kAdapterSerial, kBoxCom)) ||
        !box_.Open(session_.BoxEndPath())) {
        std::fprintf(stderr, "fault_soak: cannot set up the box's line\n");
        return false;
    }
    if (!session_.StartProbeServer(probeMonitor_, "monitor") ||
        !session_.StartProbeServer(probeSim_, "sim", ProbeTarget::Simulator) ||
        !session_.StartProbeServer(probeWindow_, "window")) {
        return false;
    }
    if (!session_.StartSim(SimArguments())) return false;
    simLogs_ = session_.SimStarts();
    if (!StartBridge()) {
        std::fprintf(stderr, "fault_soak: bridge.exe did not show its window\n");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- the box

// One command every 400 ms, in a cycle of ten: servo commands for both
// servos (engaged at changing positions, now and then free), a radio
// selection for each of NAV1, COM1 and COM2 standby, an altimeter setting.
// Each setting has a value not sent for minutes, so its write is found.
void Soak::Feeder() {
    std::mt19937 r(o_.seed ^ 0x5EEDu);
    std::uint32_t n = 0;
    for (Us next = NowUs(); !stopFeeder_; ++n) {
        next += kCommandPeriod;
        SleepUntil(next);
        const Us now = NowUs();
        if (now >= quietFrom_ && now <= quietTo_) continue;
        Command c;
        std::vector<std::uint8_t> frame;
        const std::uint32_t k = n / 10;
        const auto servo = [&](bool bank, bool engage) {
            const auto position = static_cast<std::int16_t>(engage ? Uniform(r, 700, 1350) : 1024);
            frame = boxproto::ServoCommandFrame(bank ? 1 : 2, engage, position);
            c.type = bank ? (engage ? CommandType::BankEngage : CommandType::BankFree)
                          : (engage ? CommandType::PitchEngage : CommandType::PitchFree);
        };
        const auto radio = [&](CommandType type, bool sl40, std::uint8_t id, std::uint32_t kHz,
                               const char* offset) {
            frame =
                boxproto::PortDataFrame(sl40 ? 2 : 1, boxproto::RadioReplySentence(sl40, id, kHz));
            c.type = type;
            c.write = std::string(offset) + " " + Hex16(Bcd(kHz));
        };
        switch (n % 10) {
            case 0:
            case 4: servo(true, true); break;
            case 2:
            case 6: servo(false, true); break;
            case 8: servo(true, !Chance(r, 0.4)); break;
            case 9: servo(false, !Chance(r, 0.4)); break;
            case 1: radio(CommandType::Nav1, false, 0x28, 108000 + 50 * (k % 200), "311E"); break;
            case 5: radio(CommandType::Com1, false, 0x29, 118000 + 50 * (k % 380), "311A"); break;
            case 7:
                radio(CommandType::Com2, true, 0x01, 118000 + 50 * ((k + 190) % 380), "311C");
                break;
            default: {  // 3
                const auto tenths = static_cast<std::uint16_t>(9000 + (k * 7) % 1500);
                frame = boxproto::AltimeterFrame(tenths);
                c.type = CommandType::Altimeter;
                c.write = "0330 " + Hex16(static_cast<unsigned>(tenths) * 16 / 10);
            }
        }
        const bool whole = BoxWrite(frame, &c.at);
        std::lock_guard<std::mutex> guard(m_);
        rec_.commands.push_back(c);
        // A noise burst lasts until the next valid frame: this one, if the
        // bridge reads it from its start.
        if (const long noise = whole ? noiseOpen_.exchange(-1) : -1; noise >= 0) {
            rec_.injections[static_cast<std::size_t>(noise)].end = c.at + 1;
        }
    }
}

// ---------------------------------------------------------------- records

void Soak::IngestSimLog(int start) {
    SimTail& tail = tails_[static_cast<std::size_t>(start - 1)];
    std::ifstream in(session_.SimLogPathOf(start), std::ios::binary);
    if (!in) return;
    in.seekg(static_cast<std::streamoff>(tail.offset));
    std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tail.offset += chunk.size();
    tail.partial += chunk;
    std::size_t begin = 0;
    std::lock_guard<std::mutex> guard(m_);
    for (std::size_t end; (end = tail.partial.find('\n', begin)) != std::string::npos;
         begin = end + 1) {
        std::istringstream line(tail.partial.substr(begin, end - begin));
        std::string kind, exchange, a, b, c;
        line >> kind >> exchange >> a >> b >> c;
        if (kind == "R" || kind == "W") {
            tail.requests += kind + a + b + c + ";";
            if (kind == "R" && a == "3304") tail.pending.handshake = true;
            if (kind == "W" && a == "310A") tail.pending.disconnect = std::stoi(c, nullptr, 16);
            if (kind == "W" && a == "0BB6") tail.pending.bank = true;
            if (kind == "W" && a == "0BB2") tail.pending.pitch = true;
            if (kind == "W" && (a == "0330" || a == "311A" || a == "311C" || a == "311E")) {
                tail.writes.push_back(a + " " + c);
            }
        } else if (kind == "X") {
            Exchange e = tail.pending;
            e.answered = a == "1";
            e.hash = std::hash<std::string>{}(tail.requests);
            std::string field;
            while (line >> field) {
                if (field.rfind("qpc_us=", 0) == 0) e.at = std::stoll(field.substr(7));
            }
            // Several starts' logs: each after the one before it.
            auto at = rec_.exchanges.end();
            while (at != rec_.exchanges.begin() && (at - 1)->at > e.at) --at;
            const auto index = static_cast<std::size_t>(at - rec_.exchanges.begin());
            const bool again = index > 0 && rec_.exchanges[index - 1].hash == e.hash;
            rec_.exchanges.insert(at, e);
            for (const std::string& w : tail.writes) {
                rec_.settings.push_back({e.at, index, w});
                if (again) ++rec_.resends;
            }
            tail.last = static_cast<long>(index);
            tail.pending = {};
            tail.requests.clear();
            tail.writes.clear();
        } else if (kind == "CLIENT" && tail.last >= 0) {
            rec_.exchanges[static_cast<std::size_t>(tail.last)].client = true;
        }
    }
    tail.partial.erase(0, begin);
}

void Soak::Ingest() {
    int starts = 0;
    {
        std::lock_guard<std::mutex> guard(m_);
        starts = simLogs_;
    }
    while (static_cast<int>(tails_.size()) < starts) tails_.emplace_back();
    for (int s = 1; s <= starts; ++s) IngestSimLog(s);
    const auto frames = box_.FramesFrom(framesRead_);
    framesRead_ += frames.size();
    std::lock_guard<std::mutex> guard(m_);
    for (const auto& f : frames) {
        if (f.frame.kind == 1) rec_.attitude.push_back(ToRaw(f.at));
        if (const auto text = boxproto::AsPortText(f.frame); text && text->port <= 2) {
            if (rec_.portFrames.empty() || rec_.portFrames.back().second != text->port ||
                ToRaw(f.at) - rec_.portFrames.back().first > 100 * kMs) {
                rec_.portFrames.emplace_back(ToRaw(f.at), text->port);
            }
        }
    }
    changed_.notify_all();
}

bool Soak::Calm(bool anyFaults) {
    std::lock_guard<std::mutex> guard(m_);
    const Us now = NowUs();
    const auto steady = [now](const std::vector<Us>& times) {
        if (times.size() < 10 || now - times.back() > 200 * kMs) return false;
        for (std::size_t i = times.size() - 9; i < times.size(); ++i) {
            if (times[i] - times[i - 1] > 100 * kMs) return false;
        }
        return true;
    };
    std::vector<Us> answered;
    for (auto e = rec_.exchanges.rbegin(); e != rec_.exchanges.rend() && answered.size() < 10;
         ++e) {
        if (e->answered) answered.insert(answered.begin(), e->at);
    }
    return (anyFaults || active_ == 0) && steady(rec_.attitude) && steady(answered);
}

bool Soak::WaitCalm(Us timeout, bool anyFaults) {
    return WaitUntil([&] { return stop_ || Calm(anyFaults); },
                     std::chrono::milliseconds(timeout / kMs));
}

// A process that is gone, or a zombie not yet reaped.
bool Alive(pid_t pid) {
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

long StatusField(pid_t pid, const std::string& name) {
    std::istringstream in(ReadWholeFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ":", 0) == 0) return std::atol(line.c_str() + name.size() + 1);
    }
    return -1;
}

// The bridge must not end by itself, and at most one bridge may hold the box's port.
void Soak::WatchBridge() {
    const pid_t pid = bridgePid_;
    if (!closing_ && pid > 0 && !Alive(pid)) {
        LiveFailure("the bridge never crashes", "bridge.exe ended without a close");
        bridgePid_ = -1;
    }
    std::istringstream state(
        ReadWholeFile(session_.folder() + "/ports/state-com" + std::to_string(kBoxCom)));
    std::string word, device;
    state >> word >> device;
    if (word != "plugged") return;
    int owners = 0;
    for (const pid_t p : {static_cast<pid_t>(bridgePid_), session_.OtherBridgePid()}) {
        if (p <= 0) continue;
        std::error_code ec;
        bool holds = false;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(p) + "/fd", ec)) {
            holds = holds || fs::read_symlink(fd.path(), ec).string() == device;
        }
        owners += holds ? 1 : 0;
    }
    if (owners > 1) LiveFailure("one bridge owns the box's port", device + " open in both bridges");
}

// A message box no fault asked for, seen twice in a row, is a failure; it is
// answered so that the run goes on.
void Soak::WatchMessageBoxes() {
    static int strikes = 0;
    if (dialogs_ > 0 || closing_ || probeMonitor_.Run("wait #32770 0").status != 0) {
        strikes = 0;
        return;
    }
    if (++strikes < 2) return;
    const auto text = probeMonitor_.Run("text #32770 65535");
    LiveFailure("no message box left open", "\"" + text.output + "\"");
    probeMonitor_.Run("click #32770 1");
    strikes = 0;
}

void Soak::TakeSample() {
    const pid_t pid = bridgePid_;
    if (pid <= 0 || closing_) return;
    Sample s;
    s.at = NowUs();
    s.rssKb = StatusField(pid, "VmRSS");
    s.tasks = StatusField(pid, "Threads");
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        (void)fd;
        ++s.fds;
    }
    std::istringstream probe(
        probeMonitor_.Run(std::string("process ") + ids::kMainWindowClass).output);
    for (std::string field; probe >> field;) {
        if (field.rfind("handles=", 0) == 0) s.handles = std::atol(field.c_str() + 8);
        if (field.rfind("threads=", 0) == 0) s.threads = std::atol(field.c_str() + 8);
    }
    if (s.handles == 0) s.handles = -1;  // Wine reports no handle count
    std::lock_guard<std::mutex> guard(m_);
    s.run = rec_.runs.size();
    rec_.samples.push_back(s);
}

void Soak::Monitor() {
    const Us sampleEvery = o_.shortRun ? 15 * kSecond : 20 * kSecond;
    Us nextSample = NowUs() + sampleEvery / 2, nextWatch = 0, nextBoxes = 0;
    while (!stopMonitor_) {
        Ingest();
        const Us now = NowUs();
        if (now >= nextWatch) {
            WatchBridge();
            nextWatch = now + kSecond;
        }
        if (now >= nextBoxes) {
            WatchMessageBoxes();
            nextBoxes = now + 3 * kSecond;
        }
        if (now >= nextSample && Calm()) {
            TakeSample();
            nextSample = now + sampleEvery;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    Ingest();
}

// ---------------------------------------------------------------- faults

void Soak::Unplug(std::mt19937& r, Kind as, Us length) {
    Injection f;
    f.kind = as;
    f.lineFault = f.excuses = true;
    char variant[48];
    std::snprintf(variant, sizeof variant, "for %.1f s", static_cast<double>(length) / kSecond);
    f.variant = variant;
    f.start = f.release = NowUs();
    const std::size_t i = Begin(f);
    session_.UnplugPort();
    SleepUntil(f.start + length);
    session_.PlugPort();
    const Us back = NowUs();
    Update(i, [&](Injection& g) { g.end = g.boxBack = back; });
    (void)r;
}

// The adapter taken out and put into another socket, where Windows numbers
// it otherwise: the bridge must find it by its serial number, with no click.
void Soak::Renumber(std::mt19937& r) {
    const int from = boxCom_.load();
    const int to = from == kBoxCom ? kOtherCom : kBoxCom;
    Injection f;
    f.kind = Kind::Renumber;
    f.lineFault = f.excuses = true;
    f.variant = "COM" + std::to_string(from) + " to COM" + std::to_string(to);
    f.start = f.release = NowUs();
    const std::size_t i = Begin(f);
    session_.UnplugPort();
    SleepUntil(f.start + Uniform(r, 200 * kMs, 3 * kSecond));
    session_.MakePortMissing(from);
    const bool moved =
        session_.ImportRegistry(AdapterKeysRemoved() + AdapterKeys(kAdapterSerial, to)) &&
        session_.LinkPortPairAs(to);
    session_.PlugPort();
    boxCom_ = to;
    // Windows announces the new device; Wine sends nothing, so it is sent here.
    const Us back =
        probeWindow_.Run(std::string("send ") + ids::kMainWindowClass + " 0x219 7 0").atUs;
    Update(i, [&](Injection& g) {
        g.end = g.boxBack = back;
        if (!moved) g.note = "the registry or the COM link could not be changed";
    });
}

void Soak::SimKill(std::mt19937& r) {
    Injection f;
    f.kind = Kind::SimKill;
    f.simFault = f.excuses = true;
    const Us down = Uniform(r, 500 * kMs, 3 * kSecond);
    f.variant = "restarted after " + std::to_string(down / kMs) + " ms";
    f.start = NowUs();
    const std::size_t i = Begin(f);
    session_.KillSim();
    SleepUntil(f.start + down);
    bool started = false;
    spawner_.Run([&] { started = session_.StartSim(SimArguments()); });
    {
        std::lock_guard<std::mutex> guard(m_);
        simLogs_ = session_.SimStarts();
    }
    if (!started) LiveFailure("the simulator emulator starts", "it did not start again");
    const Us back = NowUs();
    Update(i, [&](Injection& g) { g.end = back; });
}

void Soak::SimHang(std::mt19937& r, Kind as, Us hold, const std::function<void(Us)>& during) {
    Injection f;
    f.kind = as;
    f.simFault = f.excuses = true;
    f.variant = "for " + std::to_string(hold / kMs) + " ms";
    f.start = NowUs();
    const std::size_t i = Begin(f);
    WaitUntil([&] { return stop_ || LinkUp(); }, std::chrono::seconds(20));
    const Us sent = NowUs();
    SimSend("SimEmulator:Hold", static_cast<std::uint64_t>(hold / kMs), 0);
    SimSend("SimEmulator:Fault", 1 + 256, 0);  // no-reply, once
    Us start = WaitUnanswered(sent, 5 * kSecond);
    if (start < 0) {
        SimSend("SimEmulator:Fault", 0, 0);
        start = NowUs();
        Update(i, [](Injection& g) { g.note = "the link was down: no exchange held"; });
    }
    Update(i, [&](Injection& g) { g.start = start; });
    if (during) during(start);
    SleepUntil(start + hold);
    Update(i, [&](Injection& g) { g.end = start + hold; });
    (void)r;
}

void Soak::SimSlow(std::mt19937& r) {
    Injection f;
    f.kind = Kind::SimSlow;
    f.simFault = true;
    const Us low = Uniform(r, 50, 200), high = Uniform(r, low + 20, 400);
    const Us length = o_.shortRun ? Uniform(r, 3, 5) * kSecond : Uniform(r, 5, 30) * kSecond;
    f.variant = std::to_string(low) + "-" + std::to_string(high) + " ms for " +
                std::to_string(length / kSecond) + " s";
    f.start = NowUs();
    const std::size_t i = Begin(f);
    SimSend("SimEmulator:Slow", static_cast<std::uint64_t>(low | high << 16),
            static_cast<std::uint64_t>(length / kMs));
    SleepUntil(f.start + length);
    Update(i, [&](Injection& g) { g.end = f.start + length; });
}

// Suspend at `at`, and after a while one resume or both, as Windows sends them.
void Soak::Sleep(std::mt19937& r, Kind as, Us at) {
    const std::string power = std::string("send ") + ids::kMainWindowClass + " 0x218 ";
    const bool both = Chance(r, 0.5);
    Injection f;
    f.kind = as;
    f.lineFault = f.excuses = true;
    f.variant = both ? "both resumes" : "automatic resume";
    Quiet(at);
    const auto suspend = probeWindow_.Run(power + "4 0", at);  // PBT_APMSUSPEND
    f.start = f.release = suspend.atUs;
    const std::size_t i = Begin(f);
    SleepUntil(f.start + Uniform(r, 500 * kMs, o_.shortRun ? 2 * kSecond : 5 * kSecond));
    const auto automatic = probeWindow_.Run(power + "0x12 0");  // PBT_APMRESUMEAUTOMATIC
    Us back = automatic.atUs;
    if (both) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(r, 100, 1000)));
        back = probeWindow_.Run(power + "7 0").atUs;  // PBT_APMRESUMESUSPEND
    }
    Update(i, [&](Injection& g) {
        g.resume = automatic.atUs;
        g.end = g.boxBack = back;
    });
}

// One message sent to the window: a resume without a suspend, a device change.
void Soak::SendOne(Kind kind, const std::string& variant, const std::string& message, bool port) {
    Injection f;
    f.kind = kind;
    f.variant = variant;
    f.lineFault = f.excuses = port;
    const auto sent =
        probeWindow_.Run(std::string("send ") + ids::kMainWindowClass + " " + message);
    f.start = f.end = f.boxBack = sent.atUs;
    if (port) f.resume = sent.atUs;
    Begin(f);
}

// Random bytes (never a frame header by chance: one would swallow the valid
// frames after it, which no receiver can avoid), a frame with a bad check, a
// frame cut short; the line is a fault until the next valid frame.
void Soak::Noise(std::mt19937& r) {
    Injection f;
    f.kind = Kind::Noise;
    f.excuses = true;
    std::vector<std::uint8_t> bytes;
    const int variant = static_cast<int>(Uniform(r, 0, 3));
    const auto garbage = [&](std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            auto b = static_cast<std::uint8_t>(Uniform(r, 0, 255));
            if (!bytes.empty() && bytes.back() == 0x05 && b == 0x82) b = 0x83;
            bytes.push_back(b);
        }
        if (!bytes.empty() && bytes.back() == 0x05) bytes.back() = 0x06;
    };
    const auto badCheck = [&] {
        const auto frame = boxproto::ServoCommandFrame(1, true, 1000, 0x0012);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    };
    const auto cutShort = [&] {
        const auto frame = boxproto::AltimeterFrame(9999);
        bytes.insert(bytes.end(), frame.begin(), frame.begin() + 5);
    };
    if (variant == 0) {
        f.variant = "random bytes";
        garbage(static_cast<std::size_t>(Uniform(r, 20, 400)));
    } else if (variant == 1) {
        f.variant = "bad check";
        badCheck();
    } else if (variant == 2) {
        f.variant = "cut short";
        cutShort();
    } else {
        f.variant = "all three";
        garbage(static_cast<std::size_t>(Uniform(r, 10, 100)));
        badCheck();
        cutShort();
    }
    {
        std::lock_guard<std::mutex> guard(boxWrite_);
        f.start = NowUs();
        box_.Write(bytes);
        receiver_.Feed(bytes);
        noiseOpen_ = static_cast<long>(Begin(f));
    }
    // One burst at a time: each ends with its own next valid frame.
    WaitUntil([&] { return noiseOpen_ < 0; }, std::chrono::seconds(5));
}

// The link fails (a bad answer); while it is down, Reconnect is clicked if
// it is enabled: at a random moment of the wait, or just before the
// automatic try falls due (10 s after the failure's tick). With a slow
// simulator each exchange takes about 120 ms, so a tick may come inside
// the click's opening, or the click inside the try's.
void Soak::ClickReconnect(std::mt19937& r, Kind as, bool slow, bool targeted, bool sleepInside) {
    Injection f;
    f.kind = as;
    f.simFault = f.excuses = true;
    const Us slowFor = 30 * kSecond;
    f.start = NowUs();
    const std::size_t i = Begin(f);
    if (slow)
        SimSend("SimEmulator:Slow", 110 | 130 << 16, static_cast<std::uint64_t>(slowFor / kMs));
    Us failed = FailLink();
    if (failed < 0) failed = NowUs();
    const Us due = failed + (slow ? 120 * kMs : 2 * kMs) + 10 * kSecond;
    const Us at = targeted ? due + Uniform(r, -200 * kMs, 60 * kMs)
                           : failed + Uniform(r, 300 * kMs, 12 * kSecond);
    if (sleepInside) Quiet(at + 150 * kMs);
    const auto click = probeWindow_.Run(std::string("clickenabled ") + ids::kMainWindowClass + " " +
                                            std::to_string(ids::kReconnectButton),
                                        at);
    char variant[96];
    std::snprintf(variant, sizeof variant, "%s%s, %+.3f s from the due try%s", slow ? "slow, " : "",
                  targeted ? "near the due try" : "in the wait",
                  static_cast<double>(click.atUs - due) / kSecond,
                  click.status == 3 ? ", not enabled" : "");
    Update(i, [&](Injection& g) {
        g.start = failed;
        g.variant = variant;
    });
    if (sleepInside) Sleep(r, Kind::Sleep, click.atUs + Uniform(r, 0, 150 * kMs));
    Us end = click.atUs;
    if (slow) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        SimSend("SimEmulator:Slow", 0, 0);
        end = NowUs();
    }
    Update(i, [&](Injection& g) { g.end = end; });
}

void Soak::ClickPortDialog(std::mt19937& r) {
    const std::string dialog = ids::kPortDialogClass;
    const auto port = [&](int com) {
        return "click " + dialog + " " + std::to_string(ids::kPortDialogFirstPort + com - 1);
    };
    Injection f;
    f.kind = Kind::ClickPortDialog;
    f.lineFault = f.excuses = true;
    const int boxCom = boxCom_.load();
    f.variant = "COM" + std::to_string(kMissingCom) + ", then COM" + std::to_string(boxCom);
    ++dialogs_;
    probeWindow_.Run(std::string("click ") + ids::kMainWindowClass + " " +
                     std::to_string(ids::kPortButton));
    if (probeWindow_.Run("wait " + dialog + " 10000").status != 0) {
        LiveFailure("the port dialog opens", "no dialog after the click");
        --dialogs_;
        return;
    }
    const Us at = NowUs() + 400 * kMs;
    Quiet(at, INT64_MAX);
    f.start = f.release = probeWindow_.Run(port(kMissingCom), at).atUs;
    const std::size_t i = Begin(f);
    if (probeWindow_.Run("wait #32770 10000").status == 0) {
        probeWindow_.Run("click #32770 1");
        probeWindow_.Run("gone #32770 10000");
    } else {
        Update(i, [](Injection& g) { g.note = "no message box for the missing port"; });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(r, 200, 2000)));
    const Us back = probeWindow_.Run(port(boxCom)).atUs;
    quietTo_ = NowUs();
    probeWindow_.Run("click " + dialog + " " + std::to_string(ids::kPortDialogOk));
    probeWindow_.Run("gone " + dialog + " 10000");
    --dialogs_;
    Update(i, [&](Injection& g) { g.end = g.boxBack = back; });
}

void Soak::ClickSetup() {
    Injection f;
    f.kind = Kind::ClickSetup;
    f.variant = "opened and closed";
    f.start = OpenAndClose(ids::kOperationSetupClass, ids::kSetupButton, ids::kSetupOk);
    f.end = NowUs();
    Begin(f);
}

Us Soak::OpenAndClose(const std::string& dialog, int button, int ok) {
    ++dialogs_;
    const Us clicked =
        probeWindow_
            .Run(std::string("click ") + ids::kMainWindowClass + " " + std::to_string(button))
            .atUs;
    const bool shown = probeWindow_.Run("wait " + dialog + " 10000").status == 0;
    probeWindow_.Run("click " + dialog + " " + std::to_string(ok));
    const bool gone = probeWindow_.Run("gone " + dialog + " 10000").status == 0;
    --dialogs_;
    if (!shown || !gone) LiveFailure("a dialog opens and closes", dialog + " did not");
    return clicked;
}

// Closes the window at `at` (0: now) and starts the bridge again.
void Soak::CloseRestart(std::mt19937& r, Kind as, const std::string& variant, Us at) {
    Injection f;
    f.kind = as;
    f.variant = variant;
    f.lineFault = f.simFault = f.excuses = true;
    const auto windowLog = probeWindow_.Run(std::string("text ") + ids::kMainWindowClass + " " +
                                            std::to_string(ids::kLog));
    Quiet(at > 0 ? at : NowUs() + 300 * kMs, INT64_MAX);
    closing_ = true;
    const auto close = probeWindow_.Run(std::string("close ") + ids::kMainWindowClass, at);
    f.start = f.release = close.atUs;
    const std::size_t i = Begin(f);
    const bool ended = session_.WaitBridgeExit(std::chrono::seconds(30));
    const Us exited = NowUs();
    {
        std::lock_guard<std::mutex> guard(m_);
        BridgeRun& run = rec_.runs.back();
        run.closeAt = close.atUs;
        run.exited = exited;
        run.windowLog = windowLog.output;
        run.logFile = session_.LogFileText();
    }
    if (!ended) {
        LiveFailure("the close ends the program", "still running 30 s after the close");
        return;
    }
    if (as == Kind::Count) return;  // the run's last close
    std::this_thread::sleep_for(std::chrono::milliseconds(Uniform(r, 200, 3000)));
    ++dialogs_;  // a message box during start-up would be its own to answer
    const bool started = StartBridge();
    --dialogs_;
    closing_ = false;
    quietTo_ = NowUs();
    if (!started) LiveFailure("the bridge starts again", "no window after the restart");
    Us shown = 0;
    {
        std::lock_guard<std::mutex> guard(m_);
        shown = rec_.runs.back().shown;
    }
    Update(i, [&](Injection& g) { g.end = g.boxBack = shown > 0 ? shown : NowUs(); });
}

void Soak::SecondStart() {
    Injection f;
    f.kind = Kind::SecondStart;
    f.variant = "in the same folder";
    f.start = NowUs();
    bool started = false;
    spawner_.Run([&] { started = session_.StartOtherBridge(session_.AppFolder()); });
    const bool ended = started && session_.WaitOtherBridgeExit(std::chrono::seconds(30));
    f.end = NowUs();
    if (!ended) LiveFailure("a second start ends", "it did not end within 30 s");
    Begin(f);
}

// Two faults at once: the adapter out while the simulator hangs, a sleep
// inside a reconnect, a close during a slow exchange.
void Soak::Overlap(std::mt19937& r) {
    const int variant = static_cast<int>(Uniform(r, 0, TooYoungToClose() ? 1 : 2));
    Injection f;
    f.kind = Kind::Overlap;
    f.start = NowUs();
    f.variant = variant == 0   ? "unplug in a hang"
                : variant == 1 ? "sleep in a reconnect"
                               : "close in a slow exchange";
    const std::size_t i = Begin(f);
    if (variant == 0) {
        SimHang(r, Kind::SimHang, Uniform(r, 4, 8) * kSecond, [&](Us hung) {
            SleepUntil(hung + Uniform(r, 300 * kMs, 2 * kSecond));
            Unplug(r, Kind::Unplug, Uniform(r, 500 * kMs, 5 * kSecond));
        });
    } else if (variant == 1) {
        ClickReconnect(r, Kind::ClickReconnect, true, Chance(r, 0.5), true);
    } else {
        const Us slowFor = 20 * kSecond;
        SimSend("SimEmulator:Slow", 150 | 400 << 16, static_cast<std::uint64_t>(slowFor / kMs));
        const Us at = NowUs() + Uniform(r, 1 * kSecond, 3 * kSecond);
        CloseRestart(r, Kind::CloseRestart, "during slow exchanges", at);
        SimSend("SimEmulator:Slow", 0, 0);
    }
    Update(i, [&](Injection& g) { g.end = NowUs(); });
}

bool Soak::TooYoungToClose() {
    // Four minutes leave each run two past its start-up, so that a half hour
    // gives the slopes well over the eight minutes they are judged from.
    constexpr Us kLeast = 4 * 60 * kSecond;
    std::lock_guard<std::mutex> guard(m_);
    return !o_.shortRun && !rec_.runs.empty() && NowUs() - rec_.runs.back().shown < kLeast;
}

void Soak::RunFault(Kind kind, std::uint32_t seed) {
    std::mt19937 r(seed);
    const Us unplugLongest = o_.shortRun ? 3 * kSecond : 20 * kSecond;
    switch (kind) {
        case Kind::Unplug: Unplug(r, kind, Uniform(r, 200 * kMs, unplugLongest)); break;
        case Kind::Renumber: Renumber(r); break;
        case Kind::SimKill: SimKill(r); break;
        case Kind::SimHang:
            SimHang(r, kind, Uniform(r, 2 * kSecond, o_.shortRun ? 3 * kSecond : 8 * kSecond));
            break;
        case Kind::SimSlow: SimSlow(r); break;
        case Kind::Sleep: Sleep(r, kind, NowUs() + 400 * kMs); break;
        case Kind::ResumeAlone: SendOne(kind, "automatic", "0x218 0x12 0", true); break;
        case Kind::DeviceChange:
            if (Chance(r, 0.5)) {
                SendOne(kind, "nodes changed", "0x219 7 0", false);
            } else {
                SendOne(kind, "arrival", "0x219 0x8000 0", false);
            }
            break;
        case Kind::Noise: Noise(r); break;
        case Kind::ClickReconnect:
            // The short run leaves the aimed clicks to the long ones.
            ClickReconnect(r, kind, Chance(r, 0.6), !o_.shortRun && Chance(r, 0.5), false);
            break;
        case Kind::ClickPortDialog: ClickPortDialog(r); break;
        case Kind::ClickSetup: ClickSetup(); break;
        case Kind::CloseRestart:
            if (!o_.shortRun && Chance(r, 0.5)) {
                // The link fails; the close comes when its automatic try falls due.
                const bool slow = Chance(r, 0.5);
                if (slow) SimSend("SimEmulator:Slow", 110 | 130 << 16, 25000);
                const Us failed = FailLink();
                const Us due =
                    (failed < 0 ? NowUs() : failed) + (slow ? 120 : 2) * kMs + 10 * kSecond;
                const Us at = due + Uniform(r, -80 * kMs, 150 * kMs);
                char variant[64];
                std::snprintf(variant, sizeof variant, "%s%+.3f s from the due try",
                              slow ? "slow, " : "", static_cast<double>(at - due) / kSecond);
                CloseRestart(r, kind, variant, at);
                if (slow) SimSend("SimEmulator:Slow", 0, 0);
            } else {
                CloseRestart(r, kind, "at a random moment", 0);
            }
            break;
        case Kind::SecondStart: SecondStart(); break;
        case Kind::Overlap: Overlap(r); break;
        case Kind::Count: break;
    }
    // The long runs mostly let the system come back before the next fault
    // on the same things, so that each time back is measured alone.
    const bool felt = kind != Kind::DeviceChange && kind != Kind::Noise &&
                      kind != Kind::ClickSetup && kind != Kind::SecondStart;
    if (!o_.shortRun && felt && Chance(r, 0.75)) WaitCalm(65 * kSecond, true);
    std::lock_guard<std::mutex> guard(m_);
    busy_ &= ~kPlans[static_cast<int>(kind)].resources;
    --active_;
    changed_.notify_all();
}

// Faults at random moments: every kind once first, in an order of the seed,
// then by weight.
void Soak::Schedule() {
    std::vector<Kind> first;
    for (int k = 0; k < kKindCount; ++k) first.push_back(static_cast<Kind>(k));
    std::shuffle(first.begin(), first.end(), random_);
    int total = 0;
    for (const KindPlan& p : kPlans) total += p.weight;
    const Us end = rec_.begin + o_.length;
    Us nextCheck = NowUs() + 60 * kSecond;
    std::size_t next = 0;
    while (!stop_ && NowUs() < end) {
        const Us gap =
            o_.shortRun
                ? Uniform(random_, 300 * kMs, 1000 * kMs)
                : std::clamp(
                      static_cast<Us>(std::exponential_distribution<>(1.0 / 6)(random_) * kSecond),
                      kSecond, 30 * kSecond);
        SleepUntil(NowUs() + gap);
        Kind kind = Kind::Count;
        if (next < first.size()) {
            kind = first[next];
        } else {
            int pick = static_cast<int>(Uniform(random_, 0, total - 1));
            for (int k = 0; k < kKindCount; ++k) {
                if ((pick -= kPlans[k].weight) < 0) {
                    kind = static_cast<Kind>(k);
                    break;
                }
            }
            if (kind == Kind::CloseRestart && TooYoungToClose()) continue;  // another pick
        }
        const std::uint32_t seed = static_cast<std::uint32_t>(random_());
        const bool calmFirst = !o_.shortRun && Chance(random_, 0.7);
        if (calmFirst) WaitCalm(70 * kSecond);
        const unsigned needs = kPlans[static_cast<int>(kind)].resources;
        std::unique_lock<std::mutex> lock(m_);
        if (!changed_.wait_for(lock, std::chrono::seconds(60),
                               [&] { return (busy_ & needs) == 0 || stop_; }) ||
            stop_) {
            continue;  // still busy: another pick later
        }
        ++next;
        busy_ |= needs;
        ++active_;
        std::printf("fault_soak: %+8.1f s  %s\n",
                    static_cast<double>(NowUs() - rec_.begin) / kSecond, KindName(kind));
        std::fflush(stdout);
        faults_.emplace_back([this, kind, seed] { RunFault(kind, seed); });
        lock.unlock();
        if (NowUs() >= nextCheck) {
            nextCheck = NowUs() + 60 * kSecond;
            Records snapshot;
            {
                std::lock_guard<std::mutex> guard(m_);
                snapshot = rec_;
            }
            // The running bridge's log file so far (the close fault reads
            // it at each close; a close meanwhile only makes this one older).
            if (!closing_ && !snapshot.runs.empty() && snapshot.runs.back().exited < 0) {
                snapshot.runs.back().logFile = session_.LogFileText();
            }
            const Analysis so_far = Analyze(snapshot, NowUs() - 70 * kSecond);
            std::printf("fault_soak: %.1f min, %zu faults injected, %zu failures so far\n",
                        static_cast<double>(NowUs() - rec_.begin) / (60.0 * kSecond),
                        snapshot.injections.size(), so_far.failures.size());
            std::fflush(stdout);
            if (!so_far.failures.empty() && !o_.keepGoing) stop_ = true;
        }
    }
}

void Soak::Finish() {
    for (std::thread& t : faults_) t.join();
    if (bridgePid_ > 0) {
        // Back by itself, and a few calm seconds of commands to judge.
        WaitCalm(70 * kSecond);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        std::mt19937 r(o_.seed);
        CloseRestart(r, Kind::Count, "", 0);
        std::lock_guard<std::mutex> guard(m_);
        rec_.injections.back().kind = Kind::CloseRestart;
        rec_.injections.back().variant = "the run's end";
        rec_.injections.back().end = rec_.injections.back().boxBack = rec_.runs.back().exited;
    }
    session_.ImportRegistry(AdapterKeysRemoved());  // the prefix as it was
    std::this_thread::sleep_for(std::chrono::seconds(1));
    stopFeeder_ = true;
    stopMonitor_ = true;
}

int Soak::Run() {
    std::printf("fault_soak: seed %u, %.1f min%s\n", o_.seed,
                static_cast<double>(o_.length) / (60.0 * kSecond), o_.shortRun ? ", short" : "");
    std::fflush(stdout);
    if (const auto why = BridgeSession::WhyNotAvailable()) {
        std::fprintf(stderr, "fault_soak: %s\n", why->c_str());
        return 2;
    }
    rec_.seed = o_.seed;
    rec_.longRun = o_.length >= 10 * 60 * kSecond;
    if (!StartSystem()) return 2;
    std::thread monitor([this] { Monitor(); });
    std::thread feeder([this] { Feeder(); });
    const bool connected = WaitCalm(60 * kSecond);
    rec_.begin = NowUs();
    if (connected) {
        std::this_thread::sleep_for(std::chrono::seconds(5));  // calm commands first
        Schedule();
    } else {
        LiveFailure("the bridge connects at start", "no full rate within 60 s of the start");
    }
    Finish();
    feeder.join();
    monitor.join();
    rec_.finish = NowUs();
    const Analysis result = Analyze(rec_, rec_.finish);
    std::string text = result.table + "\nfaults, in order (moment, kind, variant):\n";
    for (const Injection& f : rec_.injections) {
        char line[200];
        std::snprintf(line, sizeof line, "  %+9.3f s  %-18s %s%s%s\n",
                      static_cast<double>(f.start - rec_.begin) / kSecond, KindName(f.kind),
                      f.variant.c_str(), f.note.empty() ? "" : "; ", f.note.c_str());
        text += line;
    }
    text +=
        "\nresource samples (moment, run of bridge.exe, VmRSS kB, handles, threads, Linux file "
        "descriptors):\n";
    for (const Sample& x : rec_.samples) {
        char line[160];
        std::snprintf(line, sizeof line, "  %+9.3f s  %3zu %8ld %6ld %4ld %4ld\n",
                      static_cast<double>(x.at - rec_.begin) / kSecond, x.run, x.rssKb, x.handles,
                      x.threads, x.fds);
        text += line;
    }
    std::fputs(result.table.c_str(), stdout);
    if (!o_.report.empty()) std::ofstream(o_.report) << text;
    std::ofstream(session_.folder() + "/fault-soak-report.txt") << text;
    if (!result.failures.empty()) {
        setenv("BRIDGE_E2E_KEEP", "1", 1);  // the logs stay for the failure
        std::error_code ec;  // the bridge's log files too, which live in the Wine prefix
        fs::copy(session_.LogFolder(), session_.folder() + "/bridge-logs", ec);
        std::printf("fault_soak: FAILED (seed %u); logs kept in %s\n", o_.seed,
                    session_.folder().c_str());
        return 1;
    }
    std::printf("fault_soak: every check passed (seed %u)\n", o_.seed);
    return 0;
}

std::optional<Options> Parse(int argc, char** argv) {
    Options o;
    o.seed = static_cast<std::uint32_t>(std::time(nullptr));
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--minutes" && value) {
            o.length = static_cast<Us>(std::atof(argv[++i]) * 60 * kSecond);
        } else if (a == "--seconds" && value) {
            o.length = static_cast<Us>(std::atof(argv[++i]) * kSecond);
        } else if (a == "--seed" && value) {
            o.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--report" && value) {
            o.report = argv[++i];
        } else if (a == "--logs" && value) {
            o.logs = argv[++i];
        } else if (a == "--short") {
            o.shortRun = true;
        } else if (a == "--keep-going") {
            o.keepGoing = true;
        } else {
            return std::nullopt;
        }
    }
    return o.length > 0 ? std::optional<Options>(o) : std::nullopt;
}

}  // namespace
}  // namespace bridge::e2e::soak

int main(int argc, char** argv) {
    using namespace bridge::e2e::soak;
    signal(SIGPIPE, SIG_IGN);
    const auto options = Parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: fault_soak [--minutes M | --seconds S] [--seed N] [--short] "
                     "[--report FILE] [--logs DIR] [--keep-going]\n");
        return 2;
    }
    // The session's folder goes where asked; the Wine programs keep the
    // temporary folder they were given, where Wine keeps its server's socket:
    // with another, they would start a second server for the same prefix.
    const char* temporary = std::getenv("TMPDIR");
    const std::string keep = temporary != nullptr ? temporary : "";
    if (!options->logs.empty()) setenv("TMPDIR", options->logs.c_str(), 1);
    Soak soak(*options);
    if (temporary != nullptr) {
        setenv("TMPDIR", keep.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    return soak.Run();
}
