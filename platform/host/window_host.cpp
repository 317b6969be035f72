#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/host/recording_window.h"
#include "platform/utf8.h"

namespace platform {

// The host has no window to repaint; the recording side below keeps what was asked.
void WindowSide::redrawWindow(const Rect*) {}
void WindowSide::redrawWindowAfter(uint32_t) {}
uint32_t WindowSide::displayRefreshHz() { return 0; }

// Nor messages to handle: a plain sleep.
void WindowSide::waitHandlingSentMessages(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

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
    std::lock_guard<std::mutex> guard(mutex_);
    return messageBoxResult_;
}

void RecordingWindowSide::enableMenuItem(unsigned commandId, bool enabled) {
    std::lock_guard<std::mutex> guard(mutex_);
    enabled_[commandId] = enabled;
}

void RecordingWindowSide::checkMenuItem(unsigned commandId, bool checked) {
    std::lock_guard<std::mutex> guard(mutex_);
    checked_[commandId] = checked;
}

std::string RecordingWindowSide::caption() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return captions_.empty() ? std::string() : captions_.back();
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

void RecordingWindowSide::redrawWindow(const Rect* rect) {
    std::lock_guard<std::mutex> guard(mutex_);
    redraws_.push_back(rect ? Redraw{false, *rect} : Redraw{true, Rect{0, 0, 0, 0}});
}

void RecordingWindowSide::redrawWindowAfter(uint32_t delayMs) {
    std::lock_guard<std::mutex> guard(mutex_);
    laterRedraws_.push_back(delayMs);
}

std::vector<uint32_t> RecordingWindowSide::laterRedraws() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return laterRedraws_;
}

void RecordingWindowSide::setCaption(const char* text) {
    std::lock_guard<std::mutex> guard(mutex_);
    captions_.push_back(text ? text : "");
}

std::vector<std::string> RecordingWindowSide::captions() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return captions_;
}

std::vector<RecordingWindowSide::Redraw> RecordingWindowSide::redraws() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return redraws_;
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
    redraws_.clear();
    laterRedraws_.clear();
    captions_.clear();
}

void RecordingWindowSide::setCharWidth(int width) {
    std::lock_guard<std::mutex> guard(mutex_);
    charWidth_ = width;
}

void RecordingWindowSide::setMessageBoxResult(int result) {
    std::lock_guard<std::mutex> guard(mutex_);
    messageBoxResult_ = result;
}

void RecordingWindowSide::waitHandlingSentMessages(uint32_t) {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++waits_;
        hook = onWait_;
    }
    if (hook) hook();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int RecordingWindowSide::waits() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return waits_;
}

void RecordingWindowSide::setOnWait(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(mutex_);
    onWait_ = std::move(hook);
}

void RecordingWindowSide::setOnMessageBox(std::function<void(const Box&)> hook) {
    std::lock_guard<std::mutex> guard(mutex_);
    onMessageBox_ = std::move(hook);
}

int32_t fixedWidthTextWidth(const char* text, int32_t length, int charWidth) {
    if (text == nullptr) return 0;
    if (length < 0) length = static_cast<int32_t>(std::strlen(text));
    int32_t widest = 0;
    int32_t shown = 0;  // characters shown on the current line
    for (int32_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '&' && i + 1 < length) {
            // A prefix: the next character is shown as itself (so "&&" is one '&'), unless it
            // is a line break, which still breaks the line below.
            c = text[++i];
            if (c != '\r' && c != '\n') {
                ++shown;
                continue;
            }
        }
        if (c == '\r' || c == '\n') {
            if (shown > widest) widest = shown;
            shown = 0;
        } else {
            ++shown;
        }
    }
    if (shown > widest) widest = shown;
    return widest * charWidth;
}

namespace {
std::mutex hostPathMutex;
std::string hostExecutablePath = "C:\\Lyrivox\\lyrivox.exe";
std::atomic<bool> hostShiftJis{false};
}  // namespace

void setHostExecutablePath(const char* path) {
    std::lock_guard<std::mutex> guard(hostPathMutex);
    hostExecutablePath = path ? path : "";
}

uint32_t executablePath(char* destination, uint32_t capacity) {
    if (destination == nullptr || capacity == 0) return 0;
    std::lock_guard<std::mutex> guard(hostPathMutex);
    size_t count = hostExecutablePath.size();
    if (count > capacity - 1) count = capacity - 1;
    std::memcpy(destination, hostExecutablePath.data(), count);
    destination[count] = '\0';
    return static_cast<uint32_t>(count);
}

void setHostDoubleByteCodePage(bool shiftJis) { hostShiftJis.store(shiftJis); }

bool isLeadByte(unsigned char byte) {
    if (!hostShiftJis.load()) return false;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The host's code page is Windows-1252: Latin-1 with printing characters in 0x80-0x9F.
int32_t utf8ToCodePage(const char* text, int32_t length, char* out, int32_t capacity) {
    static const uint16_t high[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
                                      0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    int32_t written = 0;
    for (int32_t pos = 0; pos < length && written < capacity;) {
        const int32_t c = nextUtf8(bytes, length, pos);
        char byte = '?';
        if (c >= 0 && c < 0x80) byte = static_cast<char>(c);
        if (c >= 0xA0 && c <= 0xFF) byte = static_cast<char>(c);
        for (int i = 0; i < 32 && c >= 0x100; ++i)
            if (high[i] == c) byte = static_cast<char>(0x80 + i);
        out[written++] = byte;
    }
    return written;
}

WindowSide& defaultWindowSide() {
    static RecordingWindowSide side;
    return side;
}

}  // namespace platform
