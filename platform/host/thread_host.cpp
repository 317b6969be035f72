#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/host/host_threads.h"

namespace platform {
namespace {

struct HostEvent {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

struct HostThread {
    std::thread thread;
};

}  // namespace

uintptr_t HostThreads::createEvent() {
    if (failCreateEvent) return 0;
    ++eventsMade_;
    return reinterpret_cast<uintptr_t>(new HostEvent);
}

bool HostThreads::setEvent(uintptr_t event) {
    if (failSetEvent || event == 0) return false;
    auto* e = reinterpret_cast<HostEvent*>(event);
    {
        std::lock_guard<std::mutex> guard(e->mutex);
        e->signalled = true;
    }
    e->changed.notify_one();
    ++setEvents_;
    return true;
}

void HostThreads::waitForSingleObject(uintptr_t event) {
    if (event == 0) return;
    auto* e = reinterpret_cast<HostEvent*>(event);
    std::unique_lock<std::mutex> lock(e->mutex);
    e->changed.wait(lock, [e] { return e->signalled; });
    e->signalled = false;  // auto-reset: one wait takes one signal
}

void HostThreads::closeEvent(uintptr_t event) {
    if (event == 0) return;
    delete reinterpret_cast<HostEvent*>(event);
    ++eventsClosed_;
}

uintptr_t HostThreads::createThread(ThreadStart start, void* parameter, uint32_t* threadId) {
    if (failCreateThread) return 0;
    auto* t = new HostThread;
    if (threadId) *threadId = nextId_++;
    ++threadsStarted_;
    t->thread = std::thread(start, parameter);
    return reinterpret_cast<uintptr_t>(t);
}

void HostThreads::joinThread(uintptr_t thread) {
    if (thread == 0) return;
    auto* t = reinterpret_cast<HostThread*>(thread);
    t->thread.join();
    delete t;
    ++threadsJoined_;
}

void HostThreads::reset() {
    eventsMade_ = 0;
    eventsClosed_ = 0;
    threadsStarted_ = 0;
    threadsJoined_ = 0;
    setEvents_ = 0;
    failCreateEvent = false;
    failCreateThread = false;
    failSetEvent = false;
}

Threads& defaultThreads() {
    static HostThreads threads;
    return threads;
}

}  // namespace platform
