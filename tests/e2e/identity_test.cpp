// The box found by its adapter wherever Windows numbers it, under Wine:
// Wine's SetupAPI lists a device whose key is written into the registry (one
// import seeds them), with its instance id, names and PortName, but sends no
// device change (the test posts one) and gives no nodes above a port. The box
// is the test's end of a pty pair whose other end is linked as the COM port
// the registry names.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/win32/control_ids.h"
#include "tests/e2e/adapter_keys.h"
#include "tests/e2e/box_line.h"
#include "tests/e2e/bridge_session.h"
#include "tests/e2e/reference_run.h"
#include "tests/e2e/session_test.h"

namespace bridge::e2e {
namespace {

using namespace std::chrono_literals;
namespace ids = gui::ids;

class Identity : public SessionTest {
protected:
    void TearDown() override {
        session.ImportRegistry(AdapterKeysRemoved());
        for (const int com : linked_) session.MakePortMissing(com);
    }

    // The pair's device as COM<com>, the adapter plugged in where Windows numbers it so.
    bool LinkCom(int com) {
        linked_.push_back(com);
        return session.LinkPortPairAs(com);
    }

    std::string Memo() { return session.ControlText(ids::kLog); }
    // Settings for COM4, with the box's CP2102 taken there: its serial
    // number (none: "") and the last part of its instance id.
    void SaveBoxAt4(const std::string& serialNumber, const std::string& lastPart) {
        Settings settings = kTwoEnginesBothRadios;
        settings.CommsPort = 3;
        session.WriteSettings(settings);
        const std::string id = "USB\\VID_10C4&PID_EA60\\" + lastPart;
        std::ofstream(session.SettingsPath(), std::ios::binary | std::ios::app)
            << "\r\n[BoxAdapter]\r\nPort=COM4\r\nVendorId=10C4\r\nProductId=EA60\r\nInterface=\r\n"
            << "SerialNumber=" << serialNumber << "\r\nInstanceId=" << id << "\r\nPresentIds=" << id
            << "\r\n";
    }
    bool NoMessageBox() { return !session.Probe({"wait", "#32770", "0"}).has_value(); }
    static bool Attitude(const boxproto::Frame& f) { return IsKind(f, 1); }

