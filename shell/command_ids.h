#pragma once
// Command ids of the main window's menu (resource 109), shared by the window procedure and
// every part that greys or marks a menu item.

constexpr unsigned kCmdOpen = 32771;
constexpr unsigned kCmdStop = 32772;
constexpr unsigned kCmdSaveAs = 32791;
constexpr unsigned kCmdExit = 105;

constexpr unsigned kCmdFont20 = 32783;
constexpr unsigned kCmdFont40 = 32784;
constexpr unsigned kCmdFont60 = 32785;
constexpr unsigned kCmdWeightLight = 32787;
constexpr unsigned kCmdWeightNormal = 32788;
constexpr unsigned kCmdWeightBold = 32789;
constexpr unsigned kCmdWeightHeavy = 32790;

constexpr unsigned kCmdSilenceMelody = 32773;
constexpr unsigned kCmdRecord = 32774;
constexpr unsigned kCmdQualityAm = 32776;
constexpr unsigned kCmdQualityFm = 32777;
constexpr unsigned kCmdQualityCd = 32778;
constexpr unsigned kCmdCritique = 32779;
constexpr unsigned kCmdOctaveLower = 32792;

// Key & Tempo: session choices, never saved.
constexpr unsigned kCmdKeyUp = 32801;
constexpr unsigned kCmdKeyDown = 32802;
constexpr unsigned kCmdOriginalKey = 32803;
constexpr unsigned kCmdFaster = 32804;
constexpr unsigned kCmdSlower = 32805;
constexpr unsigned kCmdOriginalTempo = 32806;

constexpr unsigned kCmdAudioMixer = 32793;
constexpr unsigned kCmdPlayLastRecording = 32794;

constexpr unsigned kCmdAbout = 104;
constexpr unsigned kCmdHtmlHelp = 32780;

// Resources built into the program.
constexpr unsigned kMenuResource = 109;         // the menu, and the accelerators of the same id
constexpr unsigned kAcceleratorResource = 109;
constexpr unsigned kAboutDialogResource = 103;
constexpr unsigned kLargeIconResource = 107;
constexpr unsigned kSmallIconResource = 108;
constexpr unsigned kKeyboardBitmapResource = 129;  // the keyboard strip
constexpr unsigned kNoteBitmapResource = 130;      // the falling note sprite
constexpr unsigned kMarkerBitmapResource = 131;    // the sung-pitch marker
constexpr unsigned kFirstStringResource = 103;     // the string table runs from 103 to 114
constexpr unsigned kLastStringResource = 114;

// WM_VOICE and its two codes are the voice subsystem's own (voice/pitch.h).
