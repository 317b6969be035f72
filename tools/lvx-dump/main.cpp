// lvx-dump: loads a MIDI or karaoke file with the program's own loader and prints what the
// loader made of it, one record a line:
//
//   song <ticksPerPeriod> lines=<lineCount> syllables=<syllableCount> widest=<widestLineWidth> result=<0|1>
//   title "<the title the caption shows while the song plays>"
//   event <song|melody> <tick> <message as 8 hex digits> <melody flag>
//   line <index> <startTick> <length> "<text>"
//   syll <index> <tick> <centerX>
//   message "<text of each message box shown, in order>"
//
// ticksPerPeriod is printed as the shortest decimal that reads back to the same 1/2^24 step
// (24, 4.79999995, 2.4, 255.99999994). In quoted texts '"', '\' and bytes outside 0x20-0x7E
// are written as \xNN. The lyric font is a fixed-width stand-in of --char-width pixels (default 10).
// The exit code is 0 when the song loaded, 1 when the loader refused it, 2 on a usage error.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host/recording_window.h"
#include "shell/settings.h"
#include "song/loader.h"
#include "song/song_model.h"

namespace {

std::string periodText(uint32_t period) {
    char text[32];
    for (int decimals = 0; decimals <= 9; ++decimals) {
        std::snprintf(text, sizeof text, "%.*f", decimals, period / double{kPeriodOne});
        if (std::llround(std::strtod(text, nullptr) * kPeriodOne) == period) break;
    }
    return text;
}

std::string quoted(const char* text, size_t length) {
    std::string out = "\"";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\' || c < 0x20 || c > 0x7E) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void printEvents(const char* name, const EventList& list) {
    for (const EventNode* node = list.head; node; node = node->next)
        std::printf("event %s %d %08X %u\n", name, node->tick, node->message, node->melody);
}

int usage() {
    std::fprintf(stderr, "usage: lvx-dump [--char-width N] [--critique] FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int charWidth = 10;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--char-width") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long width = std::strtol(argv[++i], &end, 10);
            if (*end || width < 0 || width > 1000) return usage();
            charWidth = static_cast<int>(width);
        } else if (std::strcmp(argv[i], "--critique") == 0) {
            settings.critique = 1;
        } else if (argv[i][0] == '-' || path) {
            return usage();
        } else {
            path = argv[i];
        }
    }
    if (!path) return usage();

    platform::RecordingWindowSide window(charWidth);
    platform::installWindow(&window);
    int32_t result = loadSong(path);

    std::printf("song %s lines=%d syllables=%d widest=%d result=%d\n", periodText(ticksPerPeriod).c_str(),
                lineCount.load(), syllableCount.load(), widestLineWidth, result);
    if (result) std::printf("title %s\n", quoted(songTitle, std::strlen(songTitle)).c_str());
    printEvents("song", songEvents);
    printEvents("melody", melodyEvents);
    for (int i = 0; i < lineCount; ++i) {
        const LyricLine& line = lyricLines[i];
        std::printf("line %d %d %u %s\n", i, line.startTick, line.length, quoted(line.text, line.length).c_str());
    }
    for (int i = 0; i < syllableCount; ++i) std::printf("syll %d %d %d\n", i, syllables[i].tick, syllables[i].centerX);
    for (const std::string& text : window.messages()) std::printf("message %s\n", quoted(text.data(), text.size()).c_str());

    platform::installWindow(nullptr);
    if (!result) std::fprintf(stderr, "lvx-dump: %s could not be loaded\n", path);
    return result ? 0 : 1;
}
