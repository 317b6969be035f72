#pragma once
// A playback run: from the moment the MIDI output, the timer and (when recording or
// critiquing) the capture are opened until the stop sequence has closed them again.

#include <cstdint>

// The menu items the load greys for the time of a run and the end of a run enables again:
// Open, Silence Melody, Record, the three qualities and Critique.
extern const unsigned kRunMenuItems[7];

// Starts a run of the loaded song on the window thread: song position and lyric indices to
// the start, MIDI output and timer resolution, capture when recording or critiquing, then the
// periodic timer. A start that fails tells the user, closes what it opened, enables the menu
// again and leaves `playing` at 0. Waits (bounded) for the previous run to be closed first.
void startPlayback();

// The stop sequence, run by the sequencer on the timer thread at the first period that finds
// `playing` at 0: timer, resolution and MIDI output closed (the output reset first so no note
// keeps sounding), the menu enabled again, the lyric band invalidated, the capture closed.
// Runs once per run.
void runStopSequence(uint32_t timerId);

// True for a period of a timer whose kill failed at an earlier stop: the kill is tried again
// and the period does nothing, so such a timer never drives a later run.
bool isStrayTimer(uint32_t timerId);

// Waits, at most kPreviousRunWaitMs by the clock, until the previous run's stop sequence has
// closed it, handling meanwhile what other threads send to the window thread (a box the stop
// shows). True when it is closed.
bool waitForPreviousRun();

// At exit: whatever the stop sequence has not closed yet (a stop held up by a message box, or
// one that never came) is closed here and now, in the stop's order: timer, resolution, MIDI
// output (reset first), capture. A stop that comes later finds nothing left to close.
void closeRunNow();

// No run's timer, MIDI output or capture is open (the previous run's stop sequence finished).
bool previousRunClosed();

// How long startPlayback and the exit wait for the previous run's stop sequence to finish.
constexpr uint32_t kPreviousRunWaitMs = 2000;

// The caption: "Lyrivox - <title>" while a song plays, "Lyrivox" between songs, with the key
// and tempo when they are not the song's own. Any thread.
void showSongInCaption(bool playing);
