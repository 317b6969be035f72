#include "stage/note_lane.h"

NoteLane noteLane;

void NoteLane::restart(uint32_t now) {
    lastFrameTicks_ = now;
    held_ = false;
}

void NoteLane::bufferRemade(bool holdEnded) {
    imagesOnBuffer_ = false;
    if (holdEnded) held_ = true;
}

NoteLane::Step NoteLane::step(uint32_t now, bool held) {
    const float elapsed = static_cast<float>(static_cast<float>(now - lastFrameTicks_) * 0.001);
    lastFrameTicks_ = now;
    if (held) {
        held_ = true;
        return Step{0.0f, elapsed};
    }
    if (held_) {
        held_ = false;  // the time of the pause does not count
        return Step{0.0f, elapsed};
    }
    return Step{elapsed, elapsed};
}
