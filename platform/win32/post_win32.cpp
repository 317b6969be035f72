#include <windows.h>

#include "platform/post.h"
#include "platform/window.h"

namespace platform {
namespace {

class Win32MessagePost : public MessagePost {
public:
    bool postMessageA(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        return PostMessageA(static_cast<HWND>(mainWindow()), message,
                            static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != 0;
    }
};

}  // namespace

MessagePost& defaultMessagePost() {
    static Win32MessagePost post;
    return post;
}

}  // namespace platform
