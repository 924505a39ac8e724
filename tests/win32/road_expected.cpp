#include "tests/win32/road_expected.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "tools/box_protocol/radio_sentences.h"
#include "tools/sim_emulator/flight_script.h"

namespace bridge::testing::road {
namespace {

// A whole number already rounded or truncated, checked to fit before converting.
std::int64_t Whole(double x) {
    if (!(std::fabs(x) < 9.0e18)) {
        ADD_FAILURE() << "no whole number for " << x;
        return 0;
    }
    return static_cast<std::int64_t>(x);
}
std::int64_t TruncOf(double x) { return Whole(std::trunc(x)); }
std::int64_t RoundOf(double x) { return Whole(std::nearbyint(x)); }  // ties to even

void Put16(Bytes& frame, std::size_t at, std::int64_t value) {
    const auto v = static_cast<std::uint64_t>(value);
    frame[at] = static_cast<std::uint8_t>(v);
    frame[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& frame, std::size_t at, std::int64_t value) {
    Put16(frame, at, value);
    Put16(frame, at + 2, static_cast<std::int64_t>(static_cast<std::uint64_t>(value) >> 16));
}

// Header 05 82 kind; sum and xor of bytes 3 .. size - 3 in the last two.
void Seal(Bytes& frame, std::uint8_t kind) {
    frame[0] = 0x05;
    frame[1] = 0x82;
    frame[2] = kind;
    std::uint8_t sum = 0, x = 0;
    for (std::size_t i = 3; i + 2 < frame.size(); ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[i]);
        x = static_cast<std::uint8_t>(x ^ frame[i]);
    }
    frame[frame.size() - 2] = sum;
    frame[frame.size() - 1] = x;
}

std::uint16_t Count12Bit(double x) {
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(RoundOf(x), 0, 4095));
}
constexpr double kTenBarPsf = 20885.43;

double Degrees1e7(double degrees) {
    return std::nearbyint(static_cast<double>(static_cast<float>(degrees)) * 10000000.0);
}

std::string Nibbles(std::int32_t v) {
    const auto high = static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) >> 4) + 0x30u);
    const auto low = static_cast<std::uint8_t>((static_cast<std::uint32_t>(v) & 0x0Fu) + 0x30u);
    return {static_cast<char>(high), static_cast<char>(low)};
}

std::string Letters(std::uint16_t bcd, std::uint32_t low, std::uint32_t high) {
    const std::uint32_t f = std::clamp(KhzOfBcd(bcd), low, high);
    return {static_cast<char>(f / 1000 - 48), static_cast<char>(f % 1000 / 25 + 48)};
}
std::string NavLetters(std::uint16_t bcd) { return Letters(bcd, 108000, 117975); }
std::string ComLetters(std::uint16_t bcd) { return Letters(bcd, 118000, 136000); }

