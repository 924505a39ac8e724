#include "tools/box_emulator/box_monitor.h"

namespace boxemu {

bool EngineValues::Any() const {
    for (const bool s : seen) {
        if (s) return true;
    }
    return false;
}

BoxMonitor::BoxMonitor(std::uint64_t startMs) : startMs_(startMs), markMs_(startMs) {}

void BoxMonitor::OnFrame(const boxproto::Frame& frame, const FrameTag& tag) {
    ++frames_;
    ++categories_[static_cast<std::size_t>(tag.category)].total;
    switch (tag.category) {
        case Category::Attitude: attitude_ = boxproto::DecodeAttitude(frame); break;
        case Category::AirData: airData_ = boxproto::DecodeAirData(frame); break;
        case Category::Arinc: arinc_ = boxproto::DecodeArinc(frame); break;
        case Category::Item:
            ++items_[tag.address * 16u + tag.itemKind];
            OnItem(frame);
            break;
        case Category::Port:
            ++ports_[tag.port];
            OnPortText(frame);
            break;
        case Category::Other: break;
    }
}

void BoxMonitor::OnItem(const boxproto::Frame& frame) {
    const auto item = boxproto::AsItem(frame);
    if (!item) return;
    if (const auto echo = boxproto::AsServoEcho(*item)) {
        servoEchoes_[echo->pitch ? 1 : 0] = echo;
    } else if (const auto e = boxproto::AsEngineItem(*item)) {
        EngineValues& values = engines_[e->engine - 1];
        values.words[e->itemKind] = e->words;
        values.seen[e->itemKind] = true;
    }
}

void BoxMonitor::OnPortText(const boxproto::Frame& frame) {
    const auto port = boxproto::AsPortText(frame);
    if (!port) return;
    const auto s = boxproto::ParseRadioSentence(port->text);
    if (!s) {
        otherTexts_[port->port] = port->text;  // at most 251 bytes
        return;
    }
    RadioPanel& r = radios_;
    ++r.sentences;
    if (!s->checksumOk || !s->lineEndOk) {
        ++r.badSentences;
        return;
    }
    using boxproto::SentenceKind;
    if (s->kind == SentenceKind::Com2Frequencies) {
        r.ports.sl40 = port->port;
    } else {
        r.ports.sl30 = port->port;
    }
    switch (s->kind) {
        case SentenceKind::Deviation:
            r.haveDeviation = true;
            r.cdi = s->cdi;
            r.glideslope = s->glideslope;
            r.statusFlags = s->statusFlags;
            break;
        case SentenceKind::Obs: r.obs = s->digits; break;
        case SentenceKind::Nav1Radial:
            r.nav1Radial = s->digits;
            r.nav1RadialValid = s->radialValid;
            break;
        case SentenceKind::Nav2Radial:
            r.nav2Radial = s->digits;
            r.nav2RadialValid = s->radialValid;
            break;
        case SentenceKind::Nav1Frequencies:
            r.nav1Khz = s->activeKhz;
            r.nav1StandbyKhz = s->standbyKhz;
            break;
        case SentenceKind::Com1Frequencies:
            r.com1Khz = s->activeKhz;
            r.com1StandbyKhz = s->standbyKhz;
            break;
        case SentenceKind::Com2Frequencies:
            r.com2Khz = s->activeKhz;
            r.com2StandbyKhz = s->standbyKhz;
            break;
        case SentenceKind::Other: break;
    }
}

void BoxMonitor::OnDecoderCounts(std::uint64_t badFrames, std::uint64_t strayBytes) {
    badFrames_ = badFrames;
    strayBytes_ = strayBytes;
}

void BoxMonitor::OnSent(const Command& command, std::size_t bytes, std::size_t dropped) {
    ++sentCommands_;
    sentBytes_ += bytes - dropped;
    droppedBytes_ += dropped;
    lastSent_ = DescribeCommand(command);
}

void BoxMonitor::Tick(std::uint64_t nowMs) {
    if (nowMs < markMs_ + 1000) return;
    const double seconds = static_cast<double>(nowMs - markMs_) / 1000.0;
    for (Counter& c : categories_) {
        c.perSecond = static_cast<double>(c.total - c.atMark) / seconds;
        c.atMark = c.total;
    }
    markMs_ = nowMs;
}

std::uint64_t BoxMonitor::itemFrames(std::uint8_t address, std::uint8_t itemKind) const {
    return items_[address * 16u + (itemKind & 0x0Fu)];
}

}  // namespace boxemu
