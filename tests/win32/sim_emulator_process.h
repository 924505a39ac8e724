// The simulator emulator as a separate process for Windows-side tests:
// started with CreateProcess, waited for through a named event it sets when
// its window is up, told about faults with its registered message, and
// stopped with WM_CLOSE. Its exchange log goes to a temporary file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#ifndef SIM_EMULATOR_PATH
#error "SIM_EMULATOR_PATH: the emulator's path relative to the test executable"
#endif

namespace bridge::testing {

class SimEmulatorProcess {
public:
    SimEmulatorProcess() = default;
    SimEmulatorProcess(const SimEmulatorProcess&) = delete;
    SimEmulatorProcess& operator=(const SimEmulatorProcess&) = delete;
    ~SimEmulatorProcess() { Stop(); }

    // Starts the emulator with `arguments` (besides its log and ready event)
    // and waits up to 30 s for it to be ready. False if it did not start.
    bool Start(const std::string& arguments, const char* windowClass = "UIPCMAIN") {
        static int started = 0;
        const std::string tag =
            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++started);
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        logPath_ = std::string(temp) + "sim_emulator-" + tag + ".log";
        const std::string eventName = "SimEmulatorReady-" + tag;
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        if (ready == nullptr) return false;

        // Appended piece by piece: GCC 12 at -O3 warns falsely on "literal" + string.
        std::string command = "\"";
        command.append(EmulatorPath()).append("\" --log \"").append(logPath_);
        command.append("\" --ready-event ").append(eventName).append(" ").append(arguments);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            CloseHandle(ready);
            return false;
        }
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
        const HANDLE waits[2] = {ready, process_};
        const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 30000);
        CloseHandle(ready);
        if (woke != WAIT_OBJECT_0) return false;
        window_ = FindOwnWindow(windowClass);
        return window_ != nullptr;
    }

    // WM_CLOSE, then up to 30 s for the process to end (it may still be
    // holding back answers); terminated only if it does not.
    void Stop() {
        if (process_ == nullptr) return;
        if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
        CloseHandle(process_);
        process_ = nullptr;
        window_ = nullptr;
    }

    // Fault `faultNumber` (the emulator's list, from 0) for `count` exchanges
    // (0: all) after `goodFirst` good ones. Takes effect before it returns.
    bool SetFault(unsigned faultNumber, std::uint32_t goodFirst, std::uint32_t count) {
        const UINT message = RegisterWindowMessageA("SimEmulator:Fault");
        DWORD_PTR answer = 0;
        return SendMessageTimeoutA(window_, message, faultNumber + (WPARAM{count} << 8), goodFirst,
                                   SMTO_NORMAL, 10000, &answer) != 0 &&
               answer == 1;
    }

    std::string Log() const {
        std::ifstream in(logPath_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    HWND window() const { return window_; }
    const std::string& logPath() const { return logPath_; }

private:
    static std::string EmulatorPath() {
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string folder(path, length);
        folder.erase(folder.find_last_of('\\') + 1);
        std::string relative = SIM_EMULATOR_PATH;
        for (char& c : relative) {
            if (c == '/') c = '\\';
        }
        return folder + relative;
    }

    HWND FindOwnWindow(const char* windowClass) const {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, windowClass, nullptr)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == processId_) return window;
        }
        return nullptr;
    }

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
    std::string logPath_;
};

}  // namespace bridge::testing
