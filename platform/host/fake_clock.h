#pragma once
// The host's millisecond counter: it stands still until told to move, so a test or a tool
// decides what time every reading gives. It can also move by itself on each reading, to let a
// test spend time inside a call.

#include <atomic>

#include "platform/clock.h"

namespace platform {

class FakeClock : public Clock {
public:
    uint32_t getTickCount() override { return now_.fetch_add(perRead_.load()); }

    void set(uint32_t ms) { now_.store(ms); }
    void advance(uint32_t ms) { now_.fetch_add(ms); }
    uint32_t now() const { return now_.load(); }
    // Each reading moves the counter on by `ms` after giving its value (0: it stands still).
    void setAdvancePerRead(uint32_t ms) { perRead_.store(ms); }

private:
    std::atomic<uint32_t> now_{0};
    std::atomic<uint32_t> perRead_{0};
};

}  // namespace platform
