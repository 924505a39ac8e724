// The request block as a hostile server returns it, through the simulator
// link client's exchange and walk. The input chooses a batch of reads and
// writes (or a new open, whose version handshake meets the server) and what
// the server does to the block: patches over its real reply, a whole block of
// its own, one of its built-in faults, failed sends or a wrong answer, calls
// from inside the exchange. Besides the sanitizers' checks, the client is
// held to its promises:
// - it queues exactly the requests that fit, and the block it sends is well
//   formed (headers, zeroed read areas, written bytes, end marker), with the
//   last 256 bytes of the section never written;
// - a returned block whose headers and end marker match what was sent
//   delivers exactly the queued sizes into the destinations and gives Okay;
//   any other gives BadReply and leaves every destination as it was, as does
//   a failed exchange (with its own result);
// - an open succeeds only on a handshake of matching replies with an
//   acceptable version, and otherwise holds nothing (atom, section, view);
// - the queue is empty afterwards, and a following good exchange works.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "simlink/request_block.h"
#include "simlink/sim_link_client.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/request_block_format.h"
#include "tests/support/fake_sim_transport.h"

namespace bridge::fuzzing {
namespace {

using Block = std::array<std::uint8_t, kRequestBlockSize>;

constexpr std::size_t kTailStart = kRequestBlockCapacity;  // never written by the client
constexpr std::size_t kGap = 8;                            // canary between destinations
constexpr std::size_t kArenaSize = kRequestBlockCapacity + kMaxFuzzRequests * kGap;
constexpr std::uint32_t kGoodReadOffset = 0x3304;  // the server version
constexpr std::uint32_t kGoodWriteOffset = 0x4000;

std::uint8_t Canary(std::size_t i) { return static_cast<std::uint8_t>(0xA5u ^ (i * 7u)); }
std::uint8_t SourceByte(std::size_t i) { return static_cast<std::uint8_t>(i * 13u + 1u); }

std::uint32_t U32At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A request as it stands in a block the client sent, found by walking the
// block by its own markers and sizes (within the capacity whatever it holds).
struct Segment {
    std::size_t position;
    std::size_t header;
    std::uint32_t size;
    bool read;
};

struct Layout {
    std::vector<Segment> segments;
    std::size_t end = 0;  // the end marker's position
};

Layout Walk(const Block& sent) {
    Layout layout;
    std::size_t at = 0;
    while (at + kEndMarkerSize <= kRequestBlockCapacity) {
        const std::uint32_t marker = U32At(sent, at);
        if (marker != kReadMarker && marker != kWriteMarker) break;
        const std::size_t header = marker == kReadMarker ? kReadHeaderSize : kWriteHeaderSize;
        if (at + header > kRequestBlockCapacity) break;
        const std::uint32_t size = U32At(sent, at + 8);
        if (size > kRequestBlockCapacity - at - header) break;
        layout.segments.push_back({at, header, size, marker == kReadMarker});
        at += header + size;
    }
    layout.end = at;
    return layout;
}

// Headers as they were sent, and an end marker whose lowest byte is zero.
bool ReplyMatches(const Block& sent, const Block& returned, const Layout& layout) {
    for (const Segment& s : layout.segments) {
        if (std::memcmp(&sent[s.position], &returned[s.position], s.header) != 0) return false;
    }
    return returned[layout.end] == 0;
}

// One exchange as the client must see it.
struct ExchangeRecord {
    SimLinkResult verdict;
    // The values of its first two 4-byte reads as returned (the handshake's
    // server version and simulator id).
    std::uint32_t first = 0;
    std::uint32_t second = 0;
};

// A server that first does its job and then whatever the input says.
class HostileTransport : public testing::FakeSimTransport {
public:
    bool hostile = false;  // only the fuzzed exchanges
    ReplyMode mode = ReplyMode::Patched;
    std::uint8_t parameter = 0;
    std::span<const std::uint8_t> rest;
    std::vector<ExchangeRecord> exchanges;
    Block sentBlock{};  // of the last exchange
    Layout sentLayout;

