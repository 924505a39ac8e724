// Whatever the simulator serves: arbitrary bit patterns (not-a-number,
// infinities, extremes) for every variable the main cycle reads, changed from
// tick to tick through the fake simulator's image, over up to 64 ticks from
// phase counters the input chooses, so that half-rate ticks, radio cycles and
// every engine item come round; exchanges may fail and the link may be down.
// Besides the sanitizers' checks (a float-to-integer conversion out of range
// is undefined behaviour, which UBSan reports):
// - every byte sent belongs to a frame with a valid envelope and check bytes;
// - each tick sends exactly the frames its schedule holds, in their order: a
//   frame or item whose own value cannot be converted (not a number, or
//   beyond 64 bits) is simply absent, and everything else of the tick still
//   happens, the phase counters included;
// - the fields the box reads keep their ranges and layouts (ball, counts,
//   channels, fixed words), the bank and pitch keep their last good values
//   when a conversion fails, and the radio sentences carry valid checksums,
//   their digits and the frequency letters within the NAV and COM bands.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "boxlink/box_frames.h"
#include "core/main_cycle.h"
#include "core/variable_map.h"
#include "radio/radio_cycle.h"
#include "state/bridge_state.h"
#include "tests/fuzz/cycle_world.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/sim_values_format.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_sim_link.h"
#include "tests/support/fake_view.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge::fuzzing {
namespace {

using testing::FakeSimLink;
using testing::FakeView;

// --- Conversions as the box's frames define them: Trunc and Round fail for
// a value that is not a number or whose result lies outside 64 bits.

bool Fits64(double whole) { return whole >= -kTwoTo63 && whole < kTwoTo63; }

std::optional<std::int64_t> Truncated(double x) {
    if (std::isnan(x) || !Fits64(std::trunc(x))) return std::nullopt;
    return static_cast<std::int64_t>(std::trunc(x));
}

bool RoundFits(double x) { return !std::isnan(x) && Fits64(std::nearbyint(x)); }

std::int16_t Low16(std::int64_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(v)));
}

// --- The simulator's variables.

template <typename T>
T Value(const FakeSimLink& sim, std::uint32_t offset) {
    return sim.Get<T>(offset);
}

// Applies one patch at the front of `in` and drops it from `in`.
void ApplyPatch(FakeSimLink& sim, std::span<const std::uint8_t>& in) {
    const std::uint8_t selector = in[0];
    in = in.subspan(1);
    const SimVariable& v = kSimVariables[(selector & 0x7Fu) % kSimVariables.size()];
    std::array<std::uint8_t, 8> bytes{};
    if (selector & kSpecialValueBit) {
        if (in.empty()) return;
        const std::uint8_t index = in[0];
        in = in.subspan(1);
        if (v.kind == ValueKind::F64) {
            const double d = kSpecialDoubles[index % kSpecialDoubles.size()];
            std::memcpy(bytes.data(), &d, 8);
        } else if (v.kind == ValueKind::F32) {
            const float f = kSpecialFloats[index % kSpecialFloats.size()];
            std::memcpy(bytes.data(), &f, 4);
        } else {
            const unsigned which = index % kSpecialIntegers;
            const std::uint8_t top = v.size - 1;
            for (std::size_t i = 0; i < v.size; ++i) {
                const std::uint8_t repeated = static_cast<std::uint8_t>(which);
                bytes[i] = which == 0   ? 0
                           : which == 1 ? (i == 0 ? 1 : 0)
                           : which == 2 ? 0xFF
                           : which == 3 ? (i == top ? 0x80 : 0)
                           : which == 4 ? (i == top ? 0x7F : 0xFF)
                                        : repeated;
            }
        }
    } else {
        const std::size_t n = std::min<std::size_t>(v.size, in.size());
        std::memcpy(bytes.data(), in.data(), n);
        in = in.subspan(n);
    }
    std::memcpy(&sim.image[v.offset], bytes.data(), v.size);
}

struct EngineValues {
    std::uint16_t rpmRaw = 0, rpmScaler = 0, manifoldRaw = 0;
    double egt = 0, oilTemp = 0, oilPressure = 0, fuelFlow = 0, cht = 0, fuelPressure = 0;
};

