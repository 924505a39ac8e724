#include "tools/box_emulator/emulator.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "tools/box_emulator/live_view.h"

namespace boxemu {
namespace {

constexpr std::uint64_t kPanelIntervalMs = 250;
constexpr std::uint64_t kSnapshotIntervalMs = 1000;
constexpr std::uint64_t kFlushIntervalMs = 200;
constexpr int kLongestWaitMs = 100;
constexpr std::size_t kMessagesShown = 5;
constexpr std::size_t kLongestInputLine = 4096;
constexpr int kReadsPerWake = 16;  // then the loop looks at its other work

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

std::uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

Emulator::Emulator(SerialLine& line, const Options& options, FrameLog& log, ViewMode view,
                   std::string portText, std::uint64_t startMs)
    : line_(line),
      options_(options),
      log_(log),
      view_(view),
      portText_(std::move(portText)),
      nowMs_(startMs),
      startMs_(startMs),
      nextViewMs_(startMs + (view == ViewMode::Plain ? kSnapshotIntervalMs : 0)),
      nextFlushMs_(startMs + kFlushIntervalMs),
      monitor_(startMs),
      watchInput_(options.readStdin) {}

int Emulator::Run() {
    const std::uint64_t endMs = options_.durationMs ? startMs_ + *options_.durationMs : UINT64_MAX;
    while (!quit_ && !StopRequested()) {
        nowMs_ = NowMs();
        sequencer_.Run(nowMs_, *this);
        if (quit_ || nowMs_ >= endMs) break;
        const std::uint64_t wake = std::min(NextWakeMs(), endMs);
        const auto timeout = static_cast<int>(
            std::min<std::uint64_t>(wake > nowMs_ ? wake - nowMs_ : 0, kLongestWaitMs));
        const Events events = line_.Wait(watchInput_, timeout);
        nowMs_ = NowMs();
        if (events.line) ReadLine(true);
        if (events.input) ReadInput();
        monitor_.Tick(nowMs_);
        Refresh();
    }
    nowMs_ = NowMs();
    // Frames the bridge wrote before the stop still count.
    if (exitStatus_ != kExitLineFailed) ReadLine(false);
    log_.Flush();
    if (view_ == ViewMode::Panel) Print("\n");
    return exitStatus_;
}

void Emulator::ReadLine(bool runCommands) {
    std::array<std::uint8_t, 4096> buffer;
    for (int i = 0; i < kReadsPerWake; ++i) {
        const std::ptrdiff_t n = line_.Read(buffer);
        if (n < 0) {
            Say("the serial line failed; stopping");
            exitStatus_ = kExitLineFailed;
            quit_ = true;
            return;
        }
        if (n == 0) return;
        decoder_.Feed(std::span(buffer).first(static_cast<std::size_t>(n)));
        for (const boxproto::Frame& frame : decoder_.TakeFrames()) {
            const FrameTag tag = TagOf(frame);
            monitor_.OnFrame(frame, tag);
            log_.Frame(nowMs_ - startMs_, frame, tag);
            sequencer_.OnFrame(tag);
            if (runCommands) sequencer_.Run(nowMs_, *this);
        }
        monitor_.OnDecoderCounts(decoder_.badFrames(), decoder_.strayBytes());
    }
}

void Emulator::ReadInput() {
    std::array<char, 1024> buffer;
    const std::ptrdiff_t n = boxemu::ReadInput(buffer);
    if (n <= 0) {
        watchInput_ = false;  // end of input: the script and the line carry on
        if (!inputPending_.empty()) RunInputLine(inputPending_);
        inputPending_.clear();
        return;
    }
    inputPending_.append(buffer.data(), static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = inputPending_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        RunInputLine(std::string_view(inputPending_).substr(start, end - start));
    }
    inputPending_.erase(0, start);
    if (inputPending_.size() > kLongestInputLine) {
        Say("stdin: line too long, dropped");
        inputPending_.clear();
    }
}

void Emulator::RunInputLine(std::string_view text) {
    ParsedLine parsed = ParseCommand(text);
    if (!parsed.error.empty()) {
        Say("stdin: " + parsed.error);
    } else if (parsed.command) {
        sequencer_.Append(std::move(*parsed.command), "stdin", false);
        sequencer_.Run(nowMs_, *this);
    }
}

void Emulator::Send(const Command& command) {
    const std::vector<std::uint8_t> bytes = CommandFrame(command, monitor_.radios().ports);
    const std::size_t taken = line_.Write(bytes);
    monitor_.OnSent(command, bytes.size(), bytes.size() - taken);
    log_.Sent(nowMs_ - startMs_, command, bytes);
    if (taken < bytes.size()) Say("line busy: dropped " + DescribeCommand(command));
}

void Emulator::Echo(std::string_view text) {
    log_.Echo(nowMs_ - startMs_, text);
    Say("echo " + std::string(text));
}

void Emulator::WaitFailed(std::string_view message, bool fromScript) {
    Say(std::string(message) + (fromScript ? "; script stopped" : ""));
    if (fromScript) {
        exitStatus_ = kExitScriptFailed;
        quit_ = true;
    }
}

void Emulator::Say(std::string text) {
    if (view_ == ViewMode::Panel) {
        messages_.push_back(std::move(text));
        if (messages_.size() > kMessagesShown) messages_.pop_front();
    } else {
        Print(text + "\n");
    }
}

void Emulator::Refresh() {
    if (nowMs_ >= nextFlushMs_) {
        log_.Flush();
        nextFlushMs_ = nowMs_ + kFlushIntervalMs;
    }
    if (nowMs_ < nextViewMs_) return;
    if (view_ == ViewMode::Panel) {
        if (firstPanel_) Print("\x1b[2J");
        firstPanel_ = false;
        Print(RenderPanelInPlace(RenderPanel(monitor_, portText_, messages_, nowMs_)));
        nextViewMs_ = nowMs_ + kPanelIntervalMs;
    } else if (view_ == ViewMode::Plain) {
        Print(RenderSnapshot(monitor_, nowMs_));
        nextViewMs_ = nowMs_ + kSnapshotIntervalMs;
    }
}

std::uint64_t Emulator::NextWakeMs() const {
    std::uint64_t wake = nextFlushMs_;
    if (view_ == ViewMode::Panel || view_ == ViewMode::Plain) wake = std::min(wake, nextViewMs_);
    if (const auto deadline = sequencer_.Deadline()) wake = std::min(wake, *deadline);
    return wake;
}

std::string Emulator::Summary() const { return RenderSummary(monitor_, nowMs_); }

}  // namespace boxemu
