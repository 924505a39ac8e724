#include "radio/radio_cycle.h"

#include "base/numeric.h"
#include "boxlink/box_commands.h"
#include "radio/frequency.h"

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

}  // namespace

void RadioCycle::SendSentence(Sentence& sentence, std::uint8_t port, ReplyHandler parser) {
    if (!RadioPortInUse(port)) return;
    sentence.AppendChecksumAndLineEnd();
    sender_.SendPortText(port, sentence.Bytes());
    InstallReplyHandler(boxPorts_, port, parser);
}

void RadioCycle::SendSl30Sentences() {
    const SentenceFields& r = fields_;
    const SimValues& sim = sim_;
    Sentence deviation("$PMRRV21");
    deviation.AppendNibbles(r.Nav1CdiScaled / kDeflectionPerStep);
    deviation.AppendNibbles(r.Nav1GsScaled / kDeflectionPerStep);
    deviation.AppendNibbles(r.Sl30StatusFlags);
    SendSl30Sentence(deviation);

    Sentence obs("$PMRRV22V");
    obs.Append(r.Nav1ObsText);
    SendSl30Sentence(obs);

    Sentence nav1Radial("$PMRRV23");
    nav1Radial.AppendFlagLetter(r.Nav1RadialValid);
    nav1Radial.Append(r.Nav1RadialText);
    SendSl30Sentence(nav1Radial);

    Sentence nav2Radial("$PMRRV24");
    nav2Radial.AppendFlagLetter(r.Nav2RadialValid);
    nav2Radial.Append(r.Nav2RadialText);
    SendSl30Sentence(nav2Radial);

    Sentence nav1("$PMRRV28");
    nav1.Append(NavLetters(BcdToKhz(sim.Nav1Active)));
    nav1.Append(NavLetters(BcdToKhz(sim.Nav1Standby)));
    nav1.Append("N");
    SendSl30Sentence(nav1);

    Sentence com1("$PMRRV35");
    com1.Append(ComLetters(BcdToKhz(sim.Com1Active)));
    com1.Append(ComLetters(BcdToKhz(sim.Com1Standby)));
    com1.Append("R0");
    SendSl30Sentence(com1);
}

void RadioCycle::SendSl40Sentences() {
    const SimValues& sim = sim_;
    Sentence com2("$PMRRC01");
    com2.Append(ComLetters(BcdToKhz(sim.Com2Active)));
    com2.Append(ComLetters(BcdToKhz(sim.Com2Standby)));
    com2.Append("R0");
    SendSl40Sentence(com2);
}

// Fields a cycle does not refresh keep the value of the last cycle that did:
// the glideslope while NAV 1 has none, the radials while neither radio has a
// radial or NAV 1 has a glideslope, the OBS while NAV 1 has a glideslope.
void RadioCycle::RefreshRadioFields() {
    SentenceFields& r = fields_;
    const SimValues& sim = sim_;
    const bool glideslope = (sim.NavRadioFlags & kNav1GlideslopeFlag) != 0;
    const bool nav1Valid = (sim.NavRadioFlags & kNav1RadialValidFlag) != 0;
    const bool nav2Valid = (sim.NavRadioFlags & kNav2RadialValidFlag) != 0;

    r.Sl30StatusFlags = !glideslope ? kStatusNoGlideslope
                        : nav1Valid ? kStatusGlideslopeNav1Valid
                                    : kStatusGlideslope;
    StoreScaledDeflection(r.Nav1CdiScaled, sim.Nav1CdiDeflection);
    if (!glideslope) {
        if (nav1Valid || nav2Valid) {
            r.Nav1RadialValid = nav1Valid ? 1 : 0;
            r.Nav2RadialValid = nav2Valid ? 1 : 0;
            r.Nav1RadialText = ZeroPadded(RadialTenths(sim.Nav1Radial), kRadialWidth);
            r.Nav2RadialText = ZeroPadded(RadialTenths(sim.Nav2Radial), kRadialWidth);
        }
        r.Nav1ObsText = ZeroPadded(sim.Nav1Obs, kObsWidth);
    } else {
        StoreScaledDeflection(r.Nav1GsScaled, sim.Nav1GsDeflection);
    }
}

bool RadioPortInUse(std::uint8_t port) { return port >= 1 && port <= kBoxPortCount; }

void RadioCycle::Run() {
    RefreshRadioFields();
    if (RadioPortInUse(settings_.SL30Port)) SendSl30Sentences();
    if (RadioPortInUse(settings_.SL40Port)) SendSl40Sentences();
}

void ComputeRadioPortMask(const BridgeSettings& settings, BoxPortRouting& boxPorts) {
    std::uint16_t mask = 0;
    for (const std::uint8_t port : {settings.SL30Port, settings.SL40Port}) {
        if (RadioPortInUse(port)) mask = static_cast<std::uint16_t>(mask | (1u << (port - 1u)));
    }
    boxPorts.RadioPortMask = mask;
}

void RadioCycle::SendSl30Sentence(Sentence& sentence) {
    SendSentence(sentence, settings_.SL30Port, parser_.Sl30Handler());
}

void RadioCycle::SendSl40Sentence(Sentence& sentence) {
    SendSentence(sentence, settings_.SL40Port, parser_.Sl40Handler());
}

}  // namespace bridge
