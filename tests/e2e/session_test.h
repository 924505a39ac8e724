// The base of the end-to-end tests: one BridgeSession per test, skipped when
// the machine cannot run it (unless scripts/test asks for the run), and the
// steps most tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "app/win32/control_ids.h"
#include "tests/e2e/bridge_session.h"

namespace bridge::e2e {

inline constexpr int kBoxCom = 7;  // COM7, the box emulator's port: CommsPort 6
inline constexpr Settings kTwoEnginesBothRadios = {kBoxCom - 1, 1, 2, 1, 2};

class SessionTest : public ::testing::Test {
protected:
    // A failed case shows what the bridge showed; every case ends only when
    // its programs and their windows are gone (after the fixture's TearDown).
    ~SessionTest() override {
        if (BridgeSession::WhyNotAvailable()) return;
        if (HasFailure()) {
            std::printf("[ state    ] %s", session.State().c_str());
            std::fflush(stdout);
        }
        EXPECT_TRUE(session.End()) << "programs of the case or their windows were left";
    }

    void SetUp() override {
        if (const auto why = BridgeSession::WhyNotAvailable()) {
            // scripts/test asks for the run; a developer's plain ctest may not have Wine set up.
            if (std::getenv("BRIDGE_E2E_REQUIRED") != nullptr) FAIL() << *why;
            GTEST_SKIP() << *why;
        }
    }

    // Box, simulator and bridge up, the bridge connected and sending.
    void StartAll(const Settings& settings,
                  const std::vector<std::string>& simArguments = {"--fixed"}) {
        session.WriteSettings(settings);
        ASSERT_TRUE(session.StartBox(kBoxCom));
        ASSERT_TRUE(session.StartSim(simArguments));
        ASSERT_TRUE(session.StartBridge());
        ASSERT_TRUE(session.WaitForLog("Connected to FS2004"))
            << session.ControlText(gui::ids::kLog);
    }

    std::size_t CountBox(const std::string& kind, const std::string& tag = "") {
        std::size_t n = 0;
        for (const auto& line : session.BoxLog()) {
            n += line.kind == kind && (tag.empty() || line.tag == tag) ? 1 : 0;
        }
        return n;
    }

    std::size_t AttitudeFrames() { return CountBox("attitude"); }

    // Waits for `ticks` more polled ticks to reach the box emulator.
    bool WaitTicks(std::size_t ticks) {
        const std::size_t target = AttitudeFrames() + ticks;
        return session.WaitForBoxFrames("attitude", target);
    }

    std::string Probe(std::vector<std::string> args) {
        return session.Probe(args).value_or("<failed>");
    }

    BridgeSession session;
};

// The simulator emulator's log from `from` on: the controls-disconnect bytes
// written ("03", "00", ...), and how many writes to the aileron or elevator.
struct ControlWrites {
    std::vector<std::string> disconnect;
    std::size_t inputs = 0;
};
inline ControlWrites ControlWritesIn(const std::string& simLog, std::size_t from = 0) {
    ControlWrites writes;
    for (std::size_t at = simLog.find("\nW ", from); at != std::string::npos;
         at = simLog.find("\nW ", at + 1)) {
        const std::string line = simLog.substr(at + 1, simLog.find('\n', at + 1) - at - 1);
        const auto offset = line.find(' ', 2) + 1;
        if (line.compare(offset, 7, "310A 1 ") == 0)
            writes.disconnect.push_back(line.substr(offset + 7, 2));
        if (line.compare(offset, 5, "0BB6 ") == 0 || line.compare(offset, 5, "0BB2 ") == 0) {
            ++writes.inputs;
        }
    }
    return writes;
}

// The programs of the Windows build that the cases on the box's line run
// with: bridge.exe as users get it (its wait picked by BRIDGE_COMM_WAIT, by
// default the read wait under Wine) and bridge-events.exe, built with the
// event wait that Windows users run.
struct BridgeProgram {
    const char* name;  // ends the test's name
    const char* exe;
};
inline constexpr BridgeProgram kBridgePrograms[] = {{"DefaultBuild", "bridge.exe"},
                                                    {"EventWaitBuild", "bridge-events.exe"}};

inline void PrintTo(const BridgeProgram& program, std::ostream* out) { *out << program.exe; }

inline std::string ProgramName(const ::testing::TestParamInfo<BridgeProgram>& info) {
    return info.param.name;
}

// A session test run once per program (instantiate with kBridgePrograms).
template <typename Base>
class PerProgram : public Base, public ::testing::WithParamInterface<BridgeProgram> {
protected:
    void SetUp() override {
        Base::SetUp();
        if (this->IsSkipped()) return;
        ASSERT_TRUE(this->session.UseProgram(GetParam().exe)) << GetParam().exe;
    }
};

}  // namespace bridge::e2e
