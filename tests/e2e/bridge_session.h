// One run of the whole system for an end-to-end test: bridge.exe under Wine
// in a folder of its own with its settings file, the simulator emulator under
// Wine, and the box emulator on a pseudo-terminal linked as a COM port. The
// test reads what each saw from their logs and looks at the bridge's window
// through window_probe. Everything started here is ended here, by pid.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::e2e {

struct Settings {
    int CommsPort = 0;
    int SL30Port = 0;
    int SL40Port = 0;
    int EGTCHTSplit = 0;
    int NumberOfEngines = 0;
};

// One line of the box emulator's frame log.
struct BoxLogLine {
    long ms = 0;
    std::string kind;  // attitude, airdata, item, port, arinc, other, tx, echo
    std::string tag;   // "-", "<address>/<item kind>", box port, or the command sent
    boxproto::Frame frame;
    std::map<std::string, std::string> fields;
};

// window_probe serve: many commands for one program start (each start under
// Wine costs a second or two), each optionally at a moment of the monotonic
// clock Wine's QueryPerformanceCounter reads (CLOCK_MONOTONIC_RAW). One
// command at a time; commands from several threads take turns. It looks only
// at the windows of the programs in its scope (see tools/window_probe). The
// output file gets each command and its answer, and what the probe says on
// its standard error.
class ProbeServer {
public:
    struct Answer {
        int status = -1;     // window_probe's exit status; -1: no answer in time
        std::string output;  // without the last line end
        std::int64_t atUs = 0;
    };
    // `scope`: the Windows path of the program whose windows count (a folder
    // ending in a backslash: every program in it).
    bool Start(const ChildProcess::Options& options, const std::string& scope);
    // One command line (words split at spaces); `atUs` > 0 waits for that moment.
    Answer Run(const std::string& line, std::int64_t atUs = 0,
               std::chrono::milliseconds timeout = std::chrono::seconds(90));
    // The same within another scope, for this command only.
    Answer RunIn(const std::string& scope, const std::string& line, std::int64_t atUs = 0,
                 std::chrono::milliseconds timeout = std::chrono::seconds(90));
    bool Started();
    // Where the commands and answers are written from now on.
    void Transcript(const std::string& path);

private:
    bool Send(const std::string& line, std::chrono::milliseconds timeout, Answer& answer);
    bool Restart();

    std::mutex lock_;
    ChildProcess child_;
    ChildProcess::Options options_;
    std::string scope_;      // the scope of Run
    std::string sentScope_;  // the scope the probe has
    std::string pending_;    // read past the last answer
    bool started_ = false;
};

// Whose windows a probe looks at.
enum class ProbeTarget { Bridge, OtherBridge, Simulator };

class BridgeSession {
public:
    BridgeSession();
    ~BridgeSession();

    // Whether this machine can run the session (a Wine prefix, the builds).
    static std::optional<std::string> WhyNotAvailable();

    const std::string& folder() const { return folder_; }
    std::string AppFolder() const { return folder_ + "/" + appFolderName_; }
    std::string SettingsPath() const { return AppFolder() + "/VELMORA.INI"; }
    // Renames the folder bridge.exe runs in (before it starts).
    bool RenameAppFolder(const std::string& name);
    // Runs another program of the Windows build (app/win32/<exe>) as
    // bridge.exe from now on.
    bool UseProgram(const std::string& exe);
    // The settings file in the Wine user's %LOCALAPPDATA%, where the bridge
    // keeps them when its own folder cannot be written. The session removes
    // the folder when it ends (the Wine prefix is shared by the tests).
    std::string PerUserSettingsPath() const;
    // The folder of the bridge's log files, and the newest file's text.
    std::string LogFolder() const;
    std::string LogFileText() const;

    void WriteSettings(const Settings& settings);
    std::string SettingsText() const;

