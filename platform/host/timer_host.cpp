#include <algorithm>

#include "platform/host/fake_timer.h"

namespace platform {

namespace {
constexpr uint32_t kTimerError = 97;  // TIMERR_NOCANDO
}

uint32_t FakeTimer::timeBeginPeriod(uint32_t) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++calls_[static_cast<int>(Call::BeginPeriod)];
    if (fail_[static_cast<int>(Call::BeginPeriod)]) return kTimerError;
    ++periods_;
    return 0;
}

uint32_t FakeTimer::timeEndPeriod(uint32_t) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++calls_[static_cast<int>(Call::EndPeriod)];
    if (fail_[static_cast<int>(Call::EndPeriod)]) return kTimerError;
    --periods_;
    return 0;
}

uint32_t FakeTimer::timeSetEvent(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                                 uintptr_t user, uint32_t mode) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++calls_[static_cast<int>(Call::SetEvent)];
    if (fail_[static_cast<int>(Call::SetEvent)] || !callback) return 0;
    uint32_t id = nextId_++;
    live_.push_back(Live{id, delayMs, resolutionMs, callback, user, mode});
    return id;
}

uint32_t FakeTimer::timeKillEvent(uint32_t timerId) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++calls_[static_cast<int>(Call::KillEvent)];
    if (fail_[static_cast<int>(Call::KillEvent)]) return kTimerError;
    auto found = std::find_if(live_.begin(), live_.end(),
                              [timerId](const Live& timer) { return timer.id == timerId; });
    if (found == live_.end()) return kTimerError;
    live_.erase(found);
    return 0;
}

void FakeTimer::setFail(Call call, bool fail) {
    std::lock_guard<std::mutex> guard(mutex_);
    fail_[static_cast<int>(call)] = fail;
}

int FakeTimer::fire() {
    std::vector<Live> due;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        due = live_;
        live_.erase(std::remove_if(live_.begin(), live_.end(),
                                   [](const Live& timer) { return !(timer.mode & kTimePeriodic); }),
                    live_.end());
    }
    for (const Live& timer : due) timer.callback(timer.id, 0, timer.user, 0, 0);
    return static_cast<int>(due.size());
}

std::vector<FakeTimer::Live> FakeTimer::live() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return live_;
}

int FakeTimer::periodsHeld() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return periods_;
}

int FakeTimer::calls(Call call) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_[static_cast<int>(call)];
}

void FakeTimer::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    live_.clear();
    for (bool& fail : fail_) fail = false;
    for (int& count : calls_) count = 0;
    periods_ = 0;
}

Timer& defaultTimer() {
    static FakeTimer source;
    return source;
}

}  // namespace platform
