// The fixed texts of the main window and the two setup dialogs, exactly as the
// user sees them (trailing blanks included).
#pragma once

#include <array>

namespace bridge {

inline constexpr const char* kApplicationTitle = "Dravik EFIS to Flightsim bridge";

// Main window (class TForm1). Its own caption is empty.
namespace main_window {
inline constexpr const char* kReconnectButton = "Reconnect to Flight simulator";
inline constexpr const char* kPortButton = "Select COM port";
inline constexpr const char* kSetupButton = "Setup operation";
inline constexpr const char* kPlaybackPosition = "Edit1";
inline constexpr const char* kVersionLabel = "Version 1.1";
inline constexpr const char* kLeftLabel = "Left";
inline constexpr const char* kRightLabel = "Right";
inline constexpr const char* kUpLabel = "Up";
inline constexpr const char* kBankServoCaption = "Bank servo";
inline constexpr const char* kPitchServoCaption = "Pitch servo";
inline constexpr const char* kBankServoLabel = "Not Engaged";
inline constexpr const char* kDownLabel = "Down";
inline constexpr const char* kPitchServoLabel = "Not Engaged";
}  // namespace main_window

// Operation setup dialog (class TForm2).
namespace operation_setup {
inline constexpr const char* kCaption = "Operation setup";
inline constexpr const char* kEngineGroup = "Number of engines";
inline constexpr std::array<const char*, 5> kEngineItems = {
    "No Engine", "Single engine", "Twin engine", "Three engines", "Four engines"};
inline constexpr const char* kSplitGroup = "EGT/CHT split";
inline constexpr std::array<const char*, 4> kSplitItems = {
    "1 EGT+1 CHT TC1,TC2", "2 EGT+2 CHT TC1-TC2, TC3-TC4", "4 EGT+4 CHT TC1-TC4, TC5-TC6",
    "6 EGT+6 CHT TC1-TC6, TC7-TC10"};
inline constexpr const char* kSl30PortGroup = "SL30 COM1/NAV serial port";
inline constexpr const char* kSl40PortGroup = "SL40 COM 2 serial port";
// The items of both radio port groups.
inline constexpr std::array<const char*, 6> kRadioPortItems = {
    "Don't use", "RS232 port 1", "RS232 port 2", "RS232 port 3", "RS232 port 4", "RS232 port 5"};
inline constexpr std::array<const char*, 10> kLabels = {
    "EFIS setups:",
    "Select SL30 (COM1) and SL40 radios (COM2) in serial port  routing/allocations",
    "Oil temp sender: LM335",
    "Oil/Fuel pressure sender: Linear 0-5V, 10 bar",
    "Fuel flow turbine, K-factor 7000",
    "CHT probe type K-Type",
    "RPM 1 pulse/revolution",
    "Servo setups: Magnitude settings very high, can be larger than 20 ",
    "Depends on aircraft type and realism. Please set servo control limits ",
    "just as you would with real servos",
};
}  // namespace operation_setup

// Serial port setup dialog (class TForm15).
namespace port_dialog {
inline constexpr const char* kCaption = "Serial port setup";
inline constexpr const char* kPrompt =
    "Select the serial communications port that you will be using to connect to the Torvex ";
inline constexpr const char* kPortGroup = "COM port number";
inline constexpr std::array<const char*, 16> kPortItems = {
    "COM1", "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",
    "COM9", "COM10", "COM11", "COM12", "COM13", "COM14", "COM15", "COM16"};
inline constexpr int kPortColumns = 2;
// Beside the group: the ports Windows lists, by name.
inline constexpr const char* kPortListLabel = "Ports present (double-click one to use it):";
inline constexpr const char* kUsePortButton = "Use this port";
inline constexpr const char* kBoxAdapterMark = "the box's adapter";
inline constexpr const char* kMayBeMark = "may be the box's adapter";
inline constexpr const char* kLookAlikeMark = "looks like the box's adapter";
}  // namespace port_dialog

}  // namespace bridge
