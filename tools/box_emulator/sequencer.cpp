#include "tools/box_emulator/sequencer.h"

namespace boxemu {

void Sequencer::Append(Command command, std::string origin, bool fromScript) {
    queue_.push_back(Entry{std::move(command), std::move(origin), fromScript});
}

void Sequencer::OnFrame(const FrameTag& tag) {
    if (wait_ && wait_->selector && wait_->selector->Matches(tag)) ++wait_->seen;
}

std::optional<std::uint64_t> Sequencer::Deadline() const {
    if (!wait_) return std::nullopt;
    return wait_->endMs;
}

void Sequencer::DropScript() {
    std::erase_if(queue_, [](const Entry& e) { return e.fromScript; });
    if (wait_ && wait_->entry.fromScript) wait_.reset();
}

void Sequencer::Run(std::uint64_t nowMs, CommandSink& sink) {
    while (true) {
        if (wait_ && !WaitOver(nowMs, sink)) return;
        wait_.reset();
        if (queue_.empty()) return;
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        Start(std::move(entry), nowMs, sink);
    }
}

void Sequencer::Start(Entry entry, std::uint64_t nowMs, CommandSink& sink) {
    if (const auto* w = std::get_if<WaitCommand>(&entry.command)) {
        const std::uint64_t endMs = nowMs + w->ms;
        wait_ = RunningWait{std::move(entry), std::nullopt, 0, 0, endMs};
    } else if (const auto* f = std::get_if<WaitFramesCommand>(&entry.command)) {
        std::optional<std::uint64_t> endMs;
        if (f->timeoutMs != 0) endMs = nowMs + f->timeoutMs;
        const FrameSelector selector = f->selector;
        const std::uint32_t needed = f->count;
        wait_ = RunningWait{std::move(entry), selector, needed, 0, endMs};
    } else if (const auto* e = std::get_if<EchoCommand>(&entry.command)) {
        sink.Echo(e->text);
    } else if (std::holds_alternative<QuitCommand>(entry.command)) {
        queue_.clear();  // nothing after "quit" runs
        sink.Quit();
    } else {
        sink.Send(entry.command);
    }
}

bool Sequencer::WaitOver(std::uint64_t nowMs, CommandSink& sink) {
    RunningWait& w = *wait_;
    if (!w.selector) return nowMs >= *w.endMs;
    if (w.seen >= w.needed) return true;
    if (!w.endMs || nowMs < *w.endMs) return false;
    const std::string message = w.entry.origin + ": wait-frames " + w.selector->Text() + " " +
                                std::to_string(w.needed) + " timed out with " +
                                std::to_string(w.seen) + " frames";
    const bool fromScript = w.entry.fromScript;
    wait_.reset();
    sink.WaitFailed(message, fromScript);
    if (fromScript) DropScript();
    return true;
}

}  // namespace boxemu
