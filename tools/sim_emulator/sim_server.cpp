#include "tools/sim_emulator/sim_server.h"

#include <algorithm>
#include <cstdio>

namespace simemu {
namespace {

constexpr std::array<const char*, kFaultCount> kFaultNames = {
    "none",      "no-reply",   "bad-reply",     "wrong-version", "bad-size",
    "huge-size", "bad-marker", "bad-reference", "bad-end",
};

constexpr std::uint32_t kReadMarker = 1;
constexpr std::uint32_t kWriteMarker = 2;
constexpr std::uint32_t kProtectedStart = kVersionOffset;
constexpr std::uint32_t kProtectedEnd = kSimulatorWordOffset + 4;

std::uint32_t LoadU32(std::span<const std::uint8_t> in, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
    return v;
}

void StoreU32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t HeaderSize(std::uint32_t marker) { return marker == kReadMarker ? 16 : 12; }

void AppendLine(std::string* log, const char* text) {
    if (log == nullptr) return;
    log->append(text);
    log->push_back('\n');
}

}  // namespace

const char* FaultName(Fault fault) {
    const auto index = static_cast<std::size_t>(fault);
    return index < kFaultNames.size() ? kFaultNames[index] : "unknown";
}

std::optional<Fault> ParseFault(std::string_view name) {
    for (std::size_t i = 0; i < kFaultNames.size(); ++i) {
        if (name == kFaultNames[i]) return static_cast<Fault>(i);
    }
    return std::nullopt;
}

void FaultPlan::Set(Fault fault, std::uint32_t goodFirst, std::uint32_t count) {
    fault_ = fault;
    goodFirst_ = goodFirst;
    remaining_ = count;
    forever_ = count == 0;
}

Fault FaultPlan::Next() {
    if (fault_ == Fault::None) return Fault::None;
    if (goodFirst_ > 0) {
        --goodFirst_;
        return Fault::None;
    }
    const Fault fault = fault_;
    if (!forever_ && --remaining_ == 0) fault_ = Fault::None;
    return fault;
}

void SlowPlan::Set(std::uint32_t minMs, std::uint32_t maxMs, std::uint32_t forMs,
                   std::uint64_t nowMs) {
    minMs_ = std::min(minMs, maxMs);
    maxMs_ = maxMs;
    forever_ = forMs == 0;
    untilMs_ = nowMs + forMs;
}

std::uint32_t SlowPlan::Next(std::uint64_t nowMs) {
    if (maxMs_ == 0 || (!forever_ && nowMs >= untilMs_)) return 0;
    // xorshift32: small, and the same sequence on every compiler.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return minMs_ + state_ % (maxMs_ - minMs_ + 1u);
}

SimServer::SimServer() { SetIdentity(version_, simulatorWord_); }

void SimServer::SetIdentity(std::uint32_t version, std::uint32_t simulatorWord) {
    version_ = version;
    simulatorWord_ = simulatorWord;
    PutU32(image_, kVersionOffset, version_);
    PutU32(image_, kSimulatorWordOffset, simulatorWord_);
}

std::uintptr_t SimServer::Serve(std::span<std::uint8_t> block, Fault fault, std::string* log) {
    ++exchanges_;
    std::uintptr_t answer = 0;
    count_ = 0;
    if (fault != Fault::NoReply && fault != Fault::BadReply && Parse(block, log)) {
        if (log != nullptr) LogRequests(block, *log);
        Execute(block, fault);
        Corrupt(block, fault);
        answer = 1;
    }
    LogEnd(answer, fault, log);
    stampUs_.reset();
    return answer;
}

std::uintptr_t SimServer::Refuse(const char* reason, Fault fault, std::string* log) {
    ++exchanges_;
    count_ = 0;
    LogBad(reason, 0, log);
    LogEnd(0, fault, log);
    stampUs_.reset();
    return 0;
}

void SimServer::LogBad(const char* reason, std::size_t position, std::string* log) const {
    char line[96];
    std::snprintf(line, sizeof line, "BAD %u %s %zu", static_cast<unsigned>(exchanges_), reason,
                  position);
    AppendLine(log, line);
}

void SimServer::LogEnd(std::uintptr_t answer, Fault fault, std::string* log) const {
    char line[128];
    const int n =
        std::snprintf(line, sizeof line, "X %u %u %zu %s", static_cast<unsigned>(exchanges_),
                      static_cast<unsigned>(answer), count_, FaultName(fault));
    if (stampUs_ && n > 0 && static_cast<std::size_t>(n) < sizeof line) {
        std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " qpc_us=%llu",
                      static_cast<unsigned long long>(*stampUs_));
    }
    AppendLine(log, line);
}

