// Telemetry to the box: the attitude frame, the air data frame, the servo
// echo items and the engine items. Each sender fills a fixed frame buffer and
// writes it in one go. A frame or item whose own conversion
// fails (a value that is not a number or out of range) is not sent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "boxlink/box_frames.h"
#include "core/bridge_view.h"
#include "state/bridge_state.h"

namespace bridge {

inline constexpr std::uint8_t kBankEchoAddress = 16;
inline constexpr std::uint8_t kPitchEchoAddress = 17;
inline constexpr std::uint8_t kEngineAddressBase = 32;
inline constexpr std::uint16_t kCountMax = 4095;  // 12-bit sender input

enum class EngineItem : std::uint8_t {
    FuelFlow = 1,
    Thermocouples1to4 = 2,
    Thermocouples5to8 = 3,
    Thermocouples9to12 = 4,
    Oil = 5,
    FuelPressure = 6,
    Blank = 7,
    Rpm = 8,
};

// What the frames are made of: the state's groups they read, and the buffers
// and sender they are built and sent with.
struct TelemetrySources {
    const BridgeSettings& settings;
    const SimValues& sim;
    const DerivedValues& derived;
    const EngineState& engines;
    const ServoState& servos;
    const BoxPortRouting& boxPorts;
    FrameBuffers& frames;
    FrameSender& sender;
};

class Telemetry {
public:
    explicit Telemetry(const TelemetrySources& sources) : s_(sources) {}

    void SendAttitudeFrame();
    void SendAirDataFrame();
    void SendServoEcho(Servo servo);

    // Engine n is 1..4.
    void SendFuelFlowItem(unsigned n);
    void SendRpmItem(unsigned n);
    void SendOilItem(unsigned n);
    void SendFuelPressureItem(unsigned n);
    void SendBlankItem(unsigned n);
    void SendThermocoupleItems(unsigned n);

private:
    std::uint16_t EngineItemId(unsigned n, EngineItem kind) const;
    void SendEngineItem(unsigned n, EngineItem kind, std::span<const std::int16_t> words);
    const EngineSnapshot& Engine(unsigned n) const { return s_.engines.Snapshot[n - 1]; }

    TelemetrySources s_;
};

// The conversions, for the senders and their tests.
std::int16_t GForceMilli(std::int16_t gForceRaw);
std::int8_t BallValue(std::int8_t ballRaw);
std::optional<std::int16_t> StaticPressureCount(double ambientPressurePsf);
std::optional<std::uint16_t> OilTemperatureCount(double oilTempRankine);
std::optional<std::uint16_t> PressureCount(double pressurePsf);
std::optional<std::int16_t> EgtCelsius(double egtRankine);
std::optional<std::int16_t> ChtCelsius(double chtFahrenheit);
std::uint16_t Rpm(std::uint16_t rpmRaw, std::uint16_t rpmScaler);
std::int16_t ManifoldValue(std::uint16_t manifoldRaw);
std::int16_t ServoEchoPosition(std::int16_t servoPosition);

}  // namespace bridge
