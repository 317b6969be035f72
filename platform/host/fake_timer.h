#pragma once
// The host's multimedia timer: it records resolution requests and timers, and runs a timer's
// callback only when a test or a tool says so (`fire`), on the calling thread. Each call can be
// told to fail.

#include <mutex>
#include <vector>

#include "platform/timer.h"

namespace platform {

class FakeTimer : public Timer {
public:
    enum class Call { BeginPeriod, EndPeriod, SetEvent, KillEvent };
    struct Live {
        uint32_t id;
        uint32_t delayMs;
        uint32_t resolutionMs;
        TimerCallback callback;
        uintptr_t user;
        uint32_t mode;
    };

    uint32_t timeBeginPeriod(uint32_t periodMs) override;
    uint32_t timeEndPeriod(uint32_t periodMs) override;
    uint32_t timeSetEvent(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                          uintptr_t user, uint32_t mode) override;
    uint32_t timeKillEvent(uint32_t timerId) override;

    // Make the next calls of a kind fail: a nonzero result for the period calls and the kill
    // (a failed kill leaves the timer running), id 0 for timeSetEvent.
    void setFail(Call call, bool fail);

    // Runs the callback of every live timer once (a timer killed by its own callback is gone
    // afterwards; a one-shot timer is gone after it ran). Returns the number of callbacks run.
    int fire();
    std::vector<Live> live() const;
    int periodsHeld() const;  // resolution requests not yet withdrawn
    int calls(Call call) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Live> live_;
    bool fail_[4] = {false, false, false, false};
    int calls_[4] = {0, 0, 0, 0};
    int periods_ = 0;
    uint32_t nextId_ = 1;
};

}  // namespace platform
