// Control ids of the bridge's windows (those of the record's window and menu
// items: record_ids.h). Tests find the controls by them, so they are part of
// the program's outside view and do not change.
#pragma once

namespace bridge::gui::ids {

// Main window (class TForm1).
inline constexpr int kLog = 101;
inline constexpr int kReconnectButton = 102;
inline constexpr int kBankTrackBar = 103;
inline constexpr int kPitchTrackBar = 104;
inline constexpr int kPortButton = 105;
inline constexpr int kSetupButton = 106;
inline constexpr int kPlayButton = 107;        // the hidden ARINC playback
inline constexpr int kPlaybackPosition = 108;  // its hidden position field
inline constexpr int kFirstLabel = 111;        // the nine labels are 111..119, top to bottom
inline constexpr int kBankServoLabel = 117;    // "Engaged" / "Not engaged"
inline constexpr int kPitchServoLabel = 119;

// Serial port setup (class TForm15): the port items are 201..216 (COM1..COM16).
inline constexpr int kPortDialogFirstPort = 201;
inline constexpr int kPortDialogOk = 250;
inline constexpr int kPortDialogPortList = 221;  // the ports Windows lists
inline constexpr int kPortDialogUsePort = 222;   // "Use this port": the list's selected one

// Operation setup (class TForm2): each group's items from its first id.
inline constexpr int kSetupEngineGroup = 301;
inline constexpr int kSetupSplitGroup = 321;
inline constexpr int kSetupSl30PortGroup = 341;
inline constexpr int kSetupSl40PortGroup = 361;
inline constexpr int kSetupOk = 390;

// Window classes, one per window; scripts and tools find the windows by them.
inline constexpr char kMainWindowClass[] = "TForm1";
inline constexpr char kPortDialogClass[] = "TForm15";
inline constexpr char kOperationSetupClass[] = "TForm2";

}  // namespace bridge::gui::ids
