// Ids of the record's window and of its items in the main window's system
// menu. Tests find them by these, so they are part of the program's outside
// view and do not change.
#pragma once

namespace bridge::gui::ids {

// Line statistics (class TLineStatistics): its one text.
inline constexpr int kLineStatisticsText = 401;

// The main window's system menu items.
inline constexpr unsigned kLineStatisticsCommand = 0x1010;
inline constexpr unsigned kSaveReportCommand = 0x1020;
inline constexpr unsigned kOpenLogFolderCommand = 0x1030;

inline constexpr char kLineStatisticsClass[] = "TLineStatistics";

}  // namespace bridge::gui::ids
