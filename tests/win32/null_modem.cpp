#include "tests/win32/null_modem.h"

#include <cstdlib>

namespace bridge::testing {

std::string NullModemDir() {
    const char* dir = std::getenv("BRIDGE_COM_PORTS_DIR");
    return dir != nullptr ? dir : "";
}

namespace {

// A control file of pty_pair's ("line-com5"), as a Windows path.
std::string ControlFile(const char* kind, const char* portName) {
    std::string path = "Z:" + NullModemDir() + "/" + kind + "-" + portName;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string ReadText(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    char text[256];
    DWORD n = 0;
    const BOOL ok = ReadFile(file, text, sizeof text, &n, nullptr);
    CloseHandle(file);
    return ok ? std::string(text, n) : "";
}

}  // namespace

bool SetPlugged(const char* portName, bool plugged) {
    const std::string unplug = ControlFile("unplug", portName);
    if (plugged) {
        DeleteFileA(unplug.c_str());
    } else {
        CloseHandle(CreateFileA(unplug.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    // pty_pair looks at its control files every 20 ms and then writes the state.
    const std::string state = ControlFile("state", portName);
    const char* wanted = plugged ? "plugged " : "unplugged";
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (ReadText(state).rfind(wanted, 0) != 0) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);  // polling another process's file; nothing to wait on
    }
    return true;
}

bool SetLineState(const char* portName, const std::string& text) {
    const std::string path = ControlFile("line", portName);
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

PeerPort::PeerPort(const char* name) {
    handle_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return;
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle_, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    SetCommState(handle_, &dcb);
    // A read waits for the first byte, then ends after a 5 ms gap.
    COMMTIMEOUTS timeouts = {5, 0, 0, 0, 5000};
    SetCommTimeouts(handle_, &timeouts);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    reader_ = std::thread([this] { ReadLoop(); });
}

PeerPort::~PeerPort() {
    if (reader_.joinable()) {
        SetEvent(stop_);
        reader_.join();
    }
    if (stop_ != nullptr) CloseHandle(stop_);
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

void PeerPort::ReadLoop() {
    const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::uint8_t buffer[4096];
    while (WaitForSingleObject(stop_, 0) != WAIT_OBJECT_0) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = done;
        ResetEvent(done);
        DWORD n = 0;
        if (!ReadFile(handle_, buffer, sizeof buffer, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            break;
        }
        const HANDLE handles[] = {stop_, done};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            CancelIoEx(handle_, &overlapped);
            GetOverlappedResult(handle_, &overlapped, &n, TRUE);
            break;
        }
        if (GetOverlappedResult(handle_, &overlapped, &n, FALSE) && n > 0) {
            std::lock_guard<std::mutex> guard(lock_);
            received_.insert(received_.end(), buffer, buffer + n);
        }
    }
    CloseHandle(done);
}

bool PeerPort::Send(std::span<const std::uint8_t> bytes) {
    const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done;
    DWORD n = 0;
    BOOL ok =
        WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &overlapped);
    if (ok || GetLastError() == ERROR_IO_PENDING) {
        ok = GetOverlappedResult(handle_, &overlapped, &n, TRUE);
    }
    CloseHandle(done);
    return ok && n == bytes.size();
}

bool PeerPort::Send(const std::string& text) {
    return Send(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool PeerPort::WaitForBytes(std::size_t count, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (received_.size() >= count) return true;
        }
        if (GetTickCount64() >= deadline) return false;
        WaitForSingleObject(stop_, 5);
    }
}

std::vector<std::uint8_t> PeerPort::Received() {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
}

}  // namespace bridge::testing
