#pragma once
// The host's threads and events: real std::threads and condition-variable events, counted so
// tests can see that every event made is closed and every thread started is joined, and
// switchable to fail creating either.

#include <atomic>
#include <cstdint>

#include "platform/thread.h"

namespace platform {

class HostThreads : public Threads {
public:
    uintptr_t createEvent() override;
    bool setEvent(uintptr_t event) override;
    void waitForSingleObject(uintptr_t event) override;
    void closeEvent(uintptr_t event) override;
    uintptr_t createThread(ThreadStart start, void* parameter, uint32_t* threadId) override;
    void joinThread(uintptr_t thread) override;

    // Failure switches; each stays on until switched off.
    std::atomic<bool> failCreateEvent{false};
    std::atomic<bool> failCreateThread{false};
    std::atomic<bool> failSetEvent{false};

    // Counters since construction (or reset()).
    int openEvents() const { return eventsMade_.load() - eventsClosed_.load(); }
    int runningThreads() const { return threadsStarted_.load() - threadsJoined_.load(); }
    int eventsMade() const { return eventsMade_.load(); }
    int threadsStarted() const { return threadsStarted_.load(); }
    int setEvents() const { return setEvents_.load(); }
    void reset();

private:
    std::atomic<int> eventsMade_{0};
    std::atomic<int> eventsClosed_{0};
    std::atomic<int> threadsStarted_{0};
    std::atomic<int> threadsJoined_{0};
    std::atomic<int> setEvents_{0};
    std::atomic<uint32_t> nextId_{1};
};

}  // namespace platform
