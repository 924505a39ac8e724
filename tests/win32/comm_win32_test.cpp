// The serial component against a real (emulated) line: COM5 under test, COM6
// as the peer, joined by pty_pair. The test thread is the user-interface
// thread and pumps its message loop whenever events are expected.
//
// Every test on the line runs once per wait of the event thread (EventWait,
// ReadWait; see platform/serial/win32/port_wait.h), and ctest runs each set as an
// entry of its own. The read wait serves a port whose only handler is
// OnRxChar; with other handlers, or none, both sets take the event wait.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "boxlink/box_frames.h"
#include "platform/serial/win32/comm.h"
#include "platform/serial/win32/event_wait.h"
#include "tests/win32/message_pump.h"
#include "tests/win32/null_modem.h"
#include "tools/box_protocol/box_protocol.h"

namespace bridge {
namespace {

using testing::PeerPort;
using testing::PumpFor;
using testing::PumpUntil;

// Whatever a test did, no transfer was left to a driver.
class NoAbandonedTransfers : public ::testing::Environment {
public:
    void TearDown() override {
        std::printf("[ measure  ] abandoned transfers = %u\n", AbandonedTransfers());
        EXPECT_EQ(AbandonedTransfers(), 0u);
    }
};
::testing::Environment* const kNoAbandonedTransfers =
    ::testing::AddGlobalTestEnvironment(new NoAbandonedTransfers);

// Reaches what the tests look at: the handle, the event thread and each
// FirePortEvent call with the mask of the wake-up it came from; and refuses
// to start a thread when told to.
class ObservedComm : public TComm {
public:
    struct Fired {
        std::uint32_t code;
        std::uint32_t mask;
    };
    using TCustomComm::EventThread;
    using TCustomComm::Handle;
    std::vector<Fired> fired;
    std::string refusedStart;  // "event thread" or "write thread"

    std::uint32_t InputQueued() const {
        DWORD errors = 0;
        COMSTAT status = {};
        ClearCommError(Handle(), &errors, &status);
        return status.cbInQue;
    }
    DCB Dcb() const {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        GetCommState(Handle(), &dcb);
        return dcb;
    }
    COMMTIMEOUTS Timeouts() const {
        COMMTIMEOUTS t = {};
        GetCommTimeouts(Handle(), &t);
        return t;
    }
    bool EventThreadEnded() const { return EventThread() != nullptr && EventThread()->Finished(); }

protected:
    void FirePortEvent(std::uint32_t code) override {
        fired.push_back({code, EventThread() != nullptr ? EventThread()->EventMask() : 0});
        TComm::FirePortEvent(code);
    }
    bool StartWorker(WorkerThread& worker) override {
        const bool eventThread = dynamic_cast<TCommEventThread*>(&worker) != nullptr;
        if (refusedStart == (eventThread ? "event thread" : "write thread")) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        return TComm::StartWorker(worker);
    }
};

std::string ErrorText(const char* message, std::int32_t code) {
    return std::string(message) + " (Error: " + std::to_string(code) + ") ";
}

std::vector<std::uint8_t> Pattern(std::size_t count, std::uint8_t seed) {
    std::vector<std::uint8_t> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

class CommOnNullModem : public ::testing::TestWithParam<CommWaitChoice> {
protected:
    void SetUp() override {
        ASSERT_FALSE(testing::NullModemDir().empty())
            << "BRIDGE_COM_PORTS_DIR is not set: run through ctest (tools/pty_pair)";
        ASSERT_TRUE(testing::SetLineState("com5", ""));
        ASSERT_TRUE(peer.IsOpen());
        comm.SetWaitChoice(GetParam());
        comm.SetDeviceName(testing::kPortUnderTest);
        comm.SetBaudRate(cbr115200);
        comm.SetFlowControl(fcNone);
        comm.SetCharsTimeOut(20);
    }
    void TearDown() override {
        comm.Close();
        testing::SetLineState("com5", "");
    }

    // Collects what OnRxChar reads, checking each Read returns the count.
    void CollectReceived() {
        comm.OnRxChar = [this](TCustomComm& sender, std::int32_t count) {
            counts.push_back(count);
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count));
            const std::int32_t n = sender.Read(buffer.data(), count);
            EXPECT_EQ(n, count);
            if (n > 0) received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        };
    }

    bool ReadWaitRuns() const { return GetParam() == CommWaitChoice::Read; }

