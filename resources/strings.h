#pragma once
// The string table's texts, shared by the resource script and the host build so both show
// exactly the same words. Several have two blanks after a full stop; they belong to the text.

#define LVX_STR_103 "Lyrivox"
#define LVX_STR_104 "Unable to create temporary wave output file. Make sure media subfolder exists."
#define LVX_STR_105 "Unable to open the default wave in device.  Make sure it is not in use by another process."
#define LVX_STR_106 "Unable to prepare a wave in header.  Try another recording quality."
#define LVX_STR_107 "Unable to close the wave in device.  Restart the program to continue recording."
#define LVX_STR_108 "Unable to start recording.  This feature temporarily disabled."
#define LVX_STR_109 "LYRIVOX"
#define LVX_STR_110 "Unable to load a graphics file.  Reinstall the original graphics into the media/images subfolder."
#define LVX_STR_111 "The file has exceeded the buffer limits for notes and/or lyrics.  It may not play properly."
#define LVX_STR_112 "Unable to kill the Midi timer."
#define LVX_STR_113 "Unable to close the Midi out device."
#define LVX_STR_114 "Unable to start the Midi timer."
