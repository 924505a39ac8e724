// The fixed texts of the main window and the two setup dialogs, exactly as the
// user sees them (trailing blanks included).
#pragma once

#include <array>

namespace bridge {

inline constexpr const char* kApplicationTitle = "Dravik EFIS to Flightsim bridge";

// Main window (Form1). Its own caption is empty.
namespace form1 {
inline constexpr const char* kButton1 = "Reconnect to Flight simulator";
inline constexpr const char* kButton2 = "Select COM port";
inline constexpr const char* kButton3 = "Setup operation";
inline constexpr const char* kEdit1 = "Edit1";
inline constexpr const char* kLabel1 = "Version 1.1";
inline constexpr const char* kLabel2 = "Left";
inline constexpr const char* kLabel3 = "Right";
inline constexpr const char* kLabel4 = "Up";
inline constexpr const char* kLabel5 = "Bank servo";
inline constexpr const char* kLabel6 = "Pitch servo";
inline constexpr const char* kLabel7 = "Not Engaged";
inline constexpr const char* kLabel8 = "Down";
inline constexpr const char* kLabel9 = "Not Engaged";
}  // namespace form1

// Operation setup dialog (Form2).
namespace form2 {
inline constexpr const char* kCaption = "Operation setup";
inline constexpr const char* kRadioGroup1 = "Number of engines";
inline constexpr std::array<const char*, 5> kRadioGroup1Items = {
    "No Engine", "Single engine", "Twin engine", "Three engines", "Four engines"};
inline constexpr const char* kRadioGroup2 = "EGT/CHT split";
inline constexpr std::array<const char*, 4> kRadioGroup2Items = {
    "1 EGT+1 CHT TC1,TC2", "2 EGT+2 CHT TC1-TC2, TC3-TC4", "4 EGT+4 CHT TC1-TC4, TC5-TC6",
    "6 EGT+6 CHT TC1-TC6, TC7-TC10"};
inline constexpr const char* kRadioGroup3 = "SL30 COM1/NAV serial port";
inline constexpr const char* kRadioGroup4 = "SL40 COM 2 serial port";
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
}  // namespace form2

// Serial port setup dialog (Form15).
namespace form15 {
inline constexpr const char* kCaption = "Serial port setup";
inline constexpr const char* kLabel1 =
    "Select the serial communications port that you will be using to connect to the Torvex ";
inline constexpr const char* kRadioGroup2 = "COM port number";
inline constexpr std::array<const char*, 16> kRadioGroup2Items = {
    "COM1", "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",
    "COM9", "COM10", "COM11", "COM12", "COM13", "COM14", "COM15", "COM16"};
inline constexpr int kRadioGroup2Columns = 2;
}  // namespace form15

}  // namespace bridge
