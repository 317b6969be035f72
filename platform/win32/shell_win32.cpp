// The shell side on USER32, COMDLG32 and SHELL32.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include "platform/shell.h"
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

    int getOpenFileName(OpenFileDialog& dialog) override {
        OPENFILENAMEA ofn;
        ZeroMemory(&ofn, sizeof ofn);
        ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // 76 bytes, the classic record
        ofn.hwndOwner = mainHwnd();
        ofn.lpstrFilter = dialog.filter;
        ofn.nFilterIndex = dialog.filterIndex;
        ofn.lpstrFile = dialog.file;
        ofn.nMaxFile = dialog.fileCapacity;
        ofn.lpstrInitialDir = dialog.initialFolder;
        ofn.lpstrTitle = dialog.title;
        ofn.Flags = dialog.flags;
        ofn.lpstrDefExt = dialog.defaultExtension;
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
