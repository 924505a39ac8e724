#include "app/settings/settings_file.h"

#include <gtest/gtest.h>

#include <string>

#include "app/settings/path_text.h"
#include "app/settings/profile_file.h"
#include "app/settings/settings_location.h"
#include "state/bridge_state.h"
#include "tests/app/temp_folder.h"

namespace bridge::testing {
namespace {

class SettingsFileTest : public ::testing::Test, protected TempFolder {
protected:
    SettingsFileTest() : path(SettingsFilePath(Folder()).string()) {}

    void SetSettings(std::uint8_t comms, std::uint8_t sl30, std::uint8_t sl40, std::uint8_t split,
                     std::uint8_t engines) {
        state.Settings.CommsPort = comms;
        state.Settings.SL30Port = sl30;
        state.Settings.SL40Port = sl40;
        state.Settings.EGTCHTSplit = split;
        state.Settings.NumberOfEngines = engines;
    }
    void ExpectSettings(std::uint8_t comms, std::uint8_t sl30, std::uint8_t sl40,
                        std::uint8_t split, std::uint8_t engines) {
        EXPECT_EQ(state.Settings.CommsPort, comms);
        EXPECT_EQ(state.Settings.SL30Port, sl30);
        EXPECT_EQ(state.Settings.SL40Port, sl40);
        EXPECT_EQ(state.Settings.EGTCHTSplit, split);
        EXPECT_EQ(state.Settings.NumberOfEngines, engines);
    }

