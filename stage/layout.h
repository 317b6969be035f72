#pragma once
// Layout values of the stage that other threads read: the keyboard strip's height (the
// sequencer sizes a new bar's speed with it) and the lyric band (the sequencer invalidates it
// at each syllable). Both are written by rebuildStage on the window thread only.

#include <atomic>
#include <cstdint>

// A rectangle in client pixels; right and bottom are excluded.
struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Height of the keyboard strip: (int)(windowHeight * 0.1333). 63 for the default 480 until the
// first rebuild.
extern std::atomic<int32_t> stripHeight;

// The top band with the two lyric lines: (0, 0, windowWidth, 2 * fontSize + 20) as of the last
// rebuild. Its changing edges are separate words so the timer thread can read them while the
// window thread rebuilds.
struct LyricBand {
    std::atomic<int32_t> right{0};
    std::atomic<int32_t> bottom{0};
    Rect rect() const { return Rect{0, 0, right.load(), bottom.load()}; }
};
extern LyricBand lyricBand;

// (int)(height * 0.1333), the product in double precision, truncated toward zero.
int32_t stripHeightFor(int32_t windowHeight);
