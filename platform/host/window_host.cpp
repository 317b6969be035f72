#include <cstring>
#include <string>

#include "platform/host/recording_window.h"

namespace platform {

int RecordingWindowSide::messageBox(const char* text, const char* caption, unsigned style,
                                    bool owned) {
    Box box{text ? text : "", caption ? caption : "", style, owned};
    std::function<void(const Box&)> hook;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        boxes_.push_back(box);
        hook = onMessageBox_;
    }
    if (hook) hook(box);
    return 1;  // IDOK
}

void RecordingWindowSide::enableMenuItem(unsigned commandId, bool enabled) {
    std::lock_guard<std::mutex> guard(mutex_);
    enabled_[commandId] = enabled;
}

void RecordingWindowSide::checkMenuItem(unsigned commandId, bool checked) {
    std::lock_guard<std::mutex> guard(mutex_);
    checked_[commandId] = checked;
}

void RecordingWindowSide::beginLyricMeasure() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++openMeasures_;
}

int32_t RecordingWindowSide::lyricTextWidth(const char* text, int32_t length) {
    int width;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++measureCalls_;
        width = charWidth_;
    }
    return fixedWidthTextWidth(text, length, width);
}

void RecordingWindowSide::endLyricMeasure() {
    std::lock_guard<std::mutex> guard(mutex_);
    --openMeasures_;
}

std::vector<RecordingWindowSide::Box> RecordingWindowSide::boxes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return boxes_;
}

std::vector<std::string> RecordingWindowSide::messages() const {
    std::vector<std::string> texts;
    for (const Box& box : boxes()) texts.push_back(box.text);
    return texts;
}

bool RecordingWindowSide::isEnabled(unsigned commandId, bool fallback) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = enabled_.find(commandId);
    return found == enabled_.end() ? fallback : found->second;
}

bool RecordingWindowSide::isChecked(unsigned commandId, bool fallback) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = checked_.find(commandId);
    return found == checked_.end() ? fallback : found->second;
}

int RecordingWindowSide::openMeasures() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return openMeasures_;
}

int RecordingWindowSide::measureCalls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return measureCalls_;
}

void RecordingWindowSide::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    boxes_.clear();
    enabled_.clear();
    checked_.clear();
    openMeasures_ = 0;
    measureCalls_ = 0;
}

void RecordingWindowSide::setOnMessageBox(std::function<void(const Box&)> hook) {
    std::lock_guard<std::mutex> guard(mutex_);
    onMessageBox_ = std::move(hook);
}

int32_t fixedWidthTextWidth(const char* text, int32_t length, int charWidth) {
    int32_t widest = 0;
    int32_t shown = 0;  // characters shown on the current line
    for (int32_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (shown > widest) widest = shown;
            shown = 0;
        } else if (c == '&') {
            // A prefix marks the next character; "&&" shows a single '&'.
            if (i + 1 < length && text[i + 1] == '&') {
                ++shown;
                ++i;
            }
        } else {
            ++shown;
        }
    }
    if (shown > widest) widest = shown;
    return widest * charWidth;
}

namespace {
std::string hostExecutablePath = "C:\\Lyrivox\\lyrivox.exe";
}

void setHostExecutablePath(const char* path) { hostExecutablePath = path ? path : ""; }

uint32_t executablePath(char* destination, uint32_t capacity) {
    if (capacity == 0) return 0;
    size_t count = hostExecutablePath.size();
    if (count > capacity - 1) count = capacity - 1;
    std::memcpy(destination, hostExecutablePath.data(), count);
    destination[count] = '\0';
    return static_cast<uint32_t>(count);
}

WindowSide& defaultWindowSide() {
    static RecordingWindowSide side;
    return side;
}

}  // namespace platform
