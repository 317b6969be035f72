#include "platform/host/recording_post.h"

namespace platform {

bool RecordingPost::postMessageA(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (failPost) return false;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        queue_.push_back(Posted{message, wParam, lParam});
    }
    ++count_;
    arrived_.notify_all();
    return true;
}

bool RecordingPost::take(Posted* posted, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return false;
    if (posted) *posted = queue_.front();
    queue_.pop_front();
    return true;
}

size_t RecordingPost::pending() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return queue_.size();
}

void RecordingPost::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    queue_.clear();
    count_ = 0;
    failPost = false;
}

MessagePost& defaultMessagePost() {
    static RecordingPost post;
    return post;
}

}  // namespace platform