    PeerPort peer;
    ObservedComm comm;
    std::vector<std::int32_t> counts;
    std::vector<std::uint8_t> received;
};

INSTANTIATE_TEST_SUITE_P(Waits, CommOnNullModem,
                         ::testing::Values(CommWaitChoice::Events, CommWaitChoice::Read),
                         [](const ::testing::TestParamInfo<CommWaitChoice>& info) {
                             return info.param == CommWaitChoice::Read ? "ReadWait" : "EventWait";
                         });

TEST_P(CommOnNullModem, BytesTravelBothWaysAndRxCharReportsTheWaitingCount) {
    CollectReceived();
    comm.Open();
    ASSERT_TRUE(comm.IsOpen());

    const auto inbound = Pattern(300, 1);
    ASSERT_TRUE(peer.Send(inbound));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= inbound.size(); }));
    EXPECT_EQ(received, inbound);
    for (std::int32_t c : counts) EXPECT_GT(c, 0);

    const auto outbound = Pattern(500, 9);
    EXPECT_EQ(comm.Write(outbound.data(), 200), -1);
    EXPECT_TRUE(comm.Queue(outbound.data() + 200, outbound.size() - 200));
    EXPECT_EQ(comm.Write(outbound.data(), 0), 0);
    // More than the queue holds is refused whole, and counted.
    const std::vector<std::uint8_t> tooMuch(PortWriter::kDefaultCapacity + 1);
    EXPECT_EQ(comm.Write(tooMuch.data(), static_cast<std::int32_t>(tooMuch.size())), -1);
    EXPECT_FALSE(comm.Queue(tooMuch.data(), tooMuch.size()));
    EXPECT_EQ(comm.RefusedWrites(), 2u);
    ASSERT_TRUE(peer.WaitForBytes(outbound.size()));
    EXPECT_EQ(peer.Received(), outbound);
    // All nine events are monitored, but only received bytes have a handler:
    // nothing else (the transmitter's empty queue) wakes the thread.
    for (const auto& f : comm.fired) EXPECT_EQ(f.code, static_cast<std::uint32_t>(EV_RXCHAR));

    comm.Close();
    EXPECT_EQ(comm.Write(outbound.data(), 3), -1);
    EXPECT_FALSE(comm.Queue(outbound.data(), 3));
    std::uint8_t b[4];
    EXPECT_EQ(comm.Read(b, 4), -1);
}

// Held writes wait for the last release, then go out in order; a close drops
// them with the rest of the unsent output, and the line counts none of them.
TEST_P(CommOnNullModem, HeldWritesGoOutAtTheLastReleaseAndACloseDropsThem) {
    comm.Open();
    const auto first = Pattern(40, 3), second = Pattern(60, 5), dropped = Pattern(30, 7);
    comm.HoldWrites();
    comm.HoldWrites();
    EXPECT_TRUE(comm.Queue(first.data(), first.size(), 0));
    EXPECT_TRUE(comm.Queue(second.data(), second.size(), 1));
    comm.ReleaseWrites();
    EXPECT_EQ(comm.BytesWritten(), 0u);  // nothing held goes out before the last release
    comm.ReleaseWrites();
    auto both = first;
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(peer.WaitForBytes(both.size()));
    ASSERT_TRUE(PumpUntil([&] { return comm.Written(0) == 1 && comm.Written(1) == 1; }));
    EXPECT_EQ(comm.BytesWritten(), both.size());

    comm.HoldWrites();
    EXPECT_TRUE(comm.Queue(dropped.data(), dropped.size(), 0));
    comm.Close();
    comm.ReleaseWrites();
    comm.Open();  // released: writes go out at once again
    EXPECT_TRUE(comm.Queue(first.data(), first.size(), 0));
    auto expected = both;
    expected.insert(expected.end(), first.begin(), first.end());
    ASSERT_TRUE(peer.WaitForBytes(expected.size()));
    ASSERT_TRUE(PumpUntil([&] { return comm.Written(0) == 2; }));
    EXPECT_EQ(peer.Received(), expected);
    EXPECT_EQ(comm.BytesWritten(), expected.size());
}

