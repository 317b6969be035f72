#pragma once
// The host stand-in for the shell side: records what the commands asked for and answers the
// open dialog from a script of chosen files.

#include <deque>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace platform {

class RecordingShellSide : public ShellSide {
public:
    struct DialogSeen {
        std::string filter;  // with the separating NULs shown as '|'
        uint32_t filterIndex;
        std::string presetFile;
        std::string initialFolder;
        std::string title;
        uint32_t flags;
        std::string defaultExtension;
    };

    void postCommand(unsigned commandId) override { posted.push_back(commandId); }
    void checkMenuRadioItem(unsigned first, unsigned last, unsigned chosen) override;
    int getOpenFileName(FileDialog& dialog) override;
    void* setWaitCursor() override;
    void restoreCursor(void* previous) override;
    void shellOpen(const char* file) override { opened.push_back(file ? file : ""); }
    bool programExists(const char* program) override;
    void destroyMainWindow() override { ++destroyCalls; }

    // The answers of the next dialogs, in order: a path chosen, or "" for Cancel.
    std::deque<std::string> dialogAnswers;
    std::vector<DialogSeen> dialogs;
    std::vector<unsigned> posted;
    std::vector<std::string> opened;
    std::vector<std::string> existingPrograms;
    // Radio mark per group, keyed by the group's first id.
    std::vector<std::pair<unsigned, unsigned>> radioMarks;  // (first, chosen)
    int waitCursorDepth = 0;
    int destroyCalls = 0;

    unsigned radioMark(unsigned first) const;
};

}  // namespace platform
