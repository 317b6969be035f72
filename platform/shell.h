#pragma once
// The shell side of the platform: what the main window's commands ask of the system besides
// message boxes and menu greying: posted commands, radio marks, the open dialog, the wait
// cursor, handing a file to the user's programs, and closing the window.

#include <cstdint>

#include "platform/file_dialog.h"

namespace platform {

class ShellSide {
public:
    virtual ~ShellSide() = default;

    // PostMessageA(main window, WM_COMMAND, id, 0).
    virtual void postCommand(unsigned commandId) = 0;
    // CheckMenuRadioItem by command over first..last, marking `chosen`.
    virtual void checkMenuRadioItem(unsigned first, unsigned last, unsigned chosen) = 0;
    // GetOpenFileNameA owned by the main window; nonzero when the user confirmed a file.
    virtual int getOpenFileName(FileDialog& dialog) = 0;
    // The hourglass while a song loads; returns the cursor it replaced, for restoreCursor.
    virtual void* setWaitCursor() = 0;
    virtual void restoreCursor(void* previous) = 0;
    // ShellExecuteA(main window, "open", file, no parameters, no folder, SW_SHOWNORMAL).
    virtual void shellOpen(const char* file) = 0;
    // Whether a program of this name can be found (the system folder or beside us).
    virtual bool programExists(const char* program) = 0;
    // DestroyWindow on the main window.
    virtual void destroyMainWindow() = 0;
};

ShellSide& shell();
void installShell(ShellSide* side);
ShellSide& defaultShellSide();

}  // namespace platform
