#include "playback/note_bars.h"

#include <new>

#include "shell/settings.h"

NoteBarList noteBars;

void NoteBarList::push(float x, float y, int32_t width, int32_t height, float vx, float vy) {
    std::lock_guard<std::mutex> guard(lock);
    // A bar the heap cannot hold is simply not shown; the list stays as it was.
    NoteBar* bar = new (std::nothrow) NoteBar{x, y, width, height, vx, vy, head};
    if (!bar) return;
    if (!head) tail = bar;
    head = cursor = bar;
}

void NoteBarList::clear() {
    std::lock_guard<std::mutex> guard(lock);
    NoteBar* bar = head;
    while (bar) {
        NoteBar* next = bar->next;
        delete bar;
        bar = next;
    }
    head = cursor = tail = nullptr;
}

int NoteBarList::removeBarsAt(const NoteBar& bar) {
    // The caller may pass a bar of this list: keep the position before anything is freed.
    const float x = bar.x;
    const float y = bar.y;
    auto matches = [x, y](const NoteBar* candidate) { return candidate->x == x && candidate->y == y; };

    int removed = 0;
    while (head && matches(head)) {
        NoteBar* gone = head;
        head = head->next;
        delete gone;
        ++removed;
    }
    if (!head) {
        tail = nullptr;
    } else {
        NoteBar* before = head;
        while (before->next) {
            NoteBar* candidate = before->next;
            if (matches(candidate)) {
                before->next = candidate->next;
                if (candidate == tail) tail = before;
                delete candidate;
                ++removed;
            } else {
                before = candidate;
            }
        }
    }
    cursor = head;
    return removed;
}

int32_t laneSlotX(int32_t slot, int32_t width) { return (slot + 1) * width / 40 - 16; }

int32_t noteLaneSlot(uint8_t note) {
    static constexpr int32_t kSlotOfPitchClass[12] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12};
    const int32_t slot = kSlotOfPitchClass[note % 12];
    const int32_t octave = (static_cast<int32_t>(note) - 48) / 12;  // toward zero: 37..47 are octave 0
    return octave * 14 + slot;
}

int32_t noteLaneX(uint8_t note) {
    if (note < 24 || note > 80) return 0;
    return laneSlotX(noteLaneSlot(note), settings.windowWidth);
}
