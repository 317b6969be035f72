#pragma once
// The millisecond counter (GetTickCount): milliseconds since an arbitrary origin, wrapping at
// 2^32. The host default is a hand-driven clock (platform/host/fake_clock.h), so tests and
// tools decide what time it is.

#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t getTickCount() = 0;
};

// The clock in force. Tests install their own; nullptr puts the default back.
Clock& clock();
void installClock(Clock* source);

// The default implementation, one per build (platform/win32 or platform/host).
Clock& defaultClock();

}  // namespace platform
