#pragma once
// Posting a message to the main window from any thread without waiting for it to be handled
// (PostMessageA). The pitch worker and the capture callback reach the window thread this way.

#include <cstdint>

namespace platform {

class MessagePost {
public:
    virtual ~MessagePost() = default;
    // PostMessageA to the main window (platform::mainWindow()). Returns false when the message could not be queued.
    virtual bool postMessageA(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// The poster in force. Tests install their own; nullptr puts the default back.
MessagePost& messagePost();
void installMessagePost(MessagePost* implementation);

MessagePost& defaultMessagePost();

}  // namespace platform