    SendOutcome SendIpcMessage(NativeHandle window, std::uint32_t message, std::uint16_t atom,
                               std::uint32_t timeoutMs) override {
        if (!hostile) return FakeSimTransport::SendIpcMessage(window, message, atom, timeoutMs);
        if (!inExchange_) {
            sentBlock = section();
            sentLayout = Walk(sentBlock);
            inExchange_ = true;
            failedSends_ = 0;
        }
        SendOutcome out = FakeSimTransport::SendIpcMessage(window, message, atom, timeoutMs);
        duringSend = nullptr;  // the nested calls run in the first send only
        if (out.delivered && out.reply == 1) Corrupt();
        if (mode == ReplyMode::BadExchange && (parameter & 0x80u) == 0 && out.delivered) {
            out.reply = parameter == 1 ? 0x101 : parameter;
        }
        // The client sends again after a failure, up to its limit.
        if (!out.delivered && ++failedSends_ < kSendAttempts) return out;
        inExchange_ = false;
        exchanges.push_back(Judge(out));
        return out;
    }

private:
    void Corrupt() {
        Block& block = section();
        if (mode == ReplyMode::WholeBlock) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = rest.empty() ? 0 : rest[i % rest.size()];
            return;
        }
        if (mode != ReplyMode::Patched && mode != ReplyMode::ServerFault) return;
        const std::size_t requestBytes = sentLayout.end + kEndMarkerSize;
        std::size_t at = 0;
        while (at + 3 <= rest.size()) {
            const auto where = static_cast<std::uint16_t>(rest[at] | (rest[at + 1] << 8));
            const std::size_t length = rest[at + 2];
            at += 3;
            std::size_t position =
                (where & kAnywhereBit) ? (where & 0x7FFFu) : where % requestBytes;
            for (std::size_t k = 0; k < length && at < rest.size(); ++k, ++at, ++position) {
                if (position < block.size()) block[position] = rest[at];
            }
        }
    }

    ExchangeRecord Judge(const SendOutcome& out) {
        if (!out.delivered) {
            const bool timedOut = out.lastError == 0 || out.lastError == kTimeoutError;
            return {timedOut ? SimLinkResult::TimedOut : SimLinkResult::SendFailed};
        }
        if (out.reply != 1 || !ReplyMatches(sentBlock, section(), sentLayout))
            return {SimLinkResult::BadReply};
        ExchangeRecord record{SimLinkResult::Okay};
        std::vector<std::uint32_t> values;
        for (const Segment& s : sentLayout.segments)
            if (s.read && s.size == 4) values.push_back(U32At(section(), s.position + s.header));
        if (values.size() >= 2) {
            record.first = values[0];
            record.second = values[1];
        }
        return record;
    }

    bool inExchange_ = false;
    int failedSends_ = 0;
};

// One request of the batch as the input describes it, and where the wire
// format places it if it is accepted.
struct Request {
    bool write = false;
    bool withDestination = true;
    std::uint32_t size = 0;
    std::uint32_t offset = 0;
    bool accepted = false;
    std::size_t position = 0;     // in the block
    std::size_t destination = 0;  // in the arena (reads with a destination)
    std::size_t HeaderSize() const { return write ? kWriteHeaderSize : kReadHeaderSize; }
};

struct World {
    HostileTransport transport;
    SimLinkClient client{&transport};
    std::vector<std::uint8_t> arena = std::vector<std::uint8_t>(kArenaSize);
    std::array<std::uint8_t, 16> refused{};  // the destination of reads that cannot fit
    std::vector<std::uint8_t> source = std::vector<std::uint8_t>(kRequestBlockSize);

