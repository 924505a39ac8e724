// The shell keeps its texts in UTF-8 and hands them to the system in UTF-16,
// so a path or name outside the ANSI code page (a user name in Cyrillic or
// Chinese) shows and opens as it is.
#pragma once

#include <string>
#include <string_view>

namespace bridge::gui {

std::wstring WideText(std::string_view utf8);

}  // namespace bridge::gui
