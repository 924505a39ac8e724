#include "radio/radio_cycle.h"

#include "base/numeric.h"
#include "boxlink/box_commands.h"
#include "boxlink/box_frames.h"
#include "radio/frequency.h"
#include "radio/reply_parser.h"
#include "state/bridge_state.h"

namespace bridge {
namespace {

// Status byte of sentence 21: 0xC0, with 0x30 on a glideslope and then 0x02
// when NAV 1's radial is valid.
constexpr std::uint8_t kStatusNoGlideslope = 0xC0;
constexpr std::uint8_t kStatusGlideslope = 0xF0;
constexpr std::uint8_t kStatusGlideslopeNav1Valid = 0xF2;
constexpr double kDeflectionScale = 32.24;
constexpr std::int32_t kDeflectionPerStep = 41;
constexpr std::size_t kRadialWidth = 4;
constexpr std::size_t kObsWidth = 3;

// A deflection that is not a number or beyond 64 bits leaves the field as it
// was, as the other conversions of the main cycle do.
void StoreScaledDeflection(std::int32_t& field, float deflection) {
    if (const auto scaled = Trunc(kDeflectionScale * static_cast<double>(deflection))) {
        field = Low32(*scaled);
    }
}

// A radial of 65536 to the circle in tenths of a degree: 0xFFFF gives 3599.
std::uint16_t RadialTenths(std::uint16_t radial) {
    return static_cast<std::uint16_t>((std::uint32_t{radial} * 3600u) >> 16);
}

void SendSentence(Sentence& sentence, std::uint8_t port, ReplyHandler parser) {
    if (!RadioPortInUse(port)) return;
    sentence.AppendChecksumAndLineEnd();
    SendPortText(port, sentence.Bytes());
    InstallReplyHandler(port, parser);
}

void SendSl30Sentences() {
    const BridgeState& s = Bridge;
    Sentence deviation("$PMRRV21");
    deviation.AppendNibbles(s.Radios.Nav1CdiScaled / kDeflectionPerStep);
    deviation.AppendNibbles(s.Radios.Nav1GsScaled / kDeflectionPerStep);
    deviation.AppendNibbles(s.Radios.Sl30StatusFlags);
    SendSl30Sentence(deviation);

    Sentence obs("$PMRRV22V");
    obs.Append(s.Radios.Nav1ObsText);
    SendSl30Sentence(obs);

    Sentence nav1Radial("$PMRRV23");
    nav1Radial.AppendFlagLetter(s.Radios.Nav1RadialValid);
    nav1Radial.Append(s.Radios.Nav1RadialText);
    SendSl30Sentence(nav1Radial);

    Sentence nav2Radial("$PMRRV24");
    nav2Radial.AppendFlagLetter(s.Radios.Nav2RadialValid);
    nav2Radial.Append(s.Radios.Nav2RadialText);
    SendSl30Sentence(nav2Radial);

    Sentence nav1("$PMRRV28");
    nav1.Append(NavLetters(BcdToKhz(s.Sim.Nav1Active)));
    nav1.Append(NavLetters(BcdToKhz(s.Sim.Nav1Standby)));
    nav1.Append("N");
    SendSl30Sentence(nav1);

    Sentence com1("$PMRRV35");
    com1.Append(ComLetters(BcdToKhz(s.Sim.Com1Active)));
    com1.Append(ComLetters(BcdToKhz(s.Sim.Com1Standby)));
    com1.Append("R0");
    SendSl30Sentence(com1);
}

void SendSl40Sentences() {
    const BridgeState& s = Bridge;
    Sentence com2("$PMRRC01");
    com2.Append(ComLetters(BcdToKhz(s.Sim.Com2Active)));
    com2.Append(ComLetters(BcdToKhz(s.Sim.Com2Standby)));
    com2.Append("R0");
    SendSl40Sentence(com2);
}

// Fields a cycle does not refresh keep the value of the last cycle that did:
// the glideslope while NAV 1 has none, the radials while neither radio has a
// radial or NAV 1 has a glideslope, the OBS while NAV 1 has a glideslope.
void RefreshRadioFields() {
    BridgeState& s = Bridge;
    const bool glideslope = (s.Sim.NavRadioFlags & kNav1GlideslopeFlag) != 0;
    const bool nav1Valid = (s.Sim.NavRadioFlags & kNav1RadialValidFlag) != 0;
    const bool nav2Valid = (s.Sim.NavRadioFlags & kNav2RadialValidFlag) != 0;

    s.Radios.Sl30StatusFlags = !glideslope ? kStatusNoGlideslope
                               : nav1Valid ? kStatusGlideslopeNav1Valid
                                           : kStatusGlideslope;
    StoreScaledDeflection(s.Radios.Nav1CdiScaled, s.Sim.Nav1CdiDeflection);
    if (!glideslope) {
        if (nav1Valid || nav2Valid) {
            s.Radios.Nav1RadialValid = nav1Valid ? 1 : 0;
            s.Radios.Nav2RadialValid = nav2Valid ? 1 : 0;
            s.Radios.Nav1RadialText = ZeroPadded(RadialTenths(s.Sim.Nav1Radial), kRadialWidth);
            s.Radios.Nav2RadialText = ZeroPadded(RadialTenths(s.Sim.Nav2Radial), kRadialWidth);
        }
        s.Radios.Nav1ObsText = ZeroPadded(s.Sim.Nav1Obs, kObsWidth);
    } else {
        StoreScaledDeflection(s.Radios.Nav1GsScaled, s.Sim.Nav1GsDeflection);
    }
}

}  // namespace

bool RadioPortInUse(std::uint8_t port) { return port >= 1 && port <= kBoxPortCount; }

void RunRadioCycle() {
    RefreshRadioFields();
    if (RadioPortInUse(Bridge.Settings.SL30Port)) SendSl30Sentences();
    if (RadioPortInUse(Bridge.Settings.SL40Port)) SendSl40Sentences();
}

void ComputeRadioPortMask() {
    BridgeState& s = Bridge;
    std::uint16_t mask = 0;
    for (const std::uint8_t port : {s.Settings.SL30Port, s.Settings.SL40Port}) {
        if (RadioPortInUse(port)) mask = static_cast<std::uint16_t>(mask | (1u << (port - 1u)));
    }
    s.Radios.RadioPortMask = mask;
}

void SendSl30Sentence(Sentence& sentence) {
    SendSentence(sentence, Bridge.Settings.SL30Port, Sl30ReplyParser);
}

void SendSl40Sentence(Sentence& sentence) {
    SendSentence(sentence, Bridge.Settings.SL40Port, Sl40ReplyParser);
}

}  // namespace bridge
