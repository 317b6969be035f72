#include <windows.h>
#include <commdlg.h>

#include "platform/file_move.h"
#include "platform/save_dialog.h"
#include "platform/win32/file_dialog_win32.h"
#include "platform/window.h"

namespace platform {
namespace {

class Win32SaveDialog : public SaveDialog {
public:
    int getSaveFileName(FileDialog& dialog) override {
        OPENFILENAMEA ofn = describeFileDialog(dialog);
        return GetSaveFileNameA(&ofn) ? 1 : 0;
    }
};

class Win32FileMove : public FileMove {
public:
    bool moveFileEx(const char* from, const char* to) override {
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
    }
};

}  // namespace

SaveDialog& defaultSaveDialog() {
    static Win32SaveDialog dialog;
    return dialog;
}

FileMove& defaultFileMove() {
    static Win32FileMove mover;
    return mover;
}

}  // namespace platform
