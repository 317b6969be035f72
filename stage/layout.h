#pragma once
// Layout values of the stage that other subsystems read: the lyric band the sequencer
// invalidates and the keyboard strip that the note bars fall towards.

#include <cstdint>

struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The top band of the stage where the lyric lines and the ball are drawn, as of the last
// stage rebuild: (0, 0, windowWidth, 2 * fontSize + 20).
extern Rect lyricBand;

// Height of the keyboard strip at the bottom of a client area `windowHeight` pixels high.
inline int32_t stripHeightFor(int32_t windowHeight) {
    return static_cast<int32_t>(static_cast<double>(windowHeight) * 0.1333);
}
