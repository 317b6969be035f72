#pragma once
// The temporary recording "lvxtake.wav" beside the executable: created when a capture with
// Record on opens, grown by every buffer the device returns, its sizes set when the device
// closes; and File > Save As, which moves it to a name the user chooses.

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/wavein.h"

// Full path of "lvxtake.wav" beside the executable, filled at start-up by buildFixedPaths
// (shell/commands.h declares it with the other fixed paths; the storage lives here).
extern char recordingPath[260];

// The open temporary recording; null when none. Only the capture callback opens, writes and
// closes it (each in a different phase of one capture); Save As looks whether it is open.
extern std::atomic<FILE*> recordingFile;
// Sample bytes counted since the last CreateRecording.
extern std::atomic<uint32_t> recordedBytes;

// The Save As dialog's name (kept for the next dialog) and initial folder (empty: the default
// "media\wave\" beside the executable).
extern char saveFileName[260];
extern char saveFolder[260];

constexpr uint32_t kWaveHeaderBytes = 44;

// Creates or truncates the recording at recordingPath and writes the header for the settings'
// quality with both sizes 0 (RIFF size 36). Finishes a recording still open first. Message
// 104 when the file cannot be created; capture then goes on without a file.
void CreateRecording();
// Appends the buffer's recorded bytes and counts them.
void AppendRecording(const platform::WaveHeader* header);
// Writes the two size fields and closes the file.
void FinishRecording();
// File > Save As: asks for a name and moves the finished recording there.
void SaveRecordingAs();