TEST_P(CommOnNullModem, ErrorArrivingWithBytesCallsOnErrorBeforeOnRxCharFromOneWakeUp) {
    std::vector<std::string> calls;
    comm.OnError = [&](TCustomComm&, std::int32_t) { calls.push_back("error"); };
    CollectReceived();
    auto rx = comm.OnRxChar;
    comm.OnRxChar = [&](TCustomComm& sender, std::int32_t count) {
        calls.push_back("rx");
        rx(sender, count);
    };
    // Only these two, so no other event (an empty transmitter at the start)
    // has the event thread busy in a hand-over when the bytes arrive.
    comm.SetMonitorEvents({evError, evRxChar});
    comm.Open();
    ASSERT_TRUE(testing::SetLineState("com5", "error_with_data=1"));
    ASSERT_TRUE(peer.Send("abcde"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 5; }));

    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], "error");
    EXPECT_EQ(calls[1], "rx");
    ASSERT_GE(comm.fired.size(), 2u);
    EXPECT_EQ(comm.fired[0].code, static_cast<std::uint32_t>(EV_ERR));
    EXPECT_EQ(comm.fired[1].code, static_cast<std::uint32_t>(EV_RXCHAR));
    // Both came from the same wake-up, whose mask held both events.
    EXPECT_EQ(comm.fired[0].mask & (EV_ERR | EV_RXCHAR), static_cast<DWORD>(EV_ERR | EV_RXCHAR));
    EXPECT_EQ(comm.fired[1].mask, comm.fired[0].mask);
}

// Reads what a pipe's other end writes, until `count` bytes came or none for
// 10 s.
std::vector<std::uint8_t> ReadPipe(HANDLE pipe, std::size_t count) {
    std::vector<std::uint8_t> got;
    std::uint8_t buffer[4096];
    const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (got.size() < count) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = done;
        DWORD n = 0;
        if (!ReadFile(pipe, buffer, sizeof buffer, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            break;
        }
        if (WaitForSingleObject(done, 10000) != WAIT_OBJECT_0) CancelIoEx(pipe, &overlapped);
        if (!GetOverlappedResult(pipe, &overlapped, &n, TRUE)) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    CloseHandle(done);
    return got;
}

// A transfer the line does not take at once is finished by the writer's
// thread, and what is queued meanwhile follows it, in order and counted; one
// still running when the writer stops is cancelled, not left to the driver.
// A pipe nobody reads stands for the stalled line: its writes run on, with no
// time limit, until the other end reads.
TEST(PortWriterOnAPipe, ATransferThatRunsOnIsFinishedByTheThreadAndTheRestFollowsInOrder) {
    const char* name = R"(\\.\pipe\bridge-port-writer-test)";
    const HANDLE reader = CreateNamedPipeA(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const HANDLE line =
        CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(line, INVALID_HANDLE_VALUE);
    std::vector<std::uint8_t> sent;
    std::uint32_t queued = 0;
    {
        PortWriter writer(line);
        ASSERT_TRUE(writer.Ready());
        writer.SetLineRate(115200);
        ASSERT_TRUE(writer.Start());
        const auto queue = [&] {
            const auto chunk = Pattern(1000, static_cast<std::uint8_t>(queued));
            sent.insert(sent.end(), chunk.begin(), chunk.end());
            return writer.Queue(chunk.data(), chunk.size(),
                                static_cast<std::uint8_t>(queued++ % 2));
        };
        while (writer.BytesWritten() == sent.size() && queued < 1000) ASSERT_TRUE(queue());
        ASSERT_LT(writer.BytesWritten(), sent.size()) << "the pipe took everything at once";
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(queue());
        EXPECT_EQ(ReadPipe(reader, sent.size()), sent);
        ASSERT_TRUE(PumpUntil([&] { return writer.Written(0) + writer.Written(1) == queued; }));
        EXPECT_EQ(writer.BytesWritten(), sent.size());

        while (writer.BytesWritten() == sent.size() && queued < 2000) ASSERT_TRUE(queue());
    }  // stopped with a transfer running
    CloseHandle(line);
    CloseHandle(reader);
}

TEST(CommDispatch, FollowsTheEventTableAfterOneStatusQueryAndSkipsUnassignedHandlers) {
    ObservedComm comm;  // closed: the status query fails and reports zeros
    std::vector<std::string> calls;
    comm.OnBreak = [&](TCustomComm&) { calls.push_back("break"); };
    comm.OnError = [&](TCustomComm&, std::int32_t errors) {
        calls.push_back("error " + std::to_string(errors));
    };
    comm.OnRing = [&](TCustomComm&) { calls.push_back("ring"); };
    comm.OnRxChar = [&](TCustomComm&, std::int32_t count) {
        calls.push_back("rx " + std::to_string(count));
    };
    comm.OnTxEmpty = [&](TCustomComm&) { calls.push_back("txempty"); };
    TCommEventThread unstarted(INVALID_HANDLE_VALUE, {std::make_unique<EventWait>(0)}, comm);
    comm.HandlePortEvents(unstarted, 0x1FF | 0x400);  // every event, and a code outside the table

    const std::vector<std::string> expected = {"break", "error 0", "ring", "rx 0", "txempty"};
    EXPECT_EQ(calls, expected);
    std::vector<std::uint32_t> codes;
    for (const auto& f : comm.fired) codes.push_back(f.code);
    const std::vector<std::uint32_t> tableOrder = {0x40, 0x08, 0x10, 0x80, 0x100,
                                                   0x20, 0x01, 0x02, 0x04};
    EXPECT_EQ(codes, tableOrder);
}

TEST_P(CommOnNullModem, OpenWhileOpenEndsTheOldThreadAndDiscardsUnreadInput) {
    comm.Open();  // no OnRxChar: the bytes stay in the input queue
    ASSERT_TRUE(peer.Send("unread"));
    ASSERT_TRUE(PumpUntil([&] { return comm.InputQueued() == 6; }));

    CollectReceived();  // assigned before the Open that is to wait for it
    comm.Open();
    ASSERT_TRUE(comm.IsOpen());
    EXPECT_EQ(comm.InputQueued(), 0u);

    ASSERT_TRUE(peer.Send("new"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 3; }));
    EXPECT_EQ(std::string(received.begin(), received.end()), "new");
}

TEST_P(CommOnNullModem, CloseWhileClosedDoesNothing) {
    EXPECT_NO_THROW(comm.Close());
    comm.Open();
    comm.Close();
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.EventThread(), nullptr);
    EXPECT_NO_THROW(comm.Close());
}

