// Reading and writing single values of an INI ("profile") file by the rules
// Windows applies to them, so that a file written by either side reads the same
// to the other: section and key names match regardless of letter case, blanks
// around names and values are ignored, lines starting with ';' are comments, and
// a write touches only the line of its key, keeping every other byte of the file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace bridge {

// The longest value text a read returns; longer values are cut.
inline constexpr std::size_t kProfileValueMax = 2047;

// The value of key in section; empty when the file, the section or the key is
// missing, or the file cannot be read. Surrounding quotes are removed.
std::string ReadProfileString(const std::filesystem::path& path, std::string_view section,
                              std::string_view key);

// Stores value under key in section: an existing key keeps its place, a new key
// goes after the last line of its section, and a missing section is added at
// the end of the file (a missing file is created). New lines end in CR LF.
// False when the file cannot be written, or exists and cannot be read: a
// file is never replaced by one that lost what could not be read.
[[nodiscard]] bool WriteProfileString(const std::filesystem::path& path, std::string_view section,
                                      std::string_view key, std::string_view value);

// The same rules on a file's text in memory.
std::string FindProfileValue(std::string_view text, std::string_view section, std::string_view key);
std::string WithProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);

}  // namespace bridge
