#include "core/telemetry.h"

#include <algorithm>
#include <array>
#include <span>

#include "base/byte_order.h"
#include "base/numeric.h"

namespace bridge {
namespace {

constexpr double kSenderFullScalePsf = 20885.43;  // 10 bar
constexpr std::uint8_t kEchoItemKind = 1;
constexpr std::uint8_t kEchoTrailer = 70;

std::optional<std::uint16_t> Count12Bit(std::optional<std::int64_t> value, std::int64_t offset) {
    if (!value) return std::nullopt;
    // Limited before the offset is added, so no sum can overflow.
    const std::int64_t limited = std::clamp<std::int64_t>(*value, -offset, kCountMax - offset);
    return static_cast<std::uint16_t>(limited + offset);
}

}  // namespace

std::uint16_t Telemetry::EngineItemId(unsigned n, EngineItem kind) const {
    const unsigned address = s_.engines.EngineAddressBase + n - 1;
    return static_cast<std::uint16_t>(address * 16u + static_cast<unsigned>(kind));
}

// Sends the item with its words (four; two for the blank item) from the
// shared payload buffer.
void Telemetry::SendEngineItem(unsigned n, EngineItem kind, std::span<const std::int16_t> words) {
    auto& payload = s_.frames.ItemPayload;
    for (std::size_t i = 0; i < words.size(); ++i) PutI16(payload, 2 * i, words[i]);
    s_.sender.SendItem(EngineItemId(n, kind), std::span(payload).first(2 * words.size()));
}

std::int16_t GForceMilli(std::int16_t gForceRaw) {
    return Low16(Round(gForceRaw / 0.624).value_or(0));  // finite for every 16-bit input
}

std::int8_t BallValue(std::int8_t ballRaw) {
    return static_cast<std::int8_t>(Trunc(ballRaw / 2.54).value_or(0));  // -50..50
}

std::optional<std::int16_t> StaticPressureCount(double ambientPressurePsf) {
    const auto tenthsHpa = Round(ambientPressurePsf * 4.788026);
    if (!tenthsHpa) return std::nullopt;
    // 32-bit signed arithmetic, as the box's sender count is defined.
    const std::int32_t product = Low32(std::int64_t{Low32(*tenthsHpa)} * 3686);
    return Low16(product / 10000 - 389);
}

std::optional<std::uint16_t> OilTemperatureCount(double oilTempRankine) {
    const double celsius = oilTempRankine * 0.555555 - 273;
    return Count12Bit(Round(celsius * 8.2), 2230);
}

std::optional<std::uint16_t> PressureCount(double pressurePsf) {
    return Count12Bit(Round(pressurePsf / kSenderFullScalePsf * kCountMax), 0);
}

std::optional<std::int16_t> EgtCelsius(double egtRankine) {
    const auto c = Trunc((egtRankine - 491.67) * 5 / 9);
    if (!c) return std::nullopt;
    return Low16(*c);
}

std::optional<std::int16_t> ChtCelsius(double chtFahrenheit) {
    // 34, not 32: the value the box's CHT channel is calibrated for.
    const auto c = Trunc((chtFahrenheit - 34) / 1.8);
    if (!c) return std::nullopt;
    return Low16(*c);
}

std::uint16_t Rpm(std::uint16_t rpmRaw, std::uint16_t rpmScaler) {
    return static_cast<std::uint16_t>((std::uint32_t{rpmRaw} * rpmScaler) >> 16);
}

std::int16_t ManifoldValue(std::uint16_t manifoldRaw) {
    return Low16(Trunc(manifoldRaw / 1024.0 * 51).value_or(0));  // finite for every input
}

std::int16_t ServoEchoPosition(std::int16_t servoPosition) {
    return static_cast<std::int16_t>(kServoCentre - servoPosition / kSimUnitsPerServoStep);
}

void Telemetry::SendAttitudeFrame() {
    const TelemetrySources& s = s_;
    auto& f = s.frames.AttitudeFrame;
    f.fill(0);
    const std::int16_t g = GForceMilli(s.sim.GForceRaw);
    PutI16(f, 7, g);
    PutI16(f, 9, g);
    PutI16(f, 11, Low16(s.derived.TurnRateTenths));
    PutI16(f, 19, Low16(s.derived.BankCentiDeg));
    PutI16(f, 21, Low16(s.derived.PitchUpCentiDeg));
    PutI16(f, 23, Low16(s.derived.GyroHeadingCentiDeg));
    f[25] = static_cast<std::uint8_t>(BallValue(s.sim.BallRaw));
    s.sender.SendFixedFrame(f, FrameKind::Attitude);
}

void Telemetry::SendAirDataFrame() {
    const TelemetrySources& s = s_;
    const auto gpsAltitudeMm = Trunc(s.sim.GpsAltitude * 1000);
    const auto staticCount = StaticPressureCount(s.sim.AmbientPressure);
    if (!gpsAltitudeMm || !staticCount) return;
    auto& f = s.frames.AirDataFrame;
    f.fill(0);
    PutI32(f, 3, s.derived.AltitudeFeet);
    PutI32(f, 7, s.derived.Longitude1e7);
    PutI32(f, 11, s.derived.Latitude1e7);
    PutI32(f, 19, Low32(*gpsAltitudeMm));
    PutI32(f, 35, Low32(-std::int64_t{s.derived.VerticalSpeedFpm} / 2));
    PutI32(f, 39, s.derived.GroundSpeedCentiMs);
    PutI32(f, 43, s.derived.TrueHeading1e5);
    PutU16(f, 47, static_cast<std::uint16_t>((std::uint32_t{s.sim.AltimeterSetting} * 10u) >> 4));
    PutI16(f, 49, Low16(s.derived.VerticalSpeedFpm));
    PutI16(f, 51, Low16(s.derived.IasTenthsKmh));
    PutI16(f, 55, *staticCount);
    PutI16(f, 57, static_cast<std::int16_t>(s.sim.OatRaw / 256));
    PutI16(f, 59, Low16(s.derived.CompassHeadingCentiDeg));
    PutU16(f, 67, s.boxPorts.RadioPortMask);
    f[69] = 3;
    f[70] = 6;
    s.sender.SendFixedFrame(f, FrameKind::AirData);
}

void Telemetry::SendServoEcho(Servo servo) {
    const TelemetrySources& s = s_;
    constexpr std::array<std::uint8_t, kServoCount> kEchoAddress = {kBankEchoAddress,
                                                                    kPitchEchoAddress};
    const ConstServoChannel channel = ChannelOf(s.servos, servo);
    auto& p = s.frames.ItemPayload;
    p[0] = channel.EngageBit;
    PutI16(p, 1, ServoEchoPosition(channel.Position));
    p[3] = kEchoTrailer;
    p[4] = 0;
    const std::uint8_t address = kEchoAddress[ServoIndex(servo)];
    s.sender.SendItem(static_cast<std::uint16_t>(address * 16u + kEchoItemKind),
                      std::span(p).first(5));
}

void Telemetry::SendFuelFlowItem(unsigned n) {
    const auto flow = Trunc(Engine(n).FuelFlowPph * 4.92);
    if (!flow) return;
    const std::int16_t words[] = {Low16(*flow), 500, 0, 500};
    SendEngineItem(n, EngineItem::FuelFlow, words);
}

void Telemetry::SendRpmItem(unsigned n) {
    const EngineSnapshot& e = Engine(n);
    const auto rpm = static_cast<std::int16_t>(Rpm(e.RpmRaw, e.RpmScaler));
    const std::int16_t words[] = {rpm, rpm, ManifoldValue(e.ManifoldRaw), 2048};
    SendEngineItem(n, EngineItem::Rpm, words);
}

void Telemetry::SendOilItem(unsigned n) {
    const EngineSnapshot& e = Engine(n);
    const auto temperature = OilTemperatureCount(e.OilTempRankine);
    const auto pressure = PressureCount(e.OilPressurePsf);
    if (!temperature || !pressure) return;
    const std::int16_t words[] = {static_cast<std::int16_t>(*temperature),
                                  static_cast<std::int16_t>(*pressure), 0, 0};
    SendEngineItem(n, EngineItem::Oil, words);
}

void Telemetry::SendFuelPressureItem(unsigned n) {
    const auto pressure = PressureCount(Engine(n).FuelPressurePsf);
    if (!pressure) return;
    const std::int16_t words[] = {static_cast<std::int16_t>(*pressure), 0, 0, 0};
    SendEngineItem(n, EngineItem::FuelPressure, words);
}

void Telemetry::SendBlankItem(unsigned n) {
    const std::int16_t words[] = {0, 0};
    SendEngineItem(n, EngineItem::Blank, words);
}

void Telemetry::SendThermocoupleItems(unsigned n) {
    const EngineSnapshot& e = Engine(n);
    const auto egt = EgtCelsius(e.EgtRankine);
    const auto cht = ChtCelsius(e.ChtFahrenheit);
    if (!egt || !cht) return;
    // Channels 1..12 by EGTCHTSplit: EGT on the first perValue channels, CHT
    // on as many after them; any other split leaves every channel 0.
    static constexpr unsigned kChannelsPerValue[] = {1, 2, 4, 6};
    const unsigned perValue = s_.settings.EGTCHTSplit < std::size(kChannelsPerValue)
                                  ? kChannelsPerValue[s_.settings.EGTCHTSplit]
                                  : 0;
    std::array<std::int16_t, 12> channels{};
    for (unsigned c = 0; c < perValue; ++c) {
        channels[c] = *egt;
        channels[perValue + c] = *cht;
    }
    const std::span<const std::int16_t> all(channels);
    SendEngineItem(n, EngineItem::Thermocouples1to4, all.subspan(0, 4));
    SendEngineItem(n, EngineItem::Thermocouples5to8, all.subspan(4, 4));
    SendEngineItem(n, EngineItem::Thermocouples9to12, all.subspan(8, 4));
}

}  // namespace bridge