EngineValues ReadEngine(const FakeSimLink& sim, std::size_t n) {
    const offsets::EngineOffsets& at = offsets::kEngine[n];
    EngineValues e;
    e.rpmRaw = Value<std::uint16_t>(sim, at.rpm);
    e.rpmScaler = Value<std::uint16_t>(sim, at.rpmScaler);
    e.manifoldRaw = Value<std::uint16_t>(sim, at.manifold);
    e.egt = Value<double>(sim, at.egt);
    e.oilTemp = Value<double>(sim, at.oilTemp);
    e.oilPressure = Value<double>(sim, at.oilPressure);
    e.fuelFlow = Value<double>(sim, at.fuelFlow);
    e.cht = Value<double>(sim, at.cht);
    e.fuelPressure = Value<double>(sim, at.fuelPressure);
    return e;
}

// --- What a tick must send, from the schedule and the values.

struct Expected {
    std::string name;           // "echo 16", "attitude", "airdata", "port 3 $PMRRV28", "item 33/5"
    std::int64_t a = 0, b = 0;  // values the frame must carry (see CheckFrame)
};

class Model {
public:
    explicit Model(const std::uint8_t* setup) {
        engines_ = std::min<unsigned>(setup[0], 4);
        split_ = setup[1];
        sl30_ = setup[2];
        sl40_ = setup[3];
        tick_ = setup[4] % 10;
        rpm_ = setup[5] % 4;
        radio_ = setup[6] % 80;
        engine_ = setup[7] % 15;
        bankCommand_ = static_cast<std::int16_t>(setup[9] | (setup[10] << 8));
        pitchCommand_ = static_cast<std::int16_t>(setup[11] | (setup[12] << 8));
        for (const std::uint8_t port : {sl30_, sl40_})
            if (port >= 1 && port <= 5)
                mask_ = static_cast<std::uint16_t>(mask_ | (1u << (port - 1)));
    }

    void Prime(BridgeState& s) const {
        s.Settings.EGTCHTSplit = split_;
        s.Settings.SL30Port = sl30_;
        s.Settings.SL40Port = sl40_;
        s.Counters.TickPhase = tick_;
        s.Counters.RpmPhase = rpm_;
        s.Counters.RadioPhase = radio_;
        s.Counters.EnginePhase = engine_;
        s.Servos.BankServoCommand = bankCommand_;
        s.Servos.PitchServoCommand = pitchCommand_;
    }

    // Sets up the bridge for the tick as the receiver and the connect would,
    // and returns what the tick must send.
    std::vector<Expected> Tick(std::uint8_t control, CycleWorld& w) {
        using namespace tick_control;
        BridgeState& s = w.state;
        std::vector<Expected> out;
        if (control & kBankEcho) s.Servos.BankEchoPending = bankEcho_ = true;
        if (control & kPitchEcho) s.Servos.PitchEchoPending = pitchEcho_ = true;
        const bool bankEngaged = (control & kBankEngaged) != 0;
        const bool pitchEngaged = (control & kPitchEngaged) != 0;
        s.Servos.BankServoEngaged = bankEngaged;
        s.Servos.PitchServoEngaged = pitchEngaged;
        s.Servos.BankEngageBit = bankEngaged ? 1 : 0;
        s.Servos.PitchEngageBit = pitchEngaged ? 1 : 0;
        s.Link.SimLinkUp = (control & kLinkDown) == 0;
        if (!s.Link.SimLinkUp) return out;
        if (control & kExchangeFails) w.sim.failNext = SimLinkResult::TimedOut;

        tick_ = static_cast<std::uint8_t>((tick_ + 1) % 10);
        const bool halfRate = (tick_ & 1u) != 0;
        if (bankEngaged) bankPosition_ = bankCommand_;
        if (pitchEngaged) pitchPosition_ = pitchCommand_;
        if (bankEcho_) out.push_back({"echo 16", s.Servos.BankEngageBit, bankPosition_});
        if (pitchEcho_) out.push_back({"echo 17", s.Servos.PitchEngageBit, pitchPosition_});
        bankEcho_ = pitchEcho_ = false;

        const bool success = (control & kExchangeFails) == 0;
        if (success) {
            const FakeSimLink& sim = w.sim;
            if (!bankEngaged) bankPosition_ = Value<std::int16_t>(sim, offsets::kAileron);
            if (!pitchEngaged) pitchPosition_ = Value<std::int16_t>(sim, offsets::kElevator);
            if (const auto bank = Truncated(Value<double>(sim, offsets::kBank) * 100.0)) {
                bankCenti_ = *bank;
                if (const auto pitch = Truncated(-Value<double>(sim, offsets::kPitch) * 100.0))
                    pitchCenti_ = *pitch;
            }
            out.push_back({"attitude", bankCenti_, pitchCenti_});
            if (halfRate) {
                const auto gpsMm = Truncated(Value<double>(sim, offsets::kGpsAltitude) * 1000);
                if (gpsMm && RoundFits(Value<double>(sim, offsets::kAmbientPressure) * 4.788026))
                    out.push_back({"airdata", *gpsMm, mask_});
                for (std::size_t n = 0; n < engines_; ++n) snapshot_[n] = ReadEngine(sim, n);
            }
        }
        PeriodicOutputs(out);
        return out;
    }

