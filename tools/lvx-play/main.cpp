// lvx-play: plays a MIDI or karaoke file with the program's own loader and sequencer against a
// simulated clock, one timer period every 25 ms (the first at 25 ms) until the song ends, and
// prints what a listener and a viewer would get, one record a line:
//
//   send <ms> <message as 8 hex digits>
//   line <ms> <currentLine>
//   syll <ms> <currentSyllable>
//   bar <ms> <x>
//   end <ms>
//
// --critique loads the song in critique mode and adds the melody preview (bars are pushed for
// the withheld melody note-ons when --silence-melody is given too); --silence-melody withholds
// the melody. --key N transposes by N semitones (-12 to 12) and --tempo P plays at P percent of
// the song's tempo (50 to 150), as the Key & Tempo menu does. The lyric font is the fixed-width stand-in of 10 pixels a character.
// Exit code: 0 when the song ended, 1 when the loader refused the file, 2 on a usage error,
// 3 when the song would play for more than a day.

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "play_simulation.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: lvx-play [--critique] [--silence-melody] [--key N] [--tempo P] FILE\n");
    return 2;
}

void print(const PlayRecord& record) {
    switch (record.kind) {
    case PlayRecord::Kind::Send:
        std::printf("send %u %08X\n", record.ms, static_cast<uint32_t>(record.value));
        break;
    case PlayRecord::Kind::Line:
        std::printf("line %u %" PRId64 "\n", record.ms, record.value);
        break;
    case PlayRecord::Kind::Syllable:
        std::printf("syll %u %" PRId64 "\n", record.ms, record.value);
        break;
    case PlayRecord::Kind::Bar:
        std::printf("bar %u %" PRId64 "\n", record.ms, record.value);
        break;
    case PlayRecord::Kind::End:
        std::printf("end %u\n", record.ms);
        break;
    }
}

}  // namespace

namespace {

// A whole number within [low, high], or false.
bool readNumber(const char* text, int32_t low, int32_t high, int32_t& value) {
    if (text == nullptr) return false;
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || number < low || number > high) return false;
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    PlayOptions options;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--critique") == 0) {
            options.critique = true;
        } else if (std::strcmp(argv[i], "--silence-melody") == 0) {
            options.silenceMelody = true;
        } else if (std::strcmp(argv[i], "--key") == 0) {
            if (!readNumber(i + 1 < argc ? argv[++i] : nullptr, -12, 12, options.key)) return usage();
        } else if (std::strcmp(argv[i], "--tempo") == 0) {
            if (!readNumber(i + 1 < argc ? argv[++i] : nullptr, 50, 150, options.tempo)) return usage();
        } else if (argv[i][0] == '-' || path) {
            return usage();
        } else {
            path = argv[i];
        }
    }
    if (!path) return usage();

    switch (simulatePlay(path, options, print)) {
    case PlayResult::Ended:
        return 0;
    case PlayResult::Refused:
        std::fprintf(stderr, "lvx-play: cannot load %s\n", path);
        return 1;
    case PlayResult::TooLong:
        std::fprintf(stderr, "lvx-play: %s plays for more than a day; stopped\n", path);
        return 3;
    }
    return 0;
}
