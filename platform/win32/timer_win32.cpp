#include <windows.h>
#include <mmsystem.h>

#include <atomic>

#include "platform/timer.h"

namespace platform {
namespace {

// WINMM calls back with its own calling convention and word sizes; each timer gets a slot
// that carries the portable callback and its user data to the trampoline. A slot is taken
// again only after all the others, long after its timer is gone (a run has one timer).
struct Slot {
    std::atomic<TimerCallback> callback{nullptr};
    std::atomic<uintptr_t> user{0};
};
constexpr unsigned kSlots = 16;
Slot slots[kSlots];
std::atomic<unsigned> nextSlot{0};

void CALLBACK trampoline(UINT timerId, UINT message, DWORD_PTR slotIndex, DWORD_PTR reserved1,
                         DWORD_PTR reserved2) {
    Slot& slot = slots[slotIndex % kSlots];
    TimerCallback callback = slot.callback.load(std::memory_order_acquire);
    if (callback)
        callback(timerId, message, slot.user.load(std::memory_order_relaxed), reserved1, reserved2);
}

class WinmmTimer : public Timer {
public:
    uint32_t timeBeginPeriod(uint32_t periodMs) override { return ::timeBeginPeriod(periodMs); }
    uint32_t timeEndPeriod(uint32_t periodMs) override { return ::timeEndPeriod(periodMs); }
    uint32_t timeSetEvent(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                          uintptr_t user, uint32_t mode) override {
        unsigned index = nextSlot.fetch_add(1) % kSlots;
        slots[index].user.store(user, std::memory_order_relaxed);
        slots[index].callback.store(callback, std::memory_order_release);
        UINT flags = (mode & kTimePeriodic) ? TIME_PERIODIC : TIME_ONESHOT;
        return ::timeSetEvent(delayMs, resolutionMs, trampoline, index, flags | TIME_CALLBACK_FUNCTION);
    }
    uint32_t timeKillEvent(uint32_t timerId) override { return ::timeKillEvent(timerId); }
};

}  // namespace

Timer& defaultTimer() {
    static WinmmTimer source;
    return source;
}

}  // namespace platform
