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
#include "stage/layout.h"

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
    void redrawWindow(const Rect* rect) override;
    // Counts the waits and runs the wait hook (the messages the window thread would handle
    // meanwhile), then sleeps a millisecond.
    void waitHandlingSentMessages(uint32_t ms) override;
    void redrawWindowAfter(uint32_t delayMs) override;
    void setCaption(const char* text) override;

    // One invalidation: the rectangle given, or the whole client area.
    struct Redraw {
        bool whole;
        Rect rect;
    };

    // What was recorded; safe to call from any thread.
    std::vector<Box> boxes() const;
    std::vector<std::string> messages() const;  // the texts of boxes(), in order
    // Menu state by command id: absent when never touched.
    bool isEnabled(unsigned commandId, bool fallback = true) const;
    bool isChecked(unsigned commandId, bool fallback = false) const;
    std::string caption() const;  // the last text set, empty when none
    int openMeasures() const;  // contexts taken and not yet given back
    int measureCalls() const;
    std::vector<Redraw> redraws() const;
    std::vector<uint32_t> laterRedraws() const;  // the delays of redrawWindowAfter, in order
    std::vector<std::string> captions() const;  // every caption set, in order
    void clear();

    void setCharWidth(int width);
    // What messageBox returns from now on (IDOK, 1, unless told otherwise; 0 plays a failed box).
    void setMessageBoxResult(int result);
    // Called (on the showing thread) while a box is "open", before it returns.
    void setOnMessageBox(std::function<void(const Box&)> hook);
    // Called (on the waiting thread) at each wait that handles sent messages: what a box
    // shown by another thread can do only while the window thread listens.
    void setOnWait(std::function<void()> hook);
    int waits() const;

private:
    mutable std::mutex mutex_;
    int charWidth_;
    std::vector<Box> boxes_;
    std::map<unsigned, bool> enabled_;
    std::map<unsigned, bool> checked_;
    int openMeasures_ = 0;
    int measureCalls_ = 0;
    int messageBoxResult_ = 1;
    std::vector<Redraw> redraws_;
    std::vector<uint32_t> laterRedraws_;
    std::vector<std::string> captions_;
    std::function<void(const Box&)> onMessageBox_;
    std::function<void()> onWait_;
    int waits_ = 0;
};

// Width of a text in a fixed-width font with DrawTextA's DT_CALCRECT rules (no other flag):
// - CR and LF end a line ("\r\n" is one break) and the widest line counts; an empty text is 0;
// - '&' is a mnemonic prefix: it shows nothing and the character after it shows as itself, so
//   "&&" shows one '&'; a prefix just before a line break shows nothing and the break still
//   breaks; a '&' that is the last character of the text has nothing to mark and shows;
// - a negative length means the text runs to its terminating zero.
int32_t fixedWidthTextWidth(const char* text, int32_t length, int charWidth);

// The host's idea of the executable's path; tests and tools may set it (any thread).
void setHostExecutablePath(const char* path);

// The host has no ANSI code page; by default no byte opens a double-byte character. Tests of
// the double-byte rules switch on the Shift-JIS lead bytes (0x81-0x9F and 0xE0-0xFC).
void setHostDoubleByteCodePage(bool shiftJis);

}  // namespace platform
