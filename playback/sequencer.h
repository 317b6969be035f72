#pragma once
// The sequencer: the periodic timer callback of a playback run. Every period it moves song
// time on, sends the events of `songEvents` that have fallen due, withholds the melody when
// asked (pushing a falling note bar for each withheld note-on in critique mode), steps the
// lyric line and syllable, and notices the end of the song. When the run has been asked to
// stop it runs the stop sequence instead.

#include <cstdint>

#include "song/song_model.h"

// One timer period. The platform's five callback parameters; only the timer id is used.
void sequencerTick(uint32_t timerId, uint32_t message, uintptr_t user, uintptr_t reserved1,
                   uintptr_t reserved2);

// Puts song time back to the start of the song, fraction included (between runs only).
void rewindSongPosition();

// Song time with its fraction, 40.24 fixed point, as the sequencer keeps it; `playback.position`
// is its whole-tick part. Setting `playback.position` from outside drops the fraction.
int64_t songPositionFixed();
