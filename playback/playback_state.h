#pragma once
// The state of the current playback run, shared by the window thread and the timer thread.
// Every field is one 32-bit word read and written whole.

#include <atomic>
#include <cstdint>

struct PlaybackState {
    std::atomic<int32_t> playing{0};
    std::atomic<int32_t> busy{0};
    std::atomic<int32_t> position{0};  // song time in whole ticks
    std::atomic<int32_t> currentLine{0};
    std::atomic<int32_t> currentSyllable{0};
    std::atomic<int32_t> drawnLine{0};
    std::atomic<uintptr_t> midiOut{0};  // handle of the open MIDI output
};

extern PlaybackState playback;
