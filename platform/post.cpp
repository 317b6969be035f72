#include "platform/post.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<MessagePost*> installedPost{nullptr};
}  // namespace

MessagePost& messagePost() {
    MessagePost* implementation = installedPost.load(std::memory_order_acquire);
    return implementation ? *implementation : defaultMessagePost();
}

void installMessagePost(MessagePost* implementation) {
    installedPost.store(implementation, std::memory_order_release);
}

}  // namespace platform
