#pragma once
// The window's only painter. Each paint composes a frame in the back buffer and copies it to
// the window: the title band while no song plays; during a song the lyric band and the ball,
// and with the critique on also the keyboard strip, the falling note bars, the singer's pitch
// marker and the judging of each bar as hit or missed. Sprites move by XOR, so drawing one a
// second time at the same place removes it.

#include <cstdint>

#include "platform/draw.h"
#include "stage/layout.h"

// What the window's paint request hands over: its drawing surface and the invalid rectangle.
struct PaintRequest {
    platform::Surface surface;
    Rect invalid;
};

extern float markerX;            // present left edge of the pitch marker
extern int32_t markerTargetX;    // where the marker glides to; set by the window procedure

// Critique frames follow one another at the display's refresh, at most about 60 a second: a
// frame asks for the next one period after it, kFramePeriodMs or a slower display's own.
// While the program holds, the lane stands still and a slower pace suffices to notice the end
// of the hold.
constexpr uint32_t kFramePeriodMs = 16;
constexpr uint32_t kHeldFramePeriodMs = 100;

// The frame period for a display refreshing `refreshHz` times a second (0: not known).
uint32_t framePeriodFor(uint32_t refreshHz);

// One frame, on the window thread, between the platform's begin-paint and end-paint.
void paintStage(const PaintRequest& paint);
