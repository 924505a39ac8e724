// The simulator link client against an in-memory operating system and the
// emulator's server: opening and the version handshake, exchanges and their
// retries, closing, calls made from inside an exchange, and the process-wide
// link.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "simlink/sim_link.h"
#include "simlink/sim_link_client.h"
#include "tests/support/fake_sim_transport.h"

namespace bridge {
namespace {

using simemu::Fault;
using Calls = std::vector<std::string>;

class SimLinkClientTest : public ::testing::Test {
protected:
    bool Open(std::int32_t requested = 0) { return client.Open(requested, result); }
    void ExpectNothingHeld() {
        EXPECT_FALSE(client.IsOpen());
        EXPECT_EQ(fake.atomsAlive, 0);
        EXPECT_EQ(fake.sectionsOpen, 0);
        EXPECT_EQ(fake.viewsMapped, 0);
    }
    // Lines of the server's log that describe requests of exchange `n`.
    std::vector<std::string> RequestLines(int n) const {
        std::vector<std::string> lines;
        std::string tag = " ";
        tag += std::to_string(n);
        tag += ' ';
        std::istringstream log(fake.serverLog);
        for (std::string line; std::getline(log, line);) {
            if ((line[0] == 'R' || line[0] == 'W') && line.compare(1, tag.size(), tag) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    testing::FakeSimTransport fake;
    SimLinkClient client{&fake};
    SimLinkResult result = SimLinkResult::Okay;
};

TEST_F(SimLinkClientTest, OpensWithOneHandshakeExchange) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(result, SimLinkResult::Okay);
    EXPECT_TRUE(client.IsOpen());
    EXPECT_EQ(client.SimulatorId(), 7u);
    EXPECT_EQ(client.ServerVersion(), simemu::kDefaultVersion);
    EXPECT_EQ(SimulatorName(client.SimulatorId()), "FS2004");
    EXPECT_STREQ(client.MappingName(), "FsasmLib:IPC:4D2:1");
    EXPECT_EQ(fake.TakeCalls(),
              (Calls{"find UIPCMAIN", "register FsasmLib:IPC", "atom FsasmLib:IPC:4D2:1",
                     "section FsasmLib:IPC:4D2:1 32768", "map", "send 400", "pause 100"}));
    EXPECT_EQ(RequestLines(1),
              (std::vector<std::string>{"R 1 3304 4 00000001", "R 1 3308 4 00000002",
                                        "W 1 330A 2 D507"}));
    EXPECT_EQ(fake.server.clientStamp(), 2005);
}

// Today's simulators by name; any other id by its number, for the user to report.
TEST(SimulatorName, NamesTheKnownSimulatorsAndNumbersTheOthers) {
    std::string names;
    for (std::uint32_t id = 0; id <= 14; ++id) names += SimulatorName(id) + ",";
    EXPECT_EQ(
        names,
        "Any,FS98,FS2K,CFS2,CFS1,FLY,FS2002,FS2004,FSX,ESP,P3D,FSX64,P3D64,MSFS,simulator 14,");
    EXPECT_EQ(SimulatorName(65535), "simulator 65535");
}

TEST_F(SimLinkClientTest, RepeatsTheHandshakeUntilTheServerAnswersWithTheStampOnlyFirst) {
    fake.server.SetIdentity(0, 0xFADE0007);
    fake.duringSend = [&] {
        if (fake.sends == 3) fake.server.SetIdentity(0x19980005, 0xFADE0007);  // lowest accepted
    };
    ASSERT_TRUE(Open());
    EXPECT_EQ(fake.sends, 3);
    EXPECT_EQ(fake.pausedMs, 300u);
    EXPECT_EQ(RequestLines(1).size(), 3u);
    EXPECT_EQ(RequestLines(2).size(), 2u);
    EXPECT_EQ(RequestLines(3).size(), 2u);
}

TEST_F(SimLinkClientTest, GivesUpTheHandshakeAfterFiveAttempts) {
    fake.server.SetIdentity(0, 0xFADE0007);
    EXPECT_FALSE(Open());
    EXPECT_EQ(result, SimLinkResult::WrongVersion);
    EXPECT_EQ(fake.sends, 5);
    ExpectNothingHeld();
}

TEST_F(SimLinkClientTest, RefusesServersThatAreNotTheRightOne) {
    struct Case {
        const char* what;
        std::uint32_t version, word;
        bool oldClass;
        std::int32_t requested;
        SimLinkResult expected;
    };
    const std::vector<Case> cases = {
        {"old version", 0x19980004, 0xFADE0007, false, 0, SimLinkResult::WrongVersion},
        {"old version under FS98MAIN", 0x19980004, 0xFADE0007, true, 0,
         SimLinkResult::NoSimOnServer},
        {"no marker", 0x3A000000, 0x12340007, false, 0, SimLinkResult::WrongVersion},
        {"other simulator", 0x3A000000, 0xFADE0007, false, 6, SimLinkResult::WrongSimulator},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.uipcWindow = !c.oldClass;
        fake.fs98Window = c.oldClass;
        fake.server.SetIdentity(c.version, c.word);
        EXPECT_FALSE(Open(c.requested));
        EXPECT_EQ(result, c.expected);
        ExpectNothingHeld();
    }
    fake.server.SetIdentity(0x3A000000, 0xFADE0006);
    EXPECT_TRUE(Open(6));
    EXPECT_EQ(client.SimulatorId(), 6u);
}

TEST_F(SimLinkClientTest, ReleasesWhatWasSetUpWhenOpeningFails) {
    struct Case {
        const char* what;
        bool testing::FakeSimTransport::*failure;
        SimLinkResult expected;
        Calls calls;
    };
    const std::vector<Case> cases = {
        {"no window",
         &testing::FakeSimTransport::uipcWindow,
         SimLinkResult::NoServer,
         {"find UIPCMAIN", "find FS98MAIN"}},
        {"register",
         &testing::FakeSimTransport::registerFails,
         SimLinkResult::RegisterFailed,
         {"find UIPCMAIN", "register FsasmLib:IPC"}},
        {"atom",
         &testing::FakeSimTransport::atomFails,
         SimLinkResult::AtomFailed,
         {"find UIPCMAIN", "register FsasmLib:IPC", "atom FsasmLib:IPC:4D2:1"}},
        {"section",
         &testing::FakeSimTransport::sectionFails,
         SimLinkResult::MappingFailed,
         {"find UIPCMAIN", "register FsasmLib:IPC", "atom FsasmLib:IPC:4D2:1",
          "section FsasmLib:IPC:4D2:1 32768", "delete atom"}},
        {"view",
         &testing::FakeSimTransport::mapFails,
         SimLinkResult::ViewFailed,
         {"find UIPCMAIN", "register FsasmLib:IPC", "atom FsasmLib:IPC:4D2:1",
          "section FsasmLib:IPC:4D2:1 32768", "map", "delete atom", "close section"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::FakeSimTransport world;
        world.*c.failure = c.failure != &testing::FakeSimTransport::uipcWindow;
        SimLinkClient link(&world);
        EXPECT_FALSE(link.Open(0, result));
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(world.calls, c.calls);
        EXPECT_FALSE(link.IsOpen());
        EXPECT_EQ(world.atomsAlive + world.sectionsOpen + world.viewsMapped, 0);
    }
    SimLinkClient withoutTransport;
    EXPECT_FALSE(withoutTransport.Open(0, result));
    EXPECT_EQ(result, SimLinkResult::NoServer);
}

// A server that keeps a client's section mapped after the link was closed
// serves that block again, found by the atom's name or its number: the next
// open takes the section over and runs its handshake there, from the start,
// so nothing of the failed tick's block is carried out again. A second link
// of the process meanwhile would share the block and is refused.
TEST_F(SimLinkClientTest, TakesOverItsSectionStillHeldByAServer) {
    ASSERT_TRUE(Open());
    const std::uint8_t disconnect = 3;
    ASSERT_TRUE(client.Write(0x310A, 1, &disconnect, result));
    fake.faults.Set(Fault::BadReply, 0, 1);
    EXPECT_FALSE(client.Process(result));
    client.Close();
    fake.sectionsInUse = {"FsasmLib:IPC:4D2:1"};
    fake.TakeCalls();
    ASSERT_TRUE(Open());
    EXPECT_STREQ(client.MappingName(), "FsasmLib:IPC:4D2:1");
    EXPECT_EQ(fake.TakeCalls(),
              (Calls{"find UIPCMAIN", "register FsasmLib:IPC", "atom FsasmLib:IPC:4D2:1",
                     "section FsasmLib:IPC:4D2:1 32768", "map", "send 400", "pause 100"}));
    EXPECT_EQ(RequestLines(3),
              (std::vector<std::string>{"R 3 3304 4 00000001", "R 3 3308 4 00000002",
                                        "W 3 330A 2 D507"}));

    SimLinkClient second(&fake);
    EXPECT_FALSE(second.Open(0, result));
    EXPECT_EQ(result, SimLinkResult::MappingFailed);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(fake.atomsAlive + fake.sectionsOpen + fake.viewsMapped, 3);  // the first link's
    std::uint8_t value = 0;
    fake.server.image()[0x0100] = 0x21;
    ASSERT_TRUE(client.Read(0x0100, 1, &value, result));
    EXPECT_TRUE(client.Process(result));
    EXPECT_EQ(value, 0x21);
}

TEST_F(SimLinkClientTest, ASecondOpenLeavesTheLinkAsItWas) {
    ASSERT_TRUE(Open());
    fake.TakeCalls();
    EXPECT_FALSE(Open());
    EXPECT_EQ(result, SimLinkResult::AlreadyOpen);
    EXPECT_TRUE(fake.TakeCalls().empty());
    EXPECT_EQ(client.SimulatorId(), 7u);
    std::uint16_t value = 0;
    fake.server.image()[0x0100] = 0x21;
    EXPECT_TRUE(client.Read(0x0100, 2, &value, result));
    EXPECT_TRUE(client.Process(result));
    EXPECT_EQ(value, 0x21);
}

TEST_F(SimLinkClientTest, ClosesInOrderAndOpensAgain) {
    ASSERT_TRUE(Open());
    fake.TakeCalls();
    client.Close();
    EXPECT_EQ(fake.TakeCalls(), (Calls{"delete atom", "unmap", "close section"}));
    ExpectNothingHeld();
    EXPECT_EQ(client.SimulatorId(), 7u);  // kept after closing
    client.Close();
    EXPECT_TRUE(fake.TakeCalls().empty());

    ASSERT_TRUE(Open());
    {
        SimLinkClient scoped(&fake);
        client.Close();
        ASSERT_TRUE(scoped.Open(0, result));
    }
    ExpectNothingHeld();  // the destructor closed it
}

TEST_F(SimLinkClientTest, RefusesEveryRequestWhileClosedOrEmpty) {
    std::uint8_t byte = 0;
    EXPECT_FALSE(client.Read(0, 1, &byte, result));
    EXPECT_EQ(result, SimLinkResult::NotOpen);
    EXPECT_FALSE(client.Write(0, 1, &byte, result));
    EXPECT_EQ(result, SimLinkResult::NotOpen);
    EXPECT_FALSE(client.Process(result));
    EXPECT_EQ(result, SimLinkResult::NotOpen);
    ASSERT_TRUE(Open());
    EXPECT_FALSE(client.Process(result));
    EXPECT_EQ(result, SimLinkResult::NothingQueued);
    EXPECT_TRUE(client.IsOpen());
}

TEST_F(SimLinkClientTest, ExchangesReadsAndWritesInQueueOrder) {
    ASSERT_TRUE(Open());
    simemu::PutI16(fake.server.image(), 0x0BB6, -300);
    const std::int16_t aileron = 1234;
    std::int16_t before = 0, after = 0;
    std::uint8_t zero = 0x77;
    ASSERT_TRUE(client.Read(0x0BB6, 2, &before, result));
    ASSERT_TRUE(client.Write(0x0BB6, 2, &aileron, result));
    ASSERT_TRUE(client.Read(0x0BB6, 2, &after, result));
    ASSERT_TRUE(client.Read(0x0100, 8, nullptr, result));
    ASSERT_TRUE(client.Read(0x0100, 0, &zero, result));
    ASSERT_TRUE(client.Write(0x0100, 0, nullptr, result));
    ASSERT_TRUE(client.Process(result));
    EXPECT_EQ(before, -300);
    EXPECT_EQ(after, 1234);
    EXPECT_EQ(zero, 0x77);
    EXPECT_EQ(RequestLines(2).back(), "W 2 0100 0 -");
    EXPECT_EQ(client.Counts().Exchanges(), 2u);  // the handshake's and this one
    EXPECT_EQ(client.Counts().Failures(), 0u);
}

// The exchange time over the last minute: its median and longest, from the
// exchanges that started within it only.
TEST(ExchangeCounts, MedianAndLongestOfTheLastMinute) {
    ExchangeCounts counts;
    counts.Add(false, 0, 90'000);  // over a minute before the end: not among them
    for (std::int64_t i = 1; i <= 2000; ++i) counts.Add(true, 1'000'000 + i * 50'000, i % 5 * 100);
    counts.Add(true, 101'000'000, 7'000);
    const ExchangeTimeSummary last = counts.LastMinute(101'000'000);
    EXPECT_EQ(counts.Exchanges(), 2002u);
    EXPECT_EQ(counts.Failures(), 1u);
    EXPECT_EQ(last.count, 1202u);  // from 41 s on, the last included
    EXPECT_EQ(last.medianUs, 200u);
    EXPECT_EQ(last.longestUs, 7'000u);
}

TEST_F(SimLinkClientTest, CarriesABlockFilledToCapacity) {
    ASSERT_TRUE(Open());
    static std::array<std::uint8_t, kRequestBlockCapacity> values;
    const std::uint32_t largest = kRequestBlockCapacity - kReadHeaderSize - kEndMarkerSize;
    EXPECT_FALSE(client.Read(0, largest + 1, values.data(), result));
    EXPECT_EQ(result, SimLinkResult::BlockFull);
    fake.server.image()[largest - 1] = 0x5A;
    ASSERT_TRUE(client.Read(0, largest, values.data(), result));
    ASSERT_TRUE(client.Process(result));
    EXPECT_EQ(values[largest - 1], 0x5A);
}

TEST_F(SimLinkClientTest, SendsTenTimesBeforeGivingUp) {
    struct Case {
        std::uint32_t lastError;
        SimLinkResult expected;
    };
    // 1460 is the timeout error of current systems; older ones left 0.
    for (const Case c : {Case{0, SimLinkResult::TimedOut}, Case{1460, SimLinkResult::TimedOut},
                         Case{5, SimLinkResult::SendFailed}}) {
        SCOPED_TRACE(c.lastError);
        client.Close();
        ASSERT_TRUE(Open());
        fake.TakeCalls();
        fake.failSends = 10;
        fake.sendError = c.lastError;
        std::uint32_t value = 0xABCD;
        ASSERT_TRUE(client.Read(0x0100, 4, &value, result));
        EXPECT_FALSE(client.Process(result));
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(client.LastSendError(), c.lastError);
        EXPECT_EQ(value, 0xABCDu);
        Calls expected;
        for (int i = 0; i < 10; ++i) expected.insert(expected.end(), {"send 400", "pause 10"});
        EXPECT_EQ(fake.TakeCalls(), expected);
        // The failed batch is gone.
        EXPECT_FALSE(client.Process(result));
        EXPECT_EQ(result, SimLinkResult::NothingQueued);
        EXPECT_TRUE(client.IsOpen());
    }
    fake.failSends = 9;
    fake.server.image()[0x0100] = 0x99;
    std::uint8_t value = 0;
    ASSERT_TRUE(client.Read(0x0100, 1, &value, result));
    EXPECT_TRUE(client.Process(result));  // the tenth send gets through
    EXPECT_EQ(value, 0x99);
    EXPECT_EQ(client.LastSendError(), 0u);
}

TEST_F(SimLinkClientTest, FailsTheHandshakeWithTheExchangesResult) {
    fake.failSends = 10;
    fake.sendError = 5;
    EXPECT_FALSE(Open());
    EXPECT_EQ(result, SimLinkResult::SendFailed);
    ExpectNothingHeld();
}

TEST_F(SimLinkClientTest, DeliversNothingFromABadAnswerOrADamagedBlock) {
    ASSERT_TRUE(Open());
    for (Fault fault : {Fault::BadReply, Fault::BadSize, Fault::HugeSize, Fault::BadMarker,
                        Fault::BadReference, Fault::BadEnd}) {
        SCOPED_TRACE(simemu::FaultName(fault));
        fake.faults.Set(fault, 0, 1);
        fake.server.image()[0x0200] = 0x42;
        std::array<std::uint8_t, 6> guarded = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
        std::uint16_t written = 7;
        ASSERT_TRUE(client.Read(0x0200, 2, &guarded[2], result));
        ASSERT_TRUE(client.Write(0x0300, 2, &written, result));
        ASSERT_TRUE(client.Read(0x0200, 1, &guarded[0], result));
        EXPECT_FALSE(client.Process(result));
        EXPECT_EQ(result, SimLinkResult::BadReply);
        EXPECT_EQ(guarded, (std::array<std::uint8_t, 6>{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
        // The link stays open and the next exchange is whole again.
        ASSERT_TRUE(client.Read(0x0200, 1, &guarded[0], result));
        EXPECT_TRUE(client.Process(result));
        EXPECT_EQ(guarded[0], 0x42);
    }
}

// A tick that runs while an exchange waits for the server must not touch the
// block being exchanged.
TEST_F(SimLinkClientTest, LeavesTheBlockAloneForCallsFromInsideAnExchange) {
    ASSERT_TRUE(Open());
    std::uint8_t nested = 0;
    std::vector<SimLinkResult> nestedResults;
    fake.duringSend = [&] {
        SimLinkResult r;
        client.Read(0x0100, 1, &nested, r);
        nestedResults.push_back(r);
        client.Write(0x0100, 1, &nested, r);
        nestedResults.push_back(r);
        client.Process(r);
        nestedResults.push_back(r);
        client.Open(0, r);
        nestedResults.push_back(r);
    };
    fake.server.image()[0x0200] = 0x42;
    std::uint8_t outer = 0;
    ASSERT_TRUE(client.Read(0x0200, 1, &outer, result));
    EXPECT_TRUE(client.Process(result));
    EXPECT_EQ(outer, 0x42);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(nestedResults, (std::vector<SimLinkResult>{
                                 SimLinkResult::BlockFull, SimLinkResult::BlockFull,
                                 SimLinkResult::NothingQueued, SimLinkResult::AlreadyOpen}));
    EXPECT_EQ(RequestLines(2), (std::vector<std::string>{"R 2 0200 1 00000001"}));
}

TEST_F(SimLinkClientTest, ClosesAfterTheExchangeWhenAskedFromInsideIt) {
    ASSERT_TRUE(Open());
    fake.duringSend = [&] {
        client.Close();
        EXPECT_TRUE(client.IsOpen());  // the server is still using the block
    };
    fake.server.image()[0x0200] = 0x42;
    std::uint8_t value = 0;
    ASSERT_TRUE(client.Read(0x0200, 1, &value, result));
    EXPECT_TRUE(client.Process(result));
    EXPECT_EQ(value, 0x42);
    ExpectNothingHeld();

    EXPECT_FALSE(Open());  // closed during the handshake
    EXPECT_EQ(result, SimLinkResult::NotOpen);
    ExpectNothingHeld();
}

TEST(ProcessSimLink, RunsThroughTheInstalledTransport) {
    testing::FakeSimTransport fake;
    SimLinkResult result;
    ASSERT_TRUE(InstallSimLinkTransport(&fake));
    ASSERT_TRUE(SimLinkOpen(7, result));
    EXPECT_TRUE(SimLinkIsOpen());
    EXPECT_EQ(SimLinkSimulatorId(), 7u);
    EXPECT_EQ(SimLinkServerVersion(), simemu::kDefaultVersion);

    const std::uint16_t written = 0x1850;
    std::uint16_t read = 0;
    ASSERT_TRUE(SimLinkWrite(0x034E, 2, &written, result));
    ASSERT_TRUE(ProcessSimLink().Read(0x034E, 2, &read, result));
    ASSERT_TRUE(SimLinkProcess(result));
    EXPECT_EQ(read, 0x1850);
    EXPECT_TRUE(SimLinkRead(0x034E, 2, &read, result));

    // Replacing the transport closes the link first.
    ASSERT_TRUE(InstallSimLinkTransport(nullptr));
    EXPECT_FALSE(SimLinkIsOpen());
    EXPECT_EQ(fake.atomsAlive + fake.sectionsOpen + fake.viewsMapped, 0);
    EXPECT_FALSE(SimLinkOpen(0, result));
    EXPECT_EQ(result, SimLinkResult::NoServer);
    SimLinkClose();
}

}  // namespace
}  // namespace bridge
