#include "tools/box_emulator/live_view.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace boxemu {
namespace {

using boxproto::FormatMhz;

void Add(std::string& out, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0)
        out.append(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

std::string Mhz(std::uint32_t kHz) { return kHz == 0 ? "---.--" : FormatMhz(kHz); }

double Seconds(const BoxMonitor& m, std::uint64_t nowMs) {
    return nowMs > m.startMs() ? static_cast<double>(nowMs - m.startMs()) / 1000.0 : 0.0;
}

void AttitudeLines(std::string& out, const BoxMonitor& m) {
    const auto& a = m.attitude();
    if (!a) {
        out += "Attitude  -\n";
        return;
    }
    Add(out,
        "Attitude  bank %+7.2f  pitch %+6.2f  G %.3f (%.3f)  turn %+5.1f deg/s  ball %+d  "
        "gyro hdg %06.2f\n",
        a->bankCentiDeg / 100.0, a->pitchUpCentiDeg / 100.0, a->gForceMilli / 1000.0,
        a->gForceMilliAgain / 1000.0, a->turnRateTenths / 10.0, a->ball,
        a->gyroHeadingCentiDeg / 100.0);
}

void AirDataLines(std::string& out, const BoxMonitor& m) {
    const auto& d = m.airData();
    if (!d) {
        out += "Air data  -\n";
        return;
    }
    Add(out,
        "Air data  alt %d ft  IAS %.1f km/h  VS %+d ft/min (half sink %+d)  GS %.2f m/s  "
        "hdg %07.3f true, %06.2f compass\n",
        d->altitudeFeet, d->iasTenthsKmh / 10.0, d->verticalSpeedFpm, d->halfSinkRateFpm,
        d->groundSpeedCentiMs / 100.0, d->trueHeading1e5 / 1e5, d->compassHeadingCentiDeg / 100.0);
    Add(out,
        "          pos %+.7f %+.7f  GPS alt %.3f m  OAT %d C  altimeter %.1f hPa  "
        "static %d (%.1f hPa)  radio ports 0x%04X  tail %u %u\n",
        d->latitude1e7 / 1e7, d->longitude1e7 / 1e7, d->gpsAltitudeMm / 1000.0, d->oatCelsius,
        d->altimeterTenthsHpa / 10.0, d->staticCount, boxproto::StaticPressureHpa(d->staticCount),
        d->radioPortMask, d->tail69, d->tail70);
}

void EngineLines(std::string& out, const BoxMonitor& m) {
    for (unsigned n = 1; n <= boxproto::kEngines; ++n) {
        const EngineValues& e = m.engine(n);
        if (!e.Any()) continue;
        const auto& w = e.words;
        Add(out, "Engine %u ", n);
        if (e.seen[8]) {
            Add(out, " RPM %d (%d)  MAP %.2f inHg", w[8][0], w[8][1],
                boxproto::ManifoldInHg(w[8][2]));
        } else {
            out += " RPM -";
        }
        if (e.seen[1]) {
            Add(out, "  FF %d (%.1f pph)", w[1][0], boxproto::FuelFlowPph(w[1][0]));
        }
        if (e.seen[5]) {
            Add(out, "  oil %d (%.1f C) %d (%.2f bar)", w[5][0],
                boxproto::OilTemperatureCelsius(w[5][0]), w[5][1], boxproto::PressureBar(w[5][1]));
        }
        if (e.seen[6]) Add(out, "  fuel p %d (%.2f bar)", w[6][0], boxproto::PressureBar(w[6][0]));
        out += '\n';
        if (e.seen[2] || e.seen[3] || e.seen[4]) {
            Add(out, "          EGT/CHT %d %d %d %d | %d %d %d %d | %d %d %d %d\n", w[2][0],
                w[2][1], w[2][2], w[2][3], w[3][0], w[3][1], w[3][2], w[3][3], w[4][0], w[4][1],
                w[4][2], w[4][3]);
        }
    }
}

void RadioLines(std::string& out, const BoxMonitor& m) {
    const RadioPanel& r = m.radios();
    Add(out,
        "Radios    NAV1 %s sb %s   COM1 %s sb %s   COM2 %s sb %s   (SL30 port %u, SL40 port %u)\n",
        Mhz(r.nav1Khz).c_str(), Mhz(r.nav1StandbyKhz).c_str(), Mhz(r.com1Khz).c_str(),
        Mhz(r.com1StandbyKhz).c_str(), Mhz(r.com2Khz).c_str(), Mhz(r.com2StandbyKhz).c_str(),
        r.ports.sl30, r.ports.sl40);
    out += "         ";
    if (r.haveDeviation) {
        Add(out, " CDI %+d  GS %+d  flags 0x%02X ", r.cdi, r.glideslope, r.statusFlags);
    }
    Add(out, " OBS %s  radial1 %c %s  radial2 %c %s  sentences %llu bad %llu\n",
        r.obs ? r.obs->c_str() : "-", r.nav1RadialValid ? 'V' : '0',
        r.nav1Radial ? r.nav1Radial->c_str() : "-", r.nav2RadialValid ? 'V' : '0',
        r.nav2Radial ? r.nav2Radial->c_str() : "-", static_cast<unsigned long long>(r.sentences),
        static_cast<unsigned long long>(r.badSentences));
}

void EchoText(std::string& out, const std::optional<boxproto::ServoEchoFields>& echo) {
    if (!echo) {
        out += "-";
        return;
    }
    Add(out, "%s %d", echo->engageBit != 0 ? "engaged" : "free", echo->position);
}

void ServoAndArincLines(std::string& out, const BoxMonitor& m) {
    out += "Servos    bank ";
    EchoText(out, m.servoEcho(false));
    out += "   pitch ";
    EchoText(out, m.servoEcho(true));
    out += '\n';
    if (const auto& a = m.arinc()) {
        Add(out, "ARINC     lead 0x%02X  word 0x%08X  label %03o  (%llu frames)\n", a->leadByte,
            a->word, a->word & 0xFFu,
            static_cast<unsigned long long>(m.category(Category::Arinc).total));
    }
}

void CounterLines(std::string& out, const BoxMonitor& m) {
    Add(out, "Frames    %llu  bad %llu  stray bytes %llu   per second:",
        static_cast<unsigned long long>(m.frames()), static_cast<unsigned long long>(m.badFrames()),
        static_cast<unsigned long long>(m.strayBytes()));
    for (std::size_t i = 0; i < kCategoryCount; ++i) {
        const auto c = static_cast<Category>(i);
        Add(out, " %s %.1f", CategoryName(c), m.category(c).perSecond);
    }
    out += '\n';
    Add(out, "Sent      %llu commands, %llu bytes, %llu dropped   last: %s\n",
        static_cast<unsigned long long>(m.sentCommands()),
        static_cast<unsigned long long>(m.sentBytes()),
        static_cast<unsigned long long>(m.droppedBytes()), m.lastSent().c_str());
}

}  // namespace

std::string RenderPanel(const BoxMonitor& monitor, const std::string& portText,
                        const std::deque<std::string>& messages, std::uint64_t nowMs) {
    std::string out;
    Add(out, "Box emulator   %s   up %.0f s\n", portText.c_str(), Seconds(monitor, nowMs));
    AttitudeLines(out, monitor);
    AirDataLines(out, monitor);
    EngineLines(out, monitor);
    RadioLines(out, monitor);
    ServoAndArincLines(out, monitor);
    CounterLines(out, monitor);
    for (const std::string& m : messages) out += "> " + m + "\n";
    return out;
}

std::string RenderPanelInPlace(const std::string& panel) {
    std::string out = "\x1b[H";
    for (const char c : panel) {
        if (c == '\n') out += "\x1b[K";
        out += c;
    }
    out += "\x1b[J";
    return out;
}

std::string RenderSnapshot(const BoxMonitor& m, std::uint64_t nowMs) {
    std::string out;
    Add(out, "snapshot t=%llu frames=%llu bad=%llu stray=%llu",
        static_cast<unsigned long long>(nowMs - m.startMs()),
        static_cast<unsigned long long>(m.frames()), static_cast<unsigned long long>(m.badFrames()),
        static_cast<unsigned long long>(m.strayBytes()));
    for (std::size_t i = 0; i < kCategoryCount; ++i) {
        const auto c = static_cast<Category>(i);
        Add(out, " %s/s=%.1f", CategoryName(c), m.category(c).perSecond);
    }
    if (const auto& a = m.attitude()) {
        Add(out, " bank=%.2f pitch=%.2f g=%.3f turn=%.1f ball=%d gyro=%.2f",
            a->bankCentiDeg / 100.0, a->pitchUpCentiDeg / 100.0, a->gForceMilli / 1000.0,
            a->turnRateTenths / 10.0, a->ball, a->gyroHeadingCentiDeg / 100.0);
    }
    if (const auto& d = m.airData()) {
        Add(out, " alt=%d ias=%.1f vs=%d hdg=%.3f lat=%.7f lon=%.7f oat=%d altimeter=%.1f",
            d->altitudeFeet, d->iasTenthsKmh / 10.0, d->verticalSpeedFpm, d->trueHeading1e5 / 1e5,
            d->latitude1e7 / 1e7, d->longitude1e7 / 1e7, d->oatCelsius,
            d->altimeterTenthsHpa / 10.0);
    }
    for (unsigned n = 1; n <= boxproto::kEngines; ++n) {
        const EngineValues& e = m.engine(n);
        if (e.Any())
            Add(out, " e%u_rpm=%d e%u_map=%.2f", n, e.words[8][0], n,
                boxproto::ManifoldInHg(e.words[8][2]));
    }
    const RadioPanel& r = m.radios();
    Add(out, " nav1=%s/%s com1=%s/%s com2=%s/%s", Mhz(r.nav1Khz).c_str(),
        Mhz(r.nav1StandbyKhz).c_str(), Mhz(r.com1Khz).c_str(), Mhz(r.com1StandbyKhz).c_str(),
        Mhz(r.com2Khz).c_str(), Mhz(r.com2StandbyKhz).c_str());
    for (const bool pitch : {false, true}) {
        if (const auto& echo = m.servoEcho(pitch)) {
            Add(out, " %s_echo=%u/%d", pitch ? "pitch" : "bank", echo->engageBit, echo->position);
        }
    }
    out += '\n';
    return out;
}

std::string RenderSummary(const BoxMonitor& m, std::uint64_t nowMs) {
    const double seconds = Seconds(m, nowMs);
    const auto rate = [seconds](std::uint64_t n) {
        return seconds > 0 ? static_cast<double>(n) / seconds : 0.0;
    };
    std::string out;
    Add(out,
        "summary elapsed_ms=%llu frames=%llu per_second=%.2f bad_frames=%llu stray_bytes=%llu "
        "sentences=%llu bad_sentences=%llu sent=%llu sent_bytes=%llu dropped_bytes=%llu\n",
        static_cast<unsigned long long>(nowMs - m.startMs()),
        static_cast<unsigned long long>(m.frames()), rate(m.frames()),
        static_cast<unsigned long long>(m.badFrames()),
        static_cast<unsigned long long>(m.strayBytes()),
        static_cast<unsigned long long>(m.radios().sentences),
        static_cast<unsigned long long>(m.radios().badSentences),
        static_cast<unsigned long long>(m.sentCommands()),
        static_cast<unsigned long long>(m.sentBytes()),
        static_cast<unsigned long long>(m.droppedBytes()));
    for (std::size_t i = 0; i < kCategoryCount; ++i) {
        const auto c = static_cast<Category>(i);
        const std::uint64_t n = m.category(c).total;
        Add(out, "summary-kind %s frames=%llu per_second=%.2f\n", CategoryName(c),
            static_cast<unsigned long long>(n), rate(n));
    }
    for (unsigned id = 0; id < 256 * 16; ++id) {
        const std::uint64_t n =
            m.itemFrames(static_cast<std::uint8_t>(id >> 4), static_cast<std::uint8_t>(id & 0x0Fu));
        if (n == 0) continue;
        Add(out, "summary-item %u/%u frames=%llu per_second=%.2f\n", id >> 4, id & 0x0Fu,
            static_cast<unsigned long long>(n), rate(n));
    }
    for (unsigned port = 0; port < 256; ++port) {
        const std::uint64_t n = m.portFrames(static_cast<std::uint8_t>(port));
        if (n == 0) continue;
        Add(out, "summary-port %u frames=%llu per_second=%.2f\n", port,
            static_cast<unsigned long long>(n), rate(n));
    }
    return out;
}

}  // namespace boxemu
