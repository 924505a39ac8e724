#include "app/settings/profile_file.h"

#include <fstream>
#include <optional>
#include <vector>

namespace bridge {
namespace {

constexpr std::string_view kNewLine = "\r\n";

// One line of the file: its text is [begin, end), without CR LF or LF; the
// next line starts at next. Only a LF ends a line: the last line of a file may
// end in a lone CR and still be unfinished.
struct Line {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
    bool ended;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t newline = text.find('\n', begin);
        const std::size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
        std::size_t end = newline == std::string_view::npos ? text.size() : newline;
        if (end > begin && text[end - 1] == '\r') --end;
        lines.push_back({begin, end, next, newline != std::string_view::npos});
        begin = next;
    }
    return lines;
}

std::string_view Trim(std::string_view s) {
    constexpr std::string_view kBlanks = " \t\r";
    const std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key };

// A line as the profile rules see it: for a section its name, for a key its
// name and value, all trimmed.
struct ParsedLine {
    LineKind kind;
    std::string_view name;
    std::string_view value;
};

ParsedLine Parse(std::string_view lineText) {
    const std::string_view text = Trim(lineText);
    if (text.empty()) return {LineKind::Blank, {}, {}};
    if (text.front() == ';') return {LineKind::Comment, {}, {}};
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        const std::size_t length = close == std::string_view::npos ? text.size() - 1 : close - 1;
        return {LineKind::Section, Trim(text.substr(1, length)), {}};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return {LineKind::Key, text, {}};
    return {LineKind::Key, Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

// Where a key stands in the file: the first section of that name, the line of
// the key within it, and the section's last line that is not blank (the place
// for a new key).
struct KeyPlace {
    std::optional<std::size_t> lastSectionLine;
    std::optional<std::size_t> keyLine;
};

KeyPlace Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    KeyPlace place;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine line = Parse(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
        if (line.kind == LineKind::Section) {
            if (place.lastSectionLine) break;  // only the first section of that name counts
            inSection = SameName(line.name, section);
            if (inSection) place.lastSectionLine = i;
            continue;
        }
        if (!inSection || line.kind == LineKind::Blank) continue;
        place.lastSectionLine = i;
        if (line.kind == LineKind::Key && !place.keyLine && SameName(line.name, key)) {
            place.keyLine = i;
        }
    }
    return place;
}

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool EndsWithBlankLine(std::string_view text, const std::vector<Line>& lines) {
    if (lines.empty()) return true;
    const Line& last = lines.back();
    return last.next != last.end && Trim(text.substr(last.begin, last.end - last.begin)).empty();
}

std::string KeyLine(std::string_view key, std::string_view value) {
    std::string line(key);
    line += '=';
    line += value;
    return line;
}

// The file's text; empty when it does not exist. Nothing when it exists but
// cannot be read (this user may not read it, another program holds it without
// read sharing, or whether it exists cannot be told), so that a write never
// replaces a file it could not read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(path, error);
        if (status.type() == std::filesystem::file_type::not_found) return std::string();
        return std::nullopt;
    }
    std::string text;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return std::nullopt;
    return text;
}

bool WriteWholeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

}  // namespace

std::string FindProfileValue(std::string_view text, std::string_view section,
                             std::string_view key) {
    const std::vector<Line> lines = SplitLines(text);
    const KeyPlace place = Locate(text, lines, section, key);
    if (!place.keyLine) return {};
    const Line& line = lines[*place.keyLine];
    const std::string_view value =
        Unquoted(Parse(text.substr(line.begin, line.end - line.begin)).value);
    return std::string(value.substr(0, kProfileValueMax));
}

std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
    const std::vector<Line> lines = SplitLines(text);
    const KeyPlace place = Locate(text, lines, section, key);
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    if (place.keyLine) {
        // The key keeps its place and its spelling; only its line changes.
        const Line& line = lines[*place.keyLine];
        const ParsedLine parsed = Parse(text.substr(line.begin, line.end - line.begin));
        out.append(text.substr(0, line.begin));
        out += KeyLine(parsed.name, value);
        out.append(text.substr(line.end));
        return out;
    }
    if (place.lastSectionLine) {
        const Line& after = lines[*place.lastSectionLine];
        out.append(text.substr(0, after.next));
        if (!after.ended) out += kNewLine;  // the file ended without a line end
        out += KeyLine(key, value);
        out += kNewLine;
        out.append(text.substr(after.next));
        return out;
    }
    out.append(text);
    if (!text.empty() && text.back() != '\n') out += kNewLine;
    if (!EndsWithBlankLine(text, lines)) out += kNewLine;
    out += '[';
    out += section;
    out += ']';
    out += kNewLine;
    out += KeyLine(key, value);
    out += kNewLine;
    return out;
}

std::string ReadProfileString(const std::filesystem::path& path, std::string_view section,
                              std::string_view key) {
    const std::optional<std::string> text = ReadWholeFile(path);
    return text ? FindProfileValue(*text, section, key) : std::string();
}

bool WriteProfileString(const std::filesystem::path& path, std::string_view section,
                        std::string_view key, std::string_view value) {
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text) return false;
    return WriteWholeFile(path, WithProfileValue(*text, section, key, value));
}

}  // namespace bridge
