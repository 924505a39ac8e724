// window_probe: looks at and drives another program's windows through window
// messages, for end-to-end tests and scripts run under Wine.
//
//   window_probe wait <class> [timeout-ms]        waits for a visible top-level window
//   window_probe text <class> <control-id>        prints the control's text
//   window_probe enabled <class> <control-id>     prints 1 or 0
//   window_probe visible <class> <control-id>     prints 1 or 0
//   window_probe trackbar <class> <control-id>    prints the track bar's position
//   window_probe click <class> <control-id>       posts a button click
//   window_probe settext <class> <control-id> <text>  sets the control's text
//   window_probe close <class>                    posts WM_CLOSE
//   window_probe syscommand <class> <command>     posts WM_SYSCOMMAND (a system menu item)
//   window_probe gone <class> [timeout-ms]        waits until no such window is visible
//   window_probe dump <class>                     one line per control: id, class,
//                                                 visible, enabled, rect, text
//   window_probe caption <class>                  prints the window's caption
//   window_probe rect <class> <control-id>        prints left,top,width,height (the
//                                                 window on the screen, a control in it)
//   window_probe state <class>                    prints topmost=, owned=, foreground=, iconic=
//   window_probe dpichanged <class> <dpi> [from]  sends WM_DPICHANGED for <dpi>, with the
//                                                 window's rectangle scaled from <from>
//                                                 (default 96) as the suggested one
//   window_probe post <class> <message> <wparam> [lparam]  posts that message (numbers
//                                                 decimal or 0x-prefixed; a message that
//                                                 is not a number is registered by name)
//   window_probe held <class> <edit-id> <ms>      for <ms>, posts selection changes to the
//                                                 edit control and prints the longest time
//                                                 in ms its thread took to carry one out
//   window_probe send <class> <message> <wparam> [lparam]  sends that message, as the
//                                                 system sends its power and device
//                                                 messages (it may arrive inside a wait of
//                                                 the window's thread); prints the result
//   window_probe clickenabled <class> <control-id>  posts a button click only while the
//                                                 control is enabled (exit status 3 if not)
//   window_probe process <class>                  prints pid=, handles= and threads= of the
//                                                 window's process as Windows reports them
//                                                 (handles=-1 where the system says nothing)
//   window_probe ended [timeout-ms]               waits until no process in the scope runs
//                                                 and none of their windows is left (a
//                                                 scope is needed)
//   window_probe windows                          every top-level window, visible or not:
//                                                 a line with its class, visible= and
//                                                 caption=, then a visible one's controls
//                                                 as dump shows them, indented
//   window_probe serve                            runs commands read from standard input,
//                                                 one a line (words split at spaces), each
//                                                 optionally after "at <us>": it waits until
//                                                 QueryPerformanceCounter reaches <us>
//                                                 microseconds. After each command's output
//                                                 a line "=> <exit status> at_us=<when it
//                                                 acted>"; it ends at the end of its input.
//                                                 A line "scope <path>" (UTF-8, the rest of
//                                                 the line) sets the scope below.
//
// <class> is a window class ("TForm1", "TForm15", "TForm2"); in wait and gone,
// "*" is any class. Control id 0 means the window itself. Exit status 0 on
// success, 1 when the window or control is not there (or a wait timed out), 2
// for a usage error.
//
// The scope: the top-level windows of every process of a Wine session are
// visible to all of them, so a probe that looks for "a message box" would find
// any program's. With a scope, only the windows of processes whose image is
// that Windows path count (or, when it ends in a backslash, whose image lies
// in that folder or below). It is the environment's WINDOW_PROBE_SCOPE at
// start, and in serve mode what the last "scope" line said; empty: every
// process.
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring scope;  // see the top of this file