// Each way Open can fail leaves the port closed: a missing device (with the
// system's code), a file that is no device, a character device that is no
// serial port (it refuses what the wait selects: the event mask, or the read
// wait's timeouts, which come first), and a thread the system refuses. A
// port that is "open" but deaf or mute would be worse.
TEST_P(CommOnNullModem, EveryFailureOfOpenIsReportedAndLeavesThePortClosed) {
    comm.SetDeviceName("COM42");
    SetLastError(0);
    const HANDLE direct = CreateFileA("\\\\.\\COM42", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_EQ(direct, INVALID_HANDLE_VALUE);
    const auto systemCode = static_cast<std::int32_t>(GetLastError());
    ASSERT_GT(systemCode, 0);
    try {
        comm.Open();
        FAIL() << "Open of a missing device succeeded";
    } catch (const ECommError& e) {
        EXPECT_EQ(e.ErrorCode, systemCode);
        EXPECT_EQ(std::string(e.what()), ErrorText("Error accessing specified device", systemCode));
    }
    EXPECT_FALSE(comm.IsOpen());

    char path[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, path), 0u);
    const std::string file = std::string(path) + "comm_test_not_a_port.txt";
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    comm.SetDeviceName(file);
    try {
        comm.Open();
        FAIL() << "Open of a plain file succeeded";
    } catch (const ECommError& e) {
        EXPECT_EQ(e.ErrorCode, -1);
        EXPECT_EQ(std::string(e.what()), ErrorText("Invalid device handle, access denied", -1));
    }
    EXPECT_FALSE(comm.IsOpen());
    DeleteFileA(file.c_str());

    comm.OnRxChar = [](TCustomComm&, std::int32_t) {};
    comm.SetDeviceName("NUL");
    const char* refused =
        ReadWaitRuns() ? "Error updating CommTimeouts" : "Error updating CommMask";
    try {
        comm.Open();
        FAIL() << "Open of NUL succeeded";
    } catch (const ECommError& e) {
        EXPECT_GT(e.ErrorCode, 0);
        EXPECT_EQ(std::string(e.what()), ErrorText(refused, e.ErrorCode));
    }
    EXPECT_EQ(comm.State(), PortState::Closed);

    comm.SetDeviceName(testing::kPortUnderTest);
    for (const char* thread : {"event thread", "write thread"}) {
        comm.refusedStart = thread;
        try {
            comm.Open();
            ADD_FAILURE() << "Open with no " << thread << " succeeded";
        } catch (const ECommError& e) {
            EXPECT_EQ(std::string(e.what()),
                      ErrorText(("Error creating " + std::string(thread)).c_str(),
                                ERROR_NOT_ENOUGH_MEMORY));
        }
        EXPECT_EQ(comm.State(), PortState::Closed);
        EXPECT_EQ(comm.EventThread(), nullptr);
    }
    comm.refusedStart.clear();
    comm.Open();  // the device was released each time
    EXPECT_TRUE(comm.IsOpen());
}

