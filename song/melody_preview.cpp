#include "song/melody_preview.h"

#include <cstdint>

#include "song/song_model.h"

namespace {
// Timer periods in the four seconds a bar takes to fall: 4000 ms / 25 ms.
constexpr int64_t kLeadPeriods = 4000 / timerPeriodMs;
}  // namespace

void buildMelodyPreview() {
    // Ticks per period follow the melody's tempo records, so the lead is four seconds of the
    // tempo in force at each note.
    uint32_t period = ticksPerPeriod.load();
    for (EventNode* node = melodyEvents.head; node; node = node->next) {
        melodyEvents.cursor = node;
        if (isTempoRecord(*node)) {
            period = tempoPeriodTicks(*node);
        } else if (node->melody != 0 && statusOf(node->message) < 0xA0) {
            // tick - period * 160, with the period's fraction, truncated toward zero.
            const int64_t fixed = int64_t{node->tick} * kPeriodOne - int64_t{period} * kLeadPeriods;
            int64_t lead = fixed / kPeriodOne;
            if (lead < INT32_MIN) lead = INT32_MIN;
            // A copy the heap cannot hold is left out; the song itself is complete.
            songEvents.insert(node->message, static_cast<int32_t>(lead), node->melody);
        }
    }
    if (songEvents.head) songEvents.cursor = songEvents.head;
}
