#include "platform/shell.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<ShellSide*> installedShell{nullptr};
}

ShellSide& shell() {
    ShellSide* side = installedShell.load(std::memory_order_acquire);
    return side ? *side : defaultShellSide();
}

void installShell(ShellSide* side) { installedShell.store(side, std::memory_order_release); }

}  // namespace platform