    std::vector<int> linked_;
};

// Taken at COM4 when the saved port opens; unplugged and back as COM7 while
// the bridge runs; COM9 at the next start: found each time with no click and
// no message box, its frames flowing, and the settings file keeps the number.
TEST_F(Identity, TheBoxMovedIsFoundWhileRunningAndBetweenStarts) {
    ASSERT_TRUE(session.ImportRegistry(AdapterKeys("01F3A9C2", 4)));
    Settings settings = kTwoEnginesBothRadios;
    settings.CommsPort = 3;
    session.WriteSettings(settings);
    ASSERT_TRUE(session.StartPortPair(4));
    BoxLine box;
    ASSERT_TRUE(box.Open(session.BoxEndPath()));
    ASSERT_TRUE(session.StartSim());
    ASSERT_TRUE(session.StartBridge());
    ASSERT_TRUE(session.WaitForLog("Connected to FS2004")) << Memo();
    ASSERT_TRUE(box.WaitFor(Attitude, 10));

    ASSERT_TRUE(session.UnplugPort());
    ASSERT_TRUE(session.WaitForLog("Lost the box's port COM4")) << Memo();
    session.MakePortMissing(4);
    ASSERT_TRUE(session.ImportRegistry(AdapterKeys("01F3A9C2", 7)));
    ASSERT_TRUE(LinkCom(7));
    ASSERT_TRUE(session.PlugPort());
    ASSERT_TRUE(
        session.Probe({"post", ids::kMainWindowClass, "0x0219", "7"}));  // DBT_DEVNODES_CHANGED
    const std::size_t before = box.Count(Attitude);
    ASSERT_TRUE(session.WaitForLog(std::string("The box's adapter ") + kAdapterName +
                                   " (serial 01F3A9C2) is now COM7, was COM4"))
        << Memo();
    ASSERT_TRUE(box.WaitFor(Attitude, before + 10)) << "frames flow on COM7";
    EXPECT_TRUE(NoMessageBox());
    ASSERT_TRUE(session.CloseBridge());
    const std::string saved = session.SettingsText();
    EXPECT_NE(saved.find("CommsPort=6\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[BoxAdapter]\r\nPort=COM7\r\n"), std::string::npos) << saved;

    session.MakePortMissing(7);
    ASSERT_TRUE(session.ImportRegistry(AdapterKeys("01F3A9C2", 9)));
    ASSERT_TRUE(LinkCom(9));
    const std::size_t second = box.Count(Attitude);
    ASSERT_TRUE(session.StartBridge());
    ASSERT_TRUE(session.WaitForLog("is now COM9, was COM7")) << Memo();
    ASSERT_TRUE(box.WaitFor(Attitude, second + 10)) << "frames flow on COM9";
    EXPECT_TRUE(NoMessageBox());
    ASSERT_TRUE(session.CloseBridge());
    EXPECT_NE(session.SettingsText().find("CommsPort=8\r\n"), std::string::npos);
}

// An adapter without a serial number of its own, saved at COM4, and two of
// its kind that were not there then, at COM7 and COM8: the bridge does not
// guess. It says so, opens neither, and goes on with COM4 as before (which
// is missing: its message box).
TEST_F(Identity, TwoAlikeAdaptersAreNotGuessedBetween) {
    ASSERT_TRUE(session.ImportRegistry(AdapterKeys("6&2F1A3B4C&0&2", 7) +
                                       AdapterKeys("6&2F1A3B4C&0&3", 8)));
    session.MakePortMissing(4);
    linked_.push_back(4);
    SaveBoxAt4("", "6&2F1A3B4C&0&1");
    ASSERT_TRUE(session.StartBridge(false));
    ASSERT_TRUE(session.Probe({"wait", "#32770", "30000"}));
    EXPECT_EQ(session.Probe({"text", "#32770", "65535"}).value_or(""),
              "The selected port COM4 is not available, please choose another if possible or "
              "free this port if it is in use by another application.");
    ASSERT_TRUE(session.ClickWhenEnabled("#32770", 1));
    ASSERT_TRUE(session.Probe({"wait", ids::kMainWindowClass, "30000"}));
    EXPECT_TRUE(session.WaitForLog(std::string("COM7 and COM8 look alike, ") + kAdapterName +
                                   " (USB 10C4:EA60, no serial number): the bridge does not guess "
                                   "which is the box's adapter; choose it in Select COM port"))
        << Memo();
    ASSERT_TRUE(session.CloseBridge());
    const std::string record = session.LogFileText();
    EXPECT_NE(record.find("Opening the box's port COM4"), std::string::npos) << record;
    EXPECT_EQ(record.find("port COM7"), std::string::npos) << record;
    EXPECT_EQ(record.find("port COM8"), std::string::npos) << record;
}

// The box's CP2102 was saved at COM4; it is not plugged in, and a CH340 holds
// COM4 now (the pty pair, which would carry every byte to this test): the
// bridge says what it found, opens nothing there, and sends it no byte while
// its ticks run; the identity stays the box's.
TEST_F(Identity, AnotherDeviceAtTheSavedNumberGetsNoByte) {
    ASSERT_TRUE(session.ImportRegistry(OtherAdapterKeys(4)));
    SaveBoxAt4("01F3A9C2", "01F3A9C2");
    ASSERT_TRUE(session.StartPortPair(4));
    BoxLine box;
    ASSERT_TRUE(box.Open(session.BoxEndPath()));
    ASSERT_TRUE(session.StartSim());
    ASSERT_TRUE(session.StartBridge());
    ASSERT_TRUE(
        session.WaitForLog("COM4 is now USB-SERIAL CH340 (USB 1A86:7523, no serial "
                           "number), not the box's adapter (serial 01F3A9C2)"))
        << Memo();
    ASSERT_TRUE(session.WaitForLog("Connected to FS2004")) << Memo();
    const std::size_t connected = CycleExchanges(session.SimLog()).size();
    ASSERT_TRUE(WaitUntil([&] { return CycleExchanges(session.SimLog()).size() >= connected + 60; },
                          std::chrono::seconds(30)))
        << "three seconds of ticks";
    EXPECT_EQ(box.Bytes(), 0u);
    EXPECT_TRUE(NoMessageBox());
    ASSERT_TRUE(session.CloseBridge());
    const std::string saved = session.SettingsText();
    EXPECT_NE(saved.find("CommsPort=3\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("SerialNumber=01F3A9C2\r\n"), std::string::npos) << saved;
}

// Started before the box: the saved port is missing, the port message comes
// up; the box plugged in, frames flow with no click, the message is taken
// down, and the start goes on to the simulator.
TEST_F(Identity, StartedBeforeTheBoxFramesFlowOnceItIsPluggedIn) {
    Settings settings = kTwoEnginesBothRadios;
    settings.CommsPort = 3;
    session.WriteSettings(settings);
    ASSERT_TRUE(session.MakePortMissing(4));
    linked_.push_back(4);
    ASSERT_TRUE(session.StartSim());
    ASSERT_TRUE(session.StartBridge(false));
    ASSERT_TRUE(session.Probe({"wait", "#32770", "30000"}));
    ASSERT_TRUE(session.StartPortPair(4));
    const auto plugged = std::chrono::steady_clock::now();
    BoxLine box;
    ASSERT_TRUE(box.Open(session.BoxEndPath()));
    ASSERT_TRUE(box.WaitFor(Attitude, 1));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - plugged);
    std::printf("[ measure  ] plugged_to_first_frame_ms = %lld\n",
                static_cast<long long>(waited.count()));
    ASSERT_TRUE(session.Probe({"wait", ids::kMainWindowClass, "30000"}));
    ASSERT_TRUE(session.WaitForLog("Connected to FS2004")) << Memo();
    EXPECT_TRUE(session.WaitForLog("Opened the box's port COM4, which the bridge waited for"))
        << Memo();
    EXPECT_TRUE(NoMessageBox());
    ASSERT_TRUE(box.WaitFor(Attitude, 20));
    ASSERT_TRUE(session.CloseBridge());
}

}  // namespace
}  // namespace bridge::e2e
