// The two setup dialogs as the shell opens them. Each is modal: ticks, the
// box's bytes and other events run while it is shown, and its choices reach
// the shell before it returns.
#pragma once

namespace bridge {

class ShellDialogs {
public:
    virtual void ShowPortDialog() = 0;
    virtual void ShowOperationSetup() = 0;

protected:
    ~ShellDialogs() = default;
};

}  // namespace bridge
