// The simulator variables the bridge reads and writes (FSUIPC offsets) and the
// order in which one tick queues them.
#pragma once

#include <cstdint>

#include "core/bridge_view.h"
#include "simlink/sim_link_api.h"
#include "state/bridge_state.h"

namespace bridge {

namespace offsets {
inline constexpr std::uint32_t kPitch = 0x2F70;
inline constexpr std::uint32_t kBank = 0x2F78;
inline constexpr std::uint32_t kTurnRate = 0x037C;
inline constexpr std::uint32_t kBall = 0x036E;
inline constexpr std::uint32_t kCompassHeading = 0x02CC;
inline constexpr std::uint32_t kGyroHeading = 0x2B00;
inline constexpr std::uint32_t kGForce = 0x11BA;
inline constexpr std::uint32_t kAltimeterSetting = 0x0330;
inline constexpr std::uint32_t kAileron = 0x0BB6;
inline constexpr std::uint32_t kElevator = 0x0BB2;
inline constexpr std::uint32_t kControlsDisconnect = 0x310A;
inline constexpr std::uint32_t kLatitude = 0x0560;
inline constexpr std::uint32_t kLongitude = 0x0568;
inline constexpr std::uint32_t kHeading = 0x0580;
inline constexpr std::uint32_t kGpsGroundSpeed = 0x6030;
inline constexpr std::uint32_t kGpsAltitude = 0x6020;
inline constexpr std::uint32_t kAltitude = 0x0574;
inline constexpr std::uint32_t kIas = 0x02BC;
inline constexpr std::uint32_t kVerticalSpeed = 0x02C8;
inline constexpr std::uint32_t kOat = 0x0E8C;
inline constexpr std::uint32_t kAmbientPressure = 0x28C8;
inline constexpr std::uint32_t kNav1Cdi = 0x2AAC;
inline constexpr std::uint32_t kNav1Gs = 0x2AB0;
inline constexpr std::uint32_t kNavRadioFlags = 0x3300;
inline constexpr std::uint32_t kNav1Obs = 0x0C4E;
inline constexpr std::uint32_t kNav1Radial = 0x0C50;
inline constexpr std::uint32_t kNav2Radial = 0x0C60;
inline constexpr std::uint32_t kCom1Active = 0x034E;
inline constexpr std::uint32_t kCom1Standby = 0x311A;
inline constexpr std::uint32_t kNav1Active = 0x0350;
inline constexpr std::uint32_t kNav1Standby = 0x311E;
inline constexpr std::uint32_t kCom2Active = 0x3118;
inline constexpr std::uint32_t kCom2Standby = 0x311C;

// Per engine, engine 1 first: offsets below 0x1000 advance by 0x98 from one
// engine to the next, those from 0x3000 up go down by 0xC0.
struct EngineOffsets {
    std::uint32_t rpm, rpmScaler, egt, oilTemp, oilPressure, manifold, fuelFlow, cht, fuelPressure;
};
inline constexpr EngineOffsets kEngine[4] = {
    {0x0898, 0x08C8, 0x3B70, 0x3B58, 0x3B60, 0x08C0, 0x0918, 0x08E8, 0x3868},
    {0x0930, 0x0960, 0x3AB0, 0x3A98, 0x3AA0, 0x0958, 0x09B0, 0x0980, 0x37A8},
    {0x09C8, 0x09F8, 0x39F0, 0x39D8, 0x39E0, 0x09F0, 0x0A48, 0x0A18, 0x36E8},
    {0x0A60, 0x0A90, 0x3930, 0x3918, 0x3920, 0x0A88, 0x0AE0, 0x0AB0, 0x3628},
};
}  // namespace offsets

// NumberOfEngines as an engine count: values above 4 act as 4.
unsigned ConfiguredEngines(const BridgeSettings& settings);

// Queues one tick's requests on the simulator link. A request the link
// refuses (the request block is full) is counted; one tick needs at most
// 1,464 bytes of the 32,512 the block holds, so the count stays 0 unless
// something is badly wrong. A closed link fails the exchange itself.
class VariableMap {
public:
    explicit VariableMap(SimLinkApi& sim) : sim_(sim) {}

    // Rows 1 to 7: the attitude set.
    void QueueAttitudeReads(SimValues& values);
    // Row 8: the altimeter setting the box asked for, when pending; clears the flag.
    void QueueAltimeterWrite(AltimeterState& altimeter);
    // Row 9 or 10: the servo's command while engaged, else a read into its position.
    void QueueServo(ServoState& servos, Servo servo, bool engaged);
    // Row 11.
    void QueueControlsDisconnect(const ServoState& servos);
    // Rows 12 to 70: navigation, engines 1..n, radio navigation, and each radio
    // frequency as a pending write (cleared when queued) or a read.
    void QueueHalfRateRequests(const BridgeSettings& settings, SimValues& values,
                               EngineState& engines, RadioWriteSlots& radioWrites);

    // Requests the link refused: the request block was full.
    std::uint32_t RequestsNotQueued() const { return requestsNotQueued_; }

private:
    void Read(std::uint32_t offset, std::uint32_t size, void* field);
    void Write(std::uint32_t offset, std::uint32_t size, const void* field);
    template <typename Field>
    void Read(std::uint32_t offset, Field& field) {
        Read(offset, sizeof(Field), &field);
    }
    template <typename Field>
    void Write(std::uint32_t offset, const Field& field) {
        Write(offset, sizeof(Field), &field);
    }
    void ReadEngine(const offsets::EngineOffsets& at, EngineSnapshot& e);
    void WriteOrRead(std::uint32_t offset, std::uint16_t& pending, std::uint16_t& snapshot);

    SimLinkApi& sim_;
    std::uint32_t requestsNotQueued_ = 0;
};

}  // namespace bridge
