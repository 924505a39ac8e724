// The plain message box: the application's title as caption, no icon, one OK
// button. It is modal, so ticks and events may run while it is shown; one of
// them may find that the message no longer holds, and take it down.
#pragma once

#include <string>

namespace bridge {

class MessageDisplay {
public:
    // Returns when the message box is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // Closes the message boxes ShowMessage shows now, as OK would.
    virtual void TakeDownMessages() = 0;

protected:
    ~MessageDisplay() = default;
};

}  // namespace bridge