    // The box emulator on COM<com>; waits for its ready line.
    bool StartBox(int com);
    void StopBox();
    bool BoxCommand(const std::string& line);
    std::vector<BoxLogLine> BoxLog() const;
    // Waits until the box has logged `count` frames of `kind` (from the start).
    bool WaitForBoxFrames(const std::string& kind, std::size_t count,
                          std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // A null-modem pair of ptys (tools/pty_pair): COM<com> for the bridge,
    // and its far end at BoxEndPath() for the box side. The COM port can be
    // unplugged and plugged in again, as a USB adapter can.
    bool StartPortPair(int com);
    std::string BoxEndPath() const { return folder_ + "/ports/box-end"; }
    // Takes the bridge's device away (its open handle sees a hang-up and the
    // port no longer opens) or puts a new one in; waits until done.
    bool UnplugPort();
    bool PlugPort();
    // Makes COM<com> fail to open, as a port that is not there.
    bool MakePortMissing(int com);
    // COM<com> opens the pair's device too: the adapter as Windows numbers it
    // in another socket (make the old number missing to move it).
    bool LinkPortPairAs(int com);
    // One registry import of `keys` (the text after the file's header), as
    // regedit takes it: every key and value at once.
    bool ImportRegistry(const std::string& keys);

    // The simulator emulator with extra arguments (e.g. "--fixed"); waits
    // until ready. Each start logs to a file of its own: sim.log, sim-2.log, ...
    bool StartSim(const std::vector<std::string>& arguments = {"--fixed"});
    void StopSim();
    // Ends the running emulator with SIGKILL, as a crash would.
    void KillSim();
    // The log of the emulator started last.
    std::string SimLog() const { return ReadWholeFile(SimLogPath(simStarts_)); }
    // Runs `sim_emulator --send-fault <arguments>` against the running emulator.
    bool SimCommand(const std::vector<std::string>& arguments);
    // How many times the emulator was started, and the log of each start (1 on).
    int SimStarts() const { return simStarts_; }
    std::string SimLogPathOf(int start) const { return SimLogPath(start); }

    // bridge.exe; waits until its main window shows, unless told not to
    // (a message box during start-up comes before the window).
    bool StartBridge(bool waitForWindow = true);
    // Closes the main window as a user would; true once the program has ended.
    bool CloseBridge(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    bool BridgeRunning() { return bridge_.Running(); }
    bool WaitBridgeExit(std::chrono::milliseconds timeout) { return bridge_.WaitExit(timeout); }
    // The bridge's Wine process (the Windows program itself).
    pid_t BridgePid() const { return bridge_.pid(); }
    // bridge.exe once more, from `appFolder`, beside the one running; its
    // exit is waited for here, and it is ended with the session.
    bool StartOtherBridge(const std::string& appFolder);
    bool WaitOtherBridgeExit(std::chrono::milliseconds timeout) { return other_.WaitExit(timeout); }
    bool OtherBridgeRunning() { return other_.Running(); }
    pid_t OtherBridgePid() const { return other_.pid(); }

    // window_probe <arguments> on the windows of bridge.exe (and of nothing
    // else in the Wine session): its output without the line end, or nullopt
    // when it failed (window or control not there). One window_probe serve
    // answers these for every session of the test program.
    std::optional<std::string> Probe(const std::vector<std::string>& arguments);
    // The same on the windows of the bridge started by StartOtherBridge.
    std::optional<std::string> ProbeOther(const std::vector<std::string>& arguments);
    std::string ControlText(int id);
    // Clicks the control once it is there and enabled; false if it was not
    // within the timeout.
    bool ClickWhenEnabled(const std::string& windowClass, int id,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // A window_probe serve of its own, whose output goes to probe-<name>.out.
    bool StartProbeServer(ProbeServer& server, const std::string& name,
                          ProbeTarget target = ProbeTarget::Bridge) const;
    // In an open file dialog, types the file's (Windows) path and presses Open.
    bool ChooseInFileDialog(const std::string& windowsPath);
    bool WaitForLog(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // What a failed case shows: the bridge's windows with their controls (a
    // message box with its text among them) and the last lines of its log
    // file and of its output.
    std::string State();
    // Ends every program the session started and waits until none of them,
    // nor any window of theirs, is left in the Wine session; false if some
    // were still there after the wait. The destructor calls it too.
    bool End();

private:
    ChildProcess::Options WineOptions(const std::string& exe, std::vector<std::string> args,
                                      const std::string& output) const;
    std::string ScopeOf(ProbeTarget target) const;
    std::optional<std::string> ProbeIn(ProbeTarget target, const std::vector<std::string>& args);
    bool StartProbe();

    void UnmanagedWindows();
    std::string SimLogPath(int start) const;
    bool WaitPortState(const std::string& state);

    std::string folder_;
    std::string appFolderName_ = "app";
    int simStarts_ = 0;
    int pairCom_ = 0;
    std::string otherFolder_;
    bool ended_ = false;
    bool endedClean_ = true;
    std::string ptyModemLink_;
    ProbeServer* probe_ = nullptr;  // see StartProbe
    ChildProcess ports_;
    ChildProcess box_;
    ChildProcess sim_;
    ChildProcess bridge_;
    ChildProcess other_;
};

}  // namespace bridge::e2e
