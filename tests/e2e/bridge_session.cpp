#include "tests/e2e/bridge_session.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace bridge::e2e {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// Builds: the Windows one (bridge.exe and the Windows tools) and this native
// one (the box emulator and the pty modem library).
std::string WindowsBuild() { return Env("BRIDGE_MINGW_DIR", BRIDGE_DEFAULT_MINGW_DIR); }
std::string NativeBuild() { return BRIDGE_NATIVE_DIR; }
std::string ProgramExe(const std::string& exe) { return WindowsBuild() + "/app/win32/" + exe; }
std::string BridgeExe() { return ProgramExe("bridge.exe"); }
std::string SimEmulatorExe() { return WindowsBuild() + "/tools/sim_emulator/sim_emulator.exe"; }
std::string WindowProbeExe() { return WindowsBuild() + "/tools/window_probe/window_probe.exe"; }
std::string BoxEmulator() { return NativeBuild() + "/tools/box_emulator/box_emulator"; }
std::string PtyModemLib() { return NativeBuild() + "/tools/pty_modem/libpty_modem.so"; }
std::string PtyPair() { return NativeBuild() + "/tools/pty_pair/pty_pair"; }
std::string ComLinkPath(int com) {
    return Env("WINEPREFIX") + "/dosdevices/com" + std::to_string(com);
}

