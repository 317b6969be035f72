#pragma once
// A playback run on a simulated clock: the song is loaded with the program's loader (and, in
// critique mode, given its melody preview), then the program's own sequencerTick is called
// once per 25 ms timer period, the first at 25 ms as the real timer's first call comes one
// period after it is created, until the song ends. Shared by lvx-play and the timing
// benchmark.

#include <cstdint>
#include <functional>

struct PlayRecord {
    enum class Kind { Send, Line, Syllable, Bar, End };
    Kind kind;
    uint32_t ms;    // simulated time of the period that produced it
    int64_t value;  // the message, the line or syllable index, or the bar's x
};

struct PlayOptions {
    bool critique = false;
    bool silenceMelody = false;
    int32_t key = 0;      // semitones, as Key & Tempo sets them
    int32_t tempo = 100;  // percent of the song's own tempo
    uint64_t maxMs = 24ull * 3600 * 1000;  // gives up on a song that would play for longer
};

enum class PlayResult { Ended, Refused, TooLong };

// Within one period the records come as: messages sent, bars pushed (in push order), the line,
// the syllable, the end.
PlayResult simulatePlay(const char* path, const PlayOptions& options,
                        const std::function<void(const PlayRecord&)>& sink);
