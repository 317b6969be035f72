#include <windows.h>

#include <new>

#include "platform/thread.h"

namespace platform {
namespace {

// CreateThread wants a WINAPI procedure taking one pointer; the start and its parameter
// travel together to this trampoline.
struct Launch {
    ThreadStart start;
    void* parameter;
};

DWORD WINAPI launchThread(LPVOID argument) {
    Launch launch = *static_cast<Launch*>(argument);
    delete static_cast<Launch*>(argument);
    launch.start(launch.parameter);
    return 0;
}

class Win32Threads : public Threads {
public:
    uintptr_t createEvent() override {
        return reinterpret_cast<uintptr_t>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    }
    bool setEvent(uintptr_t event) override {
        return SetEvent(reinterpret_cast<HANDLE>(event)) != 0;
    }
    void waitForSingleObject(uintptr_t event) override {
        WaitForSingleObject(reinterpret_cast<HANDLE>(event), INFINITE);
    }
    void closeEvent(uintptr_t event) override { CloseHandle(reinterpret_cast<HANDLE>(event)); }

    uintptr_t createThread(ThreadStart start, void* parameter, uint32_t* threadId) override {
        auto* launch = new (std::nothrow) Launch{start, parameter};
        if (!launch) return 0;
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, launchThread, launch, 0, &id);
        if (!thread) {
            delete launch;
            return 0;
        }
        if (threadId) *threadId = id;
        return reinterpret_cast<uintptr_t>(thread);
    }
    void joinThread(uintptr_t thread) override {
        HANDLE handle = reinterpret_cast<HANDLE>(thread);
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
};

}  // namespace

Threads& defaultThreads() {
    static Win32Threads threads;
    return threads;
}

}  // namespace platform
