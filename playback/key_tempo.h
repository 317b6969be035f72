#pragma once
// Key and tempo: the singer's transposition in semitones and the speed of the song as a
// percentage of its own tempo map. Both are the user's choices of this session (the menu
// sets them, they are not saved), read by the sequencer once per period.

#include <atomic>
#include <cstdint>

#include "platform/midi.h"

constexpr int32_t kKeyLimit = 12;  // semitones either way
constexpr int32_t kTempoOriginal = 100;
constexpr int32_t kTempoSlowest = 50;
constexpr int32_t kTempoFastest = 150;
constexpr int32_t kTempoStep = 5;

extern std::atomic<int32_t> keyShift;      // -kKeyLimit..kKeyLimit
extern std::atomic<int32_t> tempoPercent;  // kTempoSlowest..kTempoFastest

// Ticks per period at a tempo factor: the exact product, truncated so that no event goes out
// before its time, and never 0 so that song time always moves. Works on any fixed-point form
// of ticks per period; the 64-bit result leaves room for the fastest factor.
inline int64_t tempoScaledPeriod(uint32_t periodTicks, int32_t percent) {
    const int64_t scaled = int64_t{periodTicks} * percent / kTempoOriginal;
    return scaled > 0 ? scaled : 1;
}

// The same, period after period: `carry` keeps what the truncation left over and adds it to the
// next period, so that the scaled song loses nothing over any length. Starts at 0 with a run.
inline int64_t tempoScaledPeriod(uint32_t periodTicks, int32_t percent, int64_t& carry) {
    const int64_t product = int64_t{periodTicks} * percent + carry;
    carry = product % kTempoOriginal;
    const int64_t scaled = product / kTempoOriginal;
    return scaled > 0 ? scaled : 1;
}

// The note a melody note-on stands for at a key: its number shifted, or -1 when the shifted
// note leaves 0..127.
int32_t shiftedNote(uint32_t note, int32_t shift);

// Sends a channel message at the key in force. Note-on, note-off and polyphonic key pressure
// off the drum channel go out with their note shifted; a note-off and the pressure of a
// sounding note carry the shift its note-on went out with, so a key change while notes are
// held leaves none of them sounding. A note shifted out of range is not sent, nor is its
// note-off. Timer thread only.
void sendAtKey(platform::MidiOutput& output, uintptr_t device, uint32_t message, int32_t shift);

// Forgets every sounding note (a new run starts with none).
void forgetSoundingNotes();
