#pragma once
// What the note lane carries from one critique frame to the next: the tick of the last frame,
// whether the lane is held (`busy`), and whether the back buffer still holds every falling
// bar's image. The stage owns the one lane; the painter steps it each frame, the stage tells it
// when the buffer is remade, and a new song restarts its clock.

#include <cstdint>

class NoteLane {
public:
    // The time one frame covers: how far the bars move, and how long the marker glides.
    struct Step {
        float moveSeconds;     // zero while held and for the first frame after a hold
        float elapsedSeconds;  // since the last frame, holds included
    };

    // A song starts at `now`: its first frame counts only the time since, so no bar is judged
    // missed at a song's first frame however long ago the last one was drawn.
    void restart(uint32_t now);

    // The back buffer was remade without any bar on it. `holdEnded` when the remaking ended a
    // hold that no frame may have seen (a minimise or a move ends with a rebuild).
    void bufferRemade(bool holdEnded);

    // One frame at `now`, `held` while the program holds (the tick count wraps at 2^32).
    Step step(uint32_t now, bool held);

    // Whether the bars' images are on the buffer, to be taken off before they move; the frame
    // puts them there.
    bool imagesOnBuffer() const { return imagesOnBuffer_; }
    void imagesDrawn() { imagesOnBuffer_ = true; }

private:
    uint32_t lastFrameTicks_ = 0;
    bool held_ = false;
    bool imagesOnBuffer_ = true;
};

extern NoteLane noteLane;
