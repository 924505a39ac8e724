// Scripts pace themselves on time and on frames from the bridge.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/box_emulator/sequencer.h"

namespace boxemu {
namespace {

class RecordingSink : public CommandSink {
public:
    std::vector<std::string> events;
    void Send(const Command& command) override { events.push_back(DescribeCommand(command)); }
    void Echo(std::string_view text) override { events.push_back("echo " + std::string(text)); }
    void Quit() override { events.push_back("quit"); }
    void WaitFailed(std::string_view message, bool fromScript) override {
        events.push_back(std::string(fromScript ? "script failed: " : "failed: ") +
                         std::string(message));
    }
    std::vector<std::string> Take() { return std::exchange(events, {}); }
};

class SequencerTest : public ::testing::Test {
protected:
    void Script(std::initializer_list<const char*> lines) {
        int number = 0;
        for (const char* line : lines) {
            sequencer.Append(*ParseCommand(line).command, "s:" + std::to_string(++number), true);
        }
    }
    Sequencer sequencer;
    RecordingSink sink;
    const FrameTag attitude{Category::Attitude, 0, 0, 0};
    const FrameTag airData{Category::AirData, 0, 0, 0};
};

TEST_F(SequencerTest, TimeWaitHoldsBackWhatFollows) {
    Script({"servo bank engage 100", "wait 500ms", "echo later", "quit", "echo too late"});
    sequencer.Run(1000, sink);
    EXPECT_EQ(sink.Take(), (std::vector<std::string>{"servo bank engage 100"}));
    EXPECT_EQ(sequencer.Deadline(), 1500u);
    sequencer.Run(1499, sink);
    EXPECT_TRUE(sink.Take().empty());
    sequencer.Run(1500, sink);
    EXPECT_EQ(sink.Take(), (std::vector<std::string>{"echo later", "quit"}));
    EXPECT_TRUE(sequencer.Idle());
}

TEST_F(SequencerTest, FrameWaitCountsOnlyMatchingFramesAfterItBegan) {
    sequencer.OnFrame(attitude);  // before the wait: not counted
    Script({"wait-frames attitude 2", "echo two"});
    sequencer.Run(0, sink);
    EXPECT_FALSE(sequencer.Deadline());
    sequencer.OnFrame(attitude);
    sequencer.OnFrame(airData);
    sequencer.Run(10, sink);
    EXPECT_TRUE(sink.Take().empty());
    sequencer.OnFrame(attitude);
    sequencer.Run(20, sink);
    EXPECT_EQ(sink.Take(), (std::vector<std::string>{"echo two"}));
}

TEST_F(SequencerTest, ScriptTimeOutStopsTheScriptButNotTypedCommands) {
    Script({"wait-frames airdata 3 timeout 100ms", "echo never"});
    sequencer.Run(0, sink);
    sequencer.OnFrame(airData);
    EXPECT_EQ(sequencer.Deadline(), 100u);
    sequencer.Append(*ParseCommand("echo typed").command, "stdin", false);
    sequencer.Run(100, sink);
    EXPECT_EQ(sink.Take(), (std::vector<std::string>{
                               "script failed: s:1: wait-frames airdata 3 timed out with 1 frames",
                               "echo typed"}));
    EXPECT_TRUE(sequencer.Idle());
}

TEST_F(SequencerTest, TypedTimeOutOnlyReports) {
    sequencer.Append(*ParseCommand("wait-frames port:2 1 timeout 1s").command, "stdin", false);
    sequencer.Append(*ParseCommand("echo next").command, "stdin", false);
    sequencer.Run(0, sink);
    sequencer.OnFrame({Category::Port, 0, 0, 1});
    sequencer.Run(1000, sink);
    EXPECT_EQ(sink.Take(),
              (std::vector<std::string>{
                  "failed: stdin: wait-frames port:2 1 timed out with 0 frames", "echo next"}));
}

}  // namespace
}  // namespace boxemu
