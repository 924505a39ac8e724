// The log file's texts, rotation and failure summaries; the writer against a
// disk that fills up; the line totals' and the report's texts.
#include "app/record/log_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "app/record/diagnostics_report.h"
#include "app/record/line_totals.h"

namespace bridge::testing {
namespace {

using Strings = std::vector<std::string>;

LocalTime FixedTime() { return {2026, 12, 7, 20, 13, 46, 123}; }

// Keeps what it is given; refuses everything once `failAfter` writes went
// through, and says when it first refused.
class MemorySink : public LogSink {
public:
    explicit MemorySink(std::string& text, int failAfter = -1) : text_(text), left_(failAfter) {}
    bool Write(const char* bytes, std::size_t count) override {
        std::lock_guard<std::mutex> guard(lock_);
        if (left_ == 0) {
            refused_ = true;
            changed_.notify_all();
            return false;
        }
        if (left_ > 0) --left_;
        text_.append(bytes, count);
        return true;
    }
    bool WaitUntilRefused(std::chrono::seconds timeout) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, timeout, [this] { return refused_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::string& text_;
    int left_;
    bool refused_ = false;
};

TEST(LogText, StampsFileNamesAndWhichOldFilesGo) {
    char stamp[32];
    EXPECT_EQ(FormatStamp(FixedTime(), stamp, sizeof stamp), 24u);
    EXPECT_STREQ(stamp, "2026-12-07 20:13:46.123 ");
    EXPECT_EQ(LogFileName(FixedTime(), 4242), "bridge-20261207-201346-4242.log");

    Strings names = {"notes.txt", "bridge-20261207-201346-x.log"};  // never removed
    for (int i = 0; i < 22; ++i) {
        names.push_back(LogFileName({2026, 1, 1 + i, 8, 0, 0, 0}, 7));
    }
    names.push_back(LogFileName({2026, 1, 1, 8, 0, 0, 0}, 10));  // same second, higher pid
    const Strings gone = LogFilesToRemove(names, 20);
    EXPECT_EQ(gone, (Strings{"bridge-20260102-080000-7.log", "bridge-20260101-080000-10.log",
                             "bridge-20260101-080000-7.log"}));
    EXPECT_TRUE(LogFilesToRemove({"bridge-20260101-080000-7.log"}, 20).empty());
}

TEST(LogFile, SummarisesRepeatedFailuresAndKeepsTheLastLines) {
    LogFile log(&FixedTime);
    FailureRun run;
    log.RecordFailure(run, "Connecting to the simulator", 2, "Cannot link to FSUIPC or WideClient");
    for (int i = 0; i < 5; ++i) log.RecordFailure(run, "Connecting to the simulator", 2, "same");
    log.RecordFailure(run, "Connecting to the simulator", 9, "IPC timed out all retries");
    log.RecordFailure(run, "Connecting to the simulator", 9, "IPC timed out all retries");
    log.RecordSuccess(run, "Connecting to the simulator");
    log.RecordSuccess(run, "Connecting to the simulator");  // nothing more to say
    const std::string s = "2026-12-07 20:13:46.123 ";
    EXPECT_EQ(log.History(),
              s +
                  "Connecting to the simulator failed: result 2, Cannot link to FSUIPC or "
                  "WideClient\r\n" +
                  s + "Connecting to the simulator: 5 more tries failed alike (result 2)\r\n" + s +
                  "Connecting to the simulator failed: result 9, IPC timed out all retries\r\n" +
                  s + "Connecting to the simulator: 1 more tries failed alike (result 9)\r\n");

    for (int i = 0; i < 600; ++i) log.Record("line " + std::to_string(i));
    const std::string history = log.History();
    EXPECT_EQ(history.find("line 99\r"), std::string::npos);
    EXPECT_EQ(history.rfind(s + "line 100\r\n", 0), 0u);  // the last 500, oldest first
}

TEST(LogFile, StopsGrowingAtItsLimitWithALastLine) {
    std::string text;
    {
        LogFile log(&FixedTime, 4000);
        log.Start(std::make_unique<MemorySink>(text));
        for (int i = 0; i < 40; ++i) log.Record(std::string(100, 'x'));
    }
    EXPECT_LE(text.size(), 4000u);
    EXPECT_GT(text.size(), 3000u);
    EXPECT_EQ(text.substr(text.size() - std::string(LogFile::kFullLine).size() - 2),
              std::string(LogFile::kFullLine) + "\r\n");
}

// A full disk: the writer's write fails. The bridge goes on: lines are still
// taken without waiting, and the failure is told once.
TEST(LogFile, AFullDiskCostsTheFileOnlyAndIsToldOnce) {
    std::string text;
    LogFile log(&FixedTime);
    auto sink = std::make_unique<MemorySink>(text, 2);
    MemorySink& disk = *sink;
    log.Start(std::move(sink));
    for (int i = 0; i < 3; ++i) log.Record("before the disk filled");
    ASSERT_TRUE(disk.WaitUntilRefused(std::chrono::seconds(20)));
    for (int i = 0; i < 1000; ++i) log.Record("after");  // none waits, none is written
    log.Stop();
    ASSERT_TRUE(log.Failed());
    EXPECT_TRUE(log.TakeWriteFailure());
    EXPECT_FALSE(log.TakeWriteFailure());
    EXPECT_EQ(text,
              "2026-12-07 20:13:46.123 before the disk filled\r\n"
              "2026-12-07 20:13:46.123 before the disk filled\r\n");

    LogFile unwritable(&FixedTime);
    unwritable.Start(nullptr);  // the folder or the file could not be made
    EXPECT_TRUE(unwritable.TakeWriteFailure());
}

// Every count a value of its own, so that two swapped counts show.
TEST(LineTotals, TheTotalsLineAndTheStatisticsText) {
    LineTotals t{};
    t.sent = {12034, 6017, 9025, 2406, 3};
    t.bytesSent = 1023456;
    t.refusedWrites = 5;
    t.framesTooLong = 6;
    t.servoCommands = 37;
    t.boxCommands = 12;
    t.badFrames = 7;
    t.strayBytes = 8;
    t.framingErrors = 1;
    t.parityErrors = 9;
    t.overrunErrors = 10;
    t.exchanges = 12035;
    t.exchangeFailures = 11;
    t.requestsNotQueued = 13;
    t.missedTicks = 14;
    t.lateTicks = 4;
    t.abandonedTransfers = 15;
    t.droppedLogLines = 16;
    char line[700];
    FormatTotalsLine(t, line, sizeof line);
    EXPECT_EQ(std::string(line),
              "Line totals: sent 12034 attitude, 6017 air data, 9025 item, 2406 port frames, "
              "1023456 bytes; received 37 servo commands, 12 box commands, 7 bad frames, 8 stray "
              "bytes; simulator 12035 exchanges, 11 failures; 14 missed ticks; 4 late ticks, 3 "
              "ARINC frames, 5 refused writes, 6 frames too long, line errors: 1 framing, 9 "
              "parity, 10 overrun; 13 requests not queued, 15 abandoned transfers; 16 log lines "
              "dropped");

    LineTotals before = t;
    before.sent[0] -= 40;
    before.bytesSent -= 2304;  // 1152 bytes a second over two seconds: 10 % of the line
    char text[4096];
    FormatLineStatistics(t, before, 2.0, {"COM7", "open", 1500, 1200, 4500, 1200}, text,
                         sizeof text);
    const std::string s = text;
    for (const char* part : {"Port COM7: open",
                             "Attitude\t20.0\t12034",
                             "Bytes\t1152\t1023456",
                             "in use\t10.0 %",
                             "Refused writes\t\t5",
                             "Frames too long\t\t6",
                             "Servo commands\t\t37",
                             "Box commands\t\t12",
                             "Bad frames\t\t7",
                             "Stray bytes\t\t8",
                             "Framing errors\t\t1",
                             "Parity errors\t\t9",
                             "Overrun errors\t\t10",
                             "1.5 s ago",
                             "Exchanges\t0.0\t12035",
                             "Failures\t\t11",
                             "median\t\t1.2 ms",
                             "longest\t\t4.5 ms",
                             "Requests not queued\t\t13",
                             "Missed\t\t14",
                             "Late\t\t4",
                             "Log lines dropped\t\t16"}) {
        EXPECT_NE(s.find(part), std::string::npos) << part << " in\n" << s;
    }
}

TEST(DiagnosticsReport, HoldsEachOfItsParts) {
    EXPECT_EQ(FsuipcVersionText(0x19980005), "0x19980005 (1.998e)");
    EXPECT_EQ(FsuipcVersionText(0x36200000), "0x36200000 (3.620)");
    EXPECT_EQ(FsuipcVersionText(0xFADE0007), "0xFADE0007");
    EXPECT_EQ(ReportFileName(FixedTime()), "bridge-report-20261207-201346.txt");

    ReportParts parts;
    parts.version = "1.1.42";
    parts.windows = "Windows 10.0 build 19045";
    parts.wine = "8.0";
    parts.settingsPath = "C:\\bridge\\VELMORA.INI";
    parts.settingsText = "[Setup]\nCommsPort=6\n";
    parts.comPorts = {"COM1", "COM7"};
    parts.chosenPort = "COM7";
    parts.linkUp = true;
    parts.simulatorName = "FS2004";
    parts.fsuipcVersion = 0x36200000;
    parts.statistics = "Port COM7: open";
    parts.logLines = "2026-12-07 20:13:46.123 Connected to FS2004\r\n";
    const std::string report = AssembleReport(parts);
    for (const char* part :
         {"version 1.1.42", "Windows 10.0 build 19045", "Running under Wine 8.0", "Not elevated",
          "C:\\bridge\\VELMORA.INI\r\n[Setup]\r\nCommsPort=6\r\n",
          "COM1\r\nCOM7  <- the box's port",
          "Connected to FS2004\r\nFSUIPC version 0x36200000 (3.620)",
          "== Line statistics ==\r\n"
          "Port COM7: open",
          "== Last log lines ==\r\n2026-12-07 20:13:46.123 Connected to FS2004"}) {
        EXPECT_NE(report.find(part), std::string::npos) << part << " in\n" << report;
    }
    // The ports as Windows describes them take the place of the names alone.
    parts.portLines = {"COM7: USB Serial Port  <- the box's adapter"};
    EXPECT_NE(AssembleReport(parts).find("== COM ports ==\r\nCOM7: USB Serial Port  <- the "
                                         "box's adapter\r\nChosen: COM7"),
              std::string::npos);

    // The link lost: the server's version outlives the close, the report says so.
    parts.linkUp = false;
    const std::string lost = AssembleReport(parts);
    EXPECT_NE(lost.find("== Simulator ==\r\nNot connected\r\nLast connected to FS2004, FSUIPC "
                        "version 0x36200000"),
              std::string::npos)
        << lost;
}

}  // namespace
}  // namespace bridge::testing
