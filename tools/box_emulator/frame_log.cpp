#include "tools/box_emulator/frame_log.h"

#include <charconv>

#include "tools/box_protocol/frame_fields.h"
#include "tools/box_protocol/radio_sentences.h"

namespace boxemu {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) {
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0x0Fu];
    }
}

void AppendNumber(std::string& out, long long v) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, result.ptr);
}

void Field(std::string& out, const char* key, long long v) {
    out += ' ';
    out += key;
    out += '=';
    AppendNumber(out, v);
}

void HexField(std::string& out, const char* key, std::uint32_t v, int width) {
    out += ' ';
    out += key;
    out += "=0x";
    for (int shift = 4 * (width - 1); shift >= 0; shift -= 4)
        out += kHexDigits[(v >> shift) & 0xFu];
}

void Header(std::string& out, std::uint64_t ms, const char* kind, std::string_view tag,
            std::span<const std::uint8_t> bytes) {
    AppendNumber(out, static_cast<long long>(ms));
    out += ' ';
    out += kind;
    out += ' ';
    out += tag;
    out += ' ';
    AppendHex(out, bytes);
}

void AttitudeFieldsOf(std::string& out, const boxproto::Frame& frame) {
    const auto a = boxproto::DecodeAttitude(frame);
    if (!a) return;
    Field(out, "g_milli", a->gForceMilli);
    Field(out, "g2_milli", a->gForceMilliAgain);
    Field(out, "turn_tenths", a->turnRateTenths);
    Field(out, "bank_cdeg", a->bankCentiDeg);
    Field(out, "pitch_cdeg", a->pitchUpCentiDeg);
    Field(out, "gyro_cdeg", a->gyroHeadingCentiDeg);
    Field(out, "ball", a->ball);
}

void AirDataFieldsOf(std::string& out, const boxproto::Frame& frame) {
    const auto d = boxproto::DecodeAirData(frame);
    if (!d) return;
    Field(out, "alt_ft", d->altitudeFeet);
    Field(out, "lon_1e7", d->longitude1e7);
    Field(out, "lat_1e7", d->latitude1e7);
    Field(out, "gps_alt_mm", d->gpsAltitudeMm);
    Field(out, "half_sink_fpm", d->halfSinkRateFpm);
    Field(out, "gs_cms", d->groundSpeedCentiMs);
    Field(out, "hdg_1e5", d->trueHeading1e5);
    Field(out, "altimeter_dhpa", d->altimeterTenthsHpa);
    Field(out, "vs_fpm", d->verticalSpeedFpm);
    Field(out, "ias_dkmh", d->iasTenthsKmh);
    Field(out, "static_count", d->staticCount);
    Field(out, "oat_c", d->oatCelsius);
    Field(out, "compass_cdeg", d->compassHeadingCentiDeg);
    HexField(out, "port_mask", d->radioPortMask, 4);
    Field(out, "tail69", d->tail69);
    Field(out, "tail70", d->tail70);
}

// Names of the four words of each engine item kind 1..8.
constexpr const char* kEngineWordNames[9][4] = {
    {"w0", "w1", "w2", "w3"},         {"ff", "w1", "w2", "w3"},
    {"ch1", "ch2", "ch3", "ch4"},     {"ch5", "ch6", "ch7", "ch8"},
    {"ch9", "ch10", "ch11", "ch12"},  {"oil_temp", "oil_press", "w2", "w3"},
    {"fuel_press", "w1", "w2", "w3"}, {"w0", "w1", "w2", "w3"},
    {"rpm", "rpm2", "map", "w3"},
};

void ItemFieldsOf(std::string& out, const boxproto::Frame& frame) {
    const auto item = boxproto::AsItem(frame);
    if (!item) return;
    if (const auto echo = boxproto::AsServoEcho(*item)) {
        out += echo->pitch ? " servo=pitch" : " servo=bank";
        Field(out, "engage", echo->engageBit);
        Field(out, "pos", echo->position);
        Field(out, "trailer", echo->trailer);
    } else if (const auto e = boxproto::AsEngineItem(*item)) {
        Field(out, "engine", e->engine);
        for (std::size_t i = 0; i < e->wordCount; ++i) {
            Field(out, kEngineWordNames[e->itemKind][i], e->words[i]);
        }
    } else {
        for (std::size_t i = 0; i + 1 < item->payload.size(); i += 2) {
            Field(out, kEngineWordNames[0][std::min<std::size_t>(i / 2, 3)], item->Word(i / 2));
        }
    }
}

constexpr const char* kSentenceNames[] = {"V21", "V22", "V23", "V24", "V28", "V35", "C01", "other"};

