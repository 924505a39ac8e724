// Control ids of the bridge's windows. Tests find the controls by them, so
// they are part of the program's outside view and do not change.
#pragma once

namespace bridge::gui::ids {

// Main window, Form1.
inline constexpr int kMemo1 = 101;
inline constexpr int kButton1 = 102;
inline constexpr int kTrackBar1 = 103;
inline constexpr int kTrackBar2 = 104;
inline constexpr int kButton2 = 105;
inline constexpr int kButton3 = 106;
inline constexpr int kButton4 = 107;
inline constexpr int kEdit1 = 108;
inline constexpr int kLabel1 = 111;  // Label1..Label9 are 111..119
inline constexpr int kLabel7 = 117;
inline constexpr int kLabel9 = 119;

// Serial port setup, Form15: RadioGroup2's items are 201..216 (COM1..COM16).
inline constexpr int kForm15RadioGroup2 = 201;
inline constexpr int kForm15Ok = 250;

// Operation setup, Form2: RadioGroup1..4 items from 301, 321, 341, 361.
inline constexpr int kForm2RadioGroup1 = 301;
inline constexpr int kForm2RadioGroup2 = 321;
inline constexpr int kForm2RadioGroup3 = 341;
inline constexpr int kForm2RadioGroup4 = 361;
inline constexpr int kForm2Ok = 390;

// Window classes, one per form.
inline constexpr char kForm1Class[] = "TForm1";
inline constexpr char kForm15Class[] = "TForm15";
inline constexpr char kForm2Class[] = "TForm2";

}  // namespace bridge::gui::ids
