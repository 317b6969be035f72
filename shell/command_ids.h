#pragma once
// Command ids of the main window's menu (resource 109), shared by the window procedure and
// every part that greys or marks a menu item. The numbers come from the resource script's own
// list.

#include "resources/resource_ids.h"

constexpr unsigned kCmdOpen = IDM_OPEN;
constexpr unsigned kCmdStop = IDM_STOP;
constexpr unsigned kCmdSaveAs = IDM_SAVE_AS;
constexpr unsigned kCmdExit = IDM_EXIT;

constexpr unsigned kCmdFont20 = IDM_FONT_20;
constexpr unsigned kCmdFont40 = IDM_FONT_40;
constexpr unsigned kCmdFont60 = IDM_FONT_60;
constexpr unsigned kCmdWeightLight = IDM_WEIGHT_LIGHT;
constexpr unsigned kCmdWeightNormal = IDM_WEIGHT_NORMAL;
constexpr unsigned kCmdWeightBold = IDM_WEIGHT_BOLD;
constexpr unsigned kCmdWeightHeavy = IDM_WEIGHT_HEAVY;

constexpr unsigned kCmdSilenceMelody = IDM_SILENCE_MELODY;
constexpr unsigned kCmdRecord = IDM_RECORD;
constexpr unsigned kCmdQualityAm = IDM_QUALITY_AM;
constexpr unsigned kCmdQualityFm = IDM_QUALITY_FM;
constexpr unsigned kCmdQualityCd = IDM_QUALITY_CD;
constexpr unsigned kCmdCritique = IDM_CRITIQUE;
constexpr unsigned kCmdOctaveLower = IDM_OCTAVE_LOWER;

// Key & Tempo: session choices, never saved.
constexpr unsigned kCmdKeyUp = IDM_KEY_UP;
constexpr unsigned kCmdKeyDown = IDM_KEY_DOWN;
constexpr unsigned kCmdOriginalKey = IDM_ORIGINAL_KEY;
constexpr unsigned kCmdFaster = IDM_FASTER;
constexpr unsigned kCmdSlower = IDM_SLOWER;
constexpr unsigned kCmdOriginalTempo = IDM_ORIGINAL_TEMPO;

constexpr unsigned kCmdAudioMixer = IDM_AUDIO_MIXER;
constexpr unsigned kCmdPlayLastRecording = IDM_PLAY_LAST_RECORDING;

constexpr unsigned kCmdAbout = IDM_ABOUT;
constexpr unsigned kCmdHtmlHelp = IDM_HTML_HELP;

// Resources built into the program.
constexpr unsigned kMenuResource = IDR_MAIN_MENU;  // the menu, and the accelerators of the same id
constexpr unsigned kAcceleratorResource = IDR_MAIN_MENU;
constexpr unsigned kAboutDialogResource = IDD_ABOUT;
constexpr unsigned kMakerLineControl = IDC_MAKER_LINE;  // the About box's maker line
constexpr unsigned kLargeIconResource = IDI_LARGE;
constexpr unsigned kSmallIconResource = IDI_SMALL;
constexpr unsigned kKeyboardBitmapResource = IDB_KEYBOARD;  // the keyboard strip
constexpr unsigned kNoteBitmapResource = IDB_NOTE;          // the falling note sprite
constexpr unsigned kMarkerBitmapResource = IDB_MARKER;      // the sung-pitch marker
constexpr unsigned kFirstStringResource = IDS_TITLE;        // the string table runs from 103 to 114
constexpr unsigned kLastStringResource = IDS_CANNOT_START_TIMER;

// WM_VOICE and its two codes are the voice subsystem's own (voice/pitch.h).
