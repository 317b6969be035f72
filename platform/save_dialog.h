#pragma once
// The save-file dialog (GetSaveFileNameA, owned by the main window), through which the user
// names the file a recording is kept under.

#include "platform/file_dialog.h"

namespace platform {

class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    // Shows the dialog; nonzero when the user confirmed a name (then in dialog.file).
    virtual int getSaveFileName(FileDialog& dialog) = 0;
};

SaveDialog& saveDialog();
void installSaveDialog(SaveDialog* dialog);
SaveDialog& defaultSaveDialog();

}  // namespace platform
