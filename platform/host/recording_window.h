#pragma once
// The host stand-in for the window side: it records every message box and menu change,
// measures text in a fixed-width font, and counts measuring contexts so tests can see that
// each one taken is given back.

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window.h"

namespace platform {

class RecordingWindowSide : public WindowSide {
public:
    struct Box {
        std::string text;
        std::string caption;
        unsigned style;
        bool owned;
    };

    explicit RecordingWindowSide(int charWidth = 10) : charWidth_(charWidth) {}

    int messageBox(const char* text, const char* caption, unsigned style, bool owned) override;
    void enableMenuItem(unsigned commandId, bool enabled) override;
    void checkMenuItem(unsigned commandId, bool checked) override;
    void beginLyricMeasure() override;
    int32_t lyricTextWidth(const char* text, int32_t length) override;
    void endLyricMeasure() override;

    // What was recorded; safe to call from any thread.
    std::vector<Box> boxes() const;
    std::vector<std::string> messages() const;  // the texts of boxes(), in order
    // Menu state by command id: absent when never touched.
    bool isEnabled(unsigned commandId, bool fallback = true) const;
    bool isChecked(unsigned commandId, bool fallback = false) const;
    int openMeasures() const;  // contexts taken and not yet given back
    int measureCalls() const;
    void clear();

    void setCharWidth(int width) { charWidth_ = width; }
    // Called (on the showing thread) while a box is "open", before it returns.
    void setOnMessageBox(std::function<void(const Box&)> hook);

private:
    mutable std::mutex mutex_;
    int charWidth_;
    std::vector<Box> boxes_;
    std::map<unsigned, bool> enabled_;
    std::map<unsigned, bool> checked_;
    int openMeasures_ = 0;
    int measureCalls_ = 0;
    std::function<void(const Box&)> onMessageBox_;
};

// Width of a text in a fixed-width font with DrawTextA's DT_CALCRECT rules: CR and LF end a
// line and the widest line counts; '&' is a mnemonic prefix, "&&" shows one '&'.
int32_t fixedWidthTextWidth(const char* text, int32_t length, int charWidth);

// The host's idea of the executable's path; tests and tools may set it.
void setHostExecutablePath(const char* path);

}  // namespace platform