std::wstring Folded(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

void SetScope(const std::wstring& path) { scope = Folded(path); }

// Whether the process is in the scope.
bool ProcessInScope(DWORD pid) {
    if (scope.empty()) return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return false;  // it has ended
    wchar_t image[1024];
    DWORD size = sizeof image / sizeof image[0];
    const bool named = QueryFullProcessImageNameW(process, 0, image, &size) != 0;
    CloseHandle(process);
    if (!named) return false;
    const std::wstring path = Folded(std::wstring(image, size));
    return scope.back() == L'\\' ? path.rfind(scope, 0) == 0 : path == scope;
}

bool InScope(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return ProcessInScope(pid);
}

bool AnyProcessInScope() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return true;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        found = entry.th32ProcessID != GetCurrentProcessId() && ProcessInScope(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

bool ClassIs(HWND window, const char* className) {
    if (std::strcmp(className, "*") == 0) return true;
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, className) == 0;
}

struct Search {
    const char* className;
    std::vector<HWND> found;
};

BOOL CALLBACK AddIfFound(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<Search*>(context);
    if (ClassIs(window, search.className) && InScope(window)) search.found.push_back(window);
    return TRUE;
}

// The top-level windows of that class in the scope, in Z order.
std::vector<HWND> TopLevels(const char* className) {
    Search search{className, {}};
    EnumWindows(AddIfFound, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first visible one, or else the first one.
HWND FindTopLevel(const char* className) {
    const std::vector<HWND> windows = TopLevels(className);
    for (HWND window : windows) {
        if (IsWindowVisible(window)) return window;
    }
    return windows.empty() ? nullptr : windows.front();
}

HWND FindControl(const char* className, const char* idText) {
    HWND window = FindTopLevel(className);
    if (window == nullptr) return nullptr;
    const int id = std::atoi(idText);
    return id == 0 ? window : GetDlgItem(window, id);
}

std::string Text(HWND window) {
    // WM_GETTEXT is marshalled between processes; GetWindowText is not for controls.
    const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

bool WaitFor(const char* className, DWORD timeoutMs, bool present) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindTopLevel(className);
        const bool there = window != nullptr && IsWindowVisible(window);
        if (there == present) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);  // polling another process's windows; nothing to wait on
    }
}

BOOL CALLBACK DumpChild(HWND child, LPARAM) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    std::printf("%d %s visible=%d enabled=%d rect=%ld,%ld,%ld,%ld text=%s\n", GetDlgCtrlID(child),
                className, IsWindowVisible(child) ? 1 : 0, IsWindowEnabled(child) ? 1 : 0,
                rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                Text(child).c_str());
    return TRUE;
}

BOOL CALLBACK DumpChildIndented(HWND child, LPARAM) {
    std::printf("    ");
    return DumpChild(child, 0);
}

// Every top-level window in the scope with its controls: what a failed test
// shows of the program's state.
void PrintWindows() {
    for (HWND window : TopLevels("*")) {
        char className[64] = {};
        GetClassNameA(window, className, sizeof className);
        std::printf("%s visible=%d caption=%s\n", className, IsWindowVisible(window) ? 1 : 0,
                    Text(window).c_str());
        if (IsWindowVisible(window)) EnumChildWindows(window, DumpChildIndented, 0);
    }
}

RECT ControlRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    if (HWND parent = GetParent(window);
        parent != nullptr && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)) {
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    }
    return rect;
}

// WM_DPICHANGED carries a pointer to the suggested rectangle, which must
// point into the receiver: the rectangle is written into its memory.
bool SendDpiChanged(HWND window, int dpi, int fromDpi) {
    RECT rect = {};
    if (!GetWindowRect(window, &rect) || dpi <= 0 || fromDpi <= 0) return false;
    rect.right = rect.left + MulDiv(rect.right - rect.left, dpi, fromDpi);
    rect.bottom = rect.top + MulDiv(rect.bottom - rect.top, dpi, fromDpi);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (process == nullptr) return false;
    void* remote = VirtualAllocEx(process, nullptr, sizeof rect, MEM_COMMIT, PAGE_READWRITE);
    bool sent = false;
    if (remote != nullptr && WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr)) {
        DWORD_PTR result = 0;
        sent =
            SendMessageTimeoutA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                reinterpret_cast<LPARAM>(remote), SMTO_NORMAL, 10000, &result) != 0;
    }
    if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return sent;
}

