#pragma once
// The sung pitch: the fundamental of the voice in a block of microphone samples, found from
// the harmonic evidence of its spectrum, and its place on the note lane. A worker thread analyses the
// blocks that the capture callback hands it and posts each result to the main window.

#include <atomic>
#include <cstdint>

// The private message of the voice subsystem, posted to the main window; lParam carries the
// capture run (pitchRun) the message belongs to.
constexpr uint32_t WM_VOICE = 42527;  // 0xA61F
constexpr uintptr_t VOICE_PITCH = 0;  // pitchSlot holds a new result
constexpr uintptr_t VOICE_END = 1;    // the capture run with Critique on has ended

constexpr int kPitchBlockSamples = 1024;

// Last published sung pitch in lane slots; negative when there was no usable pitch. Written
// only by the worker; keeps its value from one capture run to the next.
extern std::atomic<int32_t> pitchSlot;
// The Singing Octave Lower option as it was at device open; the worker takes it at its start.
extern std::atomic<uint32_t> octaveLowerAtStart;
// 1 while the capture callback may hand the next block over, because the worker is done with
// the one before.
extern std::atomic<uint8_t> blockWanted;
extern std::atomic<uintptr_t> wakeEvent;  // auto-reset; signalled once per block handed over
extern std::atomic<uintptr_t> worker;     // the analysis thread; 0 when none
extern uint32_t workerId;
// The capture run: advanced at every device open. The messages of a run carry it, so that
// those of a run already superseded by the next (its end posted at its device close, handled
// after the next device opened) are told apart and ignored.
extern std::atomic<uint32_t> pitchRun;

// In-place radix-2 transform of n complex values stored as 2n floats (re, im, ...); n a power
// of two. X(k) = sum over t of a(t) * exp(isign * 2 pi i k t / n), unscaled.
void Fft(float* data, uint32_t n, int isign);

// Fundamental frequency in whole Hz of the voice in the block, within the singing range (from
// 125 Hz, or 62.5 Hz with octaveLower set, below 860 Hz); 0 ("no pitch") when the block is
// quieter than -48 dBFS RMS or holds no periodic sound (noise, breath, a click), or its
// fundamental lies outside the range. The fundamental is the period whose harmonics explain
// the spectrum (the autocorrelation of the Hann-windowed block, taken from its power
// spectrum), not the loudest harmonic, so a vowel whose formant lifts the third harmonic is
// still heard on its note; the frequency is refined between bins from its loudest harmonic.
// Allocates nothing; well under a millisecond per block.
int32_t EstimatePitchHz(const int16_t* block, uint32_t sampleRate, uint32_t octaveLower);

// Lane slot of a frequency, -1 outside 64..859 Hz.
int32_t HzToLaneSlot(int32_t hz);

// The value the worker publishes for a block: the lane slot of its pitch, one octave (14
// slots) lower unless the singer sings an octave lower than the melody.
int32_t PublishedPitchSlot(const int16_t* block, uint32_t sampleRate, uint32_t octaveLower);

// The worker's thread procedure: wait for a block, analyse, publish, post VOICE_PITCH with its
// run; until it is asked to stop.
void PitchWorker(void* parameter);

// Device open with Critique on (window thread): stops a worker left from an earlier capture
// run, takes the option, makes the event and starts the worker, then arms the hand-over.
// Returns false when the event or the thread could not be made; the hand-over stays shut.
bool StartPitchWorker(uint8_t octaveLower);

// VOICE_END and shutdown (window thread): asks the worker to stop, wakes it and waits until it
// is gone, then closes the event. Nothing the worker computes after this has begun is
// published. Harmless when no worker runs.
void StopPitchWorker();

// The device open notice (window thread, inside the open): a new capture run begins, with a
// worker when Critique is on, without one otherwise.
void BeginPitchRun(bool critique, uint8_t octaveLower);

// VOICE_END of `run` (window thread): stops the worker and returns true, so the critique is
// reported; returns false, touching nothing, when a later run has begun since.
bool EndPitchRun(uint32_t run);

// VOICE_PITCH of `run` (window thread): reads the published slot into *slot and re-arms the
// hand-over. Returns false, touching nothing, when no worker runs any more or the result
// belongs to an earlier run.
bool TakePitchResult(int32_t* slot, uint32_t run);

// The capture callback's hand-over of a filled buffer. Every buffer goes into the sound heard
// so far (the latest kPitchBlockSamples samples' worth of bytes, kept without allocating); when
// the worker is free, that latest block (silence where nothing was heard yet this run) is
// copied into the worker's block and the worker is woken. So each result describes the sound
// up to the buffer just returned, however short the buffers are. The samples are 16-bit
// frames of `channels` interleaved channels, mixed to one for the detector. Returns true when
// the block was handed over.
bool HandOverBlock(const void* samples, uint32_t bytes, uint32_t channels = 1);
