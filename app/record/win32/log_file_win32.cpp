#include "app/record/win32/log_file_win32.h"

#include <windows.h>

#include <exception>
#include <string>
#include <system_error>
#include <vector>

#include "app/record/log_text.h"
#include "app/settings/path_text.h"

namespace bridge::gui {
namespace {

class FileSink : public LogSink {
public:
    explicit FileSink(HANDLE file) : file_(file) {}
    ~FileSink() override { CloseHandle(file_); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Written through at once: a line is in the file even if the program
    // ends abruptly after it.
    bool Write(const char* bytes, std::size_t count) override {
        DWORD written = 0;
        return WriteFile(file_, bytes, static_cast<DWORD>(count), &written, nullptr) &&
               written == count;
    }

private:
    HANDLE file_;
};

// The older files beyond the newest `keep`; one another bridge holds open
// refuses to go (a sharing violation) and stays. A folder that cannot be
// read to the end leaves the rest where it is.
void RemoveOldFiles(const std::filesystem::path& folder, std::size_t keep) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator entry(folder, ec), end; !ec && entry != end;
         entry.increment(ec)) {
        names.push_back(PathText(entry->path().filename()));
    }
    for (const std::string& name : LogFilesToRemove(std::move(names), keep)) {
        DeleteFileW((folder / name).c_str());  // the names are ASCII
    }
}

}  // namespace

std::filesystem::path LogFolder(const std::filesystem::path& perUserFolder) {
    return perUserFolder.empty() ? perUserFolder : perUserFolder / "logs";
}

std::unique_ptr<LogSink> OpenLogFile(const std::filesystem::path& folder,
                                     const std::filesystem::path& path) {
    if (folder.empty()) return nullptr;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    try {
        RemoveOldFiles(folder, kLogFilesKept - 1);
    } catch (const std::exception&) {  // a name that does not convert, no memory: no tidying
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<FileSink>(file);
}

}  // namespace bridge::gui
