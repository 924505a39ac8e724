#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <string>

#include "app/profile_file.h"
#include "core/bridge_state.h"
#include "tests/app/temp_folder.h"

namespace bridge::testing {
namespace {

class SettingsFileTest : public ::testing::Test, protected TempFolder {
protected:
    SettingsFileTest() : path(SettingsFilePath(Folder())) { ResetBridgeState(); }

    void SetSettings(std::uint8_t comms, std::uint8_t sl30, std::uint8_t sl40, std::uint8_t split,
                     std::uint8_t engines) {
        Bridge.CommsPort = comms;
        Bridge.SL30Port = sl30;
        Bridge.SL40Port = sl40;
        Bridge.EGTCHTSplit = split;
        Bridge.NumberOfEngines = engines;
    }
    void ExpectSettings(std::uint8_t comms, std::uint8_t sl30, std::uint8_t sl40,
                        std::uint8_t split, std::uint8_t engines) {
        EXPECT_EQ(Bridge.CommsPort, comms);
        EXPECT_EQ(Bridge.SL30Port, sl30);
        EXPECT_EQ(Bridge.SL40Port, sl40);
        EXPECT_EQ(Bridge.EGTCHTSplit, split);
        EXPECT_EQ(Bridge.NumberOfEngines, engines);
    }

