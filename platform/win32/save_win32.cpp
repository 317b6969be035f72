#include <windows.h>
#include <commdlg.h>

#include "platform/file_move.h"
#include "platform/save_dialog.h"
#include "platform/window.h"

namespace platform {
namespace {

class Win32SaveDialog : public SaveDialog {
public:
    int getSaveFileName(SaveFileDialog& dialog) override {
        OPENFILENAMEA ofn{};
        ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the 76-byte layout
        ofn.hwndOwner = static_cast<HWND>(mainWindow());
        ofn.lpstrFilter = dialog.filter;
        ofn.nFilterIndex = dialog.filterIndex;
        ofn.lpstrFile = dialog.file;
        ofn.nMaxFile = dialog.fileCapacity;
        ofn.lpstrInitialDir = dialog.initialFolder;
        ofn.lpstrTitle = dialog.title;
        ofn.lpstrDefExt = dialog.defaultExtension;
        ofn.Flags = dialog.flags;
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
