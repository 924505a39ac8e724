// Writes the seed corpus of fuzz_arinc_recording into the folder given: the
// documented recordings (a single record, two records with trailing bytes,
// labels whose bit order is reversed, files too short for a record) with
// stops by a second click and by closing the window, a second playback, and
// the simulator link up or down.
#include <cstdint>
#include <vector>

#include "tests/fuzz/arinc_recording_format.h"
#include "tests/fuzz/seed_writer.h"

namespace {

using bridge::fuzzing::Bytes;
using bridge::fuzzing::operator+;

// Stopped before tick `tick` (1..128), by a click or by closing the window.
std::uint8_t Stop(unsigned tick, bool byClose = false) {
    return static_cast<std::uint8_t>((tick - 1) | (byClose ? bridge::fuzzing::kStopByCloseBit : 0));
}

Bytes Setup(std::uint8_t first, std::uint8_t second, bool linkUp) {
    return {first, second, static_cast<std::uint8_t>(linkUp ? bridge::fuzzing::kLinkUpBit : 0)};
}

}  // namespace

int main(int argc, char** argv) {
    const Bytes record = {0x01, 0xC8, 0x34, 0x12,
                          0x60};  // goes out as 05 82 03 01 13 34 12 60 BA 54
    const Bytes twoRecords = record + Bytes{0x02, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF};
    const Bytes labels = {0x10, 0x01, 0x00, 0x00, 0x00, 0x20, 0x0F, 0xAA, 0x55, 0xFF,
                          0x30, 0xC8, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<Bytes> seeds = {
        Setup(Stop(1), 0, false) + record,
        Setup(Stop(6), 0, false) + twoRecords,
        Setup(Stop(3), Stop(2), false) + twoRecords,
        Setup(Stop(5), 0, true) + labels,
        Setup(Stop(7, true), 0, true) + labels + record,
        Setup(Stop(2, true), Stop(4), false) + twoRecords,
        Setup(Stop(128), Stop(128), true) + labels + labels + labels,
        Setup(Stop(1), 0, false),
        Setup(Stop(1), Stop(1), false) + Bytes{0x01, 0xC8, 0x34, 0x12},
        Setup(Stop(4), 0, true) + Bytes{0x01},
    };
    return bridge::fuzzing::WriteSeeds(argc, argv, "arinc_recording_seeds", seeds);
}