void PortFieldsOf(std::string& out, const boxproto::Frame& frame) {
    const auto port = boxproto::AsPortText(frame);
    if (!port) return;
    using boxproto::SentenceKind;
    if (const auto s = boxproto::ParseRadioSentence(port->text)) {
        out += " sentence=";
        out += kSentenceNames[static_cast<std::size_t>(s->kind)];
        out += s->checksumOk ? " sum=ok" : " sum=bad";
        out += s->lineEndOk ? " crlf=ok" : " crlf=missing";
        switch (s->kind) {
            case SentenceKind::Deviation:
                Field(out, "cdi", s->cdi);
                Field(out, "gs", s->glideslope);
                HexField(out, "flags", s->statusFlags, 2);
                break;
            case SentenceKind::Obs: out += " obs=" + s->digits; break;
            case SentenceKind::Nav1Radial:
            case SentenceKind::Nav2Radial:
                Field(out, "valid", s->radialValid ? 1 : 0);
                out += " radial=" + s->digits;
                break;
            case SentenceKind::Nav1Frequencies:
                Field(out, "nav1_khz", s->activeKhz);
                Field(out, "nav1sb_khz", s->standbyKhz);
                break;
            case SentenceKind::Com1Frequencies:
                Field(out, "com1_khz", s->activeKhz);
                Field(out, "com1sb_khz", s->standbyKhz);
                break;
            case SentenceKind::Com2Frequencies:
                Field(out, "com2_khz", s->activeKhz);
                Field(out, "com2sb_khz", s->standbyKhz);
                break;
            case SentenceKind::Other: break;
        }
    }
    out += " text=";
    AppendEscaped(out, port->text);
}

void ArincFieldsOf(std::string& out, const boxproto::Frame& frame) {
    const auto a = boxproto::DecodeArinc(frame);
    if (!a) return;
    HexField(out, "lead", a->leadByte, 2);
    HexField(out, "word", a->word, 8);
    char octal[8];
    std::snprintf(octal, sizeof octal, "%03o", a->word & 0xFFu);
    out += " label_octal=";
    out += octal;
}

// Fields of a frame to the bridge: 05 82 LEN KIND and LEN payload bytes.
void SentFieldsOf(std::string& out, std::span<const std::uint8_t> b) {
    if (b.size() < 7 || b[0] != 0x05 || b[1] != 0x82 || b.size() != b[2] + 4u) return;
    const std::span<const std::uint8_t> payload = b.subspan(4);
    if (b[3] == 0 && payload.size() >= 6) {
        HexField(out, "check", static_cast<std::uint32_t>(payload[0] | (payload[1] << 8)), 4);
        Field(out, "servo", payload[2]);
        Field(out, "engage", payload[3] & 1u);
        Field(out, "pos", static_cast<std::int16_t>(payload[4] | (payload[5] << 8)));
    } else if (b[3] == 1 && payload[0] <= 4) {
        Field(out, "port", payload[0] + 1);
        out += " text=";
        const auto* text = reinterpret_cast<const char*>(payload.data()) + 1;
        AppendEscaped(out, std::string_view(text, payload.size() - 2));
    } else if (b[3] == 1 && payload[0] == 6) {
        Field(out, "altimeter_dhpa", payload[1] | (payload[2] << 8));
    }
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char ch : text) {
        const auto b = static_cast<std::uint8_t>(ch);
        if (b > 0x20 && b < 0x7F && b != '\\') {
            out += ch;
        } else {
            out += "\\x";
            out += kHexDigits[b >> 4];
            out += kHexDigits[b & 0x0Fu];
        }
    }
}

void AppendFrameLine(std::string& out, std::uint64_t ms, const boxproto::Frame& frame,
                     const FrameTag& tag) {
    std::string tagText = "-";
    if (tag.category == Category::Item) {
        tagText = std::to_string(tag.address) + "/" + std::to_string(tag.itemKind);
    } else if (tag.category == Category::Port) {
        tagText = std::to_string(tag.port);
    }
    Header(out, ms, CategoryName(tag.category), tagText, frame.bytes);
    switch (tag.category) {
        case Category::Attitude: AttitudeFieldsOf(out, frame); break;
        case Category::AirData: AirDataFieldsOf(out, frame); break;
        case Category::Item: ItemFieldsOf(out, frame); break;
        case Category::Port: PortFieldsOf(out, frame); break;
        case Category::Arinc: ArincFieldsOf(out, frame); break;
        case Category::Other: break;
    }
    out += '\n';
}

void AppendSentLine(std::string& out, std::uint64_t ms, const Command& command,
                    std::span<const std::uint8_t> bytes) {
    const char* name = SentKindName(command);
    Header(out, ms, "tx", name != nullptr ? name : "-", bytes);
    SentFieldsOf(out, bytes);
    out += '\n';
}

void AppendEchoLine(std::string& out, std::uint64_t ms, std::string_view text) {
    Header(out, ms, "echo", "-", {});
    out += "- text=";
    AppendEscaped(out, text);
    out += '\n';
}

FrameLog::~FrameLog() {
    if (file_ != nullptr) std::fclose(file_);
}

bool FrameLog::Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) return false;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    line_.reserve(1024);
    return true;
}

void FrameLog::Frame(std::uint64_t ms, const boxproto::Frame& frame, const FrameTag& tag) {
    if (file_ == nullptr) return;
    AppendFrameLine(line_, ms, frame, tag);
    WriteLine();
}

void FrameLog::Sent(std::uint64_t ms, const Command& command, std::span<const std::uint8_t> bytes) {
    if (file_ == nullptr) return;
    AppendSentLine(line_, ms, command, bytes);
    WriteLine();
}

void FrameLog::Echo(std::uint64_t ms, std::string_view text) {
    if (file_ == nullptr) return;
    AppendEchoLine(line_, ms, text);
    WriteLine();
}

void FrameLog::WriteLine() {
    std::fwrite(line_.data(), 1, line_.size(), file_);
    line_.clear();
}

void FrameLog::Flush() {
    if (file_ != nullptr) std::fflush(file_);
}

}  // namespace boxemu
