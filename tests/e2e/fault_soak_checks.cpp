// The fault soak's checks, read from the records of the run (see
// fault_soak.h), and its table.
#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/e2e/fault_soak.h"

namespace bridge::e2e::soak {
namespace {

constexpr Us kNever = INT64_MAX / 2;
constexpr Us kFullRateGap = 100 * kMs;  // two ticks: a stretch at full rate has no longer gap
constexpr std::size_t kFullRateRun = 10;
constexpr Us kSimDownGap = 1 * kSecond;  // no exchange for that long: the link was down

struct KindInfo {
    const char* name;
};
constexpr std::array<KindInfo, kKindCount> kKinds = {{
    {"unplug"},
    {"renumber"},
    {"sim-kill"},
    {"sim-hang"},
    {"sim-slow"},
    {"sleep"},
    {"resume-alone"},
    {"device-change"},
    {"noise"},
    {"click-reconnect"},
    {"click-port-dialog"},
    {"click-setup"},
    {"close-restart"},
    {"second-start"},
    {"overlap"},
}};

std::string Moment(const Records& r, Us at) {
    const double s = static_cast<double>(at - r.begin) / kSecond;
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f s", s);
    return text;
}

// The first moment from `from` on where `times` run at full rate, -1 if none
// before `horizon`.
Us FullRateFrom(const std::vector<Us>& times, Us from, Us horizon) {
    auto i = std::lower_bound(times.begin(), times.end(), from);
    if (i == times.end()) return -1;
    auto start = i;
    std::size_t run = 1;
    for (auto j = i + 1; j != times.end() && *j < horizon; ++j) {
        if (*j - *(j - 1) > kFullRateGap) {
            start = j;
            run = 1;
            continue;
        }
        if (++run >= kFullRateRun) return *start;
    }
    return -1;
}

// "2026-12-08 02:41:13.123 text" as microseconds of its own clock (local time
// taken as UTC: only differences are used), -1 when the line has no stamp.
Us StampOf(const std::string& line) {
    std::tm t{};
    int ms = 0;
    if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d.%d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                    &t.tm_hour, &t.tm_min, &t.tm_sec, &ms) != 7) {
        return -1;
    }
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return static_cast<Us>(timegm(&t)) * kSecond + ms * kMs;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Pooled least-squares slope per minute within each run (each run its own
// level): what grows while a bridge runs, whatever its restarts do.
constexpr Us kWarmUp = 120 * kSecond;

// A run's start-up: its first two minutes (in which a long run opens both
// dialogs once), and up to its first operation setup among the faults,
// however late it comes. Under Wine the memory the setup dialog took is at
// times given back and taken again by a later opening, about 800 kB, never
// above the run's level after its first: in a run of 8.5 minutes whose first
// such opening came 3.7 minutes in, that one step read as 119 kB a minute.
bool Warm(const Records& r, const Sample& s) {
    if (s.run == 0 || s.run > r.runs.size()) return true;
    const BridgeRun& run = r.runs[s.run - 1];
    if (s.at - run.shown < kWarmUp) return false;
    for (const Injection& f : r.injections) {
        if (f.kind != Kind::ClickSetup || f.start < run.shown) continue;
        const bool inRun = run.exited < 0 || f.start < run.exited;
        return !inRun || s.at > (f.end > 0 ? f.end : f.start);
    }
    return true;
}

// The span of samples the slopes are fitted over: each run's after its start-up.
Us FittedSpan(const Records& r) {
    std::map<std::size_t, std::pair<Us, Us>> spans;
    for (const Sample& s : r.samples) {
        if (s.run == 0 || s.run > r.runs.size() || !Warm(r, s)) continue;
        auto [it, added] = spans.emplace(s.run, std::pair{s.at, s.at});
        if (!added) it->second.second = s.at;
    }
    Us total = 0;
    for (const auto& [run, span] : spans) total += span.second - span.first;
    return total;
}

double Slope(const Records& r, long Sample::*field, bool& known) {
    std::map<std::size_t, std::vector<const Sample*>> byRun;
    for (const Sample& s : r.samples) {
        // Past each run's start-up: what it allocates once, as each kind
        // of fault first comes, and keeps.
        if (s.*field >= 0 && Warm(r, s)) byRun[s.run].push_back(&s);
    }
    double sxy = 0, sxx = 0;
    for (const auto& [run, list] : byRun) {
        if (list.size() < 2) continue;
        double mx = 0, my = 0;
        for (const Sample* s : list) {
            mx += static_cast<double>(s->at) / (60.0 * kSecond);
            my += static_cast<double>(s->*field);
        }
        mx /= static_cast<double>(list.size());
        my /= static_cast<double>(list.size());
        for (const Sample* s : list) {
            const double x = static_cast<double>(s->at) / (60.0 * kSecond) - mx;
            sxy += x * (static_cast<double>(s->*field) - my);
            sxx += x * x;
        }
    }
    known = sxx > 0;
    return known ? sxy / sxx : 0.0;
}

class Checker {
public:
    Checker(const Records& r, Us horizon) : r_(r), horizon_(horizon) {
        for (const Exchange& e : r.exchanges) {
            if (e.answered) answered_.push_back(e.at);
        }
        for (std::size_t i = 1; i < answered_.size(); ++i) {
            if (answered_[i] - answered_[i - 1] > kSimDownGap) {
                simDown_.emplace_back(answered_[i - 1], answered_[i]);
            }
        }
        recovered_.assign(r.injections.size(), -1);
        for (std::size_t i = 0; i < r.injections.size(); ++i) {
            const Injection& f = r.injections[i];
            if (f.end > 0 && (f.simFault || f.lineFault)) {
                const Us from = BackFrom(f);
                const Us a = FullRateFrom(r.attitude, from, horizon);
                const Us x = FullRateFrom(answered_, from, horizon);
                recovered_[i] = a < 0 || x < 0 ? -1 : std::max(a, x);
            }
        }
    }

    Analysis Run() {
        Recoveries();
        Releases();
        ServoWrites();
        Settings();
        Handshakes();
        Renumbered();
        ResourcesFlat();
        for (const Failure& f : r_.live) Fail(f.at, f.check, f.detail);
        std::sort(out_.failures.begin(), out_.failures.end(),
                  [](const Failure& a, const Failure& b) { return a.at < b.at; });
        Table();
        return out_;
    }

private:
    static Us BackFrom(const Injection& f) { return f.boxBack > 0 ? f.boxBack : f.end; }

    // Until when the fault is felt: its recovery, or its end for those not measured.
    Us FeltUntil(std::size_t i) const {
        const Injection& f = r_.injections[i];
        if (f.end == 0) return kNever;
        if (f.simFault || f.lineFault) return recovered_[i] < 0 ? kNever : recovered_[i];
        return f.end;
    }

    void Fail(Us at, const std::string& check, const std::string& detail) {
        out_.failures.push_back({at, check, detail});
    }

    // The longest wait for full rate the checks allow after this fault.
    Us Bound(std::size_t i, bool& overlapped) const {
        const Injection& f = r_.injections[i];
        Us bound = f.lineFault && !f.simFault ? 3 * kSecond : 15 * kSecond;
        overlapped = false;
        // Another fault that took something away before this one was back.
        const Us until = recovered_[i] >= 0 ? recovered_[i] : BackFrom(f) + bound;
        for (std::size_t j = 0; j < r_.injections.size(); ++j) {
            const Injection& g = r_.injections[j];
            const bool felt = g.simFault || g.lineFault || g.release >= 0 || g.resume >= 0;
            if (j != i && felt && g.start < until && FeltUntil(j) > f.start) overlapped = true;
        }
        // The retry wait in force may have grown (a try that met a hung
        // window): at most a minute, and 5 s.
        if (overlapped || !r_.longRun) bound = 65 * kSecond;
        return bound;
    }

    void Recoveries() {
        for (std::size_t i = 0; i < r_.injections.size(); ++i) {
            const Injection& f = r_.injections[i];
            if (!(f.simFault || f.lineFault) || f.end == 0) continue;
            bool overlapped = false;
            const Us bound = Bound(i, overlapped);
            const Us from = BackFrom(f);
            const Us back = recovered_[i];
            KindFigures& k = kinds_[static_cast<int>(f.kind)];
            if (back < 0) {
                if (horizon_ > from + bound) {
                    Fail(from, "back by itself",
                         std::string(KindName(f.kind)) + " " + f.variant +
                             ": not at full rate again within " + std::to_string(bound / kSecond) +
                             " s");
                }
                continue;
            }
            const Us took = back - from;
            (overlapped ? k.longestOverlapped : k.longestBack) =
                std::max(overlapped ? k.longestOverlapped : k.longestBack, took);
            if (took > bound) {
                Fail(back, "back by itself",
                     std::string(KindName(f.kind)) + " " + f.variant + ": full rate after " +
                         std::to_string(took / kMs) + " ms, allowed " +
                         std::to_string(bound / kMs));
            }
        }
    }

    const Exchange* LastWithDisconnectBefore(Us at) const {
        const Exchange* last = nullptr;
        for (const Exchange& e : r_.exchanges) {
            if (e.at >= at) break;
            if (e.disconnect >= 0) last = &e;
        }
        return last;
    }

    // The first exchange from `at` on that writes controls-disconnect 0.
    const Exchange* FirstFreeFrom(Us at) const {
        for (const Exchange& e : r_.exchanges) {
            if (e.at >= at && e.disconnect == 0) return &e;
        }
        return nullptr;
    }

    // An engaged command sent after `release` and before the next exchange
    // began: the box took a servo again before the tick that would have
    // handed the controls back (the driver goes on sending 50 ms after a
    // release; a release inside a slow exchange waits for the next tick).
    bool EngagedBeforeNextExchange(Us release) const {
        Us next = kNever;
        for (const Exchange& e : r_.exchanges) {
            if (e.at > release) {
                next = e.at;
                break;
            }
        }
        for (const Command& c : r_.commands) {
            const bool engage =
                c.type == CommandType::BankEngage || c.type == CommandType::PitchEngage;
            if (engage && c.at > release && c.at < next) return true;
        }
        return false;
    }

    void Releases() {
        for (const Injection& f : r_.injections) {
            if (f.release < 0 || f.release > horizon_ - 5 * kSecond) continue;
            const Exchange* before = LastWithDisconnectBefore(f.release);
            const bool taken = before != nullptr && before->disconnect != 0;
            const bool up = before != nullptr && f.release - before->at < 300 * kMs;
            if (!taken || !up || EngagedBeforeNextExchange(f.release)) continue;
            KindFigures& k = kinds_[static_cast<int>(f.kind)];
            ++k.releasesJudged;
            const Exchange* free = FirstFreeFrom(f.release);
            const Us limit = r_.longRun ? 1 * kSecond : 5 * kSecond;
            if (free == nullptr || free->at - f.release > limit) {
                // Taken still, while exchanges went on?
                bool stillTaken = false;
                for (const Exchange& e : r_.exchanges) {
                    if (e.at > f.release + limit && e.at < f.release + limit + kSecond &&
                        e.disconnect > 0) {
                        stillTaken = true;
                    }
                }
                if (free != nullptr || stillTaken) {
                    Fail(f.release, "controls handed back",
                         std::string(KindName(f.kind)) + " " + f.variant +
                             ": no exchange wrote controls-disconnect 0 within " +
                             std::to_string(limit / kMs) + " ms");
                }
                continue;
            }
            k.longestRelease = std::max(k.longestRelease, free->at - f.release);
        }
    }

    // The servos are free after each release (once its exchange wrote 0) and
    // at each start, until an engaged command sent after it.
    void ServoWrites() {
        struct Barrier {
            Us at, effective;
        };
        std::vector<Barrier> barriers;
        for (const Injection& f : r_.injections) {
            if (f.release < 0) continue;
            const Exchange* free = FirstFreeFrom(f.release);
            barriers.push_back({f.release, free != nullptr ? free->at : f.release + 5 * kSecond});
        }
        for (const BridgeRun& run : r_.runs) barriers.push_back({run.spawned, run.spawned});
        std::array<std::vector<Us>, 2> engaged;
        for (const Command& c : r_.commands) {
            if (c.type == CommandType::BankEngage) engaged[0].push_back(c.at);
            if (c.type == CommandType::PitchEngage) engaged[1].push_back(c.at);
        }
        std::size_t reported = 0;
        for (const Exchange& e : r_.exchanges) {
            if (e.at > horizon_) break;
            for (int channel = 0; channel < 2; ++channel) {
                if (!(channel == 0 ? e.bank : e.pitch)) continue;
                const auto& list = engaged[static_cast<std::size_t>(channel)];
                const auto after = std::lower_bound(list.begin(), list.end(), e.at);
                std::string why;
                if (after == list.begin()) {
                    why = "no engaged command before it";
                } else {
                    const Us command = *(after - 1);
                    for (const Barrier& b : barriers) {
                        if (command < b.at && b.effective <= e.at) {
                            why = "the last engaged command (" + Moment(r_, command) +
                                  ") came before the release at " + Moment(r_, b.at);
                        }
                    }
                }
                if (!why.empty() && reported++ < 5) {
                    Fail(e.at, "no servo write without an engaged command",
                         std::string(channel == 0 ? "aileron" : "elevator") + " written: " + why);
                }
            }
        }
    }

    bool Excused(Us at) const {
        for (const auto& [a, b] : simDown_) {
            if (at >= a - 300 * kMs && at <= b + 300 * kMs) return true;
        }
        if (!answered_.empty() && at > answered_.back() - 300 * kMs) return true;
        for (std::size_t i = 0; i < r_.injections.size(); ++i) {
            const Injection& f = r_.injections[i];
            if (!f.excuses) continue;
            const Us until = FeltUntil(i);
            // A setting waits for the next half-rate exchange: one sent just
            // before a fault that takes the link or the window may go with
            // the exchange that fails or the cycle that stops (up to a second
            // when each exchange takes 400 ms).
            const Us before = f.simFault ? 1 * kSecond : 300 * kMs;
            if (at >= f.start - before && at <= (until == kNever ? kNever : until + 300 * kMs)) {
                return true;
            }
        }
        bool running = false;
        for (const BridgeRun& run : r_.runs) {
            running =
                running || (at > run.shown && (run.closeAt < 0 || at < run.closeAt - 300 * kMs));
        }
        return !running;
    }

    // A radio's replies reach the bridge only once it has sent that radio a
    // sentence since it started (its reply parser is installed by the send).
    bool RadioSilent(const Command& c) const {
        const int port = c.type == CommandType::Com2 ? 2 : 1;
        if (c.type == CommandType::Altimeter) return false;
        Us spawned = 0;
        for (const BridgeRun& run : r_.runs) {
            if (run.spawned <= c.at) spawned = run.spawned;
        }
        for (const auto& [at, p] : r_.portFrames) {
            if (at >= spawned && p == port) return at > c.at;
        }
        return true;
    }

    void Settings() {
        std::set<std::pair<std::size_t, std::string>> written;
        for (const SettingWrite& w : r_.settings) written.insert({w.exchange, w.write});
        // At the end of the run (after the last close) every command is judged.
        const Us until =
            horizon_ >= r_.finish && r_.finish > 0 ? horizon_ : horizon_ - 15 * kSecond;
        for (const Command& c : r_.commands) {
            if (c.write.empty() || c.at > until) continue;
            if (Excused(c.at) || RadioSilent(c)) {
                ++excused_;
                continue;
            }
            ++judged_;
            std::size_t count = 0;
            for (const SettingWrite& w : r_.settings) {
                if (w.at < c.at || w.at > c.at + 10 * kSecond || w.write != c.write) continue;
                // A block sent again after a time-out is the same request.
                const bool resent =
                    w.exchange > 0 &&
                    r_.exchanges[w.exchange].hash == r_.exchanges[w.exchange - 1].hash &&
                    written.count({w.exchange - 1, w.write}) != 0;
                if (!resent) ++count;
            }
            if (count != 1) {
                ++lost_;
                Us shown = -1, handshake = -1;
                for (const BridgeRun& run : r_.runs) {
                    if (run.shown <= c.at) shown = run.shown;
                }
                for (const Exchange& e : r_.exchanges) {
                    if (e.client && e.at <= c.at) handshake = e.at;
                }
                Fail(c.at, "settings reach the simulator once",
                     "\"" + c.write + "\" written " + std::to_string(count) + " times (sent " +
                         std::to_string((c.at - shown) / kMs) + " ms after the window showed, " +
                         std::to_string((c.at - handshake) / kMs) +
                         " ms after the last handshake)");
            }
        }
    }

    // The adapter in another socket is found by its serial number: a run
    // alive then, or the next one, says "is now COM<to>, was COM<from>".
    void Renumbered() {
        static const std::regex moved(R"(COM(\d+) to COM(\d+))");
        for (const Injection& f : r_.injections) {
            std::smatch m;
            if (f.kind != Kind::Renumber || f.end == 0 || f.end + 65 * kSecond > horizon_ ||
                !std::regex_match(f.variant, m, moved)) {
                continue;
            }
            const std::string line = "is now COM" + m[2].str() + ", was COM" + m[1].str();
            const bool said =
                std::any_of(r_.runs.begin(), r_.runs.end(), [&](const BridgeRun& run) {
                    return (run.exited < 0 || run.exited > f.start) &&
                           run.logFile.find(line) != std::string::npos;
                });
            if (!said) Fail(f.end, "the adapter found under its new number", f.variant);
        }
    }

    void Handshakes() {
        static const std::regex totals(R"(Line totals: sent (\d+) attitude)");
        for (std::size_t n = 0; n < r_.runs.size(); ++n) {
            const BridgeRun& run = r_.runs[n];
            // A run still going is read for its lines so far (the driver
            // reads its log file every minute); counted once it has ended.
            const bool ended = run.exited >= 0 && run.exited <= horizon_;
            if (!ended && run.logFile.empty()) continue;
            const std::string which = "run " + std::to_string(n + 1);
            std::vector<Us> handshakes;
            // A handshake block right after the same one may be the block
            // sent again after a time-out (the server answered late), or the
            // next connection's (a Reconnect just after a try): the emulator
            // cannot tell, so it counts for the least and not for the most.
            std::size_t repeats = 0;
            for (std::size_t x = 0; x < r_.exchanges.size(); ++x) {
                const Exchange& e = r_.exchanges[x];
                if (!e.client || e.at < run.spawned || e.at > (ended ? run.exited : horizon_)) {
                    continue;
                }
                const Exchange* before = x > 0 ? &r_.exchanges[x - 1] : nullptr;
                const bool repeat = before != nullptr && before->client && before->hash == e.hash &&
                                    e.at - before->at < 5 * kSecond;
                if (repeat) ++repeats;
                handshakes.push_back(e.at);
                if (run.closeAt >= 0 && e.at > run.closeAt && !repeat) {
                    Fail(e.at, "no handshake after the close began",
                         which + ": the close was posted at " + Moment(r_, run.closeAt));
                }
            }
            // Each connection has its handshake; a handshake more only for an
            // open that failed after it (one that found no server window,
            // result 2, made none).
            std::size_t connections = 0, failedOpens = 0;
            std::vector<Us> connected;
            std::vector<std::pair<Us, std::string>> forbidden;
            static const std::regex alike(R"((\d+) more tries failed alike \(result (\d+)\))");
            for (const std::string& line : Lines(run.logFile)) {
                std::smatch m;
                if (line.find("Connected to ") != std::string::npos) {
                    ++connections;
                    connected.push_back(StampOf(line));
                } else if (line.find("Cannot connect to Flight Simulator") != std::string::npos) {
                    ++failedOpens;
                } else if (line.find("Connecting to the simulator failed: result 2,") ==
                               std::string::npos &&
                           line.find("Connecting to the simulator failed") != std::string::npos) {
                    ++failedOpens;
                } else if (std::regex_search(line, m, alike) && m[2] != "2") {
                    failedOpens += std::stoul(m[1]);
                }
                for (const char* text : {"link not Open", "already Open"}) {
                    if (line.find(text) != std::string::npos) {
                        forbidden.emplace_back(StampOf(line), line);
                    }
                }
            }
            for (const std::string& line : Lines(run.windowLog)) {
                for (const char* text : {"link not Open", "already Open"}) {
                    // The log file has the window's lines too, with a time.
                    if (line.find(text) != std::string::npos &&
                        run.logFile.find(line) == std::string::npos) {
                        forbidden.emplace_back(-1, line);
                    }
                }
            }
            // The log file's clock against this one, from the start's own
            // connection: its line follows the run's first handshake.
            const bool calibrated = !connected.empty() && connected[0] >= 0 && !handshakes.empty();
            const Us offset = calibrated ? connected[0] - handshakes[0] : 0;
            const auto here = [&](Us stamp) {
                if (stamp >= 0 && calibrated) return stamp - offset;
                return run.closeAt >= 0 ? run.closeAt : horizon_;
            };
            for (const auto& [stamp, line] : forbidden) {
                Fail(here(stamp), "forbidden log line", which + ": " + line);
            }
            // A posted close waits for a try already in progress (its
            // handshake stamped before the close), whose line may follow it.
            for (const Us stamp : connected) {
                if (!calibrated || run.closeAt < 0 || here(stamp) <= run.closeAt + 50 * kMs) {
                    continue;
                }
                const auto after =
                    std::upper_bound(handshakes.begin(), handshakes.end(), here(stamp) + 50 * kMs);
                if (after == handshakes.begin() || *std::prev(after) > run.closeAt) {
                    Fail(here(stamp), "no \"Connected to\" after the close began", which);
                }
            }
            if (!ended) continue;
            if (handshakes.size() < connections ||
                handshakes.size() - repeats > connections + failedOpens) {
                Fail(run.exited, "one handshake per connection",
                     which + ": " + std::to_string(handshakes.size()) + " handshakes, " +
                         std::to_string(connections) + " \"Connected to\" lines, " +
                         std::to_string(failedOpens) + " failed opens");
            }
            // The totals at close against what the box decoded meanwhile.
            std::string last;
            for (auto i = std::sregex_iterator(run.logFile.begin(), run.logFile.end(), totals);
                 i != std::sregex_iterator(); ++i) {
                last = (*i)[1];
            }
            if (last.empty()) {
                Fail(run.exited, "line totals at close",
                     which + ": no totals line in the log file");
                continue;
            }
            const long logged = std::stol(last);
            const auto from = std::lower_bound(r_.attitude.begin(), r_.attitude.end(), run.spawned);
            const auto to =
                std::lower_bound(r_.attitude.begin(), r_.attitude.end(), run.exited + kSecond);
            const long decoded = static_cast<long>(to - from);
            long inFlight = 2;
            for (const Injection& f : r_.injections) {
                if (f.start >= run.spawned && f.start <= run.exited &&
                    (f.release >= 0 || f.resume >= 0)) {
                    inFlight += 3;
                }
            }
            totalsDiff_ = std::max(totalsDiff_, std::abs(logged - decoded));
            if (std::abs(logged - decoded) > inFlight) {
                Fail(run.exited, "line totals at close",
                     which + ": " + std::to_string(logged) + " attitude frames in the totals, " +
                         std::to_string(decoded) + " decoded by the box (allowed " +
                         std::to_string(inFlight) + ")");
            }
        }
    }

    void ResourcesFlat() {
        memory_ = Slope(r_, &Sample::rssKb, memoryKnown_);
        handles_ = Slope(r_, &Sample::handles, handlesKnown_);
        threads_ = Slope(r_, &Sample::threads, threadsKnown_);
        fds_ = Slope(r_, &Sample::fds, fdsKnown_);
        const bool spanned = FittedSpan(r_) >= 8 * 60 * kSecond;
        if (!r_.longRun || !spanned) return;
        const auto check = [&](const char* what, bool known, double slope, double limit) {
            if (known && slope > limit) {
                char text[120];
                std::snprintf(text, sizeof text, "%s grows by %.2f a minute (limit %.2f)", what,
                              slope, limit);
                Fail(r_.finish, "flat over the run", text);
            }
        };
        check("memory (kB)", memoryKnown_, memory_, kMemoryLimit);
        check("handles", handlesKnown_, handles_, kHandleLimit);
        check("threads", threadsKnown_, threads_, kThreadLimit);
        check("file descriptors", fdsKnown_, fds_, kHandleLimit);
    }

    void Table() {
        std::ostringstream t;
        char line[400];
        const auto minutes = static_cast<double>(r_.finish - r_.begin) / (60.0 * kSecond);
        std::snprintf(line, sizeof line,
                      "Fault soak: %.1f min, seed %u, bridge.exe under Wine, %zu bridge runs "
                      "(moments from CLOCK_MONOTONIC_RAW %lld us)\n\n",
                      minutes, r_.seed, r_.runs.size(), static_cast<long long>(r_.begin));
        t << line;
        std::snprintf(line, sizeof line, "%-18s %8s %8s %16s %16s %16s\n", "fault", "injected",
                      "survived", "controls back", "full rate after", "(overlapped)");
        t << line;
        for (int k = 0; k < kKindCount; ++k) {
            int injected = 0, survived = 0;
            for (std::size_t i = 0; i < r_.injections.size(); ++i) {
                const Injection& f = r_.injections[i];
                if (static_cast<int>(f.kind) != k) continue;
                ++injected;
                bool failed = !f.survived;
                for (const Failure& x : out_.failures) {
                    failed = failed || (x.at >= f.start - 300 * kMs &&
                                        x.at <= std::min(FeltUntil(i), f.start + 70 * kSecond));
                }
                survived += failed ? 0 : 1;
            }
            const KindFigures& f = kinds_[k];
            const auto ms = [](Us v, bool shown) {
                char text[32];
                if (!shown) return std::string("-");
                std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(v) / kSecond);
                return std::string(text);
            };
            std::snprintf(line, sizeof line, "%-18s %8d %8d %16s %16s %16s\n",
                          kKinds[static_cast<std::size_t>(k)].name, injected, survived,
                          ms(f.longestRelease, f.releasesJudged > 0).c_str(),
                          ms(f.longestBack, f.longestBack > 0).c_str(),
                          ms(f.longestOverlapped, f.longestOverlapped > 0).c_str());
            t << line;
        }
        std::snprintf(
            line, sizeof line,
            "\nsettings sent outside fault windows: %zu, lost or doubled: %zu (must be 0); "
            "inside fault windows: %zu\n",
            judged_, lost_, excused_);
        t << line;
        std::snprintf(
            line, sizeof line,
            "exchanges %zu, handshakes %zu, blocks sent again after a time-out %zu; "
            "largest totals difference %ld attitude frames\n",
            r_.exchanges.size(),
            static_cast<std::size_t>(std::count_if(r_.exchanges.begin(), r_.exchanges.end(),
                                                   [](const Exchange& e) { return e.client; })),
            r_.resends, totalsDiff_);
        t << line;
        const auto slope = [](bool known, double v) {
            char text[32];
            if (!known) return std::string("not reported");
            std::snprintf(text, sizeof text, "%+.2f", v);
            return std::string(text);
        };
        std::snprintf(line, sizeof line,
                      "slopes per minute over %.1f min of runs past their start-up (limits %+.0f "
                      "kB, %+.1f, %+.2f; judged over 8 min in runs of 10 min or more): "
                      "memory %s kB, handles %s, threads %s, Linux file descriptors %s; %zu "
                      "samples\n",
                      static_cast<double>(FittedSpan(r_)) / (60.0 * kSecond), kMemoryLimit,
                      kHandleLimit, kThreadLimit, slope(memoryKnown_, memory_).c_str(),
                      slope(handlesKnown_, handles_).c_str(),
                      slope(threadsKnown_, threads_).c_str(), slope(fdsKnown_, fds_).c_str(),
                      r_.samples.size());
        t << line;
        if (!r_.samples.empty()) {
            const Sample& a = r_.samples.front();
            const Sample& b = r_.samples.back();
            std::snprintf(line, sizeof line,
                          "first and last sample: VmRSS %ld -> %ld kB, handles %ld -> %ld, threads "
                          "%ld -> %ld (Linux tasks %ld -> %ld, file descriptors %ld -> %ld)\n",
                          a.rssKb, b.rssKb, a.handles, b.handles, a.threads, b.threads, a.tasks,
                          b.tasks, a.fds, b.fds);
            t << line;
        }
        t << "checks: " << (out_.failures.empty() ? "all passed" : "FAILED") << "\n";
        for (const Failure& f : out_.failures) {
            t << "  FAILED " << f.check << " at " << Moment(r_, f.at) << " (seed " << r_.seed
              << ", fault " << FaultAt(f.at) << "): " << f.detail << "\n";
        }
        out_.table = t.str();
    }

    // The faults felt at a moment, for a failure's line.
    std::string FaultAt(Us at) const {
        std::string text;
        int shown = 0;
        for (std::size_t i = r_.injections.size(); i-- > 0 && shown < 3;) {
            const Injection& f = r_.injections[i];
            if (at < f.start - 300 * kMs ||
                at > std::max(FeltUntil(i) == kNever ? at : FeltUntil(i), f.end) + kSecond) {
                continue;
            }
            ++shown;
            text = std::string(KindName(f.kind)) + " " + f.variant + " injected at " +
                   Moment(r_, f.start) + (text.empty() ? "" : " + ") + text;
        }
        return text.empty() ? "none felt" : text;
    }

    static constexpr double kMemoryLimit = 100.0;
    static constexpr double kHandleLimit = 1.0;
    static constexpr double kThreadLimit = 0.1;

    struct KindFigures {
        Us longestRelease = 0;
        int releasesJudged = 0;
        Us longestBack = 0;
        Us longestOverlapped = 0;
    };

    const Records& r_;
    Us horizon_;
    std::vector<Us> answered_;
    std::vector<std::pair<Us, Us>> simDown_;
    std::vector<Us> recovered_;
    std::array<KindFigures, kKindCount> kinds_{};
    std::size_t judged_ = 0, excused_ = 0, lost_ = 0;
    long totalsDiff_ = 0;
    double memory_ = 0, handles_ = 0, threads_ = 0, fds_ = 0;
    bool memoryKnown_ = false, handlesKnown_ = false, threadsKnown_ = false, fdsKnown_ = false;
    Analysis out_;
};

}  // namespace

const char* KindName(Kind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < kKinds.size() ? kKinds[i].name : "?";
}

Analysis Analyze(const Records& records, Us horizon) { return Checker(records, horizon).Run(); }

}  // namespace bridge::e2e::soak
