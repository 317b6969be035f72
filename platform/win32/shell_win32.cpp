// The shell side on USER32, COMDLG32 and SHELL32.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include "platform/shell.h"
#include "platform/win32/file_dialog_win32.h"
#include "platform/window.h"

namespace platform {
namespace {

HWND mainHwnd() { return static_cast<HWND>(mainWindow()); }

class Win32ShellSide : public ShellSide {
public:
    void postCommand(unsigned commandId) override {
        PostMessageA(mainHwnd(), WM_COMMAND, commandId, 0);
    }

    void checkMenuRadioItem(unsigned first, unsigned last, unsigned chosen) override {
        CheckMenuRadioItem(GetMenu(mainHwnd()), first, last, chosen, MF_BYCOMMAND);
    }

    int getOpenFileName(FileDialog& dialog) override {
        OPENFILENAMEA ofn = describeFileDialog(dialog);
        return GetOpenFileNameA(&ofn);
    }

    void* setWaitCursor() override { return SetCursor(LoadCursorA(nullptr, IDC_WAIT)); }

    void restoreCursor(void* previous) override { SetCursor(static_cast<HCURSOR>(previous)); }

    void shellOpen(const char* file) override {
        ShellExecuteA(mainHwnd(), "open", file, nullptr, nullptr, SW_SHOWNORMAL);
    }

    bool programExists(const char* program) override {
        char found[MAX_PATH];
        return SearchPathA(nullptr, program, nullptr, MAX_PATH, found, nullptr) != 0;
    }

    void destroyMainWindow() override { DestroyWindow(mainHwnd()); }
};

}  // namespace

ShellSide& defaultShellSide() {
    static Win32ShellSide side;
    return side;
}

}  // namespace platform
