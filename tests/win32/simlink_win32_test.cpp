// The simulator link's real client and Windows transport against the
// simulator emulator running as a separate process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/variable_map.h"
#include "simlink/sim_link.h"
#include "simlink/sim_link_client.h"
#include "simlink/win32/sim_link_transport_win32.h"
#include "state/bridge_state.h"
#include "tests/support/tick_requests.h"
#include "tests/win32/sim_emulator_process.h"
#include "tools/sim_emulator/flight_script.h"
#include "tools/sim_emulator/sim_server.h"

namespace bridge {
namespace {

using simemu::Fault;

// The Windows transport, counting sends and pauses, and telling a helper
// thread when a send begins.
class CountingTransport final : public SimLinkTransport {
public:
    explicit CountingTransport(SimLinkTransport& inner) : inner_(inner) {
        sending = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    ~CountingTransport() { CloseHandle(sending); }

    NativeHandle FindServerWindow(const char* c) override { return inner_.FindServerWindow(c); }
    std::uint32_t RegisterIpcMessage(const char* n) override {
        return inner_.RegisterIpcMessage(n);
    }
    std::uint32_t ProcessId() override { return inner_.ProcessId(); }
    std::uint16_t AddGlobalAtom(const char* n) override { return inner_.AddGlobalAtom(n); }
    void RemoveGlobalAtom(std::uint16_t a) override { inner_.RemoveGlobalAtom(a); }
    NativeHandle CreateSection(const char* n, std::uint32_t s, bool& e) override {
        return inner_.CreateSection(n, s, e);
    }
    std::uint8_t* MapSection(NativeHandle s, std::uint32_t n) override {
        return inner_.MapSection(s, n);
    }
    void UnmapSection(std::uint8_t* v) override { inner_.UnmapSection(v); }
    void CloseSection(NativeHandle s) override { inner_.CloseSection(s); }
    SendOutcome SendIpcMessage(NativeHandle w, std::uint32_t m, std::uint16_t a,
                               std::uint32_t t) override {
        ++sends;
        SetEvent(sending);
        const SendOutcome outcome = inner_.SendIpcMessage(w, m, a, t);
        if (!outcome.delivered) lastError = outcome.lastError;
        return outcome;
    }
    void Pause(std::uint32_t ms) override {
        pausedMs += ms;
        inner_.Pause(ms);
    }

    int sends = 0;
    std::uint32_t pausedMs = 0;
    std::uint32_t lastError = 0;
    HANDLE sending = nullptr;

private:
    SimLinkTransport& inner_;
};

int CountLines(const std::string& log, const std::string& prefix) {
    int count = 0;
    for (std::size_t at = 0; (at = log.find(prefix, at)) != std::string::npos; ++at) {
        if (at == 0 || log[at - 1] == '\n') ++count;
    }
    return count;
}

// The largest tick: half-rate, four engines, both servos and the altimeter
// written, 70 requests.
bool RunLargestTick(SimLinkApi& link, BridgeState& state, bool servosEngaged,
                    SimLinkResult& result) {
    testing::QueueLargestTick(link, state, servosEngaged);
    return link.Process(result);
}

TEST(SimLinkWin32, OpensAndRunsManyExchangesWithTheEmulator) {
    testing::SimEmulatorProcess emulator;
    ASSERT_TRUE(emulator.Start("--fixed"));
    SimLinkClient client(&Win32SimLinkTransport());
    SimLinkResult result;
    ASSERT_TRUE(client.Open(0, result)) << SimLinkResultText(result);
    EXPECT_EQ(client.SimulatorId(), 7u);
    EXPECT_EQ(SimulatorName(client.SimulatorId()), "FS2004");
    EXPECT_EQ(client.ServerVersion(), simemu::kDefaultVersion);
    EXPECT_NE(emulator.Log().find("R 1 3304 4 00000001\nR 1 3308 4 00000002\nW 1 330A 2 D507\n"
                                  "X 1 1 3 none\n"),
              std::string::npos);

    BridgeState state{};
    const simemu::FlightValues fixed = simemu::FixedFlightValues();
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        const bool engaged = round % 2 == 0;
        if (engaged) state.Servos.BankServoCommand = static_cast<std::int16_t>(round * 10 - 900);
        state.Altimeter.AltimeterCommand = static_cast<std::uint16_t>(16000 + round);
        ASSERT_TRUE(RunLargestTick(client, state, engaged, result)) << SimLinkResultText(result);
        ASSERT_EQ(state.Sim.PitchDeg, fixed.pitchDownDeg);
        ASSERT_EQ(state.Engines.Snapshot[3].RpmRaw, 9720);
        ASSERT_EQ(state.Sim.HeadingRaw, 0x80000000u);
        ASSERT_EQ(state.Sim.AltimeterSetting, 16000 + round);  // written, then read back
        if (!engaged) {
            ASSERT_EQ(state.Servos.BankServoPosition, (round - 1) * 10 - 900);
        }
    }
    const std::string log = emulator.Log();
    EXPECT_EQ(CountLines(log, "X "), 1 + kRounds);
    EXPECT_EQ(CountLines(log, "R 2 "), 66);
    EXPECT_EQ(CountLines(log, "W 2 "), 4);
    EXPECT_EQ(CountLines(log, "R 3 "), 68);
    EXPECT_EQ(CountLines(log, "W 3 "), 2);

