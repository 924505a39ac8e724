// A box line that only counts the bytes written: the fake port's byte log
// would itself allocate, which allocation tests and benchmarks must not see.
#pragma once

#include <cstdint>

#include "boxlink/box_line.h"

namespace bridge::testing {

class CountingBoxLine : public BoxLine {
public:
    long bytes = 0;
    BoxWrite Write(const void*, std::int32_t count) override {
        bytes += count;
        return BoxWrite::Queued;
    }
    std::int32_t Read(void*, std::int32_t) override { return 0; }
};

}  // namespace bridge::testing
