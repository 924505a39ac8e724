// One bridge per program folder: the settings file belongs to the folder, and
// two bridges from it would share the box's port and the simulator. A named
// mutex made from the executable's folder decides; a second start brings the
// first one's window to the front and ends before it touches the port, the
// simulator, the settings or any log. A copy in another folder runs beside it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace bridge::gui {

class SingleInstance {
public:
    // `folder`: the executable's folder as the system gives it.
    explicit SingleInstance(const std::wstring& folder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Another bridge of this folder runs, or is starting.
    bool AnotherRuns() const { return another_; }
    // Lets the other one take the foreground and asks it to come to the front.
    void BringOtherForward() const;
    // The registered message a second start posts to every top-level window;
    // the application window of the same folder (first parameter Tag()) answers.
    static UINT ActivateMessage();
    std::uint64_t Tag() const { return tag_; }

private:
    HANDLE mutex_ = nullptr;
    bool another_ = false;
    std::uint64_t tag_ = 0;
};

}  // namespace bridge::gui
