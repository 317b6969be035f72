#pragma once
// The save-file dialog (GetSaveFileNameA, owned by the main window), through which the user
// names the file a recording is kept under.

#include <cstdint>

namespace platform {

// GetSaveFileNameA flags the program uses.
constexpr uint32_t kOfnOverwritePrompt = 0x00000002;
constexpr uint32_t kOfnHideReadOnly = 0x00000004;
constexpr uint32_t kOfnPathMustExist = 0x00000800;
constexpr uint32_t kOfnNoReadOnlyReturn = 0x00008000;

// The dialog as the program fills it. `file` is the caller's buffer: it presets the name and
// receives the chosen path.
struct SaveFileDialog {
    const char* filter;  // pairs of description and pattern, ended by an empty string
    uint32_t filterIndex;
    char* file;
    uint32_t fileCapacity;
    const char* initialFolder;
    const char* title;
    const char* defaultExtension;
    uint32_t flags;
};

class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    // Shows the dialog; nonzero when the user confirmed a name (then in dialog.file).
    virtual int getSaveFileName(SaveFileDialog& dialog) = 0;
};

SaveDialog& saveDialog();
void installSaveDialog(SaveDialog* dialog);
SaveDialog& defaultSaveDialog();

}  // namespace platform