TEST_P(CommOnNullModem, PropertiesNeedingAClosedPortAreRefusedWhileOpenOthersApplyAtOnce) {
    comm.SetBaudRate(cbr38400);  // closed: stored only
    comm.Open();
    EXPECT_EQ(comm.Dcb().BaudRate, 38400u);

    const std::string refused = ErrorText("Device already assigned (open)", -1);
    auto expectRefused = [&](auto set) {
        try {
            set();
            ADD_FAILURE() << "setter accepted while open";
        } catch (const ECommError& e) {
            EXPECT_EQ(e.ErrorCode, -1);
            EXPECT_EQ(std::string(e.what()), refused);
        }
    };
    expectRefused([&] { comm.SetDeviceName("COM6"); });
    expectRefused([&] { comm.SetMonitorEvents({evRxChar}); });
    expectRefused([&] { comm.SetReadBufSize(100); });
    expectRefused([&] { comm.SetWriteBufSize(100); });
    EXPECT_EQ(comm.DeviceName(), "COM5");
    EXPECT_EQ(comm.MonitorEvents(), kAllCommEvents);
    EXPECT_EQ(comm.ReadBufSize(), 4096);
    EXPECT_EQ(comm.WriteBufSize(), 2048);

    comm.SetBaudRate(cbr57600);
    comm.EventChars().SetXonChar(0x11 + 1);
    const DCB dcb = comm.Dcb();
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.XonChar, 0x12);

    comm.Close();
    EXPECT_NO_THROW(comm.SetDeviceName("COM5"));
    EXPECT_NO_THROW(comm.SetReadBufSize(4096));
}

TEST_P(CommOnNullModem, ASettingTheDriverRejectsIsReportedAndKeptThePortUnchanged) {
    comm.Open();
    // A pty has no parity: once Linux has dropped the bit it refuses it, so
    // one of these changes fails in SetCommState.
    bool raised = false;
    for (TParity parity : {paOdd, paEven, paMark, paSpace}) {
        try {
            comm.SetParity(parity);
        } catch (const ECommError& e) {
            raised = true;
            EXPECT_GT(e.ErrorCode, 0);
            EXPECT_EQ(std::string(e.what()),
                      ErrorText("Error updating DataControlBlock", e.ErrorCode));
            EXPECT_EQ(comm.Parity(), parity);  // the property keeps its new value
            break;
        }
    }
    ASSERT_TRUE(raised);
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(comm.Dcb().BaudRate, 115200u);
}

TEST_P(CommOnNullModem, CharsTimeOutZeroMakesReadsReturnWithWhatHasArrived) {
    comm.SetCharsTimeOut(0);
    comm.Open();
    COMMTIMEOUTS t = comm.Timeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1500u);

    std::uint8_t buffer[100];
    EXPECT_EQ(comm.Read(buffer, sizeof buffer), 0);
    ASSERT_TRUE(peer.Send("xyz"));
    ASSERT_TRUE(PumpUntil([&] { return comm.InputQueued() == 3; }));
    ASSERT_EQ(comm.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(std::memcmp(buffer, "xyz", 3), 0);

    comm.SetCharsTimeOut(20);
    EXPECT_EQ(comm.Timeouts().ReadIntervalTimeout, 20u);
}

