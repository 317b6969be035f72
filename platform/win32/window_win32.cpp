// The window side on USER32: message boxes, the main window's menu, and measuring lyric text
// with DrawTextA in the font the stage made.
#include <windows.h>

#include <cstring>

#include "platform/window.h"
#include "stage/layout.h"

namespace platform {
namespace {

HWND mainHwnd() {
    return static_cast<HWND>(mainWindow());
}

// The frame timer of redrawWindowAfter. Its procedure runs from the message loop (also the
// modal loop of a move or size), so nothing in the window procedure needs to know of it.
constexpr UINT_PTR kFrameTimer = 0x4C56;

void CALLBACK frameDue(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

class Win32WindowSide : public WindowSide {
  public:
    int messageBox(const char* text, const char* caption, unsigned style, bool owned) override {
        return MessageBoxA(owned ? mainHwnd() : nullptr, text, caption, style);
    }

    void enableMenuItem(unsigned commandId, bool enabled) override {
        EnableMenuItem(GetMenu(mainHwnd()), commandId,
                       MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }

    void checkMenuItem(unsigned commandId, bool checked) override {
        CheckMenuItem(GetMenu(mainHwnd()), commandId,
                      MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    }


    // Measuring runs on the window thread only (the load), so one context at a time suffices.
    void beginLyricMeasure() override {
        if (context_ != nullptr) return;
        owner_ = mainHwnd();
        context_ = GetDC(owner_);
        if (context_ == nullptr) return;
        HFONT font = static_cast<HFONT>(currentLyricFont());
        previousFont_ = font ? static_cast<HFONT>(SelectObject(context_, font)) : nullptr;
    }

    int32_t lyricTextWidth(const char* text, int32_t length) override {
        if (text == nullptr || length == 0) return 0;
        // A measure outside begin/end takes a context of its own for the one call.
        bool own = context_ == nullptr;
        if (own) beginLyricMeasure();
        int32_t width = 0;
        if (context_ != nullptr) {
            RECT bounds{0, 0, 0, 0};
            if (DrawTextA(context_, text, length, &bounds, DT_CALCRECT) != 0)
                width = bounds.right - bounds.left;
        }
        if (own) endLyricMeasure();
        return width;
    }

    void endLyricMeasure() override {
        if (context_ == nullptr) return;
        if (previousFont_ != nullptr) SelectObject(context_, previousFont_);
        ReleaseDC(owner_, context_);
        context_ = nullptr;
        previousFont_ = nullptr;
        owner_ = nullptr;
    }

    // The end of a song sets the caption from the timer thread, and a window of another thread
    // handles WM_SETTEXT only when its thread takes messages: the wait is bounded, so a window
    // thread that is itself waiting for the timer thread costs a caption, never a deadlock.
    void setCaption(const char* text) override {
        HWND window = mainHwnd();
        if (window == nullptr) return;
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
            SetWindowTextA(window, text);
            return;
        }
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, 500, &result);
    }

  private:
    HWND owner_ = nullptr;
    HDC context_ = nullptr;
    HFONT previousFont_ = nullptr;
};

}  // namespace

void WindowSide::redrawWindow(const Rect* rect) {
    // Nothing is erased: the painter covers every pixel it is asked for.
    if (rect == nullptr) {
        RedrawWindow(mainHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
        return;
    }
    RECT area{rect->left, rect->top, rect->right, rect->bottom};
    RedrawWindow(mainHwnd(), &area, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

void WindowSide::waitHandlingSentMessages(uint32_t ms) {
    // Sent messages are handled inside the wait and the peek; PM_NOREMOVE leaves every posted
    // message where it is.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_SENDMESSAGE);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void WindowSide::redrawWindowAfter(uint32_t delayMs) {
    SetTimer(mainHwnd(), kFrameTimer, delayMs, frameDue);
}

uint32_t WindowSide::displayRefreshHz() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return 0;
    const int hz = GetDeviceCaps(screen, VREFRESH);
    ReleaseDC(nullptr, screen);
    return hz > 1 ? static_cast<uint32_t>(hz) : 0;  // 0 and 1 mean the hardware's default
}

uint32_t executablePath(char* destination, uint32_t capacity) {
    if (destination == nullptr || capacity == 0) return 0;
    DWORD count = GetModuleFileNameA(nullptr, destination, capacity);
    // Older systems leave a cut path unterminated.
    destination[capacity - 1] = '\0';
    if (count >= capacity) count = capacity - 1;
    destination[count] = '\0';
    return static_cast<uint32_t>(std::strlen(destination));
}

bool isLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != 0;
}

int32_t utf8ToCodePage(const char* text, int32_t length, char* out, int32_t capacity) {
    if (length <= 0 || capacity <= 0) return 0;
    wchar_t wide[512];
    int count = MultiByteToWideChar(CP_UTF8, 0, text, length, wide, 512);
    if (count <= 0) return 0;
    char narrow[1024];
    int written = WideCharToMultiByte(CP_ACP, 0, wide, count, narrow, sizeof narrow, "?", nullptr);
    // A system whose ANSI code page is UTF-8 takes no default character.
    if (written <= 0)
        written = WideCharToMultiByte(CP_ACP, 0, wide, count, narrow, sizeof narrow, nullptr, nullptr);
    if (written <= 0) return 0;
    if (written > capacity) written = capacity;
    std::memcpy(out, narrow, static_cast<size_t>(written));
    return written;
}

WindowSide& defaultWindowSide() {
    static Win32WindowSide side;
    return side;
}

}  // namespace platform
