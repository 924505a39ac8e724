// Writes the seed corpus of fuzz_request_block into the folder given: the
// batches the bridge sends (the version handshake, a tick's requests, the
// documented edge sizes up to a full block) with the server's documented
// faults, failed sends, wrong answers, patched replies and calls from inside
// the exchange.
#include <cstdint>
#include <vector>

#include "tests/fuzz/request_block_format.h"
#include "tests/fuzz/seed_writer.h"

namespace {

using bridge::fuzzing::Bytes;
using bridge::fuzzing::operator+;
using bridge::fuzzing::ReplyMode;

struct Req {
    bool write;
    std::uint16_t size;
    std::uint16_t offset;
    bool noDestination = false;
};

Bytes Setup(ReplyMode mode, std::uint8_t parameter, const std::vector<Req>& requests,
            std::uint8_t bits = 0) {
    Bytes out = {static_cast<std::uint8_t>(static_cast<std::uint8_t>(mode) | bits), parameter,
                 static_cast<std::uint8_t>(requests.size())};
    for (const Req& r : requests) {
        std::uint8_t flags = static_cast<std::uint8_t>((r.size >> 8) & 0x3Fu);
        if (r.write) flags |= bridge::fuzzing::kWriteRequestBit;
        if (r.noDestination) flags |= bridge::fuzzing::kNoDestinationBit;
        out.insert(out.end(),
                   {flags, static_cast<std::uint8_t>(r.size), static_cast<std::uint8_t>(r.offset),
                    static_cast<std::uint8_t>(r.offset >> 8)});
    }
    return out;
}

// A patch at a position within the requests (or anywhere with kAnywhereBit).
Bytes Patch(std::uint16_t position, const Bytes& bytes) {
    return Bytes{static_cast<std::uint8_t>(position), static_cast<std::uint8_t>(position >> 8),
                 static_cast<std::uint8_t>(bytes.size())} +
           bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Req> handshake = {{false, 4, 0x3304}, {false, 4, 0x3308}, {true, 2, 0x330A}};
    // One polled tick: the attitude reads, both servos free, controls disconnect.
    const std::vector<Req> tick = {{false, 8, 0x2F70}, {false, 8, 0x2F78}, {false, 2, 0x037C},
                                   {false, 1, 0x036E}, {false, 8, 0x02CC}, {false, 8, 0x2B00},
                                   {false, 2, 0x11BA}, {false, 2, 0x0BB6}, {false, 2, 0x0BB2},
                                   {true, 1, 0x310A}};
    // Zero sizes, a read without destination, and a block filled to exactly
    // 32512 bytes with the end marker, then one request that no longer fits.
    const std::vector<Req> edges = {
        {false, 0, 0x1000}, {true, 0, 0x1000}, {false, 4, 0x3304, true}};
    const std::vector<Req> full = {{false, 16383, 0x0000}, {false, 16093, 0x4000}, {true, 0, 0}};
    const std::vector<Req> overfull = {
        {false, 16383, 0x0000}, {false, 16094, 0x4000}, {true, 2, 0x0330}};
    const auto timeout = static_cast<std::uint8_t>(0x80 | 10);
    const auto sendError = static_cast<std::uint8_t>(0xC0 | 10);
    const std::uint8_t open = bridge::fuzzing::kHostileOpenBit;
    const std::vector<Bytes> seeds = {
        Setup(ReplyMode::Patched, 0, handshake),
        Setup(ReplyMode::Patched, 0, tick),
        Setup(ReplyMode::Patched, 0, edges),
        Setup(ReplyMode::Patched, 0, full),
        Setup(ReplyMode::Patched, 0, overfull),
        Setup(ReplyMode::Patched, 0, {}),
        // The server's own faults: no reply, answer 0, wrong version, size
        // one larger, huge size, marker 7, reference altered, end marker 1.
        Setup(ReplyMode::ServerFault, 1, tick),
        Setup(ReplyMode::ServerFault, 2, tick),
        Setup(ReplyMode::ServerFault, 3, handshake),
        Setup(ReplyMode::ServerFault, 4, tick),
        Setup(ReplyMode::ServerFault, 5, tick),
        Setup(ReplyMode::ServerFault, 6, tick),
        Setup(ReplyMode::ServerFault, 7, tick),
        Setup(ReplyMode::ServerFault, 8, tick),
        // All ten sends time out, or fail otherwise; nine fail and the tenth works.
        Setup(ReplyMode::BadExchange, timeout, tick),
        Setup(ReplyMode::BadExchange, sendError, tick),
        Setup(ReplyMode::BadExchange, 0x89, tick),
        Setup(ReplyMode::BadExchange, 0, tick),
        Setup(ReplyMode::BadExchange, 2, handshake),
        // Patches: the upper bytes of the end marker (still a good reply), its
        // lowest byte, a data area only, a reference, a size, a marker with a
        // zero lowest byte.
        Setup(ReplyMode::Patched, 0, handshake) + Patch(55, {0xFF, 0xFF, 0xFF}),
        Setup(ReplyMode::Patched, 0, handshake) + Patch(54, {0x01}),
        Setup(ReplyMode::Patched, 0, handshake) + Patch(16, {0xDE, 0xAD, 0xBE, 0xEF}),
        Setup(ReplyMode::Patched, 0, handshake) + Patch(12, {0x02}),
        Setup(ReplyMode::Patched, 0, handshake) + Patch(8, {0xFF, 0x7F}),
        Setup(ReplyMode::Patched, 0, tick) + Patch(0, {0x00, 0x01}),
        Setup(ReplyMode::Patched, 0, tick) + Patch(0x8000 | 0x7F00, Bytes(255, 0xAA)),
        // Whole blocks: all zero, and a repeated read header with a huge size.
        Setup(ReplyMode::WholeBlock, 0, tick),
        Setup(ReplyMode::WholeBlock, 0, tick) +
            Bytes{0x01, 0, 0, 0, 0x70, 0x2F, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0},
        // Calls from inside the exchange, and a close from inside it.
        Setup(ReplyMode::Patched, 0, tick, bridge::fuzzing::kNestedCallsBit),
        Setup(ReplyMode::Patched, 0, tick, bridge::fuzzing::kNestedCloseBit),
        Setup(ReplyMode::ServerFault, 6, tick, bridge::fuzzing::kNestedCloseBit),
        // A new open whose handshake meets the server: a good one, a wrong
        // version, a changed reference, a version of 0 every time (five
        // attempts), no reply to the first send, all sends failing, a close
        // from inside it, the lowest version accepted, a wrong marker.
        Setup(ReplyMode::Patched, 0, {}, open),
        Setup(ReplyMode::ServerFault, 3, {}, open),
        Setup(ReplyMode::ServerFault, 7, {}, open),
        Setup(ReplyMode::Patched, 0, {}, open) + Patch(16, {0, 0, 0, 0}),
        Setup(ReplyMode::Patched, 0, {}, open) + Patch(38, {0x00, 0x00}),
        Setup(ReplyMode::ServerFault, 1, {}, open),
        Setup(ReplyMode::BadExchange, timeout, {}, open),
        Setup(ReplyMode::Patched, 0, {}, open | bridge::fuzzing::kNestedCloseBit),
        Setup(ReplyMode::Patched, 0, {}, open) + Patch(16, {0x05, 0x00, 0x98, 0x19}),
        Setup(ReplyMode::Patched, 0, {}, open) + Patch(38, {0xDF, 0xFA}),
    };
    return bridge::fuzzing::WriteSeeds(argc, argv, "request_block_seeds", seeds);
}
