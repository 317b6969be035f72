#pragma once
// The window side of the platform: what the program asks of the main window that is not
// drawing. The Windows program implements it on USER32 (platform/win32); the host build has a
// recording stand-in (platform/host) that tests and tools can inspect and make fail.

#include <cstdint>

struct Rect;  // stage/layout.h

namespace platform {

// MessageBoxA styles the program uses.
constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbIconExclamation = 0x30;

class WindowSide {
public:
    virtual ~WindowSide() = default;

    // MessageBoxA with the given text, caption and style; owned by the main window when
    // `owned`, with no owner otherwise. Returns the box's result.
    virtual int messageBox(const char* text, const char* caption, unsigned style, bool owned) = 0;

    // EnableMenuItem / CheckMenuItem on the main window's menu, by command id.
    virtual void enableMenuItem(unsigned commandId, bool enabled) = 0;
    virtual void checkMenuItem(unsigned commandId, bool checked) = 0;


    // A measuring context with the current lyric font selected (GetDC + SelectObject), held
    // from begin to end; and the width in pixels of a text in that font, with the semantics of
    // DrawTextA with DT_CALCRECT alone: the widest of the text's lines (CR and LF break lines),
    // '&' a mnemonic prefix ("&&" measures as one '&'), an empty text 0.
    virtual void beginLyricMeasure() = 0;
    virtual int32_t lyricTextWidth(const char* text, int32_t length) = 0;
    virtual void endLyricMeasure() = 0;

    // SetWindowTextA on the main window: its caption. Safe to call from any thread.
    virtual void setCaption(const char* text) = 0;

    // RedrawWindow on the main window with RDW_INVALIDATE | RDW_INTERNALPAINT and nothing
    // erased: the given client rectangle, or the whole client area when `rect` is null. Safe
    // to call from any thread. Each build's window file supplies the default.
    virtual void redrawWindow(const Rect* rect);

    // Waits up to `ms` milliseconds on the window thread while handling the messages other
    // threads send to it: a box the timer thread shows is owned by the main window and can
    // neither open nor be answered while this thread sleeps. Posted messages (commands) stay
    // queued, so nothing the user chose runs inside the wait. Each build's window file supplies
    // the default.
    virtual void waitHandlingSentMessages(uint32_t ms);

    // The whole client area invalidated once, `delayMs` from now (a one-shot window timer), so
    // frames follow at a steady pace and the window thread sleeps in between. A newer request
    // replaces one still pending. Window thread only.
    virtual void redrawWindowAfter(uint32_t delayMs);

    // The display's refresh rate in Hz (GetDeviceCaps VREFRESH), 0 when the platform does not
    // tell it (the host, or a driver that reports its default).
    virtual uint32_t displayRefreshHz();
};

// The lyric font that the measuring context selects (an HFONT on Windows). The stage hands
// over each font it makes; nullptr until the first one.
void setLyricFont(void* font);
void* currentLyricFont();

// The window side in force. Tests install their own; nullptr puts the default back.
WindowSide& window();
void installWindow(WindowSide* side);

// The full path of the running executable, as GetModuleFileNameA gives it (backslashes), cut
// to `capacity` - 1 characters and terminated. Returns the number of characters written.
uint32_t executablePath(char* destination, uint32_t capacity);

// Whether a byte opens a double-byte character in the system's ANSI code page (IsDBCSLeadByte).
bool isLeadByte(unsigned char byte);

// Text that is valid UTF-8 turned into the system's 8-bit (ANSI) code page, characters the
// code page lacks as '?'. Writes at most `capacity` bytes and returns how many it wrote.
int32_t utf8ToCodePage(const char* text, int32_t length, char* out, int32_t capacity);

// The main window (an HWND on Windows): owner of the message boxes, holder of the menu and of
// the measuring context. Start-up hands it over once it exists; nullptr until then.
void setMainWindow(void* handle);
void* mainWindow();

// The default implementations, one per build (platform/win32 or platform/host).
WindowSide& defaultWindowSide();

}  // namespace platform