// How long the window's thread keeps its message loop from running: a
// selection change posted to an edit control is carried out only by that
// loop (a thread waiting in SendMessageTimeout answers sent messages, so
// these could not tell), and is read back with a sent EM_GETSEL. The longest
// time from a post to its being carried out, in ms; -1 if the window went.
long LongestHold(HWND edit, DWORD spanMs) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const auto ms = [&](const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
        return static_cast<long>((to.QuadPart - from.QuadPart) * 1000 / frequency.QuadPart);
    };
    long longest = 0;
    WPARAM position = 0;
    for (now = start; ms(start, now) < static_cast<long>(spanMs);) {
        position ^= 1;  // the selection alternates between before and after the first character
        LARGE_INTEGER posted;
        QueryPerformanceCounter(&posted);
        if (!PostMessageA(edit, EM_SETSEL, position, static_cast<LPARAM>(position))) return -1;
        for (;;) {
            DWORD_PTR selection = 0;
            if (SendMessageTimeoutA(edit, EM_GETSEL, 0, 0, SMTO_NORMAL, 60000, &selection) == 0) {
                return -1;
            }
            if (LOWORD(selection) == position) break;
            Sleep(2);  // polling another process's window; nothing to wait on
        }
        QueryPerformanceCounter(&now);
        if (ms(posted, now) > longest) longest = ms(posted, now);
        Sleep(5);
    }
    return longest;
}

// Microseconds of the performance counter (under Wine: CLOCK_MONOTONIC_RAW).
long long CounterMicroseconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency.QuadPart * 1000000 +
           now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

// Sleeps most of the way, then spins, so the command goes within a
// millisecond of the moment asked for.
void WaitUntil(long long us) {
    for (long long left; (left = us - CounterMicroseconds()) > 0;) {
        if (left > 3000) Sleep(static_cast<DWORD>((left - 2000) / 1000));
    }
}

// The window's process as Windows reports it: its handles and threads.
int PrintProcess(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    long handles = -1;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid)) {
        DWORD count = 0;
        if (GetProcessHandleCount(process, &count)) handles = static_cast<long>(count);
        CloseHandle(process);
    }
    long threads = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        threads += entry.th32OwnerProcessID == pid ? 1 : 0;
    }
    CloseHandle(snapshot);
    std::printf("pid=%lu handles=%ld threads=%ld\n", static_cast<unsigned long>(pid), handles,
                threads);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: window_probe wait|text|enabled|visible|trackbar|click|close|"
                 "gone|dump|caption|settext|rect|state|dpichanged|post|send|held|syscommand|"
                 "clickenabled|process|windows|ended|serve "
                 "<class> [control-id|timeout-ms|dpi|message|ms|command] [text|from-dpi|wparam] "
                 "[lparam]\n");
    return 2;
}

int Run(int argc, char** argv);

// Commands from standard input, so that a driver pays for one start only.
int Serve() {
    std::string line;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c != '\n') {
            if (c != '\r') line.push_back(static_cast<char>(c));
            continue;
        }
        if (line.rfind("scope", 0) == 0 && (line.size() == 5 || line[5] == ' ')) {
            SetScope(FromUtf8(line.size() > 6 ? line.substr(6) : std::string()));
            line.clear();
            std::printf("=> 0 at_us=%lld\n", CounterMicroseconds());
            std::fflush(stdout);
            continue;
        }
        std::istringstream in(line);
        line.clear();
        std::vector<std::string> words{"window_probe"};
        for (std::string word; in >> word;) words.push_back(word);
        if (words.size() > 2 && words[1] == "at") {
            WaitUntil(std::atoll(words[2].c_str()));
            words.erase(words.begin() + 1, words.begin() + 3);
        }
        std::vector<char*> args;
        for (std::string& word : words) args.push_back(word.data());
        const long long at = CounterMicroseconds();
        const int status = Run(static_cast<int>(args.size()), args.data());
        std::printf("=> %d at_us=%lld\n", status, at);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // texts keep their own line ends
    wchar_t initial[1024];
    const DWORD length = GetEnvironmentVariableW(L"WINDOW_PROBE_SCOPE", initial, 1024);
    if (length > 0 && length < 1024) SetScope(initial);
    if (argc == 2 && std::string(argv[1]) == "serve") return Serve();
    return Run(argc, argv);
}

