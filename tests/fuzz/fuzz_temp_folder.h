// A folder of this fuzzing process for the files a target writes (it stands
// for the executable's folder), removed when the process ends. In memory where
// there is such a file system: rewriting a file in place makes ext4 flush it
// to the disk on every close, which slows the runs down a hundredfold.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace bridge::fuzzing {

class FuzzTempFolder {
public:
    explicit FuzzTempFolder(const std::string& name)
        : path_(Root() / (name + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~FuzzTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FuzzTempFolder(const FuzzTempFolder&) = delete;
    FuzzTempFolder& operator=(const FuzzTempFolder&) = delete;

    // With its separator, as the executable's folder is given.
    std::string Folder() const { return path_.string() + "/"; }

private:
    static std::filesystem::path Root() {
        std::error_code error;
        if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
        return std::filesystem::temp_directory_path();
    }

    std::filesystem::path path_;
};

}  // namespace bridge::fuzzing
