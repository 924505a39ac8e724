#include "core/derived_values.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/numeric.h"
#include "state/bridge_state.h"

namespace bridge {
namespace {

constexpr double kLatitudeRawPer90Deg = 42957189152768000.0;  // 10001750 * 2^32
constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr double kHeadingRawPer1e5Deg = 42949.67296;  // 2^32 / 10^5

void Store(std::int32_t& field, std::optional<std::int64_t> value) {
    if (value) field = Low32(*value);
}

// Degrees narrowed to single precision (round to nearest), then in 10^-7 degree.
std::optional<std::int64_t> DegreesTo1e7(double degrees) {
    if (!(std::fabs(degrees) <= std::numeric_limits<float>::max())) return std::nullopt;
    const double narrowed = static_cast<float>(degrees);
    return Round(narrowed * 10000000.0);
}

}  // namespace

void ComputeAttitudeValues(const SimValues& sim, DerivedValues& derived) {
    const auto bank = Trunc(sim.BankDeg * 100.0);
    if (!bank) return;
    derived.BankCentiDeg = Low32(*bank);
    Store(derived.PitchUpCentiDeg, Trunc(-sim.PitchDeg * 100.0));
}

void ComputeNavigationValues(const SimValues& sim, DerivedValues& derived) {
    derived.LatitudeDeg = static_cast<double>(sim.LatitudeRaw) * 90.0 / kLatitudeRawPer90Deg;
    derived.LongitudeDeg = static_cast<double>(sim.LongitudeRaw) * 360.0 / kTwoTo64;
    derived.TurnRateTenths = sim.TurnRateRaw / 17;
    Store(derived.GyroHeadingCentiDeg, Trunc(sim.GyroHeadingDeg * 100.0));
    Store(derived.CompassHeadingCentiDeg, Trunc(sim.CompassHeadingDeg * 100.0));
    Store(derived.Latitude1e7, DegreesTo1e7(derived.LatitudeDeg));
    Store(derived.Longitude1e7, DegreesTo1e7(derived.LongitudeDeg));
    // The exact 64-bit product; the cell holds a zero-extended 32-bit angle.
    const auto p = static_cast<std::int64_t>(sim.HeadingRaw * 360u);
    Store(derived.TrueHeading1e5, Trunc(static_cast<double>(p) / kHeadingRawPer1e5Deg));
    Store(derived.GroundSpeedCentiMs, Trunc(sim.GpsGroundSpeed * 100.0));
    // 32-bit signed arithmetic as the box expects; it wraps only above 65 km.
    derived.AltitudeFeet = Low32(sim.AltitudeMetres * std::int64_t{32808}) / 10000;
    Store(derived.IasTenthsKmh, Round(sim.IasRaw / 128.0 * 18.52));
    // Formed in 64 bits: beyond about 8,400 ft/min the 32-bit product would wrap.
    derived.VerticalSpeedFpm = Low32(sim.VerticalSpeedRaw * std::int64_t{60 * 3280} / 256000);
}

}  // namespace bridge
