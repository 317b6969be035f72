#include <windows.h>

#include "platform/clock.h"

namespace platform {
namespace {

class TickCountClock : public Clock {
public:
    uint32_t getTickCount() override { return ::GetTickCount(); }
};

}  // namespace

Clock& defaultClock() {
    static TickCountClock source;
    return source;
}

}  // namespace platform
