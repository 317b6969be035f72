#include "platform/draw.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<Drawing*> installedDrawing{nullptr};
}

Drawing& draw() {
    Drawing* drawing = installedDrawing.load(std::memory_order_acquire);
    return drawing ? *drawing : defaultDrawing();
}

void installDraw(Drawing* drawing) { installedDrawing.store(drawing, std::memory_order_release); }

}  // namespace platform