// Read outside OnRxChar, with a handler that does not read: the same for
// both waits, though the read wait may hold some of the bytes.
TEST_P(CommOnNullModem, AReadOfMoreThanWaitingTakesWhatIsThereAndLeavesNothingRunning) {
    std::int32_t waiting = 0;
    comm.OnRxChar = [&](TCustomComm&, std::int32_t count) { waiting = count; };
    comm.Open();
    std::uint8_t buffer[100];
    // Nothing waiting: the read is cut off, and must not swallow later bytes.
    EXPECT_EQ(comm.Read(buffer, sizeof buffer), 0);
    ASSERT_TRUE(peer.Send("12345"));
    ASSERT_TRUE(PumpUntil([&] { return waiting == 5; }));
    std::memset(buffer, 0, sizeof buffer);
    ASSERT_EQ(comm.Read(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::memcmp(buffer, "12345", 5), 0);
    ASSERT_TRUE(peer.Send("67"));
    ASSERT_TRUE(PumpUntil([&] { return waiting == 2; }));
    ASSERT_EQ(comm.Read(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::memcmp(buffer, "67", 2), 0);
}

// A handler that does not read lets the bytes wait, as many as the input
// queue holds; once it reads again it gets them oldest first, the rest of what
// came meanwhile is what a full queue drops, and the line works on.
TEST_P(CommOnNullModem, AHandlerThatStopsReadingFindsTheLineWorkingWhenItReadsAgain) {
    bool reading = false;
    std::int32_t waiting = 0;
    int calls = 0;
    comm.OnRxChar = [&](TCustomComm& sender, std::int32_t count) {
        waiting = count;
        ++calls;
        if (!reading) return;
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count));
        const std::int32_t n = sender.Read(buffer.data(), count);
        if (n > 0) received.insert(received.end(), buffer.begin(), buffer.begin() + n);
    };
    comm.Open();
    constexpr std::size_t kQueue = 4096;  // ReadBufSize
    const auto first = Pattern(6000, 3);  // more than the queue
    ASSERT_TRUE(peer.Send(first));
    // Unread, the bytes wait on the device for the event wait; the read wait
    // takes one a wake-up until its hold is full, and then drops them.
    ASSERT_TRUE(PumpUntil([&] { return ReadWaitRuns() ? calls > 5000 : waiting >= 4000; }))
        << calls << " calls, " << waiting << " waiting";

    reading = true;
    ASSERT_TRUE(peer.Send("k"));  // a byte to wake the handler (a full queue may drop it)
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= kQueue - 1; })) << received.size();
    const auto second = Pattern(300, 41);
    ASSERT_TRUE(peer.Send(second));
    ASSERT_TRUE(PumpUntil([&] {
        return received.size() >= second.size() &&
               std::equal(second.begin(), second.end(), received.end() - 300);
    })) << received.size();
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + 4000, received.begin()));
    // In order, and nothing but what was sent.
    std::vector<std::uint8_t> sent = first;
    sent.push_back('k');
    sent.insert(sent.end(), second.begin(), second.end());
    auto next = sent.begin();
    for (const std::uint8_t b : received) next = std::find(next, sent.end(), b) + 1;
    EXPECT_LE(next, sent.end());
}

TEST_P(CommOnNullModem, NoHandshakeOpensOnADriverWithoutRtsToggle) {
    comm.Open();  // Wine rejects RTS toggle mode, as many USB adapters do
    const DCB dcb = comm.Dcb();
    EXPECT_TRUE(dcb.fRtsControl == RTS_CONTROL_ENABLE || dcb.fRtsControl == RTS_CONTROL_TOGGLE);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    // Changing a setting later goes through the same fallback.
    EXPECT_NO_THROW(comm.SetBaudRate(cbr9600));
    EXPECT_EQ(comm.Dcb().BaudRate, 9600u);
}

TEST_P(CommOnNullModem, TenThousandFramesWrittenBackToBackArriveCompleteAndInOrder) {
    constexpr std::uint32_t kFrames = 10000;
    comm.Open();
    std::size_t total = 0;
    std::uint8_t frame[32];
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        const std::uint8_t payload[4] = {static_cast<std::uint8_t>(i),
                                         static_cast<std::uint8_t>(i >> 8),
                                         static_cast<std::uint8_t>(i >> 16), 0x5A};
        const std::size_t n = BuildItemFrame(frame, 0x123, payload);
        ASSERT_GT(n, 0u);
        comm.Write(frame, static_cast<std::int32_t>(n));
        total += n;
        std::memset(frame, 0xEE, sizeof frame);  // the caller reuses its buffer at once
    }
    ASSERT_TRUE(peer.WaitForBytes(total, 60000)) << peer.Received().size() << " of " << total;

    boxproto::OutgoingDecoder decoder;
    decoder.Feed(peer.Received());
    const auto frames = decoder.TakeFrames();
    EXPECT_EQ(decoder.strayBytes(), 0u);
    EXPECT_EQ(decoder.badFrames(), 0u);
    ASSERT_EQ(frames.size(), kFrames);
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        const auto item = boxproto::AsItem(frames[i]);
        ASSERT_TRUE(item.has_value());
        ASSERT_EQ(item->payload.size(), 4u);
        const std::uint32_t counter = item->payload[0] | (item->payload[1] << 8) |
                                      (static_cast<std::uint32_t>(item->payload[2]) << 16);
        ASSERT_EQ(counter, i) << "frame " << i << " out of order";
    }
}