std::string ZeroPadded(std::uint32_t n, std::size_t width) {
    std::string digits = std::to_string(n);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string Finished(const std::string& sentence) {
    return sentence + boxproto::SentenceChecksum(sentence) + "\r\n";
}

template <typename T>
T Raw(const simemu::Image& m, std::uint32_t at) {
    using Unsigned = std::conditional_t<
        sizeof(T) == 1, std::uint8_t,
        std::conditional_t<sizeof(T) == 2, std::uint16_t,
                           std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    const Unsigned bits = simemu::GetLittle<Unsigned>(m, at);
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

std::unique_ptr<simemu::Image> FixedServedImage() {
    auto image = std::make_unique<simemu::Image>();
    image->fill(0);
    simemu::WriteControlValues(simemu::ControlValues{}, *image);
    simemu::WriteFlightValues(simemu::FixedFlightValues(), *image);
    return image;
}

// Offsets as the simulator publishes them; engine offsets below 0x1000 step
// up by 0x98 per engine, those from 0x3000 up step down by 0xC0.
ServedValues ReadServedValues(const simemu::Image& m) {
    ServedValues v{};
    v.pitchDeg = Raw<double>(m, 0x2F70);
    v.bankDeg = Raw<double>(m, 0x2F78);
    v.turnRateRaw = Raw<std::int16_t>(m, 0x037C);
    v.ballRaw = Raw<std::int8_t>(m, 0x036E);
    v.compassDeg = Raw<double>(m, 0x02CC);
    v.gyroDeg = Raw<double>(m, 0x2B00);
    v.gForceRaw = Raw<std::int16_t>(m, 0x11BA);
    v.latitudeRaw = Raw<std::int64_t>(m, 0x0560);
    v.longitudeRaw = Raw<std::int64_t>(m, 0x0568);
    v.headingRaw = Raw<std::uint32_t>(m, 0x0580);
    v.gpsGroundSpeed = Raw<double>(m, 0x6030);
    v.gpsAltitude = Raw<double>(m, 0x6020);
    v.altitudeMetres = Raw<std::int32_t>(m, 0x0574);
    v.iasRaw = Raw<std::int32_t>(m, 0x02BC);
    v.verticalSpeedRaw = Raw<std::int32_t>(m, 0x02C8);
    v.oatRaw = Raw<std::int16_t>(m, 0x0E8C);
    v.ambientPressure = Raw<double>(m, 0x28C8);
    v.altimeterSetting = Raw<std::uint16_t>(m, 0x0330);
    v.nav1Cdi = Raw<float>(m, 0x2AAC);
    v.nav1Gs = Raw<float>(m, 0x2AB0);
    v.navFlags = Raw<std::uint16_t>(m, 0x3300);
    v.nav1Obs = Raw<std::uint16_t>(m, 0x0C4E);
    v.nav1Radial = Raw<std::uint16_t>(m, 0x0C50);
    v.nav2Radial = Raw<std::uint16_t>(m, 0x0C60);
    v.com1Active = Raw<std::uint16_t>(m, 0x034E);
    v.com1Standby = Raw<std::uint16_t>(m, 0x311A);
    v.nav1Active = Raw<std::uint16_t>(m, 0x0350);
    v.nav1Standby = Raw<std::uint16_t>(m, 0x311E);
    v.com2Active = Raw<std::uint16_t>(m, 0x3118);
    v.com2Standby = Raw<std::uint16_t>(m, 0x311C);
    for (std::uint32_t e = 0; e < 4; ++e) {
        const std::uint32_t up = 0x98 * e, down = 0xC0 * e;
        ServedValues::Engine& g = v.engines[e];
        g.rpmRaw = Raw<std::uint16_t>(m, 0x0898 + up);
        g.rpmScaler = Raw<std::uint16_t>(m, 0x08C8 + up);
        g.egtRankine = Raw<double>(m, 0x3B70 - down);
        g.oilTempRankine = Raw<double>(m, 0x3B58 - down);
        g.oilPressurePsf = Raw<double>(m, 0x3B60 - down);
        g.manifoldRaw = Raw<std::uint16_t>(m, 0x08C0 + up);
        g.fuelFlowPph = Raw<double>(m, 0x0918 + up);
        g.chtFahrenheit = Raw<double>(m, 0x08E8 + up);
        g.fuelPressurePsf = Raw<double>(m, 0x3868 - down);
    }
    return v;
}

Bytes ExpectedAttitudeFrame(const ServedValues& v, bool halfRateValuesKnown) {
    Bytes f(28, 0);
    const std::int64_t g = RoundOf(v.gForceRaw / 0.624);
    Put16(f, 7, g);
    Put16(f, 9, g);
    if (halfRateValuesKnown) {
        Put16(f, 11, v.turnRateRaw / 17);
        Put16(f, 23, TruncOf(v.gyroDeg * 100.0));
    }
    Put16(f, 19, TruncOf(v.bankDeg * 100.0));
    Put16(f, 21, TruncOf(-v.pitchDeg * 100.0));
    f[25] = static_cast<std::uint8_t>(TruncOf(v.ballRaw / 2.54));
    Seal(f, 1);
    return f;
}

Bytes ExpectedAirDataFrame(const ServedValues& v, std::uint16_t radioPortMask) {
    Bytes f(73, 0);
    const std::int32_t verticalSpeedFpm = v.verticalSpeedRaw * 60 * 3280 / 256000;
    const double latitudeDeg = static_cast<double>(v.latitudeRaw) * 90.0 / 42957189152768000.0;
    const double longitudeDeg =
        static_cast<double>(v.longitudeRaw) * 360.0 / 18446744073709551616.0;
    const std::uint64_t headingProduct = std::uint64_t{v.headingRaw} * 360u;
    Put32(f, 3, v.altitudeMetres * 32808 / 10000);
    Put32(f, 7, Whole(Degrees1e7(longitudeDeg)));
    Put32(f, 11, Whole(Degrees1e7(latitudeDeg)));
    Put32(f, 19, TruncOf(v.gpsAltitude * 1000.0));
    Put32(f, 35, -verticalSpeedFpm / 2);
    Put32(f, 39, TruncOf(v.gpsGroundSpeed * 100.0));
    Put32(f, 43, TruncOf(static_cast<double>(headingProduct) / 42949.67296));
    Put16(f, 47, (std::uint32_t{v.altimeterSetting} * 10u) >> 4);
    Put16(f, 49, verticalSpeedFpm);
    Put16(f, 51, RoundOf(v.iasRaw / 128.0 * 18.52));
    Put16(f, 55, RoundOf(v.ambientPressure * 4.788026) * 3686 / 10000 - 389);
    Put16(f, 57, v.oatRaw / 256);
    Put16(f, 59, TruncOf(v.compassDeg * 100.0));
    Put16(f, 67, radioPortMask);
    f[69] = 3;
    f[70] = 6;
    Seal(f, 0);
    return f;
}

Bytes ItemFrame(std::uint8_t address, std::uint8_t itemKind,
                const std::vector<std::int16_t>& words) {
    const std::size_t n = words.size() * 2;
    Bytes f(n + 10, 0);
    f[3] = static_cast<std::uint8_t>(n + 6);
    f[4] = 0;  // route: item
    f[5] = 1;  // target
    Put16(f, 6, (address * 16 + itemKind) * 16 + static_cast<int>(n));
    for (std::size_t i = 0; i < words.size(); ++i) Put16(f, 8 + 2 * i, words[i]);
    Seal(f, 2);
    return f;
}

Bytes PortFrame(std::uint8_t port, const std::string& text) {
    Bytes f(text.size() + 8, 0);
    f[3] = static_cast<std::uint8_t>(text.size() + 4);
    f[4] = 1;  // route: port
    f[5] = port;
    std::copy(text.begin(), text.end(), f.begin() + 6);
    Seal(f, 2);
    return f;
}

std::vector<Bytes> ExpectedEngineItems(const ServedValues& v, unsigned n, std::uint8_t itemKind,
                                       std::uint8_t egtChtSplit) {
    const ServedValues::Engine& e = v.engines[n - 1];
    const auto address = static_cast<std::uint8_t>(32 + n - 1);
    const auto w = [](std::int64_t x) { return static_cast<std::int16_t>(Whole(x) & 0xFFFF); };
    switch (itemKind) {
        case 1: return {ItemFrame(address, 1, {w(TruncOf(e.fuelFlowPph * 4.92)), 500, 0, 500})};
        case 5: {
            const double oilTemp = (e.oilTempRankine * 0.555555 - 273.0) * 8.2;
            const std::int64_t oilTempCount =
                std::clamp<std::int64_t>(RoundOf(oilTemp) + 2230, 0, 4095);
            return {ItemFrame(
                address, 5,
                {w(oilTempCount), w(Count12Bit(e.oilPressurePsf / kTenBarPsf * 4095.0)), 0, 0})};
        }
        case 6:
            return {ItemFrame(address, 6,
                              {w(Count12Bit(e.fuelPressurePsf / kTenBarPsf * 4095.0)), 0, 0, 0})};
        case 7: return {ItemFrame(address, 7, {0, 0})};
        case 8: {
            const std::uint32_t rpm = (std::uint32_t{e.rpmRaw} * e.rpmScaler) >> 16;
            return {ItemFrame(address, 8,
                              {w(rpm), w(rpm), w(TruncOf(e.manifoldRaw / 1024.0 * 51.0)), 2048})};
        }
        case 2: {
            const std::int16_t egt = w(TruncOf((e.egtRankine - 491.67) * 5.0 / 9.0));
            const std::int16_t cht = w(TruncOf((e.chtFahrenheit - 34.0) / 1.8));
            // Splits 0..3 give the EGT the first 1, 2, 4 or 6 channels and
            // the CHT as many after them.
            constexpr std::size_t kChannelsEach[] = {1, 2, 4, 6};
            std::vector<std::int16_t> channels(12, 0);
            if (egtChtSplit <= 3) {
                const std::size_t each = kChannelsEach[egtChtSplit];
                std::fill_n(channels.begin(), each, egt);
                std::fill_n(channels.begin() + static_cast<std::ptrdiff_t>(each), each, cht);
            }
            std::vector<Bytes> items;
            for (std::uint8_t k = 0; k < 3; ++k) {
                const auto first = channels.begin() + 4 * k;
                items.push_back(ItemFrame(address, static_cast<std::uint8_t>(2 + k),
                                          std::vector<std::int16_t>(first, first + 4)));
            }
            return items;
        }
        default: ADD_FAILURE() << "no engine item kind " << int{itemKind}; return {};
    }
}

// Every radio cycle sees the same served values, so a field refreshed in one
// cycle holds the same in all; one never refreshed keeps its starting value
// (an empty text, a letter "0", a glideslope of 0).
std::vector<std::string> ExpectedSl30Sentences(const ServedValues& v) {
    const bool glideslope = (v.navFlags & 0x40u) != 0;
    const bool radials = !glideslope && (v.navFlags & 0x06u) != 0;
    std::uint8_t status = 0xC0;
    if (glideslope) status = static_cast<std::uint8_t>(status | 0x30u | (v.navFlags & 0x02u));
    const auto cdi = static_cast<std::int32_t>(TruncOf(32.24 * v.nav1Cdi));
    const auto gs = glideslope ? static_cast<std::int32_t>(TruncOf(32.24 * v.nav1Gs)) : 0;
    const auto radial = [&](std::uint16_t raw, std::uint16_t validBit) {
        if (!radials) return std::string("0");
        return std::string((v.navFlags & validBit) != 0 ? "V" : "0") +
               ZeroPadded((std::uint32_t{raw} * 3600u) >> 16, 4);
    };
    return {
        Finished("$PMRRV21" + Nibbles(cdi / 41) + Nibbles(gs / 41) + Nibbles(status)),
        Finished("$PMRRV22V" + (glideslope ? std::string() : ZeroPadded(v.nav1Obs, 3))),
        Finished("$PMRRV23" + radial(v.nav1Radial, 0x02)),
        Finished("$PMRRV24" + radial(v.nav2Radial, 0x04)),
        Finished("$PMRRV28" + NavLetters(v.nav1Active) + NavLetters(v.nav1Standby) + "N"),
        Finished("$PMRRV35" + ComLetters(v.com1Active) + ComLetters(v.com1Standby) + "R0"),
    };
}

std::string ExpectedSl40Sentence(const ServedValues& v) {
    return Finished("$PMRRC01" + ComLetters(v.com2Active) + ComLetters(v.com2Standby) + "R0");
}

std::uint32_t KhzOfBcd(std::uint16_t bcd) {
    return 100000u + ((bcd >> 12) & 0xFu) * 10000u + ((bcd >> 8) & 0xFu) * 1000u +
           ((bcd >> 4) & 0xFu) * 100u + (bcd & 0xFu) * 10u;
}

}  // namespace bridge::testing::road
