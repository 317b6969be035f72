#include "stage/painter.h"

#include <cmath>
#include <mutex>

#include "platform/clock.h"
#include "platform/window.h"
#include "playback/note_bars.h"
#include "playback/playback_state.h"
#include "shell/settings.h"
#include "song/song_model.h"
#include "stage/critique_tally.h"
#include "stage/note_lane.h"
#include "stage/stage.h"

float markerX = 0.0f;
int32_t markerTargetX = 0;

namespace {

constexpr platform::Colour kTextInk = platform::rgb(255, 128, 255);
constexpr platform::Colour kTextCells = platform::rgb(0, 32, 32);
// The part of the current line already sung, warm yellow on the same cells.
constexpr platform::Colour kSungInk = platform::rgb(255, 224, 64);
constexpr char kTitle[] = "Lyrivox";
constexpr int32_t kMarkerSize = 32;
constexpr float kHitDistance = 16.0f;

// Sprites are drawn at the truncated position. A bar far outside the window (a long pause
// retires it before it is drawn) must not overflow the conversion.
int32_t pixelAt(float position) {
    if (!(position > -1.0e9f)) return -1000000000;
    if (position > 1.0e9f) return 1000000000;
    return static_cast<int32_t>(position);
}

void xorNote(const NoteBar& bar) {
    platform::draw().bitBlt(stageSurfaces.backBuffer, pixelAt(bar.x), pixelAt(bar.y), bar.width,
                            bar.height, stageSurfaces.noteSprite, 0, 0,
                            platform::RasterOp::srcInvert);
}

void useTextColours(platform::Drawing& d, platform::Surface buffer) {
    d.setTextColor(buffer, kTextInk);
    d.setBkColor(buffer, kTextCells);
    d.selectObject(buffer, stageSurfaces.lyricFont);
}

// The syllable the lyrics were last drawn for: with the critique off the line is drawn again
// only when the sung part grows or the line changes.
int32_t litSyllable = -1;

void drawLine(platform::Drawing& d, platform::Surface buffer, int32_t line, int32_t x, int32_t y,
              int32_t chars = kLyricLineChars) {
    if (line < 0 || line >= kLyricLineCapacity) return;
    const LyricLine& text = lyricLines[line];
    int32_t length = text.length < kLyricLineChars ? text.length : kLyricLineChars;
    if (chars < length) length = chars;
    d.extTextOut(buffer, x, y, text.text, length);
}

// The sung part of the current line, up to and with the present syllable, drawn over the line
// in the second colour; the same font and start put every glyph at its place.
void drawSungPart(platform::Drawing& d, platform::Surface buffer, int32_t line, int32_t syllable,
                  int32_t x) {
    if (syllable < 0 || syllable >= kSyllableCapacity) return;
    const Syllable& sung = syllables[syllable];
    if (sung.line != line || sung.endChar == 0) return;
    d.setTextColor(buffer, kSungInk);
    drawLine(d, buffer, line, x, 15, sung.endChar);
}

// Retires a judged bar together with every bar at exactly its position. Their images go first:
// a bar removed with the judged one would otherwise stay on the buffer for good. The bars
// before `bar` were drawn in this frame; those after it only when the buffer held them.
// Returns the first bar after `bar` that is still in the list.
NoteBar* retire(NoteBar* bar, bool laterDrawn) {
    const NoteBar probe = *bar;
    NoteBar* after = bar->next;
    while (after && after->x == probe.x && after->y == probe.y) after = after->next;
    bool drawn = true;
    for (NoteBar* other = noteBars.head; other; other = other->next) {
        if (other == bar) {
            drawn = laterDrawn;
            continue;
        }
        if (drawn && other->x == probe.x && other->y == probe.y) xorNote(*other);
    }
    noteBars.removeBarsAt(probe);
    return after;
}

// Moves and judges the bars; returns the seconds the marker glides for.
float noteLaneStep(platform::Drawing& d, int32_t h, int32_t strip) {
    // The two-colour note sprite takes the buffer's text colours: set them for every bar, so
    // an image goes off exactly as it went on, whatever the lyrics were drawn in.
    useTextColours(d, stageSurfaces.backBuffer);
    const bool held = playback.busy.load() != 0;
    const NoteLane::Step step = noteLane.step(platform::clock().getTickCount(), held);
    const float dt = step.moveSeconds;
    const float hitLine = static_cast<float>(h - strip - 64);
    const float bottom = static_cast<float>(h);
    {
        std::lock_guard<std::mutex> guard(noteBars.lock);
        // After a rebuild the buffer holds no bar: nothing to take off, each is drawn anew.
        const bool onBuffer = noteLane.imagesOnBuffer();
        NoteBar* bar = noteBars.head;
        while (bar) {
            if (held) {
                // Held bars stay where they are, shown; a fresh buffer gets their images.
                if (!onBuffer) xorNote(*bar);
                bar = bar->next;
                continue;
            }
            if (onBuffer) xorNote(*bar);  // off at the old place
            bar->x += dt * bar->vx;
            bar->y += dt * bar->vy;
            if (!(hitLine < bar->y)) {
                xorNote(*bar);  // still falling toward the zone
                bar = bar->next;
            } else if (bar->y > bottom) {
                ++tally.possible;  // fell out of the window without a hit
                bar = retire(bar, onBuffer);
            } else if (markerX - kHitDistance < bar->x && bar->x < markerX + kHitDistance) {
                ++tally.hits;
                ++tally.possible;
                bar = retire(bar, onBuffer);
            } else {
                xorNote(*bar);  // in the zone, not hit yet: judged again next frame
                bar = bar->next;
            }
        }
        noteLane.imagesDrawn();
    }
    return step.elapsedSeconds;
}

void drawMarker(platform::Drawing& d, float elapsedSeconds, int32_t h, int32_t strip) {
    // The glide is defined in time, so it looks the same at any frame rate: a quarter of the
    // remaining distance per 1/60 s, also while busy.
    const double share = 1.0 - std::pow(0.75, 60.0 * static_cast<double>(elapsedSeconds));
    markerX = static_cast<float>(markerX + (static_cast<double>(markerTargetX) - markerX) * share);
    // The marker stays inside the strip, whose copy takes it off again at the next frame; a
    // strip lower than the marker shows its top part.
    const int32_t shown = strip < kMarkerSize ? (strip > 0 ? strip : 0) : kMarkerSize;
    d.bitBlt(stageSurfaces.backBuffer, pixelAt(markerX), h - shown, kMarkerSize, shown,
             stageSurfaces.markerSprite, 0, 0, platform::RasterOp::srcInvert);
}

}  // namespace