    void CheckCounters(const BridgeState& s) const {
        FUZZ_CHECK(s.Counters.TickPhase == tick_ && s.Counters.RpmPhase == rpm_ &&
                   s.Counters.RadioPhase == radio_ && s.Counters.EnginePhase == engine_);
    }

    unsigned split() const { return split_; }

private:
    void Item(std::vector<Expected>& out, unsigned n, unsigned kind, std::int64_t a = 0,
              std::int64_t b = 0) const {
        out.push_back({"item " + std::to_string(31 + n) + "/" + std::to_string(kind), a, b});
    }

    void PeriodicOutputs(std::vector<Expected>& out) {
        bool rpmDue = false;
        bool fuelFlowDue = false;
        if (++rpm_ == 4) {
            rpm_ = 0;
            rpmDue = true;
        }
        if (++radio_ % 10 == 0) RadioSentences(out);
        if (radio_ >= 80) {
            radio_ = 0;
            fuelFlowDue = true;
        }
        ++engine_;
        for (unsigned n = 1; fuelFlowDue && n <= engines_; ++n)
            if (Truncated(snapshot_[n - 1].fuelFlow * 4.92)) Item(out, n, 1);
        for (unsigned n = 1; rpmDue && n <= engines_; ++n) Item(out, n, 8);
        for (unsigned n = 1; engine_ == 3 && n <= engines_; ++n) {
            const EngineValues& e = snapshot_[n - 1];
            if (RoundFits((e.oilTemp * 0.555555 - 273) * 8.2) &&
                RoundFits(e.oilPressure / 20885.43 * 4095))
                Item(out, n, 5);
            if (RoundFits(e.fuelPressure / 20885.43 * 4095)) Item(out, n, 6);
        }
        for (unsigned n = 1; engine_ == 10 && n <= engines_; ++n) Item(out, n, 7);
        if (engine_ < 15) return;
        engine_ = 0;
        for (unsigned n = 1; n <= engines_; ++n) {
            const EngineValues& e = snapshot_[n - 1];
            const auto egt = Truncated((e.egt - 491.67) * 5 / 9);
            const auto cht = Truncated((e.cht - 34) / 1.8);
            if (!egt || !cht) continue;
            for (unsigned kind = 2; kind <= 4; ++kind) Item(out, n, kind, *egt, *cht);
        }
    }

    void RadioSentences(std::vector<Expected>& out) const {
        static constexpr const char* kSl30[] = {"$PMRRV21", "$PMRRV22", "$PMRRV23",
                                                "$PMRRV24", "$PMRRV28", "$PMRRV35"};
        if (sl30_ >= 1 && sl30_ <= 5)
            for (const char* head : kSl30)
                out.push_back({"port " + std::to_string(sl30_) + " " + head});
        if (sl40_ >= 1 && sl40_ <= 5)
            out.push_back({"port " + std::to_string(sl40_) + " $PMRRC01"});
    }

