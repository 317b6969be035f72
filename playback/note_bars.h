#pragma once
// The falling note bars of critique mode: pushed by the sequencer on the timer thread, moved,
// drawn and retired by the painter on the window thread. `lock` keeps a push away from a walk.

#include <cstdint>
#include <mutex>

struct NoteBar {
    float x;       // pixels from the left edge of the client area
    float y;       // pixels from the top
    int32_t width;
    int32_t height;
    float vx;      // pixels per second
    float vy;
    NoteBar* next;
};

class NoteBarList {
public:
    NoteBarList() = default;
    NoteBarList(const NoteBarList&) = delete;
    NoteBarList& operator=(const NoteBarList&) = delete;
    ~NoteBarList() { clear(); }

    // Under `lock`: a new bar becomes the head (and the tail of an empty list). A bar that
    // cannot be allocated is dropped.
    void push(float x, float y, int32_t width, int32_t height, float vx, float vy);
    // Under `lock`: frees every bar.
    void clear();
    // Removes and frees every bar at exactly the position of `bar` (a NaN never matches);
    // `cursor` ends at `head`. The caller holds `lock`. Returns the number removed.
    int removeBarsAt(const NoteBar& bar);

    NoteBar* head = nullptr;
    NoteBar* cursor = nullptr;
    NoteBar* tail = nullptr;
    std::mutex lock;
};

extern NoteBarList noteBars;

// Left edge of a 32-pixel bar or marker centred over lane slot `slot` at a window `width`
// wide. The keyboard picture is 640 pixels for 40 slots, stretched to the width, so slot s has
// its key centred at (s + 1) * 16 picture pixels; bars, marker and keys share this one
// mapping at every width (at 640 it is s * 16).
int32_t laneSlotX(int32_t slot, int32_t width);

// The lane slot of a MIDI note: 14 slots per octave, note 48 at 0.
int32_t noteLaneSlot(uint8_t note);

// Horizontal lane position of a MIDI note at the present window width; 0 outside 24..80.
int32_t noteLaneX(uint8_t note);
