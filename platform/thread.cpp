#include "platform/thread.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<Threads*> installedThreads{nullptr};
}

Threads& threads() {
    Threads* implementation = installedThreads.load(std::memory_order_acquire);
    return implementation ? *implementation : defaultThreads();
}

void installThreads(Threads* implementation) {
    installedThreads.store(implementation, std::memory_order_release);
}

}  // namespace platform
