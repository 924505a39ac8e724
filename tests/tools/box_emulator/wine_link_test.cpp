// The links that make the emulator's pty Wine's COM port.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/box_emulator/wine_link.h"

namespace boxemu {
namespace {

namespace fs = std::filesystem;

class WineLinkTest : public ::testing::Test {
protected:
    WineLinkTest() {
        std::string pattern = (fs::temp_directory_path() / "box-emulator-link.XXXXXX").string();
        dir = mkdtemp(pattern.data());
    }
    ~WineLinkTest() override { fs::remove_all(dir); }
    std::string dir;
};

TEST_F(WineLinkTest, ComPortLinksToTheStableLinkWhichFollowsThePty) {
    const std::string prefix = dir + "/prefix";
    const std::string stable = DefaultStableLink(prefix, 3);
    const std::string com = ComPortLinkPath(prefix, 3);
    EXPECT_EQ(com, prefix + "/dosdevices/com3");

    ASSERT_FALSE(PointLink(stable, "/dev/pts/7"));
    ASSERT_FALSE(PointLink(com, stable));
    EXPECT_EQ(fs::read_symlink(stable), "/dev/pts/7");
    EXPECT_EQ(fs::read_symlink(com), stable);

    // The next start replaces the stable link in place; the COM link stays.
    ASSERT_FALSE(PointLink(stable, "/dev/pts/9"));
    EXPECT_EQ(fs::read_symlink(stable), "/dev/pts/9");
    EXPECT_FALSE(fs::exists(stable + ".new"));

    // At the end the port leads to a folder, which Wine refuses to open.
    ASSERT_FALSE(RetireLink(stable));
    EXPECT_TRUE(fs::is_directory(com));
}

TEST_F(WineLinkTest, FailureIsReported) {
    const std::string file = dir + "/file";
    ASSERT_FALSE(PointLink(file, "/dev/null"));
    EXPECT_TRUE(PointLink(file + "/below", "/dev/null"));  // a link is no folder
}

}  // namespace
}  // namespace boxemu
