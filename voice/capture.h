#pragma once
// Wave-in capture of the singer during a playback run.

#include <atomic>
#include <cstdint>

extern std::atomic<uintptr_t> waveIn;   // the open wave-in device; 0 when none
extern std::atomic<uint8_t> capturing;  // filled buffers are given back while set

int OpenCapture();   // 1 on success, 0 on failure (message shown)
void StartCapture();
void CloseCapture();