// %LOCALAPPDATA% of the prefix's user: the one folder under drive_c/users
// that is not Public.
std::string PerUserFolder() {
    std::error_code ec;
    for (const auto& user : fs::directory_iterator(Env("WINEPREFIX") + "/drive_c/users", ec)) {
        if (user.path().filename() == "Public") continue;
        return (user.path() / "AppData/Local/Dravik EFIS to Flightsim bridge").string();
    }
    return {};
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

BridgeSession::BridgeSession() {
    std::string pattern = fs::temp_directory_path().string() + "/bridge-e2e.XXXXXX";
    folder_ = mkdtemp(pattern.data());
    fs::create_directories(AppFolder());
    fs::copy_file(BridgeExe(), AppFolder() + "/bridge.exe");
    // LD_PRELOAD splits its value at spaces: the build may be at a path with
    // some, this folder is not.
    ptyModemLink_ = folder_ + "/libpty_modem.so";
    std::error_code ignored;
    fs::create_symlink(PtyModemLib(), ptyModemLink_, ignored);
}

bool BridgeSession::End() {
    if (ended_) return endedClean_;
    ended_ = true;
    if (bridge_.Running()) CloseBridge(std::chrono::seconds(10));
    bridge_.Terminate();
    other_.Terminate();
    StopSim();
    StopBox();
    // Ended by pid, but the Wine server may not have taken their windows away
    // yet: the next case must not find them.
    StartProbe();
    for (const std::string& scope : {WinePath(folder_) + "\\", ScopeOf(ProbeTarget::Simulator)}) {
        endedClean_ = probe_->RunIn(scope, "ended 20000").status == 0 && endedClean_;
    }
    return endedClean_;
}

BridgeSession::~BridgeSession() {
    End();
    if (const std::string perUser = PerUserFolder(); !perUser.empty()) {
        std::error_code ignored;
        fs::remove_all(perUser, ignored);
    }
    if (pairCom_ != 0) {
        // A COM link to a folder fails to open like a missing port; one to
        // a missing file would open.
        std::error_code ignored;
        fs::remove(ComLinkPath(pairCom_), ignored);
        fs::create_directory_symlink(Env("WINEPREFIX") + "/dosdevices", ComLinkPath(pairCom_),
                                     ignored);
    }
    ports_.Terminate();
    if (Env("BRIDGE_E2E_KEEP").empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

std::optional<std::string> BridgeSession::WhyNotAvailable() {
    if (Env("WINEPREFIX").empty()) return "no WINEPREFIX: run through scripts/test";
    for (const std::string& path : {BridgeExe(), ProgramExe("bridge-events.exe"), SimEmulatorExe(),
                                    WindowProbeExe(), BoxEmulator(), PtyModemLib(), PtyPair()}) {
        if (!fs::exists(path)) return "missing " + path;
    }
    return std::nullopt;
}

bool BridgeSession::RenameAppFolder(const std::string& name) {
    std::error_code ec;
    fs::rename(AppFolder(), folder_ + "/" + name, ec);
    if (ec) return false;
    appFolderName_ = name;
    return true;
}

bool BridgeSession::UseProgram(const std::string& exe) {
    std::error_code ec;
    fs::copy_file(ProgramExe(exe), AppFolder() + "/bridge.exe",
                  fs::copy_options::overwrite_existing, ec);
    return !ec;
}

std::string BridgeSession::PerUserSettingsPath() const { return PerUserFolder() + "/VELMORA.INI"; }

std::string BridgeSession::LogFolder() const { return PerUserFolder() + "/logs"; }

// The names sort by start within a day; the sessions' runs are minutes long.
std::string BridgeSession::LogFileText() const {
    std::string newest;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(LogFolder(), ec)) {
        newest = std::max(newest, entry.path().string());
    }
    return newest.empty() ? "" : ReadWholeFile(newest);
}

void BridgeSession::WriteSettings(const Settings& s) {
    std::ofstream out(SettingsPath(), std::ios::binary);
    out << "[Setup]\r\nCommsPort=" << s.CommsPort << "\r\nSL30Port=" << s.SL30Port
        << "\r\nSL40Port=" << s.SL40Port << "\r\nEGTCHTSplit=" << s.EGTCHTSplit
        << "\r\nNumberOfEngines=" << s.NumberOfEngines << "\r\n";
}

std::string BridgeSession::SettingsText() const { return ReadWholeFile(SettingsPath()); }

bool BridgeSession::StartBox(int com) {
    const std::string output = folder_ + "/box.out";
    ChildProcess::Options options;
    options.argv = {BoxEmulator(),   "--pty",
                    "--wine-prefix", Env("WINEPREFIX"),
                    "--com",         std::to_string(com),
                    "--link",        folder_ + "/box-com" + std::to_string(com),
                    "--log",         folder_ + "/box.log",
                    "--quiet"};
    options.outputPath = output;
    options.stdinPipe = true;
    if (!box_.Start(options)) return false;
    return WaitUntil([&] { return ReadWholeFile(output).find("ready ") != std::string::npos; },
                     std::chrono::seconds(20));
}

void BridgeSession::StopBox() { box_.Terminate(); }

bool BridgeSession::BoxCommand(const std::string& line) { return box_.WriteLine(line); }

std::vector<BoxLogLine> BridgeSession::BoxLog() const {
    std::vector<BoxLogLine> lines;
    std::istringstream in(ReadWholeFile(folder_ + "/box.log"));
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream fields(text);
        BoxLogLine line;
        std::string hex;
        if (!(fields >> line.ms >> line.kind >> line.tag >> hex)) continue;
        if (hex != "-") {
            line.frame.bytes = FromHex(hex);
            if (line.frame.bytes.size() > 2) line.frame.kind = line.frame.bytes[2];
        }
        std::string field;
        while (fields >> field) {
            const auto equals = field.find('=');
            if (equals != std::string::npos) {
                line.fields[field.substr(0, equals)] = field.substr(equals + 1);
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool BridgeSession::WaitForBoxFrames(const std::string& kind, std::size_t count,
                                     std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            std::size_t seen = 0;
            for (const auto& line : BoxLog()) seen += line.kind == kind ? 1 : 0;
            return seen >= count;
        },
        timeout);
}

ChildProcess::Options BridgeSession::WineOptions(const std::string& exe,
                                                 std::vector<std::string> args,
                                                 const std::string& output) const {
    ChildProcess::Options options;
    options.argv = {"wine", exe};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.outputPath = output;
    options.extraEnv = {"LD_PRELOAD=" + ptyModemLink_, "WINEDEBUG=-all"};
    return options;
}

bool BridgeSession::StartPortPair(int com) {
    const std::string state = folder_ + "/ports";
    const std::string name = "com" + std::to_string(com);
    ChildProcess::Options options;
    options.argv = {PtyPair(), state, name, "box-end"};
    options.outputPath = folder_ + "/pty_pair.out";
    if (!ports_.Start(options)) return false;
    if (!WaitUntil([&] { return fs::exists(state + "/ready"); }, std::chrono::seconds(10))) {
        return false;
    }
    std::error_code ec;
    fs::remove(ComLinkPath(com), ec);
    fs::create_symlink(state + "/" + name, ComLinkPath(com), ec);
    if (ec) return false;
    pairCom_ = com;
    return true;
}

bool BridgeSession::WaitPortState(const std::string& state) {
    const std::string path = folder_ + "/ports/state-com" + std::to_string(pairCom_);
    return WaitUntil([&] { return ReadWholeFile(path).rfind(state, 0) == 0; },
                     std::chrono::seconds(10));
}

bool BridgeSession::UnplugPort() {
    std::ofstream(folder_ + "/ports/unplug-com" + std::to_string(pairCom_)) << "\n";
    return WaitPortState("unplugged");
}

bool BridgeSession::PlugPort() {
    std::error_code ec;
    fs::remove(folder_ + "/ports/unplug-com" + std::to_string(pairCom_), ec);
    return WaitPortState("plugged");
}

bool BridgeSession::LinkPortPairAs(int com) {
    std::error_code ec;
    fs::remove(ComLinkPath(com), ec);
    fs::create_symlink(folder_ + "/ports/com" + std::to_string(pairCom_), ComLinkPath(com), ec);
    return !ec;
}

bool BridgeSession::ImportRegistry(const std::string& keys) {
    const std::string path = folder_ + "/seed.reg";
    std::ofstream(path, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n" << keys;
    ChildProcess regedit;
    ChildProcess::Options options;
    options.argv = {"wine", "regedit", "/S", WinePath(path)};
    options.extraEnv = {"WINEDEBUG=-all"};
    options.outputPath = folder_ + "/regedit.out";
    return regedit.Start(options) && regedit.WaitExit(std::chrono::seconds(60)) &&
           regedit.exitStatus() == 0;
}

bool BridgeSession::MakePortMissing(int com) {
    // A COM link to a folder fails to open like a missing port.
    std::error_code ec;
    fs::remove(ComLinkPath(com), ec);
    fs::create_directory_symlink(Env("WINEPREFIX") + "/dosdevices", ComLinkPath(com), ec);
    return !ec;
}

std::string BridgeSession::SimLogPath(int start) const {
    return folder_ +
           (start <= 1 ? std::string("/sim.log") : "/sim-" + std::to_string(start) + ".log");
}

bool BridgeSession::StartSim(const std::vector<std::string>& arguments) {
    ++simStarts_;
    std::vector<std::string> args = {"--log", WinePath(SimLogPath(simStarts_))};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const std::string output = folder_ + "/sim.out";
    if (!sim_.Start(WineOptions(SimEmulatorExe(), args, output))) return false;
    return WaitUntil([&] { return ReadWholeFile(output).find("READY") != std::string::npos; },
                     std::chrono::seconds(30));
}

void BridgeSession::StopSim() {
    if (!sim_.Running()) return;
    ChildProcess stop;
    if (stop.Start(WineOptions(SimEmulatorExe(), {"--stop"}, folder_ + "/sim-stop.out"))) {
        stop.WaitExit(std::chrono::seconds(15));
    }
    if (!sim_.WaitExit(std::chrono::seconds(10))) sim_.Terminate();
}

void BridgeSession::KillSim() { sim_.Kill(); }

bool BridgeSession::SimCommand(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = {"--send-fault"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    ChildProcess control;
    if (!control.Start(WineOptions(SimEmulatorExe(), args, folder_ + "/sim-control.out"))) {
        return false;
    }
    return control.WaitExit(std::chrono::seconds(15)) && control.exitStatus() == 0;
}

// Xvfb has no window manager, but Wine's X11 driver hands top-level windows
// to one by default and, each time such a window is hidden or destroyed,
// waits two seconds for it to confirm. That would stall the bridge's
// user-interface thread (and so its ticks) whenever a dialog or message box
// closes, and add four seconds to every exit. Unmanaged windows are what a
// display without a window manager has.
void BridgeSession::UnmanagedWindows() {
    static const bool done = [this] {
        ChildProcess reg;
        ChildProcess::Options options = WineOptions(
            "reg", {"add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"},
            folder_ + "/reg.out");
        return reg.Start(options) && reg.WaitExit(std::chrono::seconds(30)) &&
               reg.exitStatus() == 0;
    }();
    (void)done;
}

bool BridgeSession::StartBridge(bool waitForWindow) {
    UnmanagedWindows();
    ChildProcess::Options options =
        WineOptions(AppFolder() + "/bridge.exe", {}, folder_ + "/bridge.out");
    options.workDir = AppFolder();
    if (!bridge_.Start(options)) return false;
    return !waitForWindow || Probe({"wait", "TForm1", "30000"}).has_value();
}

bool BridgeSession::StartOtherBridge(const std::string& appFolder) {
    otherFolder_ = appFolder;
    ChildProcess::Options options =
        WineOptions(appFolder + "/bridge.exe", {}, folder_ + "/bridge-other.out");
    options.workDir = appFolder;
    return other_.Start(options);
}

bool BridgeSession::CloseBridge(std::chrono::milliseconds timeout) {
    if (!bridge_.Running()) return true;
    Probe({"close", "TForm1"});
    return bridge_.WaitExit(timeout);
}

std::string BridgeSession::ScopeOf(ProbeTarget target) const {
    switch (target) {
        case ProbeTarget::Bridge: return WinePath(AppFolder() + "/bridge.exe");
        case ProbeTarget::OtherBridge: return WinePath(otherFolder_ + "/bridge.exe");
        case ProbeTarget::Simulator: return WinePath(SimEmulatorExe());
    }
    return {};
}

std::optional<std::string> BridgeSession::ProbeIn(ProbeTarget target,
                                                  const std::vector<std::string>& arguments) {
    std::string line;
    bool oneWordEach = true;
    for (const std::string& argument : arguments) {
        oneWordEach = oneWordEach && !argument.empty() &&
                      argument.find_first_of(" \t\r\n") == std::string::npos;
        line += (line.empty() ? "" : " ") + argument;
    }
    if (!oneWordEach) {
        // The probe server splits its lines at blanks: a text with some goes
        // to a probe of its own, in the same scope.
        const std::string output = folder_ + "/probe.out";
        ChildProcess::Options options = WineOptions(WindowProbeExe(), arguments, output);
        options.extraEnv.push_back("WINDOW_PROBE_SCOPE=" + ScopeOf(target));
        ChildProcess probe;
        if (!probe.Start(options)) return std::nullopt;
        if (!probe.WaitExit(std::chrono::seconds(60)) || probe.exitStatus() != 0) {
            return std::nullopt;
        }
        std::string text = ReadWholeFile(output);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }
    if (!StartProbe()) return std::nullopt;
    const ProbeServer::Answer answer = probe_->RunIn(ScopeOf(target), line);
    if (answer.status != 0) return std::nullopt;
    return answer.output;
}

// One probe for every session of the test program (they share the Wine
// session), started on first use; its transcript goes to the session's folder.
bool BridgeSession::StartProbe() {
    static ProbeServer shared;
    probe_ = &shared;
    const std::string transcript = folder_ + "/probe.out";
    if (shared.Started()) {
        shared.Transcript(transcript);
        return true;
    }
    return shared.Start(WineOptions(WindowProbeExe(), {"serve"}, transcript),
                        ScopeOf(ProbeTarget::Bridge));
}

std::optional<std::string> BridgeSession::Probe(const std::vector<std::string>& arguments) {
    return ProbeIn(ProbeTarget::Bridge, arguments);
}

std::optional<std::string> BridgeSession::ProbeOther(const std::vector<std::string>& arguments) {
    return ProbeIn(ProbeTarget::OtherBridge, arguments);
}

std::string BridgeSession::ControlText(int id) {
    return Probe({"text", "TForm1", std::to_string(id)}).value_or("<no control>");
}

bool BridgeSession::ClickWhenEnabled(const std::string& windowClass, int id,
                                     std::chrono::milliseconds timeout) {
    const std::string control = std::to_string(id);
    return WaitUntil(
        [&] {
            return Probe({"enabled", windowClass, control}) == "1" &&
                   Probe({"clickenabled", windowClass, control}).has_value();
        },
        timeout);
}

bool BridgeSession::StartProbeServer(ProbeServer& server, const std::string& name,
                                     ProbeTarget target) const {
    ChildProcess::Options options =
        WineOptions(WindowProbeExe(), {"serve"}, folder_ + "/probe-" + name + ".out");
    return server.Start(options, ScopeOf(target));
}

std::string BridgeSession::State() {
    std::ostringstream state;
    const auto windows = [&](ProbeTarget target, const char* whose) {
        state << "The windows of " << whose << " (" << ScopeOf(target) << "):\n"
              << ProbeIn(target, {"windows"}).value_or("<the probe did not answer>") << "\n";
    };
    windows(ProbeTarget::Bridge, "bridge.exe");
    if (!otherFolder_.empty()) windows(ProbeTarget::OtherBridge, "the other bridge.exe");
    const auto tail = [&](const std::string& title, const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        constexpr std::size_t kLast = 25;
        state << title << (lines.size() > kLast ? " (its last lines)" : "") << ":\n";
        for (std::size_t i = lines.size() > kLast ? lines.size() - kLast : 0; i < lines.size();
             ++i) {
            state << "    " << lines[i] << "\n";
        }
    };
    tail("The bridge's log file", LogFileText());
    tail("bridge.exe's output", ReadWholeFile(folder_ + "/bridge.out"));
    return state.str();
}

bool ProbeServer::Start(const ChildProcess::Options& options, const std::string& scope) {
    std::lock_guard<std::mutex> guard(lock_);
    options_ = options;
    options_.stdinPipe = true;
    options_.stdoutPipe = true;
    scope_ = scope;
    return Restart();
}

// With the lock held: a new probe, which has no scope and nothing unread yet.
bool ProbeServer::Restart() {
    sentScope_.clear();
    pending_.clear();
    child_.Terminate();
    started_ = child_.Start(options_);
    return started_;
}

void ProbeServer::Transcript(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    options_.outputPath = path;
}

bool ProbeServer::Started() {
    std::lock_guard<std::mutex> guard(lock_);
    return started_;
}

ProbeServer::Answer ProbeServer::Run(const std::string& line, std::int64_t atUs,
                                     std::chrono::milliseconds timeout) {
    std::string scope;
    {
        std::lock_guard<std::mutex> guard(lock_);
        scope = scope_;
    }
    return RunIn(scope, line, atUs, timeout);
}

ProbeServer::Answer ProbeServer::RunIn(const std::string& scope, const std::string& line,
                                       std::int64_t atUs, std::chrono::milliseconds timeout) {
    std::lock_guard<std::mutex> guard(lock_);
    Answer answer;
    if (!started_) return answer;
    if (scope != sentScope_) {
        if (!Send("scope " + scope, std::chrono::seconds(30), answer)) return answer;
        sentScope_ = scope;
    }
    Send(atUs > 0 ? "at " + std::to_string(atUs) + " " + line : line, timeout, answer);
    return answer;
}

// Writes the line and reads up to its answer, which ends with "=> <status>
// at_us=<us>" on a line of its own. A probe that gives no answer in time is
// stuck (a window that does not answer a sent message): it is started again,
// so that a later answer is not taken for the next command's.
bool ProbeServer::Send(const std::string& line, std::chrono::milliseconds timeout, Answer& answer) {
    answer = Answer{};
    std::ofstream transcript(options_.outputPath, std::ios::binary | std::ios::app);
    transcript << "<= " << line << "\n" << std::flush;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool written = child_.WriteLine(line);
    for (std::size_t end; written;) {
        if ((end = pending_.find("=> ")) != std::string::npos &&
            pending_.find('\n', end) != std::string::npos) {
            std::istringstream tail(pending_.substr(end + 3));
            std::string at;
            tail >> answer.status >> at;
            if (at.rfind("at_us=", 0) == 0) answer.atUs = std::stoll(at.substr(6));
            answer.output = pending_.substr(0, end);
            while (!answer.output.empty() &&
                   (answer.output.back() == '\n' || answer.output.back() == '\r')) {
                answer.output.pop_back();
            }
            const std::size_t next = pending_.find('\n', end) + 1;
            transcript << pending_.substr(0, next) << std::flush;
            pending_.erase(0, next);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (!child_.Read(pending_, left) && !child_.Reading())) break;
    }
    transcript << "(no answer: the probe is started again)\n";
    Restart();
    return false;
}

bool BridgeSession::ChooseInFileDialog(const std::string& windowsPath) {
    // The file name box is a combo box (cmb13) in Explorer-style dialogs and
    // an edit (edt1) in older ones.
    for (const char* id : {"1148", "1152"}) {
        if (Probe({"settext", "#32770", id, windowsPath})) {
            return ClickWhenEnabled("#32770", 1);
        }
    }
    return false;
}

bool BridgeSession::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return ControlText(101).find(text) != std::string::npos; }, timeout);
}

}  // namespace bridge::e2e
