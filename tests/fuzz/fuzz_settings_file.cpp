// The settings file as any editor may have left it, through the settings
// reader and back through the writer. The input is the whole file. Besides the
// sanitizers' checks:
// - the five values read are the low 8 bits of what the profile rules give
//   (a reference reading below, written apart from the bridge's own);
// - after the five settings (values chosen from the input) are written over
//   the file, each key holds exactly its decimal value and reads back as it;
// - every other key of every section keeps its value, and every line of the
//   file other than the five keys' lines is still there, in its order.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/settings/profile_file.h"
#include "app/settings/settings_file.h"
#include "state/bridge_state.h"
#include "tests/fuzz/fuzz_checks.h"
#include "tests/fuzz/fuzz_temp_folder.h"

namespace bridge::fuzzing {
namespace {

constexpr std::array<const char*, 5> kKeys = {"CommsPort", "SL30Port", "SL40Port", "EGTCHTSplit",
                                              "NumberOfEngines"};
constexpr std::array<std::uint8_t BridgeSettings::*, 5> kFields = {
    &BridgeSettings::CommsPort, &BridgeSettings::SL30Port, &BridgeSettings::SL40Port,
    &BridgeSettings::EGTCHTSplit, &BridgeSettings::NumberOfEngines};

std::string SettingsPath() {
    static const FuzzTempFolder folder("bridge-fuzz-settings");
    return SettingsFilePath(folder.Folder()).string();
}

// --- The reference reading, by the profile rules: lines split at LF (a CR
// before it belongs to the line end); blanks (space, tab, CR) around lines,
// names and values do not count; ';' starts a comment line; "[name" up to the
// first ']' names a section; any other line is "name=value" or a name alone;
// names match regardless of letter case; the first section of a name and the
// first key of a name in it count; one pair of matching quotes around a value
// is removed, and a value is cut after 2047 characters.

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    }
    return lines;
}

struct KeyEntry {
    std::string value;
    std::size_t line;
};

// Section and key names in lower case.
using KeyName = std::pair<std::string, std::string>;
using Keys = std::map<KeyName, KeyEntry>;

// Every key that a lookup can reach.
Keys ReachableKeys(std::string_view text) {
    Keys keys;
    std::set<std::string> sectionsSeen;
    std::optional<std::string> section;  // none before the first header, or in a repeated one
    const std::vector<std::string_view> lines = Lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view t = Trimmed(lines[i]);
        if (t.empty() || t.front() == ';') continue;
        if (t.front() == '[') {
            const std::string name = Lower(Trimmed(t.substr(1, t.find(']') - 1)));
            const bool first = sectionsSeen.insert(name).second;
            section = first ? std::optional<std::string>(name) : std::nullopt;
            continue;
        }
        if (!section) continue;
        const std::size_t equals = t.find('=');
        KeyName name{*section, Lower(Trimmed(t.substr(0, equals)))};
        if (keys.count(name) != 0) continue;
        std::string_view value =
            equals == std::string_view::npos ? std::string_view() : Trimmed(t.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        keys.emplace(std::move(name), KeyEntry{std::string(value.substr(0, kProfileValueMax)), i});
    }
    return keys;
}

const KeyEntry* Find(const Keys& keys, std::string_view section, std::string_view key) {
    const auto found = keys.find({Lower(section), Lower(key)});
    return found == keys.end() ? nullptr : &found->second;
}

// "0x"/"0X" (with at least one character after it) or "$", then hexadecimal
// of up to 32 bits; otherwise a decimal number in the 32-bit signed range with
// an optional sign; anything else is 0.
std::int64_t NumberOf(std::string_view text) {
    const bool hex0x = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const bool hexDollar = !text.empty() && text[0] == '$';
    if (hex0x || hexDollar) {
        const std::string_view digits = text.substr(hex0x ? 2 : 1);
        std::uint64_t v = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), v, 16);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            v > 0xFFFFFFFFu)
            return 0;
        return static_cast<std::int64_t>(v);
    }
    std::string_view digits = text;
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    if (digits.empty() || (digits[0] == '-' && text[0] == '+')) return 0;
    std::int64_t v = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (error != std::errc() || end != digits.data() + digits.size()) return 0;
    if (v < -2147483648LL || v > 2147483647LL) return 0;
    return v;
}

std::uint8_t ExpectedSetting(const Keys& keys, const char* key) {
    const KeyEntry* entry = Find(keys, kSettingsSection, key);
    return static_cast<std::uint8_t>(
        static_cast<std::uint64_t>(entry ? NumberOf(entry->value) : 0) & 0xFFu);
}

// --- The run.

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ReadAndCheck(const std::string& path, const Keys& keys, BridgeSettings& settings) {
    for (const auto field : kFields) settings.*field = 0xEE;
    ReadSettings(path, settings);
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        FUZZ_CHECK(settings.*kFields[i] == ExpectedSetting(keys, kKeys[i]));
}

bool IsSettingKey(const KeyName& name) {
    if (name.first != Lower(kSettingsSection)) return false;
    for (const char* key : kKeys)
        if (name.second == Lower(key)) return true;
    return false;
}

// A line as kept: a CR left at the end of a file without line end stays,
// followed by the CR LF that ends the line once something is added after it.
std::vector<std::string_view> KeptLines(std::string_view text) {
    std::vector<std::string_view> lines = Lines(text);
    for (auto& line : lines)
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return lines;
}

// The lines of `before` other than `replaced` appear in `after` in their order.
bool KeepsLines(std::string_view before, std::string_view after,
                const std::vector<std::size_t>& replaced) {
    const std::vector<std::string_view> old = KeptLines(before);
    const std::vector<std::string_view> now = KeptLines(after);
    std::size_t at = 0;
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (std::find(replaced.begin(), replaced.end(), i) != replaced.end()) continue;
        while (at < now.size() && now[at] != old[i]) ++at;
        if (at == now.size()) return false;
        ++at;
    }
    return true;
}

}  // namespace
}  // namespace bridge::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bridge;
    using namespace bridge::fuzzing;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = SettingsPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        FUZZ_CHECK(out.good());
    }
    BridgeSettings settings{};
    const Keys keys = ReachableKeys(text);
    ReadAndCheck(path, keys, settings);

    // Values to write, spread over 0..255 by a hash of the file.
    std::uint32_t hash = 2166136261u;
    for (const std::uint8_t b : text) hash = (hash ^ b) * 16777619u;
    std::array<std::uint8_t, 5> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        hash = hash * 1103515245u + 12345u;
        values[i] = static_cast<std::uint8_t>(hash >> 24);
        settings.*kFields[i] = values[i];
    }
    FUZZ_CHECK(!WriteSettings(path, settings).has_value());

    const std::string written = FileText(path);
    const Keys after = ReachableKeys(written);
    ReadAndCheck(path, after, settings);
    std::vector<std::size_t> replaced;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const KeyEntry* entry = Find(after, kSettingsSection, kKeys[i]);
        FUZZ_CHECK(entry != nullptr && entry->value == std::to_string(values[i]));
        if (const KeyEntry* old = Find(keys, kSettingsSection, kKeys[i])) {
            replaced.push_back(old->line);
        }
    }
    for (const auto& [name, entry] : keys) {
        if (IsSettingKey(name)) continue;
        const auto now = after.find(name);
        FUZZ_CHECK(now != after.end() && now->second.value == entry.value);
    }
    FUZZ_CHECK(KeepsLines(text, written, replaced));
    return 0;
}
