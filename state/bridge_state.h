// The bridge state: the record through which the parts of the bridge meet,
// grouped by what the fields are about. Zero at start; touched only on the
// user-interface thread, so it has no locks. The program makes one instance
// (BridgeCore, app/shell/bridge_core.h) and hands each part the groups it
// works on; tests make theirs the same way. Field names are the names used
// throughout the program.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace bridge {

static_assert(std::endian::native == std::endian::little,
              "simulator and box values are copied as little-endian bytes");

inline constexpr std::size_t kTransmitBufferSize = 256;
inline constexpr std::size_t kAirDataFrameSize = 73;
inline constexpr std::size_t kAttitudeFrameSize = 28;
inline constexpr std::size_t kReceiveBufferSize = 256;
inline constexpr std::size_t kItemPayloadMax = 15;
inline constexpr std::size_t kEngineCount = 4;
inline constexpr std::size_t kBoxPortCount = 5;

// The settings file's keys.
struct BridgeSettings {
    std::uint8_t CommsPort;
    std::uint8_t SL30Port;
    std::uint8_t SL40Port;
    std::uint8_t EGTCHTSplit;
    std::uint8_t NumberOfEngines;
};

// The hand-overs between the shell's handlers and the main cycle.
struct LinkControl {
    bool PortOpen;
    bool SimLinkUp;
    bool StopRequested;
    std::string LogLine;
};

// The main cycle's phase counters: its schedule.
struct CycleCounters {
    std::uint8_t TickPhase;
    std::uint8_t RpmPhase;
    std::uint8_t RadioPhase;
    std::uint8_t EnginePhase;
    bool RpmDue;
    bool FuelFlowDue;
};

// Written by the servo command handler, applied by the main cycle. The
// command and its echo are the slot the next tick carries out: several
// commands between two ticks leave the last one, with one echo.
struct ServoState {
    bool BankServoEngaged;
    bool PitchServoEngaged;
    std::int16_t BankServoCommand;
    std::int16_t PitchServoCommand;
    std::int16_t BankServoPosition;
    std::int16_t PitchServoPosition;
    bool BankEchoPending;
    bool PitchEchoPending;
    std::uint8_t BankEngageBit;
    std::uint8_t PitchEngageBit;
    std::int16_t BankServoRaw;
    std::int16_t PitchServoRaw;
    std::uint8_t ControlsDisconnect;
};

// The altimeter setting the box asked for: a slot the next tick writes.
struct AltimeterState {
    std::uint16_t AltimeterCommand;
    bool AltimeterWritePending;
};

// A text of at most six characters kept in place (the radio sentence fields).
struct ShortText {
    std::array<char, 6> chars;
    std::uint8_t length;
};

// A port reply handler reads the current command frame from the receive
// buffer; `context` is what it works on. A plain pair, so that installing and
// calling one never allocates.
struct ReplyHandler {
    void (*call)(void* context);
    void* context;
    bool operator==(const ReplyHandler&) const = default;
};

// The reply parsers' own state, shared by the SL30 and SL40; kept from one
// command frame to the next.
struct ReplyParseState {
    std::uint8_t Step;
    std::uint8_t RunningSum;
    std::uint8_t MessageId;
    std::uint8_t Count;
    std::uint8_t ReceivedChecksum;
    std::array<std::uint8_t, 3> Field;
    std::uint8_t FieldPosition;
};

// The radio frequencies the box selected, a slot each (0: nothing pending):
// the reply parsers fill them, the variable map writes them into the
// simulator on its next half-rate tick and clears them.
struct RadioWriteSlots {
    std::uint16_t Com1ActiveWrite;
    std::uint16_t Com1StandbyWrite;
    std::uint16_t Nav1ActiveWrite;
    std::uint16_t Nav1StandbyWrite;
    std::uint16_t Com2ActiveWrite;
    std::uint16_t Com2StandbyWrite;
};

// The fields of the radios' sentences, kept from one radio cycle to the next.
struct SentenceFields {
    std::int32_t Nav1CdiScaled;
    std::int32_t Nav1GsScaled;
    std::uint8_t Sl30StatusFlags;
    ShortText Nav1ObsText;
    ShortText Nav1RadialText;
    ShortText Nav2RadialText;
    std::uint8_t Nav1RadialValid;
    std::uint8_t Nav2RadialValid;
};

