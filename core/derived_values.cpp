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

void ComputeAttitudeValues() {
    BridgeState& s = Bridge;
    const auto bank = Trunc(s.Sim.BankDeg * 100.0);
    if (!bank) return;
    s.Derived.BankCentiDeg = Low32(*bank);
    Store(s.Derived.PitchUpCentiDeg, Trunc(-s.Sim.PitchDeg * 100.0));
}

void ComputeNavigationValues() {
    BridgeState& s = Bridge;
    s.Derived.LatitudeDeg = static_cast<double>(s.Sim.LatitudeRaw) * 90.0 / kLatitudeRawPer90Deg;
    s.Derived.LongitudeDeg = static_cast<double>(s.Sim.LongitudeRaw) * 360.0 / kTwoTo64;
    s.Derived.TurnRateTenths = s.Sim.TurnRateRaw / 17;
    Store(s.Derived.GyroHeadingCentiDeg, Trunc(s.Sim.GyroHeadingDeg * 100.0));
    Store(s.Derived.CompassHeadingCentiDeg, Trunc(s.Sim.CompassHeadingDeg * 100.0));
    Store(s.Derived.Latitude1e7, DegreesTo1e7(s.Derived.LatitudeDeg));
    Store(s.Derived.Longitude1e7, DegreesTo1e7(s.Derived.LongitudeDeg));
    // The exact 64-bit product; the cell holds a zero-extended 32-bit angle.
    const auto p = static_cast<std::int64_t>(s.Sim.HeadingRaw * 360u);
    Store(s.Derived.TrueHeading1e5, Trunc(static_cast<double>(p) / kHeadingRawPer1e5Deg));
    Store(s.Derived.GroundSpeedCentiMs, Trunc(s.Sim.GpsGroundSpeed * 100.0));
    // 32-bit signed arithmetic as the box expects; it wraps only above 65 km.
    s.Derived.AltitudeFeet = Low32(s.Sim.AltitudeMetres * std::int64_t{32808}) / 10000;
    Store(s.Derived.IasTenthsKmh, Round(s.Sim.IasRaw / 128.0 * 18.52));
    // Formed in 64 bits: beyond about 8,400 ft/min the 32-bit product would wrap.
    s.Derived.VerticalSpeedFpm = Low32(s.Sim.VerticalSpeedRaw * std::int64_t{60 * 3280} / 256000);
}

}  // namespace bridge
