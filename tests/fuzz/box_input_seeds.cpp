// Writes the seed corpus of fuzz_box_input into the folder given: the set-up
// bytes, then frames from the box as the protocol documents them (servo
// commands, altimeter settings, port data carrying SL30 and SL40 replies,
// headers the receiver must drop).
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/box_input_format.h"
#include "tests/fuzz/seed_writer.h"
#include "tools/box_protocol/box_protocol.h"

namespace {

using bridge::fuzzing::BoxInputSetup;
using bridge::fuzzing::Bytes;
using bridge::fuzzing::operator+;

Bytes Setup(const BoxInputSetup& s) {
    return {s.sl30Port, s.sl40Port, s.numberOfEngines, s.chunkSize, s.burstMode, s.navState};
}

Bytes Frame(std::uint8_t kind, const Bytes& payload) {
    return boxproto::EncodeBoxFrame(kind, payload);
}

Bytes Port(std::uint8_t port, const std::string& text) {
    return boxproto::PortDataFrame(port, text);
}

}  // namespace

int main(int argc, char** argv) {
    const Bytes radios = Setup({1, 2, 2, 0, 1, 0x3B});
    const Bytes bankCentre = {0x05, 0x82, 0x06, 0x00, 0x11, 0x00, 0x01, 0x01, 0x00, 0x04};
    const Bytes pitchFull = Frame(0, {0x11, 0xF0, 0x02, 0x00, 0x00, 0x08});
    const Bytes sl30Reply = Port(1, "$PMRRV28F>01>\r\n");
    const Bytes sl40Reply = Port(2, "$PMRRC01X0019\r\n");
    const std::vector<Bytes> seeds = {
        radios + bankCentre,
        radios + pitchFull,
        radios + Frame(0, {0x12, 0x00, 0x01, 0x01, 0x00, 0x04}) +
            Frame(0, {0x11, 0x01, 0x01, 0x01, 0x00, 0x04}) + Frame(0, {0x11, 0x00, 0x03, 0x01}),
        radios + Frame(0, {0x11, 0x00, 0x01, 0x01, 0x01, 0x08}) +
            boxproto::ServoCommandFrame(2, true, -1),
        radios + Frame(1, {0x06, 0xF4, 0x27}) + Frame(1, {0x06, 0x00, 0xA0}),
        radios + sl30Reply,
        radios + sl40Reply,
        radios + Port(1, "$PMR") + Port(1, "RV28F>01>\r\n"),
        Setup({1, 2, 0, 1, 0, 0x07}) + sl30Reply + sl40Reply,
        Setup({1, 2, 0, 7, 0x0F, 0x45}) + bankCentre + sl30Reply + pitchFull + sl40Reply +
            Frame(1, {0x06, 0xF4, 0x27}),
        Setup({3, 3, 1, 0, 2, 0x12}) + Port(3, "$PMRRV27>D01;\r\n") + Port(3, "$PMRRC00ID01=\r\n"),
        Setup({9, 200, 4, 0, 3, 0xF6}) + Port(1, "$PMRRV28F>01>\r\n") + bankCentre,
        radios + Port(1, boxproto::RadioReplySentence(false, 0x42, 121500)) +
            Port(1, boxproto::RadioReplySentence(false, 0x29, 136975)) +
            Port(1, boxproto::RadioReplySentence(false, 0x27, 117975)) +
            Port(2, boxproto::RadioReplySentence(true, 0x00, 118000)),
        radios + Port(1, "$PMRRV35IDF0R0>=\r\n") + Port(1, "$$PMRRV28F>01>\r\n"),
        // Headers the receiver drops, a frame of kind 2, and a 255-byte frame.
        radios + Bytes{0x05, 0x05, 0x82, 0x00, 0x05, 0x82, 0x01, 0x05, 0x82, 0x02} +
            Frame(2, {0x00, 0x01, 0x02}) + Frame(1, Bytes(255, '$')) + bankCentre,
        radios + Frame(1, {0x00, '$', 0x00}) + Frame(1, {0x07, 0x01, 0x02}),
    };
    return bridge::fuzzing::WriteSeeds(argc, argv, "box_input_seeds", seeds);
}