namespace {

int Run(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "windows") {
        PrintWindows();
        return 0;
    }
    if (argc >= 2 && std::string(argv[1]) == "ended") {
        if (scope.empty()) return Usage();
        const DWORD timeout = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10000;
        const DWORD start = GetTickCount();
        while (AnyProcessInScope() || !TopLevels("*").empty()) {
            if (GetTickCount() - start > timeout) {
                PrintWindows();  // what is left
                return 1;
            }
            Sleep(20);  // polling the system's lists; nothing to wait on
        }
        return 0;
    }
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    const char* className = argv[2];
    const DWORD timeout = argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 10000;

    if (command == "wait") return WaitFor(className, timeout, true) ? 0 : 1;
    if (command == "gone") return WaitFor(className, timeout, false) ? 0 : 1;
    HWND top = FindTopLevel(className);
    if (top == nullptr) return 1;
    if (command == "close") return PostMessageA(top, WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == "syscommand") {  // a system menu item, by its command number
        if (argc < 4) return Usage();
        return PostMessageA(top, WM_SYSCOMMAND, std::strtoul(argv[3], nullptr, 0), 0) ? 0 : 1;
    }
    if (command == "caption") {
        std::printf("%s\n", Text(top).c_str());
        return 0;
    }
    if (command == "dump") {
        EnumChildWindows(top, DumpChild, 0);
        return 0;
    }
    if (command == "state") {
        std::printf("topmost=%d owned=%d foreground=%d iconic=%d\n",
                    (GetWindowLongA(top, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0 ? 1 : 0,
                    GetWindow(top, GW_OWNER) != nullptr ? 1 : 0,
                    GetForegroundWindow() == top ? 1 : 0, IsIconic(top) ? 1 : 0);
        return 0;
    }
    if (command == "dpichanged") {
        if (argc < 4) return Usage();
        const int fromDpi = argc > 4 ? std::atoi(argv[4]) : 96;
        return SendDpiChanged(top, std::atoi(argv[3]), fromDpi) ? 0 : 1;
    }
    if (command == "process") return PrintProcess(top);
    if (command == "post" || command == "send") {
        if (argc < 5) return Usage();
        const auto number = [](const char* text) { return std::strtoull(text, nullptr, 0); };
        // A message by name is a registered one ("SimEmulator:Fault").
        const auto message = argv[3][0] >= '0' && argv[3][0] <= '9'
                                 ? static_cast<UINT>(number(argv[3]))
                                 : RegisterWindowMessageA(argv[3]);
        const auto wParam = static_cast<WPARAM>(number(argv[4]));
        const auto lParam = static_cast<LPARAM>(argc > 5 ? number(argv[5]) : 0);
        if (command == "post") return PostMessageA(top, message, wParam, lParam) ? 0 : 1;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(top, message, wParam, lParam, SMTO_NORMAL, 60000, &result)) {
            return 1;
        }
        std::printf("%llu\n", static_cast<unsigned long long>(result));
        return 0;
    }
    if (argc < 4) return Usage();
    HWND control = FindControl(className, argv[3]);
    if (control == nullptr) return 1;
    if (command == "held") {
        if (argc < 5) return Usage();
        const long longest = LongestHold(control, std::strtoul(argv[4], nullptr, 10));
        if (longest < 0) return 1;
        std::printf("%ld\n", longest);
        return 0;
    }
    if (command == "text") {
        std::printf("%s\n", Text(control).c_str());
    } else if (command == "enabled") {
        std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    } else if (command == "rect") {
        const RECT r = ControlRect(control);
        std::printf("%ld,%ld,%ld,%ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    } else if (command == "visible") {
        std::printf("%d\n", IsWindowVisible(control) ? 1 : 0);
    } else if (command == "trackbar") {
        std::printf("%ld\n", static_cast<long>(SendMessageA(control, TBM_GETPOS, 0, 0)));
    } else if (command == "settext") {
        if (argc < 5) return Usage();
        return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4])) ? 0 : 1;
    } else if (command == "click" || command == "clickenabled") {
        if (command == "clickenabled" && !IsWindowEnabled(control)) return 3;
        const int id = GetDlgCtrlID(control);
        return PostMessageA(top, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(control))
                   ? 0
                   : 1;
    } else {
        return Usage();
    }
    return 0;
}

}  // namespace
