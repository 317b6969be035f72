#include "platform/window.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<WindowSide*> installedWindow{nullptr};
std::atomic<void*> lyricFontHandle{nullptr};
std::atomic<void*> mainWindowHandle{nullptr};
}  // namespace

void setMainWindow(void* handle) { mainWindowHandle.store(handle, std::memory_order_release); }
void* mainWindow() { return mainWindowHandle.load(std::memory_order_acquire); }

void setLyricFont(void* font) { lyricFontHandle.store(font, std::memory_order_release); }
void* currentLyricFont() { return lyricFontHandle.load(std::memory_order_acquire); }

WindowSide& window() {
    WindowSide* side = installedWindow.load(std::memory_order_acquire);
    return side ? *side : defaultWindowSide();
}

void installWindow(WindowSide* side) { installedWindow.store(side, std::memory_order_release); }

}  // namespace platform
