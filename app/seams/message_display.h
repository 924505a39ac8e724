// The plain message box: the application's title as caption, no icon, one OK
// button. It is modal, so ticks and events may run while it is shown.
#pragma once

#include <string>

namespace bridge {

class MessageDisplay {
public:
    virtual void ShowMessage(const std::string& text) = 0;

protected:
    ~MessageDisplay() = default;
};

}  // namespace bridge
