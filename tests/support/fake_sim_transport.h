// An in-memory operating system for the simulator link: a server window that
// can be present under either class, atoms, one 32 KiB section, and a server
// (the emulator's) that carries out each exchange over its 64 KiB image.
// Failures of each system call, failed sends and server faults can be set,
// and every call is recorded in order.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "simlink/sim_link_transport.h"
#include "tools/sim_emulator/sim_server.h"

namespace bridge::testing {

class FakeSimTransport : public SimLinkTransport {
public:
    // The world.
    bool uipcWindow = true;   // a window of class "UIPCMAIN"
    bool fs98Window = false;  // a window of class "FS98MAIN"
    bool registerFails = false;
    bool atomFails = false;
    bool sectionFails = false;
    std::set<std::string> sectionsInUse;  // sections of these names exist, held by the server
    bool mapFails = false;
    std::uint32_t processId = 1234;
    // The next `failSends` sends fail with `sendError` as the last error.
    int failSends = 0;
    std::uint32_t sendError = 0;
    // Runs inside each send before the server answers (the wait of a real send).
    std::function<void()> duringSend;
    bool recordCalls = true;

    simemu::SimServer server;
    simemu::FaultPlan faults;
    std::string serverLog;  // the server's log lines of every exchange

    // What happened.
    std::vector<std::string> calls;
    int sends = 0;
    int atomsAlive = 0;
    int sectionsOpen = 0;
    int viewsMapped = 0;
    std::uint32_t pausedMs = 0;
    std::string atomName;  // the name of the last atom added

    std::array<std::uint8_t, 0x8000>& section() { return section_; }

    NativeHandle FindServerWindow(const char* className) override {
        Record(std::string("find ") + className);
        const std::string name = className;
        if (name == "UIPCMAIN" && uipcWindow) return &window_;
        if (name == "FS98MAIN" && fs98Window) return &window_;
        return nullptr;
    }

    std::uint32_t RegisterIpcMessage(const char* name) override {
        Record(std::string("register ") + name);
        return registerFails ? 0 : kMessageId;
    }

    std::uint32_t ProcessId() override { return processId; }

    std::uint16_t AddGlobalAtom(const char* name) override {
        Record(std::string("atom ") + name);
        if (atomFails) return 0;
        atomName = name;
        ++atomsAlive;
        return kAtom;
    }

    void RemoveGlobalAtom(std::uint16_t atom) override {
        Record("delete atom");
        if (atom == kAtom) --atomsAlive;
    }

    NativeHandle CreateSection(const char* name, std::uint32_t size,
                               bool& alreadyExisted) override {
        Record(std::string("section ") + name + " " + std::to_string(size));
        alreadyExisted =
            sectionsInUse.count(name) != 0 || (sectionsOpen > 0 && sectionName_ == name);
        if (sectionFails) return nullptr;
        sectionName_ = name;
        ++sectionsOpen;
        return &section_;
    }

    std::uint8_t* MapSection(NativeHandle section, std::uint32_t size) override {
        Record("map");
        if (mapFails || section != &section_ || size > section_.size()) return nullptr;
        ++viewsMapped;
        return section_.data();
    }

    void UnmapSection(std::uint8_t* view) override {
        Record("unmap");
        if (view == section_.data()) --viewsMapped;
    }

    void CloseSection(NativeHandle section) override {
        Record("close section");
        if (section == &section_) --sectionsOpen;
    }

    SendOutcome SendIpcMessage(NativeHandle window, std::uint32_t message, std::uint16_t atom,
                               std::uint32_t timeoutMs) override {
        if (recordCalls) Record("send " + std::to_string(timeoutMs));
        ++sends;
        if (duringSend) duringSend();
        if (failSends > 0) {
            --failSends;
            return SendOutcome{false, 0, sendError};
        }
        // An unknown message reaches the default window procedure: answer 0.
        if (window != &window_ || message != kMessageId) return SendOutcome{true, 0, 0};
        const simemu::Fault fault = faults.Next();
        if (fault == simemu::Fault::NoReply) {
            server.Serve({}, fault, recordCalls ? &serverLog : nullptr);  // counted and logged
            return SendOutcome{false, 0, 1460};
        }
        // The server finds the section through the atom's name.
        std::string* log = recordCalls ? &serverLog : nullptr;
        if (atom != kAtom || atomsAlive == 0 || sectionsOpen == 0 || atomName != sectionName_) {
            return SendOutcome{true, server.Refuse("section", fault, log), 0};
        }
        return SendOutcome{true, server.Serve(section_, fault, log), 0};
    }

    void Pause(std::uint32_t milliseconds) override {
        if (recordCalls) Record("pause " + std::to_string(milliseconds));
        pausedMs += milliseconds;
    }

    // Calls recorded since the last call of this function.
    std::vector<std::string> TakeCalls() {
        std::vector<std::string> out;
        out.swap(calls);
        return out;
    }

private:
    static constexpr std::uint32_t kMessageId = 0xC123;
    static constexpr std::uint16_t kAtom = 0xC0DE;

    void Record(std::string call) {
        if (recordCalls) calls.push_back(std::move(call));
    }

    int window_ = 0;
    std::string sectionName_;
    std::array<std::uint8_t, 0x8000> section_{};
};

}  // namespace bridge::testing