    World() {
        transport.recordCalls = false;
        for (std::size_t i = 0; i < source.size(); ++i) source[i] = SourceByte(i);
        // Values that differ from a zeroed data area, for every read.
        for (std::size_t i = 0; i < transport.server.image().size(); ++i)
            transport.server.image()[i] = static_cast<std::uint8_t>(i * 31u + 7u);
    }
};

World& TheWorld() {
    static World* world = new World;
    return *world;
}

void Open(World& w) {
    SimLinkResult result = SimLinkResult::AlreadyOpen;
    FUZZ_CHECK(w.client.Open(0, result));
    FUZZ_CHECK(result == SimLinkResult::Okay);
}

bool HoldsNothing(const HostileTransport& t) {
    return t.atomsAlive == 0 && t.sectionsOpen == 0 && t.viewsMapped == 0;
}

// Lays the batch out as the wire format places it: whole requests while they
// and the end marker fit in the capacity.
std::vector<Request> ParseRequests(std::span<const std::uint8_t>& in) {
    std::vector<Request> requests;
    const std::size_t wanted = std::min<std::size_t>(in.empty() ? 0 : in[0], kMaxFuzzRequests);
    in = in.subspan(std::min<std::size_t>(1, in.size()));
    std::size_t used = 0;
    std::size_t arena = 0;
    for (std::size_t i = 0; i < wanted && in.size() >= kRequestDescriptorSize; ++i) {
        Request r;
        r.write = (in[0] & kWriteRequestBit) != 0;
        r.withDestination = !r.write && (in[0] & kNoDestinationBit) == 0;
        r.size = static_cast<std::uint32_t>(((in[0] & 0x3Fu) << 8) | in[1]);
        r.offset = static_cast<std::uint32_t>(in[2] | (in[3] << 8));
        in = in.subspan(kRequestDescriptorSize);
        r.accepted = used + r.HeaderSize() + r.size + kEndMarkerSize <= kRequestBlockCapacity;
        if (r.accepted) {
            r.position = used;
            used += r.HeaderSize() + r.size;
            if (r.withDestination) {
                r.destination = arena;
                arena += r.size + kGap;
            }
        }
        requests.push_back(r);
    }
    return requests;
}

void Queue(World& w, const std::vector<Request>& requests) {
    for (const Request& r : requests) {
        SimLinkResult result = SimLinkResult::Okay;
        bool queued = false;
        if (r.write) {
            queued = w.client.Write(r.offset, r.size, w.source.data() + r.position % 0x100, result);
        } else {
            void* destination = nullptr;
            if (r.withDestination) {
                destination = r.accepted ? w.arena.data() + r.destination : w.refused.data();
            }
            queued = w.client.Read(r.offset, r.size, destination, result);
        }
        FUZZ_CHECK(queued == r.accepted);
        FUZZ_CHECK(result == (r.accepted ? SimLinkResult::Okay : SimLinkResult::BlockFull));
    }
}

// The block as the client sent it holds exactly the accepted requests.
void CheckSentBlock(const World& w, const std::vector<Request>& requests) {
    const Block& b = w.transport.sentBlock;
    const std::vector<Segment>& segments = w.transport.sentLayout.segments;
    std::vector<std::uint32_t> references;
    std::size_t next = 0;
    for (const Request& r : requests) {
        if (!r.accepted) continue;
        FUZZ_CHECK(next < segments.size() && segments[next].position == r.position);
        ++next;
        const std::size_t at = r.position;
        FUZZ_CHECK(U32At(b, at) == (r.write ? kWriteMarker : kReadMarker));
        FUZZ_CHECK(U32At(b, at + 4) == r.offset);
        FUZZ_CHECK(U32At(b, at + 8) == r.size);
        const std::size_t data = at + r.HeaderSize();
        if (r.write) {
            FUZZ_CHECK(std::memcmp(&b[data], w.source.data() + at % 0x100, r.size) == 0);
            continue;
        }
        const std::uint32_t reference = U32At(b, at + 12);
        FUZZ_CHECK(r.withDestination == (reference != 0));
        if (reference != 0) references.push_back(reference);
        FUZZ_CHECK(std::all_of(b.begin() + static_cast<std::ptrdiff_t>(data),
                               b.begin() + static_cast<std::ptrdiff_t>(data + r.size),
                               [](std::uint8_t x) { return x == 0; }));
    }
    FUZZ_CHECK(next == segments.size());
    std::sort(references.begin(), references.end());
    FUZZ_CHECK(std::adjacent_find(references.begin(), references.end()) == references.end());
    FUZZ_CHECK(U32At(b, w.transport.sentLayout.end) == 0);
}

void CheckDestinations(World& w, const std::vector<Request>& requests, bool delivered) {
    const Block& block = w.transport.section();
    std::vector<bool> written(w.arena.size(), false);
    if (delivered) {
        for (const Request& r : requests) {
            if (!r.accepted || !r.withDestination) continue;
            FUZZ_CHECK(std::memcmp(w.arena.data() + r.destination,
                                   &block[r.position + kReadHeaderSize], r.size) == 0);
            std::fill_n(written.begin() + static_cast<std::ptrdiff_t>(r.destination), r.size, true);
        }
    }
    for (std::size_t i = 0; i < w.arena.size(); ++i)
        FUZZ_CHECK(written[i] || w.arena[i] == Canary(i));
    for (const std::uint8_t x : w.refused) FUZZ_CHECK(x == 0xEE);
}

// Calls that messages dispatched during the send may make: all refused, and
// the block the server is reading stays as it was.
void NestedCalls(World& w, bool close) {
    SimLinkResult result = SimLinkResult::Okay;
    std::array<std::uint8_t, 4> value{};
    FUZZ_CHECK(!w.client.Read(kGoodReadOffset, 4, value.data(), result));
    FUZZ_CHECK(result == SimLinkResult::BlockFull);
    FUZZ_CHECK(!w.client.Write(kGoodWriteOffset, 4, value.data(), result));
    FUZZ_CHECK(result == SimLinkResult::BlockFull);
    FUZZ_CHECK(!w.client.Process(result));
    FUZZ_CHECK(result == SimLinkResult::NothingQueued);
    FUZZ_CHECK(!w.client.Open(0, result));
    FUZZ_CHECK(result == SimLinkResult::AlreadyOpen);
    FUZZ_CHECK(!w.client.SetTransport(nullptr));
    if (close) {
        w.client.Close();
        FUZZ_CHECK(w.client.IsOpen());  // not before the exchange has finished
    }
    FUZZ_CHECK(w.transport.section() == w.transport.sentBlock);
}

// A batch against the hostile server.
void ExchangeBatch(World& w, const std::vector<Request>& requests, bool nestedClose) {
    HostileTransport& t = w.transport;
    for (std::size_t i = 0; i < w.arena.size(); ++i) w.arena[i] = Canary(i);
    w.refused.fill(0xEE);
    std::array<std::uint8_t, kRequestBlockSize - kTailStart> tail{};
    std::copy(t.section().begin() + kTailStart, t.section().end(), tail.begin());

    Queue(w, requests);
    t.hostile = true;
    SimLinkResult result = SimLinkResult::Okay;
    const bool done = w.client.Process(result);
    t.hostile = false;

    FUZZ_CHECK(t.exchanges.size() <= 1);
    const bool sent = !t.exchanges.empty();
    const bool anyAccepted =
        std::any_of(requests.begin(), requests.end(), [](const Request& r) { return r.accepted; });
    FUZZ_CHECK(sent == anyAccepted);
    const SimLinkResult expected = sent ? t.exchanges[0].verdict : SimLinkResult::NothingQueued;
    FUZZ_CHECK(result == expected);
    FUZZ_CHECK(done == (expected == SimLinkResult::Okay));
    if (sent) {
        CheckSentBlock(w, requests);
        FUZZ_CHECK(std::equal(tail.begin(), tail.end(), t.sentBlock.begin() + kTailStart));
    }
    CheckDestinations(w, requests, done);
    FUZZ_CHECK(w.client.IsOpen() == !(nestedClose && sent));
}

// What the version handshake of an open must give: it stops at the first
// failed exchange, repeats (at most five times) while the server version or
// the simulator id is 0, and then checks them.
SimLinkResult ExpectedOpen(const std::vector<ExchangeRecord>& exchanges, bool nestedClose) {
    FUZZ_CHECK(!exchanges.empty() && exchanges.size() <= std::size_t{kHandshakeAttempts});
    const std::size_t last = exchanges.size() - 1;
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        const ExchangeRecord& e = exchanges[i];
        if (e.verdict != SimLinkResult::Okay) {
            FUZZ_CHECK(i == last);
            return e.verdict;
        }
        if (nestedClose) {  // the link closed after this exchange
            FUZZ_CHECK(i == last);
            return SimLinkResult::NotOpen;
        }
        const bool both = e.first != 0 && e.second != 0;
        FUZZ_CHECK(both ? i == last : (i < last || i + 1 == std::size_t{kHandshakeAttempts}));
    }
    const ExchangeRecord& e = exchanges[last];
    return e.first >= kMinServerVersion && (e.second >> 16) == kSimulatorIdMarker
               ? SimLinkResult::Okay
               : SimLinkResult::WrongVersion;
}

