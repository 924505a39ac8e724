// A fresh temporary folder for the running test, removed after it; it stands
// for the executable's folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace bridge::testing {

class TempFolder {
protected:
    TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("bridge-app-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
                  info->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // The folder with its separator, as ExecutableFolder gives it.
    std::string Folder() const { return folder.string() + "/"; }
    std::string PathOf(const std::string& name) const { return (folder / name).string(); }

    static void WriteFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string FileText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path folder;
};

}  // namespace bridge::testing