// An adapter pulled out: the loss is reported once, with the system's error,
// and the port is released by then; plugged back in, the port opens and works.
TEST_P(CommOnNullModem, AnUnpluggedDeviceIsLostOnceAndOpensAgainWhenBack) {
    CollectReceived();
    std::vector<std::int32_t> lost;
    comm.OnPortLost = [&](TCustomComm& sender, std::int32_t errorCode) {
        EXPECT_EQ(sender.State(), PortState::Lost);
        lost.push_back(errorCode);
    };
    comm.Open();
    ASSERT_TRUE(testing::SetPlugged("com5", false));
    ASSERT_TRUE(PumpUntil([&] { return !lost.empty(); }));
    EXPECT_TRUE(IsDeviceGoneError(static_cast<DWORD>(lost[0]))) << lost[0];
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.EventThread(), nullptr);
    EXPECT_EQ(comm.Write("x", 1), -1);

    ASSERT_TRUE(testing::SetPlugged("com5", true));
    comm.Open();
    ASSERT_TRUE(peer.Send("back"));
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 4; }));
    EXPECT_EQ(std::string(received.begin(), received.end()), "back");
    EXPECT_EQ(lost.size(), 1u);
}

TEST_P(CommOnNullModem, ARaisingHandlerEndsEventsButWritingAndClosingGoOn) {
    int calls = 0;
    comm.OnRxChar = [&](TCustomComm&, std::int32_t) {
        ++calls;
        throw std::runtime_error("handler failure");
    };
    comm.Open();
    ASSERT_TRUE(peer.Send("a"));
    ASSERT_TRUE(PumpUntil([&] { return calls == 1 && comm.EventThreadEnded(); }));
    ASSERT_TRUE(peer.Send("b"));
    // The thread ended without purging: "b" waits on the device, and "a" too,
    // but for the read wait, which took it off the device and holds it.
    const std::uint32_t onDevice = ReadWaitRuns() ? 1 : 2;
    EXPECT_TRUE(PumpUntil([&] { return comm.InputQueued() == onDevice; }));
    EXPECT_EQ(calls, 1);
    char ab[4] = {};
    EXPECT_EQ(comm.Read(ab, sizeof ab), 2);
    EXPECT_EQ(std::string(ab, 2), "ab");
    comm.Write("ok", 2);
    ASSERT_TRUE(peer.WaitForBytes(2));
    comm.Close();
    EXPECT_FALSE(comm.IsOpen());
}

TEST_P(CommOnNullModem, CloseWhileAHandOverWaitsNeitherBlocksNorRunsTheHandler) {
    int calls = 0;
    comm.OnRxChar = [&](TCustomComm&, std::int32_t) { ++calls; };
    comm.Open();
    ASSERT_TRUE(peer.Send("pending"));
    ASSERT_TRUE(testing::WaitForSentMessage());  // the event thread waits for us now
    comm.Close();
    EXPECT_FALSE(comm.IsOpen());
    PumpFor(100);
    EXPECT_EQ(calls, 0);
}

TEST_P(CommOnNullModem, AHandlerMayCloseAndReopenThePort) {
    int calls = 0;
    comm.OnRxChar = [&](TCustomComm& sender, std::int32_t count) {
        ++calls;
        if (calls == 1) {
            sender.Close();
        } else if (calls == 2) {
            static_cast<TComm&>(sender).Open();  // discards the unread byte
        } else {
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count));
            sender.Read(buffer.data(), count);
        }
    };
    comm.Open();
    ASSERT_TRUE(peer.Send("1"));
    ASSERT_TRUE(PumpUntil([&] { return calls >= 1; }));
    EXPECT_FALSE(comm.IsOpen());

    comm.Open();
    ASSERT_TRUE(peer.Send("2"));
    ASSERT_TRUE(PumpUntil([&] { return calls >= 2; }));
    EXPECT_TRUE(comm.IsOpen());  // reopened from inside its own handler
    ASSERT_TRUE(peer.Send("3"));
    ASSERT_TRUE(PumpUntil([&] { return calls >= 3; }));
    EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace bridge
