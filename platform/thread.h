#pragma once
// Threads and events of the platform, as the pitch worker needs them: a thread that runs at
// once, an auto-reset event to wake it, and a join to see it gone. The Windows program
// implements them on KERNEL32 (platform/win32); the host build on the standard library, with
// counters and failure switches for tests (platform/host/host_threads.h).

#include <cstdint>

namespace platform {

using ThreadStart = void (*)(void* parameter);

class Threads {
public:
    virtual ~Threads() = default;

    // CreateEventA with no security attributes, auto-reset, initially not signalled, no name.
    // Returns 0 when no event could be made.
    virtual uintptr_t createEvent() = 0;
    // SetEvent: releases one waiter (or the next wait) and resets. Returns false on failure.
    virtual bool setEvent(uintptr_t event) = 0;
    // WaitForSingleObject on the event without time limit.
    virtual void waitForSingleObject(uintptr_t event) = 0;
    // CloseHandle on the event. Nobody may wait on it any more.
    virtual void closeEvent(uintptr_t event) = 0;

    // CreateThread with default security and stack size, running at once; the thread's id
    // goes to *threadId. Returns the thread's handle, 0 when it could not be started.
    virtual uintptr_t createThread(ThreadStart start, void* parameter, uint32_t* threadId) = 0;
    // Waits until the thread has returned, then closes its handle.
    virtual void joinThread(uintptr_t thread) = 0;
};

// The threads in force. Tests install their own; nullptr puts the default back.
Threads& threads();
void installThreads(Threads* implementation);

Threads& defaultThreads();

}  // namespace platform
