#include <algorithm>
#include <cstring>

#include "platform/host/recording_shell.h"

namespace platform {

void RecordingShellSide::checkMenuRadioItem(unsigned first, unsigned, unsigned chosen) {
    radioMarks.emplace_back(first, chosen);
}

unsigned RecordingShellSide::radioMark(unsigned first) const {
    for (auto it = radioMarks.rbegin(); it != radioMarks.rend(); ++it)
        if (it->first == first) return it->second;
    return 0;
}

int RecordingShellSide::getOpenFileName(FileDialog& dialog) {
    DialogSeen seen;
    for (const char* p = dialog.filter; p && *p; p += std::strlen(p) + 1) {
        if (!seen.filter.empty()) seen.filter += '|';
        seen.filter += p;
    }
    seen.filterIndex = dialog.filterIndex;
    seen.presetFile = dialog.file;
    seen.initialFolder = dialog.initialFolder ? dialog.initialFolder : "";
    seen.title = dialog.title ? dialog.title : "";
    seen.flags = dialog.flags;
    seen.defaultExtension = dialog.defaultExtension ? dialog.defaultExtension : "";
    dialogs.push_back(seen);

    if (dialogAnswers.empty()) return 0;
    std::string answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    if (answer.empty()) return 0;
    size_t count = std::min<size_t>(answer.size(), dialog.fileCapacity - 1);
    std::memcpy(dialog.file, answer.data(), count);
    dialog.file[count] = '\0';
    return 1;
}

void* RecordingShellSide::setWaitCursor() {
    ++waitCursorDepth;
    return this;
}

void RecordingShellSide::restoreCursor(void*) { --waitCursorDepth; }

bool RecordingShellSide::programExists(const char* program) {
    return std::find(existingPrograms.begin(), existingPrograms.end(), program) !=
           existingPrograms.end();
}

ShellSide& defaultShellSide() {
    static RecordingShellSide side;
    return side;
}

}  // namespace platform
