#pragma once
// The common file dialogs (GetOpenFileNameA and GetSaveFileNameA, owned by the main window) as
// the program fills them.

#include <cstdint>

namespace platform {

// OPENFILENAME flags the program uses.
constexpr uint32_t kOfnOverwritePrompt = 0x00000002;
constexpr uint32_t kOfnHideReadOnly = 0x00000004;
constexpr uint32_t kOfnPathMustExist = 0x00000800;
constexpr uint32_t kOfnNoReadOnlyReturn = 0x00008000;

// `file` is the caller's buffer: it presets the name and receives the chosen path.
struct FileDialog {
    const char* filter;  // pairs of description and pattern, ended by an empty string
    uint32_t filterIndex;
    char* file;
    uint32_t fileCapacity;
    const char* initialFolder;
    const char* title;
    const char* defaultExtension;
    uint32_t flags;
};

}  // namespace platform