uint32_t framePeriodFor(uint32_t refreshHz) {
    const uint32_t period = refreshHz > 0 ? 1000 / refreshHz : 0;
    return period > kFramePeriodMs ? period : kFramePeriodMs;
}

void paintStage(const PaintRequest& paint) {
    platform::Drawing& d = platform::draw();
    const platform::Surface buffer = stageSurfaces.backBuffer;
    const int32_t w = settings.windowWidth;
    const int32_t h = settings.windowHeight;
    const int32_t fs = settings.fontSize;
    const int32_t strip = stripHeight.load();
    const int32_t widest = widestLineWidth;
    const int32_t lyricLeft = (w - widest) / 2;
    const bool critique = settings.critique.load() != 0;

    d.selectObject(buffer, d.getStockObject(platform::StockObject::blackBrush));
    if (playback.playing.load()) {
        const int32_t line = playback.currentLine.load();
        const int32_t syllable = playback.currentSyllable.load();
        const bool due = line != playback.drawnLine.load() || syllable != litSyllable || critique;
        // The bars move first: the lyric band and the strip then cover them, so a bar passing
        // under either leaves no doubled image there (its removal by XOR would meet the
        // freshly drawn band or keys, not its own image).
        const float glide = critique ? noteLaneStep(d, h, strip) : 0.0f;
        d.rectangle(buffer, lyricLeft - 5, 0, lyricLeft + widest + 5, due ? 2 * fs + 20 : 10);
        if (due) {
            // The strip copy also wipes the last frame's marker.
            if (critique)
                d.bitBlt(buffer, 0, h - strip, w, strip, stageSurfaces.keyboardStrip, 0, 0,
                         platform::RasterOp::srcCopy);
            playback.drawnLine.store(line);
            useTextColours(d, buffer);
            drawLine(d, buffer, line, lyricLeft, 15);
            if (line + 1 < lineCount.load()) drawLine(d, buffer, line + 1, lyricLeft, fs + 15);
            drawSungPart(d, buffer, line, syllable, lyricLeft);
            litSyllable = syllable;
        }
        const int32_t centre =
            syllable >= 0 && syllable < kSyllableCapacity ? syllables[syllable].centerX : 0;
        const int32_t ballX = lyricLeft + centre;
        d.selectObject(buffer, d.getStockObject(platform::StockObject::whiteBrush));
        d.ellipse(buffer, ballX - 5, 0, ballX + 5, 10);
        if (critique) drawMarker(d, glide, h, strip);
    } else {
        d.rectangle(buffer, 0, 0, w, 2 * fs + 20);
        useTextColours(d, buffer);
        d.extTextOut(buffer, w / 2 - 3 * fs, 15, kTitle, static_cast<int32_t>(sizeof kTitle - 1));
    }

    if (critique) {
        d.bitBlt(paint.surface, 0, 0, w, h, buffer, 0, 0, platform::RasterOp::srcCopy);
        // The next frame at the display's pace; the thread sleeps until then. The refresh rate
        // is asked once: it changes only with the display's mode.
        static const uint32_t framePeriod = framePeriodFor(platform::window().displayRefreshHz());
        if (playback.playing.load())
            platform::window().redrawWindowAfter(playback.busy.load() ? kHeldFramePeriodMs
                                                                      : framePeriod);
    } else {
        const Rect& r = paint.invalid;
        d.bitBlt(paint.surface, r.left, r.top, r.right - r.left, r.bottom - r.top, buffer, r.left,
                 r.top, platform::RasterOp::srcCopy);
    }
}
