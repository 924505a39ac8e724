#include "app/win32/single_instance.h"

#include <cstdio>
#include <vector>

namespace bridge::gui {
namespace {

// The folder as one spelling: full, short names made long, one case, no
// trailing backslash. Left as given where the system cannot say.
std::wstring NormalisedFolder(const std::wstring& folder) {
    std::wstring path = folder;
    std::vector<wchar_t> buffer(32768);
    const auto size = static_cast<DWORD>(buffer.size());
    DWORD length = GetFullPathNameW(path.c_str(), size, buffer.data(), nullptr);
    if (length > 0 && length < size) path.assign(buffer.data(), length);
    length = GetLongPathNameW(path.c_str(), buffer.data(), size);
    if (length > 0 && length < size) path.assign(buffer.data(), length);
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (!path.empty()) CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

// FNV-1a over the UTF-16 code units: a folder name may be longer than a
// mutex name may be.
std::uint64_t FolderTag(const std::wstring& folder) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : folder) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 1099511628211ull;  // unsigned: wraps by definition
    }
    return hash;
}

}  // namespace

SingleInstance::SingleInstance(const std::wstring& folder)
    : tag_(FolderTag(NormalisedFolder(folder))) {
    char name[64];
    std::snprintf(name, sizeof name, "Local\\DravikEfisBridge-%016llx",
                  static_cast<unsigned long long>(tag_));
    mutex_ = CreateMutexA(nullptr, FALSE, name);
    another_ = mutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

SingleInstance::~SingleInstance() {
    if (mutex_ != nullptr) CloseHandle(mutex_);
}

UINT SingleInstance::ActivateMessage() {
    static const UINT message = RegisterWindowMessageA("DravikEfisBridge:Activate");
    return message;
}

// Only the process that has the foreground may hand it on, and the first one
// is not known by its id: any process may take it, for this moment.
void SingleInstance::BringOtherForward() const {
    AllowSetForegroundWindow(ASFW_ANY);
    PostMessageA(HWND_BROADCAST, ActivateMessage(), static_cast<WPARAM>(tag_), 0);
}

}  // namespace bridge::gui
