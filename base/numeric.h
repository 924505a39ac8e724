// Numeric helpers with the bridge's conversion rules, free of undefined
// behaviour: a value that is not a number or does not fit in 64 bits is
// reported as no result before any conversion happens.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace bridge {

namespace detail {
// [-2^63, 2^63) as doubles; both bounds are exact.
inline constexpr double kInt64Low = -9223372036854775808.0;
inline constexpr double kInt64High = 9223372036854775808.0;

inline std::optional<std::int64_t> ToInt64(double whole) {
    if (!(whole >= kInt64Low && whole < kInt64High)) return std::nullopt;  // NaN fails too
    return static_cast<std::int64_t>(whole);
}
}  // namespace detail

// Rounds toward zero.
inline std::optional<std::int64_t> Trunc(double x) { return detail::ToInt64(std::trunc(x)); }

// Rounds to the nearest integer, ties to even, whatever the FPU's rounding mode.
inline std::optional<std::int64_t> Round(double x) {
    if (std::isnan(x)) return std::nullopt;
    const double below = std::floor(x);
    const double fraction = x - below;
    double whole = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0)) whole = below + 1.0;
    return detail::ToInt64(whole);
}

// The low 32 or 16 bits of a value, read as two's complement.
constexpr std::int32_t Low32(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}
constexpr std::int16_t Low16(std::int64_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(v)));
}

}  // namespace bridge