    // An emulator told to fail: bad answers and a damaged block after some good exchanges.
    for (Fault fault : {Fault::BadReply, Fault::BadSize, Fault::BadMarker}) {
        SCOPED_TRACE(simemu::FaultName(fault));
        ASSERT_TRUE(emulator.SetFault(static_cast<unsigned>(fault), 2, 1));
        for (int round = 0; round < 4; ++round) {
            state.Sim.PitchDeg = 99.0;
            const bool done = RunLargestTick(client, state, false, result);
            EXPECT_EQ(done, round != 2);
            EXPECT_EQ(result, round == 2 ? SimLinkResult::BadReply : SimLinkResult::Okay);
            EXPECT_EQ(state.Sim.PitchDeg, round == 2 ? 99.0 : fixed.pitchDownDeg);
        }
    }

    // A section of the link's name that is smaller than a block is not used.
    client.Close();
    HANDLE small = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                      client.MappingName());
    ASSERT_NE(small, nullptr);
    EXPECT_FALSE(client.Open(0, result));
    EXPECT_EQ(result, SimLinkResult::ViewFailed);
    CloseHandle(small);
    ASSERT_TRUE(emulator.SetFault(static_cast<unsigned>(Fault::WrongVersion), 0, 0));
    EXPECT_FALSE(client.Open(0, result));
    EXPECT_EQ(result, SimLinkResult::WrongVersion);
}

// Calls arriving from another thread while an exchange waits are dispatched
// inside the wait; they stand for a tick run from there.
SimLinkClient* gNestedClient = nullptr;
std::vector<SimLinkResult> gNestedResults;

LRESULT CALLBACK NestedTickWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) return DefWindowProcA(window, message, wParam, lParam);
    std::uint8_t byte = 0;
    SimLinkResult r;
    gNestedClient->Read(0x0100, 1, &byte, r);
    gNestedResults.push_back(r);
    gNestedClient->Process(r);
    gNestedResults.push_back(r);
    return 1;
}

struct NestedSender {
    HANDLE sending;
    HWND target;
};

DWORD WINAPI SendNestedTick(void* parameter) {
    const auto* sender = static_cast<NestedSender*>(parameter);
    if (WaitForSingleObject(sender->sending, 30000) != WAIT_OBJECT_0) return 1;
    SendMessageA(sender->target, WM_APP, 0, 0);
    return 0;
}

TEST(SimLinkWin32, GivesUpAfterTenUnansweredSendsAndKeepsNestedCallsOut) {
    testing::SimEmulatorProcess emulator;
    ASSERT_TRUE(emulator.Start("--fixed --no-reply-ms 450"));
    CountingTransport transport(Win32SimLinkTransport());
    SimLinkClient client(&transport);
    SimLinkResult result;
    ASSERT_TRUE(client.Open(0, result)) << SimLinkResultText(result);
    ASSERT_TRUE(emulator.SetFault(static_cast<unsigned>(Fault::NoReply), 0, 0));

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = NestedTickWindow;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SimLinkNestedTick";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "SimLinkNestedTick", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    gNestedClient = &client;
    NestedSender sender{transport.sending, window};
    ResetEvent(transport.sending);
    HANDLE thread = CreateThread(nullptr, 0, SendNestedTick, &sender, 0, nullptr);
    ASSERT_NE(thread, nullptr);

    transport.sends = 0;
    transport.pausedMs = 0;
    std::uint32_t value = 0xABCD;
    ASSERT_TRUE(client.Read(0x0574, 4, &value, result));
    EXPECT_FALSE(client.Process(result));
    EXPECT_EQ(result, SimLinkResult::TimedOut) << "last error " << transport.lastError;
    EXPECT_EQ(transport.sends, 10);
    EXPECT_EQ(transport.pausedMs, 100u);
    EXPECT_EQ(value, 0xABCDu);
    EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(gNestedResults,
              (std::vector<SimLinkResult>{SimLinkResult::BlockFull, SimLinkResult::NothingQueued}));
    EXPECT_FALSE(client.Process(result));
    EXPECT_EQ(result, SimLinkResult::NothingQueued);  // the failed batch is not sent again
    DestroyWindow(window);
    client.Close();
}

TEST(SimLinkWin32, ProcessWideLinkFindsNoServerThenAnOldOne) {
    SimLinkResult result;
    InstallWin32SimLinkTransport();
    EXPECT_FALSE(SimLinkOpen(0, result));
    EXPECT_EQ(result, SimLinkResult::NoServer);

    testing::SimEmulatorProcess emulator;
    ASSERT_TRUE(emulator.Start("--class FS98MAIN --version 0x19980004", "FS98MAIN"));
    EXPECT_FALSE(SimLinkOpen(0, result));
    EXPECT_EQ(result, SimLinkResult::NoSimOnServer);
    EXPECT_FALSE(SimLinkIsOpen());
}

}  // namespace
}  // namespace bridge