bool SimServer::Parse(std::span<const std::uint8_t> block, std::string* log) {
    const auto bad = [&](const char* reason, std::size_t position) {
        LogBad(reason, position, log);
        count_ = 0;
        return false;
    };
    std::size_t position = 0;
    for (;;) {
        if (block.size() < 4 || position > block.size() - 4) return bad("unterminated", position);
        const std::uint32_t marker = LoadU32(block, position);
        if ((marker & 0xFFu) == 0) break;
        if (marker != kReadMarker && marker != kWriteMarker) return bad("marker", position);
        const std::size_t header = HeaderSize(marker);
        if (position + header > block.size()) return bad("header", position);
        const Request r{static_cast<std::uint32_t>(position), marker, LoadU32(block, position + 4),
                        LoadU32(block, position + 8),
                        marker == kReadMarker ? LoadU32(block, position + 12) : 0u};
        if (std::uint64_t{position} + header + r.size > block.size()) return bad("size", position);
        if (std::uint64_t{r.offset} + r.size > kImageSize) return bad("range", position);
        if (count_ == requests_.size()) return bad("count", position);
        requests_[count_++] = r;
        position += header + r.size;
    }
    end_ = position;
    return true;
}

// Uses only the parsed headers: whatever the client does to the block now
// cannot move a copy outside it or outside the image.
void SimServer::Execute(std::span<std::uint8_t> block, Fault fault) {
    PutU32(image_, kVersionOffset, fault == Fault::WrongVersion ? kWrongVersion : version_);
    PutU32(image_, kSimulatorWordOffset, simulatorWord_);
    for (std::size_t i = 0; i < count_; ++i) {
        const Request& r = requests_[i];
        const std::size_t data = r.position + HeaderSize(r.marker);
        if (r.marker == kReadMarker) {
            for (std::uint32_t k = 0; k < r.size; ++k) block[data + k] = image_[r.offset + k];
        } else {
            ApplyWrite(block.subspan(data, r.size), r.offset);
        }
    }
}

// The server's identity cannot be overwritten; the client stamp at 0x330A is
// kept apart.
void SimServer::ApplyWrite(std::span<const std::uint8_t> bytes, std::uint32_t offset) {
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const std::size_t at = offset + k;
        if (at < kProtectedStart || at >= kProtectedEnd) {
            image_[at] = bytes[k];
        } else if (at == kClientStampOffset) {
            clientStamp_ = static_cast<std::uint16_t>((clientStamp_ & 0xFF00u) | bytes[k]);
            ++stampWrites_;
        } else if (at == kClientStampOffset + 1) {
            clientStamp_ = static_cast<std::uint16_t>((clientStamp_ & 0x00FFu) | (bytes[k] << 8));
        }
    }
}

void SimServer::Corrupt(std::span<std::uint8_t> block, Fault fault) const {
    if (fault == Fault::BadEnd) {
        StoreU32(block, end_, 1);
        return;
    }
    if (count_ == 0) return;
    const Request* firstRead = &requests_[0];
    for (std::size_t i = 0; i < count_; ++i) {
        if (requests_[i].marker == kReadMarker) {
            firstRead = &requests_[i];
            break;
        }
    }
    switch (fault) {
        case Fault::BadSize: StoreU32(block, firstRead->position + 8, firstRead->size + 1u); break;
        case Fault::HugeSize: StoreU32(block, firstRead->position + 8, 0xFFFFFFF0u); break;
        case Fault::BadMarker: StoreU32(block, requests_[count_ - 1].position, 7); break;
        case Fault::BadReference:
            StoreU32(block, firstRead->position + 12, firstRead->reference ^ 0x00A5A5A5u);
            break;
        default: break;
    }
}

void SimServer::LogRequests(std::span<const std::uint8_t> block, std::string& log) const {
    char line[64];
    for (std::size_t i = 0; i < count_; ++i) {
        const Request& r = requests_[i];
        const char kind = r.marker == kReadMarker ? 'R' : 'W';
        std::snprintf(line, sizeof line, "%c %u %04X %u ", kind, static_cast<unsigned>(exchanges_),
                      static_cast<unsigned>(r.offset), static_cast<unsigned>(r.size));
        log.append(line);
        if (r.marker == kReadMarker) {
            std::snprintf(line, sizeof line, "%08X", static_cast<unsigned>(r.reference));
            log.append(line);
        } else if (r.size == 0) {
            log.push_back('-');
        } else {
            const std::size_t data = r.position + 12;
            for (std::uint32_t k = 0; k < r.size; ++k) {
                std::snprintf(line, sizeof line, "%02X", static_cast<unsigned>(block[data + k]));
                log.append(line);
            }
        }
        log.push_back('\n');
    }
}

}  // namespace simemu
