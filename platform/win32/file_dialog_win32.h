#pragma once
// The classic 76-byte OPENFILENAMEA record for a file dialog of the program's.

#include <windows.h>
#include <commdlg.h>

#include "platform/file_dialog.h"
#include "platform/window.h"

namespace platform {

inline OPENFILENAMEA describeFileDialog(FileDialog& dialog) {
    OPENFILENAMEA ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = static_cast<HWND>(mainWindow());
    ofn.lpstrFilter = dialog.filter;
    ofn.nFilterIndex = dialog.filterIndex;
    ofn.lpstrFile = dialog.file;
    ofn.nMaxFile = dialog.fileCapacity;
    ofn.lpstrInitialDir = dialog.initialFolder;
    ofn.lpstrTitle = dialog.title;
    ofn.lpstrDefExt = dialog.defaultExtension;
    ofn.Flags = dialog.flags;
    return ofn;
}

}  // namespace platform
