#pragma once
// What the main window does with its messages and menu commands, apart from the Win32 message
// cracking: every action here runs on the window thread and reaches the system only through
// the platform seam, so the host tests drive it directly.

#include <cstdint>

// A menu command (the low word of WM_COMMAND's wParam). Returns false for an id the program
// does not know, which the window procedure hands to DefWindowProcA.
bool handleCommand(unsigned commandId);

// WM_VOICE, by the low word of its wParam, for the capture run in its lParam; the messages of
// a run that a newer one has superseded are ignored.
void handleVoice(unsigned what, uint32_t run);

// WM_SIZE with its type (0 restored, 1 minimised, 2 maximised), WM_ENTERSIZEMOVE and
// WM_EXITSIZEMOVE. A maximised window's options keep the client size it had before.
void onSize(unsigned sizeType);
void onEnterSizeMove();
void onExitSizeMove();

// Posts the commands that set the menu's marks from the loaded settings (start-up).
void postMenuMarks();

// The fixed paths beside the executable, filled once at start by buildFixedPaths.
extern char recordingPath[260];
extern char helpPath[260];
extern char backgroundPattern[260];
void buildFixedPaths();

// Everything the window owns, released when it is destroyed; the options are saved last.
void releaseResources();

// WM_ENDSESSION when the session does end: the run stopped as Exit stops it, the MIDI output
// reset and closed, the take finished, the options saved. Nothing is freed; the process may be
// ended at any moment after.
void endSession();

// The address the About box's maker line opens.
extern const char* const kHomePage;

// A notice of the About box's maker line (the notification code of its WM_COMMAND): a click
// opens the page; the double-click notice that follows a click's is not a second request.
constexpr unsigned kMakerLineClicked = 0;  // STN_CLICKED
void onMakerLine(unsigned notification);