    unsigned engines_ = 0;
    std::uint8_t split_ = 0, sl30_ = 0, sl40_ = 0;
    std::uint8_t tick_ = 0, rpm_ = 0, radio_ = 0, engine_ = 0;
    std::uint16_t mask_ = 0;
    std::int16_t bankCommand_ = 0, pitchCommand_ = 0;
    std::int16_t bankPosition_ = 0, pitchPosition_ = 0;
    bool bankEcho_ = false, pitchEcho_ = false;
    std::int64_t bankCenti_ = 0, pitchCenti_ = 0;
    std::array<EngineValues, 4> snapshot_{};
};

// --- What the tick sent.

std::string NameOf(const boxproto::Frame& frame) {
    if (frame.kind == 0) return "airdata";
    if (frame.kind == 1) return "attitude";
    if (const auto item = boxproto::AsItem(frame)) {
        if (item->address == 16 || item->address == 17)
            return "echo " + std::to_string(item->address);
        return "item " + std::to_string(item->address) + "/" + std::to_string(item->itemKind);
    }
    if (const auto text = boxproto::AsPortText(frame))
        return "port " + std::to_string(text->port) + " " + text->text.substr(0, 8);
    return "other";
}

bool AllZero(const boxproto::Frame& f, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i <= to; ++i)
        if (f.bytes[i] != 0) return false;
    return true;
}