// A new open whose handshake meets the hostile server.
void OpenAgainstHostileServer(World& w, bool nestedClose) {
    HostileTransport& t = w.transport;
    w.client.Close();
    FUZZ_CHECK(!w.client.IsOpen() && HoldsNothing(t));
    t.hostile = true;
    SimLinkResult result = SimLinkResult::Okay;
    const bool opened = w.client.Open(0, result);
    t.hostile = false;

    const SimLinkResult expected = ExpectedOpen(t.exchanges, nestedClose);
    FUZZ_CHECK(result == expected);
    FUZZ_CHECK(opened == (expected == SimLinkResult::Okay));
    FUZZ_CHECK(w.client.IsOpen() == opened);
    if (opened) {
        FUZZ_CHECK(w.client.ServerVersion() == t.exchanges.back().first);
        FUZZ_CHECK(w.client.SimulatorId() == (t.exchanges.back().second & 0xFFFFu));
    } else {
        FUZZ_CHECK(HoldsNothing(t));
    }
}

// A plain exchange after whatever happened: the link works as before.
void CheckStillUsable(World& w) {
    HostileTransport& t = w.transport;
    t.faults = simemu::FaultPlan{};  // a fault or failure left over when nothing was sent
    t.failSends = 0;
    t.duringSend = nullptr;
    SimLinkResult result = SimLinkResult::Okay;
    if (!w.client.IsOpen()) {
        FUZZ_CHECK(HoldsNothing(t));
        Open(w);
    }
    FUZZ_CHECK(!w.client.Process(result));
    FUZZ_CHECK(result == SimLinkResult::NothingQueued);
    std::array<std::uint8_t, 4> version{};
    const std::array<std::uint8_t, 2> stamp = {0x12, 0x34};
    FUZZ_CHECK(w.client.Read(kGoodReadOffset, 4, version.data(), result));
    FUZZ_CHECK(w.client.Write(kGoodWriteOffset, 2, stamp.data(), result));
    FUZZ_CHECK(w.client.Process(result));
    FUZZ_CHECK(result == SimLinkResult::Okay);
    FUZZ_CHECK(U32At(version, 0) == simemu::kDefaultVersion);
    FUZZ_CHECK(t.server.image()[kGoodWriteOffset] == 0x12);
}

}  // namespace
}  // namespace bridge::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bridge;
    using namespace bridge::fuzzing;
    if (size < kRequestBlockSetupSize) return 0;
    World& w = TheWorld();
    HostileTransport& t = w.transport;
    if (!w.client.IsOpen()) Open(w);

    const std::uint8_t modeByte = data[0];
    std::span<const std::uint8_t> in(data + 2, size - 2);
    const std::vector<Request> requests = ParseRequests(in);

    t.mode = static_cast<ReplyMode>(modeByte & 3u);
    t.parameter = data[1];
    t.rest = in;
    t.exchanges.clear();
    t.faults = simemu::FaultPlan{};
    if (t.mode == ReplyMode::ServerFault) {
        t.faults.Set(static_cast<simemu::Fault>(t.parameter % simemu::kFaultCount), 0, 1);
    }
    t.failSends = 0;
    if (t.mode == ReplyMode::BadExchange && (t.parameter & 0x80u) != 0) {
        t.failSends = t.parameter & 0x0F;
        t.sendError = (t.parameter & 0x40u) ? 5 : kTimeoutError;
    }
    const bool nestedClose = (modeByte & kNestedCloseBit) != 0;
    if ((modeByte & (kNestedCallsBit | kNestedCloseBit)) != 0) {
        t.duringSend = [&w, nestedClose] { NestedCalls(w, nestedClose); };
    }

    if (modeByte & kHostileOpenBit) {
        OpenAgainstHostileServer(w, nestedClose);
    } else {
        ExchangeBatch(w, requests, nestedClose);
    }
    CheckStillUsable(w);
    return 0;
}
