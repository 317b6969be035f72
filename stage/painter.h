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

extern uint32_t lastFrameTicks;  // the tick count of the last frame that moved the bars
extern float markerX;            // present left edge of the pitch marker
extern int32_t markerTargetX;    // where the marker glides to; set by the window procedure
// Whether the back buffer holds every falling bar's image at the bar's place. A rebuild makes
// a fresh buffer without them; the next frame then draws the bars instead of removing them,
// so no image is left behind where a bar was.
extern bool barImagesOnBuffer;
// Set while the lane is held (`busy`): the first frame after a hold moves nothing and starts
// the lane's clock afresh, so a pause neither moves the bars nor judges them as missed. The
// rebuild that ends a minimise or a resize sets it too, since no frame may have seen the hold.
extern bool noteLaneHeld;

// One frame, on the window thread, between the platform's begin-paint and end-paint.
void paintStage(const PaintRequest& paint);