bool Digits(const std::string& s, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

void CheckSentence(const std::string& s) {
    CheckRadioSentence(s);
    const std::string head = s.substr(0, 8);
    const std::size_t dataEnd = s.size() - 4;
    if (head == "$PMRRV21") {
        FUZZ_CHECK(s.size() == 18);
        const std::string status = s.substr(12, 2);
        FUZZ_CHECK(status == "<0" || status == "?0" || status == "?2");
    } else if (head == "$PMRRV22") {
        FUZZ_CHECK(s[8] == 'V' && Digits(s, 9, dataEnd));
        FUZZ_CHECK(dataEnd == 9 || (dataEnd >= 12 && dataEnd <= 14));
    } else if (head == "$PMRRV23" || head == "$PMRRV24") {
        FUZZ_CHECK((s[8] == 'V' || s[8] == '0') && Digits(s, 9, dataEnd));
        FUZZ_CHECK(dataEnd == 9 || dataEnd == 13);  // a radial in tenths, 0000..3599
    }
}

void CheckItem(const boxproto::Item& item, const Expected& e, unsigned split) {
    const auto& p = item.payload;
    if (item.address == 16 || item.address == 17) {
        FUZZ_CHECK(p.size() == 5 && item.itemKind == 1);
        FUZZ_CHECK(p[0] == e.a && p[3] == 70 && p[4] == 0);
        const auto position = static_cast<std::int16_t>(p[1] | (p[2] << 8));
        FUZZ_CHECK(position == Low16(1024 - e.b / 32));
        return;
    }
    FUZZ_CHECK(p.size() == (item.itemKind == 7 ? 4u : 8u));
    std::array<std::int16_t, 4> w{};
    for (std::size_t i = 0; i < p.size() / 2; ++i) w[i] = item.Word(i);
    switch (item.itemKind) {
        case 1:  // fuel flow
            FUZZ_CHECK(w[1] == 500 && w[2] == 0 && w[3] == 500);
            break;
        case 2:
        case 3:
        case 4: {  // thermocouple channels by the split
            static constexpr unsigned kPerValue[] = {1, 2, 4, 6};
            const unsigned perValue = split < 4 ? kPerValue[split] : 0;
            for (unsigned i = 0; i < 4; ++i) {
                const unsigned channel = (item.itemKind - 2u) * 4u + i;
                const std::int16_t want = channel < perValue       ? Low16(e.a)
                                          : channel < 2 * perValue ? Low16(e.b)
                                                                   : 0;
                FUZZ_CHECK(w[i] == want);
            }
            break;
        }
        case 5:  // oil temperature and pressure counts
            FUZZ_CHECK(w[0] >= 0 && w[0] <= 4095 && w[1] >= 0 && w[1] <= 4095);
            FUZZ_CHECK(w[2] == 0 && w[3] == 0);
            break;
        case 6:  // fuel pressure count
            FUZZ_CHECK(w[0] >= 0 && w[0] <= 4095 && w[1] == 0 && w[2] == 0 && w[3] == 0);
            break;
        case 7: FUZZ_CHECK(w[0] == 0 && w[1] == 0); break;
        case 8:  // RPM twice, manifold (at most 65535 / 1024 * 51), 2048
            FUZZ_CHECK(w[0] == w[1] && w[2] >= 0 && w[2] <= 3263 && w[3] == 2048);
            break;
        default: FUZZ_CHECK(!"an item kind the bridge does not send");
    }
}

void CheckFrame(const boxproto::Frame& f, const Expected& e, unsigned split) {
    if (f.kind == 1) {
        FUZZ_CHECK(AllZero(f, 3, 6) && AllZero(f, 13, 18));
        FUZZ_CHECK(boxproto::BodyI16(f, 7) == boxproto::BodyI16(f, 9));
        FUZZ_CHECK(boxproto::BodyI16(f, 19) == Low16(e.a));
        FUZZ_CHECK(boxproto::BodyI16(f, 21) == Low16(e.b));
        const auto ball = static_cast<std::int8_t>(f.bytes[25]);
        FUZZ_CHECK(ball >= -50 && ball <= 50);
    } else if (f.kind == 0) {
        FUZZ_CHECK(AllZero(f, 15, 18) && AllZero(f, 23, 34) && AllZero(f, 53, 54) &&
                   AllZero(f, 61, 66));
        FUZZ_CHECK(boxproto::BodyI32(f, 19) ==
                   static_cast<std::int32_t>(static_cast<std::uint64_t>(e.a)));
        FUZZ_CHECK(static_cast<std::uint16_t>(boxproto::BodyI16(f, 67)) == e.b);
        FUZZ_CHECK(f.bytes[69] == 3 && f.bytes[70] == 6);
    } else if (const auto item = boxproto::AsItem(f)) {
        CheckItem(*item, e, split);
    } else if (const auto text = boxproto::AsPortText(f)) {
        CheckSentence(text->text);
    } else {
        FUZZ_CHECK(!"a frame the main cycle does not send");
    }
}

}  // namespace
}  // namespace bridge::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bridge;
    using namespace bridge::fuzzing;
    if (size < kSimValuesSetupSize) return 0;
    CycleWorld& w = TheCycleWorld();
    w.sim = FakeSimLink{};
    w.port.written.clear();
    w.view = FakeView{};
    BridgeState& state = w.state;
    state = BridgeState{};
    state.Engines.EngineAddressBase = 32;
    state.Settings.NumberOfEngines = data[0];
    Model model(data);
    model.Prime(state);
    ComputeRadioPortMask(state.Settings, state.BoxPorts);
    BindBoxLine(&w.port);

    std::span<const std::uint8_t> in(data + kSimValuesSetupSize, size - kSimValuesSetupSize);
    const unsigned ticks = (data[8] & kTickCountMask) + 1u;
    for (unsigned t = 0; t < ticks; ++t) {
        std::uint8_t control = 0;
        if (in.size() >= 2) {
            control = in[0];
            unsigned patches = in[1] % kPatchCountModulo;
            in = in.subspan(2);
            while (patches-- > 0 && !in.empty()) ApplyPatch(w.sim, in);
        } else {
            in = {};
        }
        const std::vector<Expected> expected = model.Tick(control, w);
        w.cycle.Tick();
        w.sim.failNext.reset();
        const std::vector<boxproto::Frame> frames = DecodeSentFrames(w.port.TakeWritten());
        FUZZ_CHECK(frames.size() == expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            FUZZ_CHECK(NameOf(frames[i]) == expected[i].name);
            CheckFrame(frames[i], expected[i], model.split());
        }
        model.CheckCounters(state);
    }
    BindBoxLine(nullptr);
    return 0;
}
