// The serial component's one failure type: the message followed by
// " (Error: %d) " with the platform's error code, or -1 where there is none.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace bridge {

class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& message, std::int32_t errorCode)
        : std::runtime_error(message + " (Error: " + std::to_string(errorCode) + ") "),
          ErrorCode(errorCode) {}

    std::int32_t ErrorCode;
};

}  // namespace bridge
