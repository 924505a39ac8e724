// The system's error codes that the shell has words of its own for: a port
// that is not there or held by another program, and a simulator whose
// messages are blocked.
#pragma once

#include <cstdint>

namespace bridge {

inline constexpr std::int32_t kErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t kErrorAccessDenied = 5;  // ERROR_ACCESS_DENIED

}  // namespace bridge
