/* The ids of the program's resources and menu commands: the one list that the resource script
   and the code both include, so they cannot disagree. Plain defines, since the resource
   compiler reads this too. */
#ifndef LYRIVOX_RESOURCE_IDS_H
#define LYRIVOX_RESOURCE_IDS_H

/* The menu, and the accelerators of the same id. */
#define IDR_MAIN_MENU 109

/* Menu commands. */
#define IDM_OPEN 32771
#define IDM_STOP 32772
#define IDM_SAVE_AS 32791
#define IDM_EXIT 105
#define IDM_FONT_20 32783
#define IDM_FONT_40 32784
#define IDM_FONT_60 32785
#define IDM_WEIGHT_LIGHT 32787
#define IDM_WEIGHT_NORMAL 32788
#define IDM_WEIGHT_BOLD 32789
#define IDM_WEIGHT_HEAVY 32790
#define IDM_SILENCE_MELODY 32773
#define IDM_RECORD 32774
#define IDM_QUALITY_AM 32776
#define IDM_QUALITY_FM 32777
#define IDM_QUALITY_CD 32778
#define IDM_CRITIQUE 32779
#define IDM_OCTAVE_LOWER 32792
#define IDM_AUDIO_MIXER 32793
#define IDM_PLAY_LAST_RECORDING 32794
#define IDM_ABOUT 104
#define IDM_HTML_HELP 32780
#define IDM_KEY_UP 32801
#define IDM_KEY_DOWN 32802
#define IDM_ORIGINAL_KEY 32803
#define IDM_FASTER 32804
#define IDM_SLOWER 32805
#define IDM_ORIGINAL_TEMPO 32806

/* The About box and its maker line. */
#define IDD_ABOUT 103
#define IDC_MAKER_LINE 1000

/* Icons and the stage's built-in pictures. */
#define IDI_LARGE 107
#define IDI_SMALL 108
#define IDB_KEYBOARD 129 /* the keyboard strip */
#define IDB_NOTE 130     /* the falling note sprite */
#define IDB_MARKER 131   /* the sung-pitch marker */

/* The string table, 103 to 114. */
#define IDS_TITLE 103
#define IDS_CANNOT_CREATE_RECORDING 104
#define IDS_CANNOT_OPEN_WAVE_IN 105
#define IDS_CANNOT_PREPARE_HEADER 106
#define IDS_CANNOT_CLOSE_WAVE_IN 107
#define IDS_CANNOT_START_RECORDING 108
#define IDS_CLASS_NAME 109
#define IDS_CANNOT_LOAD_GRAPHICS 110
#define IDS_BUFFER_LIMITS 111
#define IDS_CANNOT_KILL_TIMER 112
#define IDS_CANNOT_CLOSE_MIDI 113
#define IDS_CANNOT_START_TIMER 114

#endif
