#pragma once
// The user's choices: window, lyric font, recording quality and the playing options. Six of
// them persist in the options file beside the executable.

#include <atomic>
#include <cstdint>

struct Settings {
    // Client area, pixels. The timer thread reads them to place and speed new note bars while
    // a resize on the window thread may change them.
    std::atomic<int32_t> windowWidth{640};
    std::atomic<int32_t> windowHeight{480};
    int32_t fontSize = 20;       // lyric font height, pixels
    int32_t fontWeight = 400;
    uint32_t sampleRate = 8000;  // capture quality
    uint32_t channels = 1;
    uint32_t bitsPerSample = 16;
    // The option flags are read on the timer, capture and worker threads while the window
    // thread may change them.
    std::atomic<int32_t> silenceMelody{0};
    std::atomic<int32_t> record{0};
    std::atomic<int32_t> critique{0};
    std::atomic<uint8_t> octaveLower{0};
};

extern Settings settings;

// Full path of "options.lvx" beside the executable, built at start-up.
extern char optionsPath[260];

void loadOptions();
void saveOptions();
