// The log file on Windows: the folder %LOCALAPPDATA%\<application title>\logs,
// one file per start named by its start and the process id, the newest 20
// kept. The file is open for writing by this process alone and others may
// read it but not delete it, so a bridge that tidies the folder never
// removes the file of another bridge that runs.
#pragma once

#include <filesystem>
#include <memory>

#include "app/record/log_file.h"

namespace bridge::gui {

inline constexpr std::size_t kLogFilesKept = 20;

// `perUserFolder`\logs; empty when there is no per-user folder.
std::filesystem::path LogFolder(const std::filesystem::path& perUserFolder);

// Makes the folder, removes the oldest files beyond the 19 newest, and opens
// the new file `path`; null when the folder or the file cannot be made.
std::unique_ptr<LogSink> OpenLogFile(const std::filesystem::path& folder,
                                     const std::filesystem::path& path);

}  // namespace bridge::gui
