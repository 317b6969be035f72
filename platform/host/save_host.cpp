#include <cstdio>
#include <cstring>

#include "platform/host/recording_save.h"

namespace platform {

int RecordingSaveDialog::getSaveFileName(FileDialog& dialog) {
    Shown seen{};
    for (const char* p = dialog.filter; p && *p; p += std::strlen(p) + 1) seen.filter.push_back(p);
    seen.filterIndex = dialog.filterIndex;
    seen.presetName = dialog.file ? dialog.file : "";
    seen.fileCapacity = dialog.fileCapacity;
    seen.initialFolder = dialog.initialFolder ? dialog.initialFolder : "";
    seen.title = dialog.title ? dialog.title : "";
    seen.defaultExtension = dialog.defaultExtension ? dialog.defaultExtension : "";
    seen.flags = dialog.flags;

    std::lock_guard<std::mutex> guard(mutex_);
    shown_.push_back(seen);
    if (!confirm_ || !dialog.file || dialog.fileCapacity == 0) return 0;
    size_t count = name_.size();
    if (count > dialog.fileCapacity - 1) count = dialog.fileCapacity - 1;
    std::memcpy(dialog.file, name_.data(), count);
    dialog.file[count] = '\0';
    return 1;
}

void RecordingSaveDialog::answer(const std::string& name) {
    std::lock_guard<std::mutex> guard(mutex_);
    confirm_ = true;
    name_ = name;
}

void RecordingSaveDialog::cancel() {
    std::lock_guard<std::mutex> guard(mutex_);
    confirm_ = false;
}

std::vector<RecordingSaveDialog::Shown> RecordingSaveDialog::shown() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return shown_;
}

void RecordingSaveDialog::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    shown_.clear();
    confirm_ = false;
    name_.clear();
}

bool HostFileMove::moveFileEx(const char* from, const char* to) {
    ++calls;
    if (failMove) return false;
    return std::rename(from, to) == 0;
}

SaveDialog& defaultSaveDialog() {
    static RecordingSaveDialog dialog;
    return dialog;
}

FileMove& defaultFileMove() {
    static HostFileMove mover;
    return mover;
}

}  // namespace platform