    std::string path;
};

constexpr const char* kDefaultFile =
    "[Setup]\r\nCommsPort=0\r\nSL30Port=0\r\nSL40Port=0\r\nEGTCHTSplit=0\r\nNumberOfEngines=0\r\n";

TEST(ExecutableFolderTest, KeepsThePathUpToItsLastBackslash) {
    EXPECT_EQ(ExecutableFolder("C:\\Tools\\Bridge\\app.exe"), "C:\\Tools\\Bridge\\");
    EXPECT_EQ(SettingsFilePath(ExecutableFolder("C:\\Tools\\Bridge\\app.exe")),
              "C:\\Tools\\Bridge\\VELMORA.INI");
    EXPECT_EQ(ExecutableFolder("app.exe"), "");
    EXPECT_EQ(ExecutableFolder(""), "");

    // A path beyond 255 characters still gives its own folder, not a cut one.
    const std::string deep = "C:\\" + std::string(300, 'd') + "\\";
    EXPECT_EQ(ExecutableFolder(deep + "app.exe"), deep);
}

TEST(SettingValueTest, ReadsNumbersAsTheSettingsFileWritesThem) {
    struct Case {
        const char* text;
        std::uint8_t value;
    };
    const Case cases[] = {
        {"0x0A", 10},
        {"0X0a", 10},
        {"$0A", 10},
        {"$ff", 255},
        {"abc", 0},
        {"", 0},
        {"260", 4},
        {"257", 1},
        {"-1", 255},
        {"+7", 7},
        {"0", 0},
        {"12abc", 0},
        {"0x", 0},
        {"$", 0},
        {"-", 0},
        {"0x-1", 0},
        {"1.5", 0},
        {"2147483647", 255},
        {"2147483648", 0},
        {"-2147483647", 1},
        {"$FFFFFFFF", 255},
        {"$100000000", 0},
        {"0x00000000105", 5},
    };
    for (const Case& c : cases) EXPECT_EQ(SettingValue(c.text), c.value) << '"' << c.text << '"';
}

TEST_F(SettingsFileTest, NoFileReadsZerosAndWritingCreatesTheDefaultFile) {
    SetSettings(1, 2, 3, 1, 4);
    ReadSettings(path);
    ExpectSettings(0, 0, 0, 0, 0);
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_EQ(WriteSettings(path), std::nullopt);
    EXPECT_EQ(FileText(path), kDefaultFile);
}

TEST_F(SettingsFileTest, ValuesOutsideTheByteAreCutToTheirLowBitsAndWrittenBackSo) {
    WriteFile(path,
              "[Setup]\r\nCommsPort=0x0A\r\nSL30Port=-1\r\nSL40Port=abc\r\nEGTCHTSplit=$0A\r\n"
              "NumberOfEngines=260\r\n");
    ReadSettings(path);
    ExpectSettings(10, 255, 0, 10, 4);

    EXPECT_EQ(WriteSettings(path), std::nullopt);
    EXPECT_EQ(FileText(path),
              "[Setup]\r\nCommsPort=10\r\nSL30Port=255\r\nSL40Port=0\r\nEGTCHTSplit=10\r\n"
              "NumberOfEngines=4\r\n");
}

TEST_F(SettingsFileTest, NamesMatchInAnyCaseAndOnlyInTheSetupSection) {
    WriteFile(path,
              "CommsPort=9\r\n"
              "[Other]\r\nSL40Port=3\r\n"
              "[ setup ]\n"
              "  commsport =  4 \n"
              ";SL30Port=1\n"
              "SL30PORT=\"2\"\n"
              "EGTCHTSplit\n"
              "NumberOfEngines='3'");
    ReadSettings(path);
    ExpectSettings(4, 2, 0, 0, 3);
}

TEST_F(SettingsFileTest, WritingKeepsEverythingElseAndEachKeyItsPlace) {
    WriteFile(path,
              "; bridge settings\r\n"
              "[Other]\r\nCommsPort=9\r\n\r\n"
              "[SETUP]\r\nNumberOfEngines=2\r\nExtra=keep\r\n; note\r\ncommsport = 1\r\n\r\n"
              "[Last]\r\nx=y\r\n");
    SetSettings(3, 1, 2, 3, 4);
    EXPECT_EQ(WriteSettings(path), std::nullopt);
    EXPECT_EQ(FileText(path),
              "; bridge settings\r\n"
              "[Other]\r\nCommsPort=9\r\n\r\n"
              "[SETUP]\r\nNumberOfEngines=4\r\nExtra=keep\r\n; note\r\ncommsport=3\r\n"
              "SL30Port=1\r\nSL40Port=2\r\nEGTCHTSplit=3\r\n\r\n"
              "[Last]\r\nx=y\r\n");

    ReadSettings(path);
    ExpectSettings(3, 1, 2, 3, 4);
}

TEST_F(SettingsFileTest, AMissingSectionIsAddedAfterTheFileAndUnfinishedLinesAreEnded) {
    WriteFile(path, "[Other]\na=1");
    EXPECT_EQ(WriteSettings(path), std::nullopt);
    EXPECT_EQ(FileText(path), std::string("[Other]\na=1\r\n\r\n") + kDefaultFile);

    WriteFile(path, "[Setup]\nSL40Port=1");
    SetSettings(0, 0, 5, 0, 0);
    EXPECT_EQ(WriteSettings(path), std::nullopt);
    EXPECT_EQ(FileText(path),
              "[Setup]\nSL40Port=5\r\nCommsPort=0\r\nSL30Port=0\r\nEGTCHTSplit=0\r\n"
              "NumberOfEngines=0\r\n");
}

// A file whose last line ends in a lone CR: the line is not ended, so a key
// added after it must start a line of its own rather than run on in it.
TEST_F(SettingsFileTest, AKeyAddedAfterALastLineEndingInCarriageReturnGetsItsOwnLine) {
    WriteFile(path, "[Setup]\r\nExtra=keep\r");
    SetSettings(3, 1, 2, 3, 4);
    EXPECT_EQ(WriteSettings(path), std::nullopt);
    EXPECT_EQ(FileText(path),
              "[Setup]\r\nExtra=keep\r\r\nCommsPort=3\r\nSL30Port=1\r\nSL40Port=2\r\n"
              "EGTCHTSplit=3\r\nNumberOfEngines=4\r\n");
    EXPECT_EQ(ReadProfileString(path, "Setup", "Extra"), "keep");

    ResetBridgeState();
    ReadSettings(path);
    ExpectSettings(3, 1, 2, 3, 4);
}

TEST_F(SettingsFileTest, AnUnwritableFileGivesTheMessageWithItsPath) {
    const std::string inMissingFolder = PathOf("missing/VELMORA.INI");
    EXPECT_EQ(WriteSettings(inMissingFolder), "Unable to write to " + inMissingFolder);
    EXPECT_FALSE(std::filesystem::exists(inMissingFolder));

    std::filesystem::create_directory(path);  // a folder where the file should be
    EXPECT_EQ(WriteSettings(path), "Unable to write to " + path);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

}  // namespace
}  // namespace bridge::testing
