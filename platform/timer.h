#pragma once
// The multimedia timer: timer resolution requests and a periodic callback. The Windows program
// implements it on WINMM (platform/win32); the host build has a stand-in that tests and tools
// tick by hand (platform/host/fake_timer.h).

#include <cstdint>

namespace platform {

// The callback's five parameters as WINMM gives them: timer id, message, the user data given
// at creation, two reserved words.
using TimerCallback = void (*)(uint32_t timerId, uint32_t message, uintptr_t user,
                               uintptr_t reserved1, uintptr_t reserved2);

// timeSetEvent modes.
constexpr uint32_t kTimeOneShot = 0x0000;
constexpr uint32_t kTimePeriodic = 0x0001;

class Timer {
public:
    virtual ~Timer() = default;

    // Request and withdraw a timer resolution in milliseconds; 0 on success.
    virtual uint32_t timeBeginPeriod(uint32_t periodMs) = 0;
    virtual uint32_t timeEndPeriod(uint32_t periodMs) = 0;
    // Create a timer whose callback runs `delayMs` after creation (and then every `delayMs`
    // when periodic). Returns the timer's id, 0 when it could not be created.
    virtual uint32_t timeSetEvent(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                                  uintptr_t user, uint32_t mode) = 0;
    // Cancel a timer, also from within its own callback; 0 on success.
    virtual uint32_t timeKillEvent(uint32_t timerId) = 0;
};

// The timer in force. Tests install their own; nullptr puts the default back.
Timer& timer();
void installTimer(Timer* source);

// The default implementation, one per build (platform/win32 or platform/host).
Timer& defaultTimer();

}  // namespace platform
