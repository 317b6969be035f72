#pragma once
// Host stand-ins for the save dialog and the file move. The dialog answers with a name the test
// chose (or cancels) and keeps what it was shown; the move is the standard library's rename,
// which replaces the target in one step, and can be made to fail.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_move.h"
#include "platform/save_dialog.h"

namespace platform {

class RecordingSaveDialog : public SaveDialog {
public:
    struct Shown {
        std::vector<std::string> filter;  // the description/pattern strings
        uint32_t filterIndex;
        std::string presetName;
        uint32_t fileCapacity;
        std::string initialFolder;
        std::string title;
        std::string defaultExtension;
        uint32_t flags;
    };

    int getSaveFileName(FileDialog& dialog) override;

    // The next dialogs confirm this name; cancel() makes them cancel (the default).
    void answer(const std::string& name);
    void cancel();
    std::vector<Shown> shown() const;
    void clear();

private:
    mutable std::mutex mutex_;
    bool confirm_ = false;
    std::string name_;
    std::vector<Shown> shown_;
};

class HostFileMove : public FileMove {
public:
    bool moveFileEx(const char* from, const char* to) override;
    std::atomic<bool> failMove{false};
    std::atomic<int> calls{0};
};

}  // namespace platform
