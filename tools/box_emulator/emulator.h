// The emulator's event loop: bytes from the bridge are decoded, shown and
// logged; commands from the script and the keyboard are run in order; the
// panel or snapshot is refreshed; all until a stop signal, "quit", the end of
// --duration or a failure of the line.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "tools/box_emulator/box_monitor.h"
#include "tools/box_emulator/frame_log.h"
#include "tools/box_emulator/options.h"
#include "tools/box_emulator/sequencer.h"
#include "tools/box_emulator/serial_line.h"
#include "tools/box_protocol/box_protocol.h"

namespace boxemu {

inline constexpr int kExitLineFailed = 1;
inline constexpr int kExitScriptFailed = 2;

class Emulator final : public CommandSink {
public:
    // `portText` describes the line for the panel's title.
    Emulator(SerialLine& line, const Options& options, FrameLog& log, ViewMode view,
             std::string portText, std::uint64_t startMs);

    Sequencer& sequencer() { return sequencer_; }
    // Runs until it is told to stop; returns the exit status.
    int Run();
    std::string Summary() const;

    void Send(const Command& command) override;
    void Echo(std::string_view text) override;
    void Quit() override { quit_ = true; }
    void WaitFailed(std::string_view message, bool fromScript) override;

private:
    // Decodes what the bridge sent; runs due commands after each frame.
    void ReadLine(bool runCommands);
    void ReadInput();
    void RunInputLine(std::string_view text);
    void Refresh();
    void Say(std::string text);
    std::uint64_t NextWakeMs() const;

    SerialLine& line_;
    const Options& options_;
    FrameLog& log_;
    ViewMode view_;
    std::string portText_;
    std::uint64_t nowMs_;
    std::uint64_t startMs_;
    std::uint64_t nextViewMs_;
    std::uint64_t nextFlushMs_;
    boxproto::OutgoingDecoder decoder_;
    BoxMonitor monitor_;
    Sequencer sequencer_;
    std::deque<std::string> messages_;
    std::string inputPending_;
    bool watchInput_;
    bool quit_ = false;
    bool firstPanel_ = true;
    int exitStatus_ = 0;
};

std::uint64_t NowMs();

}  // namespace boxemu
