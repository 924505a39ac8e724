// Runs commands in order. A wait holds back the commands after it until its
// time has passed or enough matching frames have arrived since it began, so a
// script paces itself on what the bridge sends instead of sleeping blindly.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tools/box_emulator/commands.h"

namespace boxemu {

// What the commands do outside the sequencer.
class CommandSink {
public:
    virtual void Send(const Command& command) = 0;
    virtual void Echo(std::string_view text) = 0;
    virtual void Quit() = 0;
    // A wait that timed out; `fromScript` tells a script line from a typed one.
    virtual void WaitFailed(std::string_view message, bool fromScript) = 0;

protected:
    ~CommandSink() = default;
};

class Sequencer {
public:
    // `origin` names the line in messages, e.g. "demo.txt:12" or "stdin".
    void Append(Command command, std::string origin, bool fromScript);
    // Counts the frame for a running frame wait.
    void OnFrame(const FrameTag& tag);
    // Runs every command that is due at `nowMs`.
    void Run(std::uint64_t nowMs, CommandSink& sink);
    // When the running wait ends by time (its end or its time-out); none if no
    // wait is running or it ends only by frames.
    std::optional<std::uint64_t> Deadline() const;
    bool Idle() const { return queue_.empty() && !wait_; }
    // Drops every command still queued from a script (after a failed wait).
    void DropScript();

private:
    struct Entry {
        Command command;
        std::string origin;
        bool fromScript;
    };
    struct RunningWait {
        Entry entry;
        std::optional<FrameSelector> selector;  // none: a plain time wait
        std::uint32_t needed = 0;
        std::uint32_t seen = 0;
        std::optional<std::uint64_t> endMs;
    };

    // Starts a wait or runs a command at once.
    void Start(Entry entry, std::uint64_t nowMs, CommandSink& sink);
    // True when the running wait has ended (and reports a time-out).
    bool WaitOver(std::uint64_t nowMs, CommandSink& sink);

    std::deque<Entry> queue_;
    std::optional<RunningWait> wait_;
};

}  // namespace boxemu
