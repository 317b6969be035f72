#pragma once
// Wave-in capture of the singer during a playback run.

#include <atomic>
#include <cstdint>

#include "platform/wavein.h"

extern std::atomic<uintptr_t> waveIn;   // the open wave-in device; 0 when none
extern std::atomic<uint8_t> capturing;  // filled buffers are given back while set

int OpenCapture();   // 1 on success, 0 on failure (message shown)
void StartCapture();
void CloseCapture();
// Clears `capturing` so that no buffer is queued again; a callback that is queueing one
// finishes first. The stop calls it before the device's reset, so nothing is queued after it.
void StopCapturing();

// The device's callback: WIM_OPEN creates the recording and starts the pitch worker, WIM_DATA
// records, hands over and re-queues a returned buffer, WIM_CLOSE finishes the recording and
// announces the end of the run (VOICE_END). Other messages are ignored.
void CaptureCallback(uintptr_t device, uint32_t message, uintptr_t instance, uintptr_t param1,
                     uintptr_t param2);

// Short buffers, several of them in circulation: each returned buffer is fresh sound for the
// pitch worker (so the critique follows the singer closely), and while the callback handles
// one the device still has the others to fill.
constexpr uint32_t kCaptureBuffers = 8;
constexpr uint32_t kCaptureBufferMs = 64;

// The format of the last open, and the size of each of its buffers (0 when none are held).
extern platform::WaveFormat captureFormat;
uint32_t captureBufferBytes();