    std::string path;
    BridgeState state{};
};

constexpr const char* kDefaultFile =
    "[Setup]\r\nCommsPort=0\r\nSL30Port=0\r\nSL40Port=0\r\nEGTCHTSplit=0\r\nNumberOfEngines=0\r\n";

TEST(ExecutableFolderTest, KeepsThePathUpToItsLastBackslash) {
    EXPECT_EQ(ExecutableFolder(L"C:\\Tools\\Bridge\\app.exe"), L"C:\\Tools\\Bridge\\");
    EXPECT_EQ(ExecutableFolder(L"app.exe"), L"");
    EXPECT_EQ(ExecutableFolder(L""), L"");

    // A path beyond 255 characters still gives its own folder, not a cut one;
    // characters outside any ANSI code page stay as they are.
    const std::wstring deep =
        L"C:\\" + std::wstring(300, L'd') + L"\\\u041f\u0438\u043b\u043e\u0442 \u98de\u884c\\";
    EXPECT_EQ(ExecutableFolder(deep + L"app.exe"), deep);
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
    ReadSettings(path, state.Settings);
    ExpectSettings(0, 0, 0, 0, 0);
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_EQ(WriteSettings(path, state.Settings), std::nullopt);
    EXPECT_EQ(FileText(path), kDefaultFile);
}

// The box's adapter beside [Setup]: only when an identity is known (or to
// clear one the file holds), and read back as it was written; what the
// section cannot keep, or a malformed section, is no identity.
TEST_F(SettingsFileTest, TheBoxAdapterIsWrittenOnlyWhenKnownAndReadBackAsItWas) {
    const SettingsLocation location(Folder(), {});
    EXPECT_EQ(location.Write(state.Settings, SavedAdapter{}), std::nullopt);
    EXPECT_EQ(FileText(path), kDefaultFile);
    EXPECT_FALSE(location.ReadAdapter().inFile);

    AdapterIdentity identity{4,
                             0x10C4,
                             0xEA60,
                             "",
                             "01F3A9C2",
                             "USB\\VID_10C4&PID_EA60\\01F3A9C2",
                             {"USB\\VID_10C4&PID_EA60\\01F3A9C2", "USB\\VID_10C4&PID_EA60\\0001"}};
    EXPECT_EQ(location.Write(state.Settings, SavedAdapter{identity, false}), std::nullopt);
    EXPECT_EQ(
        FileText(path),
        std::string(kDefaultFile) +
            "\r\n[BoxAdapter]\r\nPort=COM4\r\nVendorId=10C4\r\nProductId=EA60\r\n"
            "Interface=\r\nSerialNumber=01F3A9C2\r\nInstanceId=USB\\VID_10C4&PID_EA60\\01F3A9C2\r\n"
            "PresentIds=USB\\VID_10C4&PID_EA60\\01F3A9C2,USB\\VID_10C4&PID_EA60\\0001\r\n");
    SavedAdapter read = location.ReadAdapter();
    ASSERT_TRUE(read.identity);
    EXPECT_TRUE(read.inFile);
    EXPECT_EQ(read.identity->presentIds, identity.presentIds);
    EXPECT_EQ(read.identity->instanceId, identity.instanceId);
    EXPECT_EQ(read.identity->productId, 0xEA60);

    identity.presentIds.assign(20, "USB\\VID_10C4&PID_EA60\\" + std::string(150, '7'));
    EXPECT_EQ(location.Write(state.Settings, SavedAdapter{identity, false}), std::nullopt);
    EXPECT_FALSE(location.ReadAdapter().identity->presentIdsKnown);  // too many to keep

    EXPECT_EQ(location.Write(state.Settings, SavedAdapter{std::nullopt, true}), std::nullopt);
    read = location.ReadAdapter();
    EXPECT_FALSE(read.identity);
    EXPECT_FALSE(read.inFile);
    EXPECT_NE(FileText(path).find("Port=\r\nVendorId=\r\n"), std::string::npos);

    for (const char* section :
         {"Port=COM0\r\nVendorId=10C4\r\nProductId=EA60",
          "Port=COM4\r\nVendorId=10C\r\nProductId=EA60",
          "Port=COM4\r\nVendorId=10C4\r\nProductId=EA60\r\nSerialNumber=\xD0\x96"}) {
        WriteFile(path, std::string("[BoxAdapter]\r\n") + section + "\r\n");
        read = location.ReadAdapter();
        EXPECT_FALSE(read.identity) << section;
        EXPECT_TRUE(read.inFile);
    }
    // COMn in any letter case, as the port list reads it; a PresentIds that is
    // missing or cannot be read is unknown, not a list of none.
    for (const char* presentIds : {"", "PresentIds=\r\n", "PresentIds=A,,B\r\n"}) {
        WriteFile(path,
                  std::string("[BoxAdapter]\r\nPort=Com4\r\nVendorId=10c4\r\nProductId=EA60\r\n") +
                      presentIds);
        read = location.ReadAdapter();
        ASSERT_TRUE(read.identity) << presentIds;
        EXPECT_EQ(read.identity->portNumber, 4u);
        EXPECT_FALSE(read.identity->presentIdsKnown) << presentIds;
    }
}

TEST_F(SettingsFileTest, ValuesOutsideTheByteAreCutToTheirLowBitsAndWrittenBackSo) {
    WriteFile(path,
              "[Setup]\r\nCommsPort=0x0A\r\nSL30Port=-1\r\nSL40Port=abc\r\nEGTCHTSplit=$0A\r\n"
              "NumberOfEngines=260\r\n");
    ReadSettings(path, state.Settings);
    ExpectSettings(10, 255, 0, 10, 4);

    EXPECT_EQ(WriteSettings(path, state.Settings), std::nullopt);
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
    ReadSettings(path, state.Settings);
    ExpectSettings(4, 2, 0, 0, 3);
}

TEST_F(SettingsFileTest, WritingKeepsEverythingElseAndEachKeyItsPlace) {
    WriteFile(path,
              "; bridge settings\r\n"
              "[Other]\r\nCommsPort=9\r\n\r\n"
              "[SETUP]\r\nNumberOfEngines=2\r\nExtra=keep\r\n; note\r\ncommsport = 1\r\n\r\n"
              "[Last]\r\nx=y\r\n");
    SetSettings(3, 1, 2, 3, 4);
    EXPECT_EQ(WriteSettings(path, state.Settings), std::nullopt);
    EXPECT_EQ(FileText(path),
              "; bridge settings\r\n"
              "[Other]\r\nCommsPort=9\r\n\r\n"
              "[SETUP]\r\nNumberOfEngines=4\r\nExtra=keep\r\n; note\r\ncommsport=3\r\n"
              "SL30Port=1\r\nSL40Port=2\r\nEGTCHTSplit=3\r\n\r\n"
              "[Last]\r\nx=y\r\n");

    ReadSettings(path, state.Settings);
    ExpectSettings(3, 1, 2, 3, 4);
}

TEST_F(SettingsFileTest, AMissingSectionIsAddedAfterTheFileAndUnfinishedLinesAreEnded) {
    WriteFile(path, "[Other]\na=1");
    EXPECT_EQ(WriteSettings(path, state.Settings), std::nullopt);
    EXPECT_EQ(FileText(path), std::string("[Other]\na=1\r\n\r\n") + kDefaultFile);

    WriteFile(path, "[Setup]\nSL40Port=1");
    SetSettings(0, 0, 5, 0, 0);
    EXPECT_EQ(WriteSettings(path, state.Settings), std::nullopt);
    EXPECT_EQ(FileText(path),
              "[Setup]\nSL40Port=5\r\nCommsPort=0\r\nSL30Port=0\r\nEGTCHTSplit=0\r\n"
              "NumberOfEngines=0\r\n");
}

// A file whose last line ends in a lone CR: the line is not ended, so a key
// added after it must start a line of its own rather than run on in it.
TEST_F(SettingsFileTest, AKeyAddedAfterALastLineEndingInCarriageReturnGetsItsOwnLine) {
    WriteFile(path, "[Setup]\r\nExtra=keep\r");
    SetSettings(3, 1, 2, 3, 4);
    EXPECT_EQ(WriteSettings(path, state.Settings), std::nullopt);
    EXPECT_EQ(FileText(path),
              "[Setup]\r\nExtra=keep\r\r\nCommsPort=3\r\nSL30Port=1\r\nSL40Port=2\r\n"
              "EGTCHTSplit=3\r\nNumberOfEngines=4\r\n");
    EXPECT_EQ(ReadProfileString(path, "Setup", "Extra"), "keep");

    state = BridgeState{};
    ReadSettings(path, state.Settings);
    ExpectSettings(3, 1, 2, 3, 4);
}

TEST_F(SettingsFileTest, AnUnwritableFileGivesTheMessageWithItsPath) {
    const std::string inMissingFolder = PathOf("missing/VELMORA.INI");
    EXPECT_EQ(WriteSettings(inMissingFolder, state.Settings),
              "Unable to write to " + inMissingFolder);
    EXPECT_FALSE(std::filesystem::exists(inMissingFolder));

    std::filesystem::create_directory(path);  // a folder where the file should be
    EXPECT_EQ(WriteSettings(path, state.Settings), "Unable to write to " + path);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

}  // namespace
}  // namespace bridge::testing

namespace bridge::testing {
namespace {

// The folder the test takes write access away from (as Program Files or
// Controlled Folder Access do); the others are probed for real.
std::filesystem::path gUnwritableFolder;
bool ProbeFolder(const std::filesystem::path& folder) {
    return folder != gUnwritableFolder && FolderWritable(folder);
}

class SettingsLocationTest : public ::testing::Test, protected TempFolder {
protected:
    SettingsLocationTest() {
        std::filesystem::create_directories(program);
        gUnwritableFolder.clear();
    }
    ~SettingsLocationTest() override { gUnwritableFolder.clear(); }

