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
}

BridgeSession::~BridgeSession() {
    if (bridge_.Running()) CloseBridge(std::chrono::seconds(10));
    bridge_.Terminate();
    other_.Terminate();
    StopSim();
    StopBox();
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
    options.extraEnv = {"LD_PRELOAD=" + PtyModemLib(), "WINEDEBUG=-all"};
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

std::optional<std::string> BridgeSession::Probe(const std::vector<std::string>& arguments) {
    const std::string output = folder_ + "/probe.out";
    ChildProcess probe;
    if (!probe.Start(WineOptions(WindowProbeExe(), arguments, output))) return std::nullopt;
    if (!probe.WaitExit(std::chrono::seconds(60)) || probe.exitStatus() != 0) return std::nullopt;
    std::string text = ReadWholeFile(output);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string BridgeSession::ControlText(int id) {
    return Probe({"text", "TForm1", std::to_string(id)}).value_or("<no control>");
}

bool BridgeSession::StartProbeServer(ProbeServer& server, const std::string& name) const {
    ChildProcess::Options options =
        WineOptions(WindowProbeExe(), {"serve"}, folder_ + "/probe-" + name + ".out");
    options.stdinPipe = true;
    return server.Start(options);
}

bool ProbeServer::Start(const ChildProcess::Options& options) {
    std::lock_guard<std::mutex> guard(lock_);
    outputPath_ = options.outputPath;
    read_ = 0;
    return child_.Start(options);
}

ProbeServer::Answer ProbeServer::Run(const std::string& line, std::int64_t atUs,
                                     std::chrono::milliseconds timeout) {
    std::lock_guard<std::mutex> guard(lock_);
    Answer answer;
    if (!child_.WriteLine(atUs > 0 ? "at " + std::to_string(atUs) + " " + line : line)) {
        return answer;
    }
    // The answer ends with "=> <status> at_us=<us>" on a line of its own.
    WaitUntil(
        [&] {
            const std::string text = ReadWholeFile(outputPath_).substr(read_);
            const std::size_t end = text.find("=> ");
            if (end == std::string::npos || text.find('\n', end) == std::string::npos) {
                return false;
            }
            std::istringstream tail(text.substr(end + 3));
            std::string at;
            tail >> answer.status >> at;
            if (at.rfind("at_us=", 0) == 0) answer.atUs = std::stoll(at.substr(6));
            answer.output = text.substr(0, end);
            while (!answer.output.empty() &&
                   (answer.output.back() == '\n' || answer.output.back() == '\r')) {
                answer.output.pop_back();
            }
            read_ += text.find('\n', end) + 1;
            return true;
        },
        timeout);
    return answer;
}

bool BridgeSession::ChooseInFileDialog(const std::string& windowsPath) {
    // The file name box is a combo box (cmb13) in Explorer-style dialogs and
    // an edit (edt1) in older ones.
    for (const char* id : {"1148", "1152"}) {
        if (Probe({"settext", "#32770", id, windowsPath})) {
            return Probe({"click", "#32770", "1"}).has_value();
        }
    }
    return false;
}

bool BridgeSession::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return ControlText(101).find(text) != std::string::npos; }, timeout);
}

}  // namespace bridge::e2e
