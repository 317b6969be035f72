#include "platform/host/fake_clock.h"

namespace platform {

Clock& defaultClock() {
    static FakeClock source;
    return source;
}

}  // namespace platform