    SettingsLocation Location() const { return SettingsLocation(program, perUser, &ProbeFolder); }
    void Ship(const std::string& settings) {
        WriteFile((program / "VELMORA.INI").string(), settings);
    }

    const std::filesystem::path program = folder / "Program Files" / "Bridge";
    const std::filesystem::path perUser = folder / "AppData" / "Local" / "Dravik";
    const std::filesystem::path shipped = program / "VELMORA.INI";
    const std::filesystem::path perUserFile = perUser / "VELMORA.INI";
    BridgeState state{};
};

TEST(FolderWritableTest, CreatesAndRemovesAProbe) {
    const std::filesystem::path here = std::filesystem::temp_directory_path();
    EXPECT_TRUE(FolderWritable(here));
    EXPECT_FALSE(std::filesystem::exists(here / "VELMORA.INI.write-test"));
    EXPECT_FALSE(FolderWritable(here / "no such folder here"));
}

TEST_F(SettingsLocationTest, AWritableProgramFolderKeepsItsFileWhateverThePerUserFolderHolds) {
    Ship("[Setup]\r\nNumberOfEngines=2\r\n");
    std::filesystem::create_directories(perUser);
    WriteFile(perUserFile.string(), "[Setup]\r\nNumberOfEngines=4\r\n");

    Location().Read(state.Settings);
    EXPECT_EQ(state.Settings.NumberOfEngines, 2);
    state.Settings.NumberOfEngines = 3;
    EXPECT_EQ(Location().Write(state.Settings), std::nullopt);
    EXPECT_NE(FileText(shipped.string()).find("NumberOfEngines=3"), std::string::npos);
    EXPECT_EQ(FileText(perUserFile.string()), "[Setup]\r\nNumberOfEngines=4\r\n");
}

// Installed under Program Files: the shipped file is read at the first start,
// the settings are written per user, and read from there from then on.
TEST_F(SettingsLocationTest, AnUnwritableProgramFolderMovesTheSettingsPerUser) {
    Ship("[Setup]\r\nCommsPort=2\r\nNumberOfEngines=2\r\n");
    gUnwritableFolder = program;

    Location().Read(state.Settings);
    EXPECT_EQ(state.Settings.CommsPort, 2);
    EXPECT_EQ(state.Settings.NumberOfEngines, 2);
    state.Settings.NumberOfEngines = 4;
    EXPECT_EQ(Location().Write(state.Settings), std::nullopt);
    EXPECT_EQ(FileText(perUserFile.string()),
              "[Setup]\r\nCommsPort=2\r\nSL30Port=0\r\nSL40Port=0\r\nEGTCHTSplit=0\r\n"
              "NumberOfEngines=4\r\n");
    EXPECT_EQ(FileText(shipped.string()), "[Setup]\r\nCommsPort=2\r\nNumberOfEngines=2\r\n");

    state = BridgeState{};
    EXPECT_EQ(Location().ReadPath(), perUserFile);
    Location().Read(state.Settings);
    EXPECT_EQ(state.Settings.CommsPort, 2);
    EXPECT_EQ(state.Settings.NumberOfEngines, 4);
}

TEST_F(SettingsLocationTest, NeitherFolderWritableGivesTheMessageWithThePerUserPath) {
    gUnwritableFolder = program;
    WriteFile((folder / "AppData").string(), "a file where the folder should be");
    const auto error = Location().Write(state.Settings);
    EXPECT_EQ(error, "Unable to write to " + PathText(perUserFile));

    // With no per-user folder known, the file next to the executable is all there is.
    EXPECT_EQ(SettingsLocation(program, {}, &ProbeFolder).ReadPath(), shipped);
}

}  // namespace
}  // namespace bridge::testing
