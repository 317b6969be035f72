#pragma once
// The host's message poster: it keeps every posted message in a queue that a test reads as
// the window thread would, and can be made to fail.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/post.h"

namespace platform {

class RecordingPost : public MessagePost {
public:
    struct Posted {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };

    bool postMessageA(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // Takes the oldest posted message, waiting up to `timeout` for one. False when none came.
    bool take(Posted* posted, std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
    size_t pending() const;
    int postedCount() const { return count_.load(); }
    void clear();

    std::atomic<bool> failPost{false};

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Posted> queue_;
    std::atomic<int> count_{0};
};

}  // namespace platform