// The box's RS232 ports 1 to 5 as the radios use them: which carry a radio
// (the radio port mask, which the air data frame tells the box), and the
// handler that reads each port's text from the box.
struct BoxPortRouting {
    std::uint16_t RadioPortMask;
    // Entry i is box port i + 1.
    std::array<ReplyHandler, kBoxPortCount> PortReplyHandlers;
};

struct EngineSnapshot {
    std::uint16_t RpmRaw;
    std::uint16_t RpmScaler;
    double EgtRankine;
    double OilTempRankine;
    double OilPressurePsf;
    std::uint16_t ManifoldRaw;
    double FuelFlowPph;
    double ChtFahrenheit;
    double FuelPressurePsf;
};

// The engines as the simulator delivers them, engine 1 first, and where their
// items are addressed on the box.
struct EngineState {
    std::uint8_t EngineAddressBase;
    std::array<EngineSnapshot, kEngineCount> Snapshot;
};

// The simulator's values, raw as the simulator delivers them.
struct SimValues {
    // Attitude set:
    double PitchDeg;
    double BankDeg;
    std::int16_t TurnRateRaw;
    std::int8_t BallRaw;
    double CompassHeadingDeg;
    double GyroHeadingDeg;
    std::int16_t GForceRaw;
    // Navigation set:
    std::int64_t LatitudeRaw;
    std::int64_t LongitudeRaw;
    std::uint64_t HeadingRaw;  // a 4-byte read into a zeroed 64-bit cell
    double GpsGroundSpeed;
    double GpsAltitude;
    std::int32_t AltitudeMetres;
    std::int32_t IasRaw;
    std::int32_t VerticalSpeedRaw;
    std::int16_t OatRaw;
    double AmbientPressure;
    std::uint16_t AltimeterSetting;
    float Nav1CdiDeflection;
    float Nav1GsDeflection;
    std::uint16_t NavRadioFlags;
    std::uint16_t Nav1Obs;
    std::uint16_t Nav1Radial;
    std::uint16_t Nav2Radial;
    // Radio set, BCD:
    std::uint16_t Com1Active;
    std::uint16_t Com1Standby;
    std::uint16_t Nav1Active;
    std::uint16_t Nav1Standby;
    std::uint16_t Com2Active;
    std::uint16_t Com2Standby;
};

// Values derived from the simulator's for the telemetry frames.
struct DerivedValues {
    std::int32_t BankCentiDeg;
    std::int32_t PitchUpCentiDeg;
    std::int32_t TurnRateTenths;
    std::int32_t GyroHeadingCentiDeg;
    std::int32_t CompassHeadingCentiDeg;
    double LatitudeDeg;
    double LongitudeDeg;
    std::int32_t Latitude1e7;
    std::int32_t Longitude1e7;
    std::int32_t TrueHeading1e5;
    std::int32_t GroundSpeedCentiMs;
    std::int32_t AltitudeFeet;
    std::int32_t IasTenthsKmh;
    std::int32_t VerticalSpeedFpm;
};

// ARINC playback and its hand-off to the main cycle.
struct ArincHandOff {
    bool PlaybackStopRequested;
    bool RecordPending;
    bool PlaybackRunning;
    std::uint8_t LeadByte;
    std::uint32_t ArincWord;
};

enum class ReceiveState : std::uint8_t { Hunt, Sync, Length, Kind, Payload };

// The receiver's byte state machine and the frame it assembles.
struct ReceiverState {
    ReceiveState RxState;
    std::uint8_t Remaining;
    std::uint8_t FrameLength;
    std::uint8_t ReceivedKind;
    std::uint8_t PayloadIndex;
    std::array<std::uint8_t, kReceiveBufferSize> ReceiveBuffer;
};

// Each send builds its frame in place and writes it at once.
struct FrameBuffers {
    std::array<std::uint8_t, kTransmitBufferSize> TransmitBuffer;
    std::array<std::uint8_t, kAirDataFrameSize> AirDataFrame;
    std::array<std::uint8_t, kAttitudeFrameSize> AttitudeFrame;
    std::array<std::uint8_t, kItemPayloadMax> ItemPayload;
};

struct BridgeState {
    BridgeSettings Settings;
    LinkControl Link;
    CycleCounters Counters;
    ServoState Servos;
    AltimeterState Altimeter;
    RadioWriteSlots RadioWrites;
    SentenceFields Sentences;
    BoxPortRouting BoxPorts;
    ReplyParseState ReplyParse;
    EngineState Engines;
    SimValues Sim;
    DerivedValues Derived;
    ArincHandOff Arinc;
    ReceiverState Receive;
    FrameBuffers Frames;
};

}  // namespace bridge
